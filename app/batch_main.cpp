// lumetra-batch: solves a scene headless (EGL, no window, no X server) with
// the viewer's loading, solver and messages, or loads the result files of an
// earlier run, then writes the result files and, as asked, pictures and the
// lit scene.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "app/batch_options.h"
#include "app/batch_outputs.h"
#include "app/capture_workers.h"
#include "app/config.h"
#include "app/headless_context.h"
#include "app/solver_setup.h"
#include "radiosity/run_end.h"
#include "scene/scene.h"
#include "view/result_reader.h"
#include "view/shading.h"

namespace {

using Clock = std::chrono::steady_clock;

// One progress line on a terminal: the measure against stop_at on a log
// scale, steps, rate and elapsed time.
class ProgressLine {
  public:
    explicit ProgressLine(double stopAt)
        : enabled_(isatty(STDERR_FILENO) != 0), stopAt_(stopAt), start_(Clock::now()) {}

    void update(double measure, int steps, bool force = false) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        double fraction = 0.0;
        if (measure > 0.0 && stopAt_ > 0.0 && stopAt_ < 1.0) {
            fraction = std::log(measure) / std::log(stopAt_);
        } else if (!(measure >= stopAt_)) {
            fraction = 1.0;
        }
        fraction = std::fmin(1.0, std::fmax(0.0, fraction));
        constexpr int kWidth = 30;
        std::string bar(static_cast<size_t>(kWidth), '.');
        for (int i = 0; i < static_cast<int>(fraction * kWidth); ++i) bar[static_cast<size_t>(i)] = '#';
        std::fprintf(stderr, "\r[%s] %.3e -> %.1e  step %d  %.1f steps/s  %.1f s ", bar.c_str(), measure,
                     stopAt_, steps, elapsed > 0 ? steps / elapsed : 0.0, elapsed);
        std::fflush(stderr);
    }
    void finish() {
        if (enabled_) std::fprintf(stderr, "\n");
    }

  private:
    bool enabled_;
    double stopAt_;
    Clock::time_point start_;
    Clock::time_point last_{};
};

int fail(int code, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "lumetra-batch: %s\n", message.c_str());
    return code;
}

// Runs the solver until stop_at, --steps or --seconds, whichever comes first.
RunSummary solve(Solver& solver, const BatchOptions& options, double stopAt) {
    ProgressLine progress(stopAt);
    const auto start = Clock::now();
    long long steps = 0;
    RunSummary summary;
    for (;;) {
        if (options.maxSteps >= 0 && steps >= options.maxSteps) {
            summary.end = RunEnd::StepLimit;
            summary.limit = static_cast<double>(options.maxSteps);
            break;
        }
        if (options.maxSeconds >= 0.0 &&
            std::chrono::duration<double>(Clock::now() - start).count() >= options.maxSeconds) {
            summary.end = RunEnd::TimeLimit;
            summary.limit = options.maxSeconds;
            break;
        }
        const StepOutcome outcome = solver.idleStep();
        ++steps;
        progress.update(solver.convergenceMeasure, solver.stepCounter);
        if (outcome.converged) {
            summary.end = outcome.diverged ? RunEnd::Diverged : RunEnd::Solved;
            summary.limit = stopAt;
            break;
        }
    }
    progress.update(solver.convergenceMeasure, solver.stepCounter, true);
    progress.finish();
    summary.steps = solver.stepCounter;
    summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    summary.measure = solver.convergenceMeasure;
    std::fflush(stdout);
    return summary;
}

}  // namespace

int main(int argc, char** argv) {
    BatchOptions options;
    const int parsed = parseBatchOptions(argc, argv, options);
    if (parsed >= 0) return parsed;

    Scene scene;
    Settings& settings = scene.settings;
    const ConfigResult config = readSettings(options.config, scene, options.overrides);
    if (!config.fileRead) return fail(kExitScene, options.config + ": cannot read the configuration file");
    if (!config.ok()) return fail(kExitScene, options.config + ": the scene cannot be solved (see above)");

    const bool load = !options.loadDir.empty();
    // stop_at 0 or below never stops by itself: only a limit ends the run.
    if (!load && !(settings.stopAt > 0.0) && options.maxSteps < 0 && options.maxSeconds < 0.0) {
        return fail(kExitUsage, options.config + ": stop_at = " + std::to_string(settings.stopAt) +
                                    " never stops by itself; give --steps or --seconds");
    }
    if (load) {
        // Loaded results hold no unshot light, so nothing could be added for it.
        settings.ambient = 0;
        const std::string problem = loadResults(scene.objects, options.loadDir);
        if (!problem.empty()) return fail(kExitScene, problem);
    }

    // A context for the solver and for pictures; loading results and writing
    // them and exports needs none.
    std::unique_ptr<HeadlessContext> context;
    if (!load || !options.png.empty() || !options.exr.empty()) {
        if (!load) prepareCaptureWorkers(settings);  // before the first context
        context = std::make_unique<HeadlessContext>();
        if (!context->ok()) return fail(kExitScene, "no OpenGL context: " + context->error());
    }
    SolverSetup setup;
    Vec3 ambient;
    if (load) {
        if (context) enableSceneDrawing();
    } else {
        const std::string problem = prepareSolver(scene, setup);
        if (!problem.empty()) return fail(kExitScene, options.config + ": " + problem);
        // This thread's context captures too, beside the workers.
        startCaptureWorkers(scene, setup, true);
        Solver& solver = *setup.solver;
        if (!solver.initSolver())
            return fail(kExitScene, options.config + ": no object emits light, nothing to solve");
        const RunSummary summary = solve(solver, options, settings.stopAt);
        std::fprintf(stderr, "%s\n", runEndLine(summary).c_str());
        // Numbers that are not numbers would only overwrite good files.
        if (summary.end == RunEnd::Diverged) return kExitScene;
        ambient = displayedAmbient(scene, solver);
    }
    return writeBatchOutputs(scene, options, ambient);
}
