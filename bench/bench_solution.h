#pragma once

#include <string>
#include <vector>

#include "radiosity/patch_shooters.h"
#include "scene/vec3.h"

struct BenchOptions;
struct Scene;

// Time to solution: a scene solved until given shares of the emitted light
// are left unshot, noting for each share the steps, hemicube shots and
// seconds it took and the triangles' displayed radiosity there, so that a
// patch solve can be compared with a triangle solve of the same scene at the
// same share. Needs a current GL context.

struct SolutionRun {
    std::string error;  // empty, or why the scene could not be solved
    int triangles = 0;
    double patchSize = 0.0;
    int patches = 0;                           // top-level patches; 0 for triangle shooting
    std::vector<double> shares;                // the targets, falling
    std::vector<int> steps;                    // per target; -1 when not reached
    std::vector<long long> shots;              // hemicube captures (five faces each)
    std::vector<double> seconds;               // wall clock
    std::vector<double> cpuSeconds;            // the process's CPU time (all threads), for a shared machine
    std::vector<std::vector<Vec3>> radiosity;  // per target reached: every triangle in scene order
    double lastShare = 1.0;                    // where the run ended
    long long wholeShots = 0;                  // patch runs: full hemicubes, and local ones that stop
    long long localShots = 0;                  // just beyond the patch's near receivers
};

// Solves the scene (loaded; its settings as given, patch_size included)
// until the last share is reached or maxSeconds have passed.
SolutionRun solveToShares(Scene& scene, const std::vector<double>& shares, double maxSeconds,
                          const RefinementRule& rule = RefinementRule{});

// How far a solution lies from a reference of the same scene: the RMS over
// triangles of area > 0 of the difference of their radiosity (channel sum),
// over the mean reference radiosity; and the relative difference of the
// object's area-weighted mean radiosity that lies farthest from 0, with its
// sign (objects whose reference mean is 0 are skipped). Both as fractions.
struct SolutionDifference {
    double rms = 0.0;
    double worstSurface = 0.0;
    int worstObject = -1;
};

SolutionDifference compareSolutions(const Scene& scene, const std::vector<Vec3>& solution,
                                    const std::vector<Vec3>& reference);

// The --solution table on standard output (notes on standard error): per
// scene a triangle-shooting row and a patch row. Returns the exit code.
int runSolutionTable(const BenchOptions& options);
