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
    double topTotal() const { return 4.0 * std::accumulate(topTable.begin(), topTable.end(), 0.0); }
    // Form factor of object o's first triangle (every object here has one).
    double ff(int o) const { return ffs[static_cast<size_t>(o)]; }
    void capture(HemicubeCapturer& cap, const FaceView& view, const std::vector<double>& table) {
        if (ffs.size() != fixture::zeroFormFactors(scene).size()) ffs = fixture::zeroFormFactors(scene);
        cap.captureFace(view, table, ffs);
    }
    HemicubeCapturer capturer() { return HemicubeCapturer(items, kN, 0.1, 40.0); }

    const FaceView top{Vec3(0, 0, 0.001), Vec3(0, 0, 1), Vec3(0, 1, 0), kN};
    const std::vector<double> topTable = buildTopTable(kN / 2);
    Scene scene;
    ItemBuffer items;
    std::vector<double> ffs;
    HeadlessContext gl;
};

// A large triangle in the plane z = d; facing the origin unless flipped.
std::vector<Corners> ceiling(double d, bool facingDown = true) {
    const Vec3 a(-100, -100, d), b(100, -100, d), c(0, 200, d);
    return {facingDown ? Corners{a, c, b} : Corners{a, b, c}};
}

TEST_F(HemicubeCapture, NearestFacingTriangleGainsTheWholeFace) {
    fixture::addObject(scene, ceiling(1.0, false));  // turns its back to the shooter
    fixture::addObject(scene, ceiling(2.0));         // hidden behind the nearer one below
    fixture::addObject(scene, ceiling(0.5));
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    for (const CaptureMode mode : {CaptureMode::Fast, CaptureMode::Literal}) {
        HemicubeCapturer cap(items, kN, 0.1, 40.0, mode);
        ASSERT_TRUE(cap.ok()) << cap.error();
        ffs.clear();
        capture(cap, top, topTable);
        EXPECT_EQ(ff(0), 0.0);
        EXPECT_EQ(ff(1), 0.0);
        EXPECT_NEAR(ff(2), topTotal(), 1e-12);
        EXPECT_NEAR(ff(2), 0.554, 5e-4);
    }
}

// Broken invariants stop the program, naming the place, the expression and
// both values, instead of summing garbage: a table of the wrong size would be read past its end, and without
// the item buffer (whose list clears the target) an older image would be
// counted again.
TEST_F(HemicubeCapture, MisuseStopsWithTheValues) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fixture::addObject(scene, ceiling(0.5));
    HemicubeCapturer cap(items, kN, 0.1, 40.0, CaptureMode::Literal);
    EXPECT_DEATH(capture(cap, top, topTable), "check failed: items_->built\\(\\)");
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    EXPECT_DEATH(capture(cap, top, buildTopTable(kN / 4)),
                 "hemicube.cpp:[0-9]+: check failed: weights.size\\(\\) == .* \\(4096 vs 16384\\)");
    FaceView tooManyRows = top;
    tooManyRows.rows = kN + 1;
    EXPECT_DEATH(capture(cap, tooManyRows, topTable), "view.rows <= n \\(257 vs 256\\)");
    // An array that is not one entry per triangle would be written past its end.
    std::vector<double> short_(0);
    EXPECT_DEATH(cap.captureFace(top, topTable, short_), "formFactors.size\\(\\) == .* \\(0 vs 1\\)");
    glDeleteLists(ItemBuffer::kList, 1);
    EXPECT_DEATH(capture(cap, top, topTable), "check failed: glIsList");
}

TEST_F(HemicubeCapture, UnitSquareAboveAPointMatchesTheClosedForm) {
    // A unit square centred 1 above the eye (which sits 1/1000 above the
    // shooter). Its edges fall on pixel boundaries of the top face, so the
    // only error left is the midpoint rule over 1/128-wide pixels, which
    // the weight tables show to be about 1e-5 of the total. The side faces
    // cannot see it.
    fixture::addObject(scene, fixture::grid(Vec3(-0.5, 0.5, 1.001), Vec3(1, 0, 0), Vec3(0, -1, 0), 1, 1));
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    HemicubeCapturer cap = capturer();
    capture(cap, top, topTable);
    // Point to a parallel square of side 1 at distance 1, centred above it.
    const double a = 0.5 / std::sqrt(1.25);
    const double exact = 4.0 / 3.141592653589793 * a * std::atan(a);
    EXPECT_NEAR(exact, 0.239456, 1e-6);
    EXPECT_NEAR(ffs[0] + ffs[1], exact, 1e-5);
}

TEST_F(HemicubeCapture, LeavesTheCallersFramebufferAndViewportAlone) {
    fixture::addObject(scene, ceiling(1.0));
    buildItemBuffer(scene.objects, items);
    HemicubeCapturer cap = capturer();
    glViewport(3, 4, 50, 60);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glTranslated(1, 2, 3);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    capture(cap, top, topTable);
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
