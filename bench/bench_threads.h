#pragma once

#include <string>
#include <vector>

struct BenchOptions;

// Time to solution on several capture threads: a scene solved with
// `shooters` shooters per step, from triangles or from patches, until given shares of the emitted light are
// left unshot, once per thread count, each in a process of its own (the
// llvmpipe setting that several capturing contexts need is taken when the
// process makes its first context). Each row holds, per share, the steps,
// the hemicubes captured and the seconds of solving (the scene's loading and
// the workers' start left out), and the process's CPU seconds by the last
// share, which tell on a shared machine how much of it the run had.

struct ThreadsRun {
    std::string error;  // empty, or why the scene could not be solved
    int triangles = 0;
    int threads = 0;
    int capturers = 0;             // contexts that captured (the caller's and the workers')
    double startSeconds = 0.0;     // starting the workers (contexts, item buffers)
    std::vector<int> steps;        // per share; -1 when not reached
    std::vector<long long> shots;  // hemicubes captured by then
    std::vector<double> seconds;   // of solving, by then
    double cpuSeconds = 0.0;       // of the process, by the last share reached
    double lastShare = 1.0;        // where the run ended
    double patchSize = 0.0;        // the run's patch_size; 0: triangles shot
};

// How a row solves: shooters (patches) per step, overshooting, and whether
// patches shoot, of patchSize (0: the configuration's own, or twice a
// room's square side).
struct ThreadsSolve {
    int shooters = 1;
    bool overshoot = false;
    bool patches = false;
    double patchSize = 0.0;
};

// Where the scene of a row comes from: a generated room of about `triangles`
// triangles, or a configuration file.
struct ThreadsScene {
    int triangles = 0;
    std::string config;
    std::string label() const;
};

// One solve in a child process (so that each thread count starts its own
// GL). Needs no GL context in the calling process and must be called
// before it has one.
ThreadsRun solveOnThreads(const ThreadsScene& scene, const ThreadsSolve& how, int threads,
                          const std::vector<double>& shares, double maxSeconds);

// The --threads table on standard output (notes on standard error).
// Returns the exit code.
int runThreadsTable(const BenchOptions& options);
