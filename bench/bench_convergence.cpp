#include "bench/bench_convergence.h"

#include <cstdio>

#include "app/config.h"
#include "app/solver_setup.h"
#include "bench/bench_step.h"
#include "bench/quiet_stdout.h"
#include "scene/scene.h"

ConvergenceRow measureConvergence(const std::string& config, bool overshoot,
                                  const std::vector<double>& targets, int maxSteps) {
    ConvergenceRow row;
    row.overshoot = overshoot;
    row.steps.assign(targets.size(), -1);
    row.seconds.assign(targets.size(), 0.0);
    Scene scene;
    SolverSetup setup;
    {
        const QuietStdout quiet;
        const ConfigResult read = readSettings(config, scene);
        if (!read.ok() || !read.fileRead) {
            row.error = "cannot read " + config;
            return row;
        }
        scene.settings.overshoot = overshoot;
        row.error = prepareSolver(scene, setup);
        if (!row.error.empty()) return row;
        if (!setup.solver->initSolver()) {
            row.error = config + ": nothing emits";
            return row;
        }
    }
    for (const SceneObject& o : scene.objects) row.triangles += o.triangleCount();

    Solver& solver = *setup.solver;
    const BenchClock::time_point start = BenchClock::now();
    size_t next = 0;
    for (int step = 1; step <= maxSteps && next < targets.size(); ++step) {
        solver.shootStep();
        // What idleStep does after the shot, without its progress line.
        for (const ShooterState& s : solver.shooters)
            scene.objects[static_cast<size_t>(s.objectIndex)]
                .triangles[static_cast<size_t>(s.triangleIndex)]
                ->unshot = Vec3();
        const double measure = solver.convergenceMeasure;
        while (next < targets.size() && measure < targets[next]) {
            row.steps[next] = step;
            row.seconds[next] = msSince(start) / 1000.0;
            ++next;
        }
        row.finalMeasure = measure;
        if (!(measure == measure)) break;  // diverged
    }
    return row;
}
