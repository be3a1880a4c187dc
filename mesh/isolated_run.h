#pragma once

#include <functional>
#include <string>

// Runs work in a child process and returns its exit code. The model library
// has faults of its own that a damaged file can reach; should the child die
// from a signal all the same (a crash, or the processor-time limit of
// ImportLimits), this prints one line naming modelPath and returns 2, so the
// user sees an error and not a core dump. The child dies with the parent.
// Where no child can be made, work runs in this process.
int runIsolated(const std::string& program, const std::string& modelPath, const std::function<int()>& work);
