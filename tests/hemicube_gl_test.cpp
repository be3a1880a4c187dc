// Face captures on a real (headless) OpenGL context.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "app/headless_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/item_buffer.h"
#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

constexpr int kN = 256;

// Shooter at the origin facing +z; the top face looks up with +y up.
class HemicubeCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
    }
    // A large triangle in the plane z = d; facing the origin unless flipped.
    void addCeiling(double d, bool facingDown = true) {
        const Vec3 a(-100, -100, d), b(100, -100, d), c(0, 200, d);
        fixture::addObject(scene, {facingDown ? Corners{a, c, b} : Corners{a, b, c}});
    }

    const FaceView top{Vec3(0, 0, 0.001), Vec3(0, 0, 1), Vec3(0, 1, 0), kN};
    const std::vector<double> topTable = buildTopTable(kN / 2);
    Scene scene;
    ItemBuffer items;
    HeadlessContext gl;
};

TEST_F(HemicubeCapture, NearestFacingTriangleGainsTheWholeFace) {
    addCeiling(1.0, false);  // turns its back to the shooter
    addCeiling(2.0);         // hidden behind the nearer one below
    addCeiling(0.5);
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    for (const CaptureMode mode : {CaptureMode::Fast, CaptureMode::Literal}) {
        HemicubeCapturer cap(items, kN, 0.1, 40.0, mode);
        ASSERT_TRUE(cap.ok()) << cap.error();
        cap.captureFace(top, topTable);
        const std::vector<double> ff = fixture::takeFormFactors(scene);
        EXPECT_TRUE(ff[0] == 0.0 && ff[1] == 0.0);
        EXPECT_NEAR(ff[2], 4.0 * std::accumulate(topTable.begin(), topTable.end(), 0.0), 1e-12);
    }
}

// Broken invariants stop the program with their values instead of summing
// garbage: a table of the wrong size would be read past its end, and without
// the item buffer (whose list clears the target) an older image would be
// counted again.
TEST_F(HemicubeCapture, MisuseStopsWithTheValues) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    addCeiling(0.5);
    HemicubeCapturer cap(items, kN, 0.1, 40.0, CaptureMode::Literal);
    EXPECT_DEATH(cap.captureFace(top, topTable), "check failed: items_->built\\(\\)");
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    EXPECT_DEATH(cap.captureFace(top, buildTopTable(kN / 4)),
                 "hemicube.cpp:[0-9]+: check failed: weights.size\\(\\) == .* \\(4096 vs 16384\\)");
    FaceView tooManyRows = top;
    tooManyRows.rows = kN + 1;
    EXPECT_DEATH(cap.captureFace(tooManyRows, topTable), "view.rows <= n \\(257 vs 256\\)");
    glDeleteLists(ItemBuffer::kList, 1);
    EXPECT_DEATH(cap.captureFace(top, topTable), "check failed: glIsList");
}

// A unit square centred 1 above the eye (which sits 1/1000 above the
// shooter), against the point-to-parallel-square factor. Its edges fall on
// pixel boundaries of the top face, so the only error left is the midpoint
// rule over 1/128-wide pixels, about 1e-5. The capture leaves the caller's
// framebuffer, viewport, matrices and depth test as they were.
TEST_F(HemicubeCapture, UnitSquareMatchesTheClosedFormAndTheCallersStateIsKept) {
    fixture::addObject(scene, fixture::grid(Vec3(-0.5, 0.5, 1.001), Vec3(1, 0, 0), Vec3(0, -1, 0), 1, 1));
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    HemicubeCapturer cap(items, kN, 0.1, 40.0);
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslated(1, 2, 3);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    cap.captureFace(top, topTable);
    const double a = 0.5 / std::sqrt(1.25);
    const std::vector<double> ff = fixture::takeFormFactors(scene);
    EXPECT_NEAR(ff[0] + ff[1], 4.0 / 3.141592653589793 * a * std::atan(a), 1e-5);
    GLint viewport[4] = {0, 0, 0, 0}, fb = -1, mode = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_TRUE(viewport[0] == 3 && viewport[1] == 4 && viewport[2] == 50 && viewport[3] == 60);
    EXPECT_TRUE(fb == 0 && mode == GL_MODELVIEW && !glIsEnabled(GL_DEPTH_TEST));
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    EXPECT_TRUE(projection[12] == 1.0 && projection[14] == 3.0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
