// The culled capture on a real (headless) OpenGL context: drawing only the
// groups a face can see must leave every pixel as drawing everything does.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/headless_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

class CulledCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
        settings.N = 128;
        settings.H = 64;
        settings.nearPlane = 0.01;
        buildTopTable();
        buildSideTable();
    }
    void TearDown() override {
        setFaceCapturer(nullptr);
        shooterState = ShooterState{};
    }

    // A closed 4 x 4 x 4 room of finely cut walls (many groups each), a
    // box-like cluster of panels, and two coincident triangles.
    static void buildScene() {
        const double s = 2.0;
        const int cells = 12;
        fixture::addObject(fixture::grid(Vec3(-s, -s, -s), Vec3(2 * s, 0, 0), Vec3(0, 2 * s, 0), cells, cells));
        fixture::addObject(fixture::grid(Vec3(-s, -s, s), Vec3(0, 2 * s, 0), Vec3(2 * s, 0, 0), cells, cells));
        fixture::addObject(fixture::grid(Vec3(-s, -s, -s), Vec3(0, 0, 2 * s), Vec3(2 * s, 0, 0), cells, cells));
        fixture::addObject(fixture::grid(Vec3(-s, s, -s), Vec3(2 * s, 0, 0), Vec3(0, 0, 2 * s), cells, cells));
        fixture::addObject(fixture::grid(Vec3(-s, -s, -s), Vec3(0, 2 * s, 0), Vec3(0, 0, 2 * s), cells, cells));
        fixture::addObject(fixture::grid(Vec3(s, -s, -s), Vec3(0, 0, 2 * s), Vec3(0, 2 * s, 0), cells, cells));
        std::vector<Corners> panels = {
            {Vec3(0.3, -0.7, 0.4), Vec3(1.1, 0.2, 0.9), Vec3(-0.2, 0.5, 1.3)},
            {Vec3(-1.0, -0.4, 0.2), Vec3(-0.1, -1.2, 0.8), Vec3(-0.6, 0.3, 0.1)},
            {Vec3(0.9, 0.8, -1.5), Vec3(0.2, 1.3, -0.6), Vec3(1.4, 1.1, -0.7)},
            // The same triangle twice, facing down: equal depths everywhere,
            // so the one drawn first must keep every pixel, in both paths.
            {Vec3(-1.5, 1.0, 1.2), Vec3(-0.5, 1.6, 1.2), Vec3(-0.6, 0.4, 1.2)},
            {Vec3(-1.5, 1.0, 1.2), Vec3(-0.5, 1.6, 1.2), Vec3(-0.6, 0.4, 1.2)},
        };
        fixture::addObject(panels);
    }

    // The five faces of a step from shooter position p and normal n, captured
    // with the given options; returns every triangle's accumulator (zeroed).
    static std::vector<double> captureStep(const CaptureOptions& options, const Vec3& p, const Vec3& n,
                                           CaptureStats* stats = nullptr) {
        HemicubeCapturer cap;
        cap.setOptions(options);
        shooterState.position = p;
        shooterState.normal = n;
        // Any unit vector across n gives a frame.
        Vec3 u = n.cross(std::fabs(n.x) < 0.9 ? Vec3(1, 0, 0) : Vec3(0, 1, 0));
        u.normalise();
        const Vec3 v = n.cross(u);
        struct Face {
            Vec3 up, dir;
            const double* weights;
            int rows;
        };
        const Face faces[] = {{u, n, topTable.data(), settings.N},
                              {n, u, sideTable.data(), settings.H},
                              {n, Vec3(-u.x, -u.y, -u.z), sideTable.data(), settings.H},
                              {n, v, sideTable.data(), settings.H},
                              {n, Vec3(-v.x, -v.y, -v.z), sideTable.data(), settings.H}};
        for (const Face& f : faces) {
            hemicubeUp = f.up;
            hemicubeCentre = p + f.dir;
            cap.captureFace(f.weights, f.rows);
        }
        if (stats) *stats = cap.stats();
        std::vector<double> out;
        for (SceneObject& o : objects) {
            for (auto& t : o.triangles) {
                out.push_back(t->formFactor);
                t->formFactor = 0.0;
            }
        }
        return out;
    }

    struct Shooter {
        Vec3 p, n;
    };
    static std::vector<Shooter> shooters() {
        Vec3 tilted(0.3, -0.5, 0.8);
        tilted.normalise();
        return {{Vec3(0.1, -0.2, -2.0), Vec3(0, 0, 1)},
                {Vec3(1.99999, 0.4, -0.3), Vec3(-1, 0, 0)},
                {Vec3(-0.3, 0.2, -0.4), tilted},
                {Vec3(1.7, 1.6, 1.99999), Vec3(0, 0, -1)}};
    }

    fixture::SceneGuard guard;
    HeadlessContext gl;
};

TEST_F(CulledCapture, CullingChangesNoPixel) {
    buildScene();
    ASSERT_EQ(buildItemBuffer(), "");
    ASSERT_GT(itemGroups.groups.size(), 30u);
    CaptureOptions culled;  // the fast path
    CaptureOptions whole = culled;
    whole.cullGroups = false;  // display list 2 on the same half faces
    CaptureOptions culledFull = captureOptionsFor(CaptureMode::Literal);
    culledFull.cullGroups = true;  // groups on the literal path's full faces
    for (const Shooter& s : shooters()) {
        CaptureStats stats;
        const std::vector<double> a = captureStep(culled, s.p, s.n, &stats);
        const std::vector<double> b = captureStep(whole, s.p, s.n);
        const std::vector<double> c = captureStep(culledFull, s.p, s.n);
        const std::vector<double> d = captureStep(captureOptionsFor(CaptureMode::Literal), s.p, s.n);
        // Culling must have left out a good part of the scene...
        EXPECT_LT(stats.trianglesDrawn, stats.trianglesTotal * 2 / 3);
        // ...and nothing it showed: the same pixels, summed the same way.
        for (size_t k = 0; k < a.size(); ++k) {
            EXPECT_EQ(a[k], b[k]) << "triangle " << k;
            EXPECT_EQ(c[k], d[k]) << "triangle " << k;
        }
        // The first of two coincident triangles keeps what they show.
        const size_t first = a.size() - 2;
        EXPECT_EQ(a[first + 1], 0.0);
        EXPECT_EQ(d[first + 1], 0.0);
    }
}

// The fast path (culled groups, half side faces, RGBA) against the literal
// path (display list 2, full faces, RGB): a pixel can only change hands where
// a triangle edge crosses it, so every triangle's form factor agrees to a
// few pixels' weight, and the totals (a closed room: every pixel counts)
// agree to rounding.
TEST_F(CulledCapture, FastPathMatchesTheFullFaces) {
    buildScene();
    ASSERT_EQ(buildItemBuffer(), "");
    const double pixel = *std::max_element(topTable.begin(), topTable.end());
    double worst = 0;
    for (const Shooter& s : shooters()) {
        const std::vector<double> fast = captureStep(CaptureOptions{}, s.p, s.n);
        const std::vector<double> full = captureStep(captureOptionsFor(CaptureMode::Literal), s.p, s.n);
        double fastTotal = 0, fullTotal = 0;
        for (size_t k = 0; k < fast.size(); ++k) {
            EXPECT_NEAR(fast[k], full[k], 3 * pixel) << "triangle " << k;
            worst = std::max(worst, std::fabs(fast[k] - full[k]));
            fastTotal += fast[k];
            fullTotal += full[k];
        }
        EXPECT_NEAR(fastTotal, fullTotal, 1e-12);
    }
    std::printf("[ info ] largest per-triangle difference %.3g = %.2f pixel weights\n", worst, worst / pixel);
}

// Whole solutions: with and without culling, every triangle ends with the
// same radiosity, bit for bit, and the same shooters were chosen.
TEST_F(CulledCapture, SolutionsAreIdenticalWithAndWithoutCulling) {
    buildScene();
    objects[1].emission = Vec3(1.0, 0.9, 0.8);  // the ceiling emits
    for (SceneObject& o : objects) o.reflectance = Vec3(0.6, 0.5, 0.4);
    settings.stopAt = 0.0;
    settings.step = 1000000;
    ASSERT_EQ(buildItemBuffer(), "");
    auto solve = [](bool cull) {
        HemicubeCapturer cap;
        CaptureOptions options;
        options.cullGroups = cull;
        cap.setOptions(options);
        setFaceCapturer(&cap);
        EXPECT_TRUE(initSolver());
        std::vector<double> out;
        for (int k = 0; k < 40; ++k) {
            idleStep();
            out.push_back(shooterState.objectIndex * 100000.0 + shooterState.triangleIndex);
        }
        setFaceCapturer(nullptr);
        for (const SceneObject& o : objects) {
            for (const auto& t : o.triangles) {
                out.push_back(t->radiosity.x);
                out.push_back(t->radiosity.z);
            }
        }
        return out;
    };
    const std::vector<double> culled = solve(true);
    const std::vector<double> whole = solve(false);
    ASSERT_EQ(culled.size(), whole.size());
    for (size_t k = 0; k < culled.size(); ++k) EXPECT_EQ(culled[k], whole[k]) << "entry " << k;
}

// A new item buffer (another scene) reaches a capturer made before it.
TEST_F(CulledCapture, FollowsARebuiltItemBuffer) {
    fixture::addObject(fixture::grid(Vec3(-1, -1, 1), Vec3(0, 2, 0), Vec3(2, 0, 0), 4, 4));  // faces down
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    shooterState.position = Vec3(0, 0, 0);
    shooterState.normal = Vec3(0, 0, 1);
    hemicubeCentre = Vec3(0, 0, 1);
    hemicubeUp = Vec3(0, 1, 0);
    cap.captureFace(topTable.data(), settings.N);
    double first = 0;
    for (auto& t : objects[0].triangles) first += t->formFactor;
    EXPECT_GT(first, 0.1);

    fixture::clearScene();
    fixture::addObject(fixture::grid(Vec3(-5, -5, 0.5), Vec3(0, 10, 0), Vec3(10, 0, 0), 3, 3));  // fills the face
    ASSERT_EQ(buildItemBuffer(), "");
    cap.captureFace(topTable.data(), settings.N);
    double second = 0;
    for (auto& t : objects[0].triangles) second += t->formFactor;
    EXPECT_NEAR(second, 4.0 * [] {
        double s = 0;
        for (double w : topTable) s += w;
        return s;
    }(), 1e-12);
}

}  // namespace
