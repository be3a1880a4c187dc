#pragma once

#include <string>
#include <vector>

#include "radiosity/patch_shooters.h"
#include "scene/vec3.h"

struct Scene;

// Time to solution: a scene solved until given shares of the emitted light
// are left unshot, noting at each share the steps, hemicube shots and
// seconds it took and the triangles' displayed radiosity there, so that a
// patch solve can be compared with a triangle solve of the same scene at the
// same share. Needs a current GL context.

// The state of a run when it first reached a share of the light unshot.
struct SolutionPoint {
    double share = 0.0;
    int steps = 0;
    long long shots = 0;          // hemicube captures (five faces each at most)
    double seconds = 0.0;         // wall clock
    double cpuSeconds = 0.0;      // the process's CPU time (all threads), for a shared machine
    std::vector<Vec3> radiosity;  // every triangle, in scene order
};

struct SolutionRun {
    std::string error;  // empty, or why the scene could not be solved
    int triangles = 0;
    double patchSize = 0.0;
    int patches = 0;  // top-level patches; 0 for triangle shooting
    // The targets reached, falling; a run that stopped before its last
    // target ends with where it stopped (share = the share left then).
    std::vector<SolutionPoint> points;
    bool finished = false;     // every target was reached
    long long wholeShots = 0;  // patch runs: full hemicubes, and local ones that stop
    long long localShots = 0;  // just beyond the patch's near receivers

    // The point at this share, or null.
    const SolutionPoint* at(double share) const;
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

// A run kept in a file between benchmark runs, in this machine's own binary
// layout; reading returns false when the file is missing or not one.
void writeSolutionRun(const std::string& path, const SolutionRun& run);
bool readSolutionRun(const std::string& path, SolutionRun& run);
