// Face captures on a real (headless) OpenGL context.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "app/headless_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

// Shooter at the origin facing +z; the top face looks up with +y up.
class HemicubeCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
        buildTopTable();
        buildSideTable();
        shooterState.position = Vec3(0, 0, 0);
        shooterState.normal = Vec3(0, 0, 1);
        hemicubeCentre = Vec3(0, 0, 1);
        hemicubeUp = Vec3(0, 1, 0);
    }
    void TearDown() override { shooterState = ShooterState{}; }
    static double topTotal() { return 4.0 * std::accumulate(topTable.begin(), topTable.end(), 0.0); }
    static double ff(int o) { return fixture::tri(o, 0).formFactor; }

    fixture::SceneGuard guard;
    HeadlessContext gl;
};

// A large triangle in the plane z = d; facing the origin unless flipped.
std::vector<Corners> ceiling(double d, bool facingDown = true) {
    const Vec3 a(-100, -100, d), b(100, -100, d), c(0, 200, d);
    return {facingDown ? Corners{a, c, b} : Corners{a, b, c}};
}

TEST_F(HemicubeCapture, NearestFacingTriangleGainsTheWholeFace) {
    fixture::addObject(ceiling(1.0, false));  // turns its back to the shooter
    fixture::addObject(ceiling(2.0));         // hidden behind the nearer one below
    fixture::addObject(ceiling(0.5));
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    ASSERT_TRUE(cap.ok()) << cap.error();
    cap.captureFace(topTable.data(), settings.N);
    EXPECT_EQ(ff(0), 0.0);
    EXPECT_EQ(ff(1), 0.0);
    EXPECT_NEAR(ff(2), topTotal(), 1e-12);
    EXPECT_NEAR(ff(2), 0.554, 5e-4);
    // Without the item buffer's list nothing clears the target: its old
    // image must not be counted again.
    glDeleteLists(2, 1);
    objects[2].triangles[0]->formFactor = 0.0;
    cap.captureFace(topTable.data(), settings.N);
    EXPECT_EQ(ff(2), 0.0);
}

TEST_F(HemicubeCapture, UnitSquareAboveAPointMatchesTheClosedForm) {
    // A unit square centred 1 above the eye (which sits 1/1000 above the
    // shooter). Its edges fall on pixel boundaries of the top face, so the
    // only error left is the midpoint rule over 1/128-wide pixels, which
    // the weight tables show to be about 1e-5 of the total. The side faces
    // cannot see it.
    fixture::addObject(fixture::grid(Vec3(-0.5, 0.5, 1.001), Vec3(1, 0, 0), Vec3(0, -1, 0), 1, 1));
    ASSERT_EQ(buildItemBuffer(), "");
    HemicubeCapturer cap;
    cap.captureFace(topTable.data(), settings.N);
    // Point to a parallel square of side 1 at distance 1, centred above it.
    const double a = 0.5 / std::sqrt(1.25);
    const double exact = 4.0 / 3.141592653589793 * a * std::atan(a);
    EXPECT_NEAR(exact, 0.239456, 1e-6);
    EXPECT_NEAR(objects[0].triangles[0]->formFactor + objects[0].triangles[1]->formFactor, exact, 1e-5);
}

TEST_F(HemicubeCapture, LeavesTheCallersFramebufferAndViewportAlone) {
    fixture::addObject(ceiling(1.0));
    buildItemBuffer();
    HemicubeCapturer cap;
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslated(1, 2, 3);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    cap.captureFace(topTable.data(), settings.N);
    GLint viewport[4] = {0, 0, 0, 0}, fb = -1, mode = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_TRUE(viewport[0] == 3 && viewport[1] == 4 && viewport[2] == 50 && viewport[3] == 60);
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
