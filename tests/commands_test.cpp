// Viewer input decisions and the jittered frustum of the anti-aliased frame.

#include "view/commands.h"

#include <gtest/gtest.h>

#include <cmath>

#include "view/antialias.h"

namespace {

class ViewCommands : public testing::Test {
  protected:
    void expectAngles(float x, float z) const {
        EXPECT_EQ(view.viewAngleX, x);
        EXPECT_EQ(view.viewAngleZ, z);
    }
    ViewState view;
};

}  // namespace

TEST_F(ViewCommands, ArrowKeysTurnByTenDegreesWithoutWrapping) {
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(applyArrowKey(view, kKeyLeft));
    }
    EXPECT_EQ(view.viewAngleZ, 40.0f);
    for (int i = 0; i < 36; ++i) applyArrowKey(view, kKeyLeft);
    applyArrowKey(view, kKeyRight);
    applyArrowKey(view, kKeyUp);
    expectAngles(-10.0f, 390.0f);
    applyArrowKey(view, kKeyDown);
    // Function keys, Page Up, Home and the like change nothing.
    for (int key : {1, 12, 99, 104, 105, 106, 107, 108}) {
        EXPECT_FALSE(applyArrowKey(view, key));
    }
    expectAngles(0.0f, 390.0f);
}

TEST_F(ViewCommands, DragTurnsOneDegreePerPixelFromTheAnchor) {
    view.viewAngleX = 5.0f;
    view.viewAngleZ = -7.0f;
    beginDrag(view, 100, 100);
    dragTo(view, 120, 95);
    applyArrowKey(view, kKeyLeft);  // overridden by the next motion
    dragTo(view, 130, 90);
    expectAngles(-5.0f, 23.0f);  // 10 up, 30 to the right
    dragTo(view, 130, 90);       // the release at the same point
    beginDrag(view, 40, 50);     // a press and release at one point
    dragTo(view, 40, 50);
    expectAngles(-5.0f, 23.0f);
    beginDrag(view, 10, 10);  // a second press re-anchors where it happens
    dragTo(view, 20, 20);
    beginDrag(view, 0, 0);
    dragTo(view, 0, 1);
    expectAngles(6.0f, 33.0f);
    // 16777219 pixels is no float: rounding it before subtracting would give
    // -16777220 instead of the exact -16777218.
    view = ViewState{};
    view.viewAngleX = 1.0f;
    beginDrag(view, 0, 16777219);
    dragTo(view, 0, 0);
    EXPECT_EQ(view.viewAngleX, -16777218.0f);
    // Extreme coordinates cannot overflow the pixel difference.
    beginDrag(view, -2147483647 - 1, 0);
    dragTo(view, 2147483647, 0);
    EXPECT_EQ(view.viewAngleZ, static_cast<float>(4294967295.0));
}

TEST(KeyAndMenuDecisions, MapInputToActions) {
    EXPECT_EQ(keyAction(27), KeyAction::Exit);
    EXPECT_EQ(keyAction(32), KeyAction::Step);
    // Letters, a digit, Enter, Tab, Backspace, Delete and a high byte.
    for (int key : {97, 81, 48, 13, 10, 9, 8, 127, 255}) {
        EXPECT_EQ(keyAction(static_cast<unsigned char>(key)), KeyAction::None);
    }
    const MenuAction menu[] = {MenuAction::Step,      MenuAction::Auto, MenuAction::Stop,
                               MenuAction::AntiAlias, MenuAction::Save, MenuAction::None};
    for (int v = 0; v < 6; ++v) {
        EXPECT_EQ(menuAction(v), menu[v]) << v;
    }
    for (int v : {0, 1, 2, 4}) {
        EXPECT_TRUE(menuRedisplays(v));
    }
    EXPECT_FALSE(menuRedisplays(3));
}

TEST(JitteredFrustum, MatchesThePerspectiveAndShiftsBySubpixels) {
    const Frustum f = perspectiveFrustum(45.0, 1.0, 0.1, 40.0);
    EXPECT_NEAR(f.top, 0.0414214, 1e-7);  // 0.1 tan(22.5°)
    EXPECT_TRUE(f.bottom == -f.top && f.left == -f.right && f.nearPlane == 0.1 && f.farPlane == 40.0);
    EXPECT_EQ(perspectiveFrustum(45.0, 2.0, 0.1, 40.0).right, 2.0 * f.top);
    const Frustum p0 = shiftFrustum(f, 256, 256, kJitter[0][0], kJitter[0][1], 0.0, 0.0, 1.0);
    EXPECT_NEAR(p0.left, -0.0413130, 5e-8);
    EXPECT_NEAR(p0.right, 0.0415297, 5e-8);
    EXPECT_NEAR(p0.bottom, -0.0415622, 5e-8);
    EXPECT_NEAR(p0.top, 0.0412805, 5e-8);
    EXPECT_NEAR(p0.left - f.left, 0.000108349, 5e-10);
    EXPECT_NEAR(p0.bottom - f.bottom, -0.000140875, 5e-10);
    // An eye offset shifts by offset × near / focus; a viewport of no size
    // shifts nothing rather than dividing by zero.
    const Frustum eye = shiftFrustum(f, 256, 256, 0.0, 0.0, 2.0, -1.0, 4.0);
    EXPECT_DOUBLE_EQ(eye.left - f.left, -0.05);
    EXPECT_DOUBLE_EQ(eye.top - f.top, 0.025);
    const Frustum none = shiftFrustum(f, 0, 0, 0.3, 0.3, 0.0, 0.0, 1.0);
    EXPECT_TRUE(none.left == f.left && none.top == f.top);
    // The passes weigh 1 in all, stay inside the pixel and centre on it, so
    // the average picture is not shifted.
    float total = 0.0f;
    double meanX = 0.0, meanY = 0.0;
    for (int i = 0; i < kJitterPasses; ++i) {
        total += kPassWeight;
        EXPECT_TRUE(std::abs(kJitter[i][0]) < 0.5f && std::abs(kJitter[i][1]) < 0.5f) << i;
        meanX += kJitter[i][0] / 8.0;
        meanY += kJitter[i][1] / 8.0;
    }
    EXPECT_EQ(total, 1.0f);
    EXPECT_NEAR(meanX, 0.0, 1e-6);
    EXPECT_NEAR(meanY, 0.0, 1e-6);
}
