#include "app/capture_workers.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/headless_context.h"
#include "app/solver_setup.h"
#include "radiosity/capture_pool.h"
#include "radiosity/patch_rounds.h"
#include "scene/scene.h"

namespace {

// A headless context as the capture workers see it.
class HeadlessCaptureContext : public CaptureContext {
  public:
    bool ok() const override { return context_.ok(); }
    std::string error() const override { return context_.error(); }

  private:
    HeadlessContext context_;
};

}  // namespace

CaptureContextFactory headlessContextFactory() {
    return [] { return std::make_unique<HeadlessCaptureContext>(); };
}

int captureWorkerCount(const Settings& settings, unsigned processors) {
    long long workers = settings.threads > 0 ? settings.threads : static_cast<long long>(processors);
    // A triangle step captures one hemicube per shooter; a patch step up to
    // kPatchBatch at once, however many patches shoot.
    const long long shots = settings.patchSize > 0.0 ? kPatchBatch : settings.shooters;
    if (workers > shots) workers = shots;
    return workers > 1 ? static_cast<int>(workers) : 1;
}

bool prepareCaptureWorkers(const Settings& settings) {
    if (captureWorkerCount(settings) <= 1 || std::getenv("LP_NUM_THREADS") != nullptr) return false;
    return setenv("LP_NUM_THREADS", "0", 0) == 0;
}

std::string startCaptureWorkers(const Scene& scene, SolverSetup& setup, bool callerCaptures) {
    const int workers = captureWorkerCount(scene.settings);
    if (workers <= 1 || setup.solver == nullptr) return {};
    const int threads = callerCaptures ? workers - 1 : workers;
    CapturePoolSettings pool;
    pool.faceSize = scene.settings.N;
    pool.nearPlane = scene.settings.nearPlane;
    pool.farPlane = scene.settings.farPlane;
    if (setup.capturer != nullptr) pool.mode = setup.capturer->mode();
    setup.pool =
        std::make_unique<CapturePool>(scene.objects, pool, callerCaptures ? setup.capturer.get() : nullptr,
                                      threads, headlessContextFactory());
    std::string warning;
    if (setup.pool->workersRunning() < threads) {
        const int capturing = setup.pool->workersRunning() + (callerCaptures ? 1 : 0);
        warning = std::to_string(threads - setup.pool->workersRunning()) + " of " + std::to_string(threads) +
                  " capture threads could not start (" + setup.pool->error() + "); capturing on " +
                  std::to_string(capturing);
        std::fprintf(stderr, "Warning: %s\n", warning.c_str());
        if (capturing == 0) {
            // Nothing captures in the pool: the solver keeps its own capturer.
            setup.pool.reset();
            return warning;
        }
    }
    setup.solver->setShotCapture(setup.pool.get());
    return warning;
}
