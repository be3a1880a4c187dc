// The anti-aliased frame drawn off-screen. A framebuffer object has no
// accumulation buffer, so this runs the read-back averaging; the
// accumulation buffer itself is exercised in the windowed end-to-end test.

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <vector>

#include "app/headless_context.h"
#include "radiosity/offscreen_target.h"
#include "scene/scene.h"
#include "view/antialias.h"
#include "view/commands.h"

namespace {

constexpr int kSize = 64;
using Rgb = std::array<int, 3>;

class AntialiasGl : public testing::Test {
  protected:
    void SetUp() override {
        if (!context_.ok()) GTEST_SKIP() << context_.error();
        ASSERT_EQ(target_.create(kSize), "");  // RGBA8 colour and a depth buffer
        glBindFramebuffer(GL_FRAMEBUFFER, target_.framebuffer());
        glViewport(0, 0, kSize, kSize);
        glEnable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
    }

    // Display list 1: a square in the plane y = 0 (which the default camera
    // looks at from y = -20) over x from -100 to 0, so its right edge runs
    // down the middle of the picture, slightly slanted to hit every sub-pixel
    // position. Then the anti-aliased frame of it, read back.
    std::vector<Rgb> draw(float r, float g, float b) {
        const float corners[6][2] = {{-100, -100}, {0.4f, -100}, {-0.4f, 100},
                                     {-100, -100}, {-0.4f, 100}, {-100, 100}};
        glNewList(1, GL_COMPILE);
        glColor3f(r, g, b);
        glBegin(GL_TRIANGLES);
        for (const auto& c : corners) glVertex3f(c[0], 0.0f, c[1]);
        glEnd();
        glEndList();
        drawAntialiased(1, scene_, view_);
        glDeleteLists(1, 1);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        std::vector<unsigned char> bytes(kSize * kSize * 4);
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        std::vector<Rgb> px(kSize * kSize);  // row by row from the bottom
        for (int i = 0; i < kSize * kSize; ++i) px[i] = {bytes[4 * i], bytes[4 * i + 1], bytes[4 * i + 2]};
        return px;
    }

    Scene scene_;  // default camera and field of view
    ViewState view_;
    HeadlessContext context_;
    OffscreenTarget target_;  // released before the context goes
};

}  // namespace

TEST_F(AntialiasGl, KeepsUniformRegionsAndBlendsEdgesInEighths) {
    const auto pic = draw(77 / 255.0f, 153 / 255.0f, 230 / 255.0f);
    int blended = 0;
    for (int y = 0; y < kSize; ++y) {
        // Well inside the square: its colour exactly; well outside: black.
        EXPECT_EQ(pic[y * kSize + 2], (Rgb{77, 153, 230})) << "row " << y;
        EXPECT_EQ(pic[y * kSize + kSize - 3], (Rgb{0, 0, 0})) << "row " << y;
        for (int x = 0; x < kSize; ++x) {
            const Rgb& p = pic[y * kSize + x];
            if (p[2] == 0 || p[2] == 230) continue;
            ++blended;
            // A mix of the two sides in steps of one eighth.
            const double eighths = p[2] / (230.0 / 8.0);
            EXPECT_NEAR(eighths, std::lround(eighths), 0.05) << x << "," << y;
            EXPECT_NEAR(p[0] / 77.0, p[2] / 230.0, 0.02);
        }
    }
    // Every row crosses the edge once, through about one blended pixel.
    EXPECT_TRUE(blended >= kSize / 2 && blended <= 2 * kSize) << blended;
}

TEST_F(AntialiasGl, AppliesTheViewRotationInEveryPassAndUndoesIt) {
    view_.viewAngleZ = 180.0f;  // the square turns to the right half
    const auto pic = draw(1.0f, 1.0f, 1.0f);
    EXPECT_EQ(pic[kSize * kSize / 2 + 2], (Rgb{0, 0, 0}));
    EXPECT_EQ(pic[kSize * kSize / 2 + kSize - 3], (Rgb{255, 255, 255}));
    // The modelview is left holding the camera alone.
    std::array<double, 16> left{}, camera{};
    glGetDoublev(GL_MODELVIEW_MATRIX, left.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, -20, 0, 0, 0, 0, 0, 0, 1);  // the default camera
    glGetDoublev(GL_MODELVIEW_MATRIX, camera.data());
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(left[i], camera[i], 1e-6) << i;
}
