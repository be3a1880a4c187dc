#pragma once

#include <string>
#include <vector>

// Command line of lumetra-bench. Parsing is GL-free so tests call it.
struct BenchOptions {
    int steps = 60;                               // --steps K: steps timed per scene and path
    std::vector<int> resolutions{256};            // --n512 adds 512
    std::vector<int> scenes{1000, 10000, 60000};  // --scenes LIST: triangle counts
    std::vector<std::string> convergence;         // --convergence CONFIG (repeatable): solve these instead
    int maxSteps = 200000;                        // --max-steps K: give up a convergence run after K steps
    bool threads = false;                         // --threads: the time-to-solution table on capture threads
    std::vector<int> threadCounts{1, 2};          // --thread-counts LIST
    std::vector<std::string> threadsConfigs;      // --threads-config CONFIG (repeatable)
    int shooters = 4;                             // --shooters K, for the --threads table
    bool overshoot = false;                       // --overshoot, for the --threads table
    double maxSeconds = 1800.0;                   // --max-seconds S: give up a --threads solve after S s
};

// Parses argv into `options`. Returns -1 when the run goes on; otherwise the
// exit code after printing the help or the version (0) or a usage error (1).
int parseBenchOptions(int argc, const char* const* argv, BenchOptions& options);
