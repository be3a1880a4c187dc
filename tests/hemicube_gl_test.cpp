// Face captures on a real (headless) OpenGL context.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "app/headless_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

class HemicubeCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
        settings.N = 256;
        settings.H = 128;
        buildTopTable();
        buildSideTable();
    }
    void TearDown() override { shooterState = ShooterState{}; }

    // Shooter at the origin facing +z; the top face looks up with +y up.
    static void lookUp() {
        shooterState.position = Vec3(0, 0, 0);
        shooterState.normal = Vec3(0, 0, 1);
        hemicubeCentre = Vec3(0, 0, 1);
        hemicubeUp = Vec3(0, 1, 0);
    }

    static double topTotal() { return 4.0 * std::accumulate(topTable.begin(), topTable.end(), 0.0); }

    fixture::SceneGuard guard;
    HeadlessContext gl;
};

// A large triangle in the plane z = d; facing the origin unless flipped.
std::vector<Corners> ceiling(double d, bool facingDown = true) {
    const Vec3 a(-100, -100, d), b(100, -100, d), c(0, 200, d);
    return {facingDown ? Corners{a, c, b} : Corners{a, b, c}};
}

TEST_F(HemicubeCapture, TriangleFillingTheTopFaceGainsItsWholeWeight) {
    fixture::addObject(ceiling(1.0));
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    ASSERT_TRUE(cap.ok()) << cap.error();
    lookUp();
    cap.captureFace(topTable.data(), settings.N);
    EXPECT_NEAR(objects[0].triangles[0]->formFactor, topTotal(), 1e-12);
    EXPECT_NEAR(objects[0].triangles[0]->formFactor, 0.554, 5e-4);
}

TEST_F(HemicubeCapture, BackFacesAndHiddenTrianglesGainNothing) {
    fixture::addObject(ceiling(1.0, false));  // turns its back to the shooter
    fixture::addObject(ceiling(2.0));         // hidden behind the nearer one below
    fixture::addObject(ceiling(0.5));
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    lookUp();
    cap.captureFace(topTable.data(), settings.N);
    EXPECT_EQ(objects[0].triangles[0]->formFactor, 0.0);
    EXPECT_EQ(objects[1].triangles[0]->formFactor, 0.0);
    EXPECT_NEAR(objects[2].triangles[0]->formFactor, topTotal(), 1e-12);
}

TEST_F(HemicubeCapture, NothingIsCountedWithoutAnItemBuffer) {
    fixture::addObject(ceiling(1.0));
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    lookUp();
    cap.captureFace(topTable.data(), settings.N);
    ASSERT_GT(objects[0].triangles[0]->formFactor, 0.5);
    // Without the list nothing clears the target: its old image must not be
    // counted again.
    glDeleteLists(2, 1);
    objects[0].triangles[0]->formFactor = 0.0;
    cap.captureFace(topTable.data(), settings.N);
    EXPECT_EQ(objects[0].triangles[0]->formFactor, 0.0);
}

TEST_F(HemicubeCapture, UnitSquareAboveAPointMatchesTheClosedForm) {
    // A unit square centred 1 above the eye (which sits 1/1000 above the
    // shooter). Its edges fall on pixel boundaries of the top face, so the
    // only error left is the midpoint rule over 1/128-wide pixels, which
    // the weight tables show to be about 1e-5 of the total.
    const double z = 1.001;
    fixture::addObject(fixture::grid(Vec3(-0.5, 0.5, z), Vec3(1, 0, 0), Vec3(0, -1, 0), 1, 1));
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    lookUp();
    // The square lies inside the top face's view: the side faces cannot see it.
    cap.captureFace(topTable.data(), settings.N);
    // Point to a parallel square of side 1 at distance 1, centred above it.
    const double a = 0.5 / std::sqrt(1.25);
    const double exact = 4.0 / 3.141592653589793 * a * std::atan(a);
    const double f = objects[0].triangles[0]->formFactor + objects[0].triangles[1]->formFactor;
    EXPECT_NEAR(exact, 0.239456, 1e-6);
    EXPECT_NEAR(f, exact, 1e-5);  // measured: 2.8e-6
}

// A cluttered scene: both capture paths show the same pixels, so form factors
// differ at most on pixels that a triangle edge crosses.
TEST_F(HemicubeCapture, FastAndLiteralPathsAgree) {
    settings.N = 128;
    settings.H = 64;
    buildTopTable();
    buildSideTable();
    // A closed box around the shooter plus a few tilted panels inside it.
    const double s = 2.0;
    fixture::addObject(fixture::grid(Vec3(-s, -s, -s), Vec3(2 * s, 0, 0), Vec3(0, 2 * s, 0), 3, 3));  // floor
    fixture::addObject(
        fixture::grid(Vec3(-s, -s, s), Vec3(0, 2 * s, 0), Vec3(2 * s, 0, 0), 3, 3));  // ceiling
    fixture::addObject(
        fixture::grid(Vec3(-s, -s, -s), Vec3(0, 0, 2 * s), Vec3(2 * s, 0, 0), 3, 3));                // y = -s
    fixture::addObject(fixture::grid(Vec3(-s, s, -s), Vec3(2 * s, 0, 0), Vec3(0, 0, 2 * s), 3, 3));  // y = +s
    fixture::addObject(
        fixture::grid(Vec3(-s, -s, -s), Vec3(0, 2 * s, 0), Vec3(0, 0, 2 * s), 3, 3));                // x = -s
    fixture::addObject(fixture::grid(Vec3(s, -s, -s), Vec3(0, 0, 2 * s), Vec3(0, 2 * s, 0), 3, 3));  // x = +s
    fixture::addObject({{Vec3(0.3, -0.7, 0.4), Vec3(1.1, 0.2, 0.9), Vec3(-0.2, 0.5, 1.3)},
                        {Vec3(-1.0, -0.4, 0.2), Vec3(-0.1, -1.2, 0.8), Vec3(-0.6, 0.3, 0.1)},
                        {Vec3(0.9, 0.8, 0.05), Vec3(0.2, 1.3, 0.6), Vec3(1.4, 1.1, 0.7)}});
    ASSERT_EQ(buildItemBuffer(), "");
    shooterState.position = Vec3(0.1, -0.2, -s + 1e-9);
    shooterState.normal = Vec3(0, 0, 1);

    auto captureAll = [&](CaptureMode mode) {
        HemicubeCapturer cap(mode);
        const Vec3 p = shooterState.position;
        const Vec3 n = shooterState.normal;
        Vec3 u(0.6, 0.8, 0), v = n.cross(u);
        struct Face {
            Vec3 up, dir;
            const double* w;
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
            cap.captureFace(f.w, f.rows);
        }
        std::vector<double> out;
        for (SceneObject& o : objects)
            for (auto& t : o.triangles) out.push_back(t->formFactor), t->formFactor = 0;
        return out;
    };
    const std::vector<double> fast = captureAll(CaptureMode::Fast);
    const std::vector<double> literal = captureAll(CaptureMode::Literal);
    ASSERT_EQ(fast.size(), literal.size());
    // Largest single-pixel weight: a few edge pixels may flip between paths.
    const double pixel = *std::max_element(topTable.begin(), topTable.end());
    double fastTotal = 0, literalTotal = 0;
    int differing = 0;
    for (size_t k = 0; k < fast.size(); ++k) {
        EXPECT_NEAR(fast[k], literal[k], 20 * pixel) << "triangle " << k;
        differing += fast[k] != literal[k];
        fastTotal += fast[k];
        literalTotal += literal[k];
    }
    // Closed box: every pixel shows something, both ways.
    const double all = topTotal() + 8 * std::accumulate(sideTable.begin(), sideTable.end(), 0.0);
    EXPECT_NEAR(fastTotal, all, 1e-9);
    EXPECT_NEAR(literalTotal, all, 1e-9);
    std::printf("[ info ] %d of %zu triangles differ between the two capture paths\n", differing,
                fast.size());
}

TEST_F(HemicubeCapture, LeavesTheCallersFramebufferAndViewportAlone) {
    fixture::addObject(ceiling(1.0));
    buildItemBuffer();
    HemicubeCapturer cap;
    GLint viewport[4] = {0, 0, 0, 0};
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslated(1, 2, 3);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    lookUp();
    cap.captureFace(topTable.data(), settings.N);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 3);
    EXPECT_EQ(viewport[1], 4);
    EXPECT_EQ(viewport[2], 50);
    EXPECT_EQ(viewport[3], 60);
    GLint fb = -1, mode = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(fb, 0);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(projection[12], 1.0);
    EXPECT_EQ(projection[14], 3.0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
