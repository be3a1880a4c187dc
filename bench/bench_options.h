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
    bool threadsPatches = false;                  // --patches: the --threads table also shoots from patches
    double maxSeconds = 1800.0;                   // --max-seconds S: give up a --threads or --solution solve

    // --solution: the time-to-solution table (triangle against patch
    // shooting) instead of the step timing; its rooms default to 13000,60000.
    bool solution = false;
    std::vector<std::string> solutionConfigs;  // --solution-config FILE, repeatable
    double patchSize = 0.0;                    // --patch-size S; 0: twice a room's square side
    double compareAt = 0.05;                   // --compare-at S: also note this share, to compare at
    double refineRatio = 0.5;                  // --refine-ratio R: near means nearer than radius / R
    std::string keepReference;                 // --keep-reference DIR: reuse triangle runs kept there
};

// Parses argv into `options`. Returns -1 when the run goes on; otherwise the
// exit code after printing the help or the version (0) or a usage error (1).
int parseBenchOptions(int argc, const char* const* argv, BenchOptions& options);
