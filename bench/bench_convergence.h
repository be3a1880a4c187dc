#pragma once

#include <string>
#include <vector>

// How fast a configured scene converges: the scene solved with the fast
// capture path until at most `targets.back()` of the light is left unshot
// (or maxSteps), noting the steps and seconds at which the measure first
// falls below each target. Needs a current GL context; the configuration's
// own progress lines are kept off standard output.

struct ConvergenceRow {
    std::string error;  // empty, or why the scene could not be solved
    int triangles = 0;
    bool overshoot = false;
    std::vector<int> steps;       // per target; -1 when not reached
    std::vector<double> seconds;  // per target
    double finalMeasure = 0.0;    // where the run ended
};

ConvergenceRow measureConvergence(const std::string& config, bool overshoot,
                                  const std::vector<double>& targets, int maxSteps);
