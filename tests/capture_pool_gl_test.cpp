// Capturing a step's shots on several GL contexts at once: worker threads
// with headless contexts beside the test's own. That the solution is the same
// bit for bit whoever captures is run end to end in e2e/capture_threads.sh
// (lumetra-batch on 1, 2 and 3 threads) and e2e/viewer_e2e.py (workers beside
// the window's context).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "app/capture_workers.h"
#include "app/headless_context.h"
#include "radiosity/capture_pool.h"
#include "radiosity/item_buffer.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

// A context that cannot be made, with its reason.
class BrokenContext : public CaptureContext {
  public:
    bool ok() const override { return false; }
    std::string error() const override { return "no driver here"; }
};

TEST(CaptureWorkers, WorkersThatCannotStartAreLeftOutWithTheReason) {
    HeadlessContext gl;
    if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
    // A closed room; the eye sits 1/1000 above the shooter, so walls meeting
    // it at a corner must not be clipped away by the near plane.
    Scene scene;
    fixture::addFurnace(scene, {1, 1, 1, 1, 1, 1}, Vec3(0.5, 0.5, 0.5), Vec3(1, 1, 1));
    CapturePoolSettings settings;
    settings.faceSize = 64;
    settings.nearPlane = 1e-4;
    settings.farPlane = 10.0;
    ItemBuffer items;
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    HemicubeCapturer cap(items, settings.faceSize, settings.nearPlane, settings.farPlane);
    const CaptureContextFactory broken = [] { return std::make_unique<BrokenContext>(); };
    CapturePool pool(scene.objects, settings, &cap, 2, broken);
    EXPECT_EQ(pool.workersRunning(), 0);
    EXPECT_EQ(pool.error(), "no driver here");
    // The caller still captures its shots.
    FormFactors ffs = fixture::zeroFormFactors(scene);
    const std::vector<double> top = buildTopTable(32), side = buildSideTable(32);
    const Vec3 p(0, 0, -0.999), n(0, 0, 1), u(1, 0, 0), v(0, 1, 0);
    HemicubeShot shot;
    shot.faces = {FaceShot{{p, p + n, u, 64}, &top}, FaceShot{{p, p + u, n, 32}, &side},
                  FaceShot{{p, p - u, n, 32}, &side}, FaceShot{{p, p + v, n, 32}, &side},
                  FaceShot{{p, p - v, n, 32}, &side}};
    shot.formFactors = &ffs;
    pool.captureShots({shot});
    double total = 0;
    for (const double f : ffs) total += f;
    EXPECT_NEAR(total, 1.0, 0.01);  // a closed room takes the whole hemisphere
    // With nobody to capture, nothing is captured (and nothing waits forever).
    CapturePool nobody(scene.objects, settings, nullptr, 1, broken);
    std::fill(ffs.begin(), ffs.end(), 0.0);
    nobody.captureShots({shot});
    for (const double f : ffs) EXPECT_EQ(f, 0.0);
}

TEST(CaptureWorkerCount, FollowsThreadsNeverAboveShooters) {
    Settings s;
    EXPECT_EQ(captureWorkerCount(s, 8), 1);  // one shooter: one capture at a time
    s.shooters = 4;
    EXPECT_EQ(captureWorkerCount(s, 8), 4);  // threads 0: one per processor, at most the shooters
    EXPECT_EQ(captureWorkerCount(s, 0), 1);  // processors unknown
    s.threads = 3;
    EXPECT_EQ(captureWorkerCount(s, 1), 3);
}

TEST(CaptureWorkerCount, SetsLlvmpipeThreadsOnlyForSeveralCapturesAndNeverOverTheUser) {
    const char* before = std::getenv("LP_NUM_THREADS");
    const std::string saved = before != nullptr ? before : "";
    unsetenv("LP_NUM_THREADS");
    Settings s;
    s.threads = 2;
    EXPECT_FALSE(prepareCaptureWorkers(s));  // one shooter
    EXPECT_EQ(std::getenv("LP_NUM_THREADS"), nullptr);
    s.shooters = 4;
    EXPECT_TRUE(prepareCaptureWorkers(s));
    ASSERT_NE(std::getenv("LP_NUM_THREADS"), nullptr);
    EXPECT_STREQ(std::getenv("LP_NUM_THREADS"), "0");
    setenv("LP_NUM_THREADS", "3", 1);
    EXPECT_FALSE(prepareCaptureWorkers(s));
    EXPECT_STREQ(std::getenv("LP_NUM_THREADS"), "3");
    if (before != nullptr) {
        setenv("LP_NUM_THREADS", saved.c_str(), 1);
    } else {
        unsetenv("LP_NUM_THREADS");
    }
}

}  // namespace
