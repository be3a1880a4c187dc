// Turning the view by drags, and the jittered frustum of the anti-aliased
// frame. Which key and menu entry does what (the arrows turn as a drag of
// ten pixels does) is run in e2e/viewer_e2e.py.

#include "view/commands.h"

#include <gtest/gtest.h>

#include <cmath>

#include "view/antialias.h"

namespace {

void expectAngles(const ViewState& view, float x, float z) {
    EXPECT_EQ(view.viewAngleX, x);
    EXPECT_EQ(view.viewAngleZ, z);
}

}  // namespace

TEST(ViewCommands, DragTurnsOneDegreePerPixelFromTheAnchor) {
    ViewState view;
    view.viewAngleX = 5.0f;
    view.viewAngleZ = -7.0f;
    beginDrag(view, 100, 100);
    dragTo(view, 120, 95);
    applyArrowKey(view, kKeyLeft);  // overridden by the next motion
    dragTo(view, 130, 90);
    expectAngles(view, -5.0f, 23.0f);  // 10 up, 30 to the right
    beginDrag(view, 40, 50);           // a press and release at one point
    dragTo(view, 40, 50);
    beginDrag(view, 10, 10);  // a second press re-anchors where it happens
    dragTo(view, 20, 20);
    beginDrag(view, 0, 0);
    dragTo(view, 0, 1);
    expectAngles(view, 6.0f, 33.0f);
    // 16777219 pixels is no float: rounding it before subtracting would give
    // -16777220 instead of the exact -16777218. Extreme coordinates cannot
    // overflow the pixel difference.
    view = ViewState{};
    view.viewAngleX = 1.0f;
    beginDrag(view, -2147483647 - 1, 16777219);
    dragTo(view, 2147483647, 0);
    expectAngles(view, -16777218.0f, static_cast<float>(4294967295.0));
}

TEST(JitteredFrustum, MatchesThePerspectiveAndShiftsBySubpixels) {
    const Frustum f = perspectiveFrustum(45.0, 1.0, 0.1, 40.0);
    EXPECT_NEAR(f.top, 0.0414214, 1e-7);  // 0.1 tan(22.5°)
    EXPECT_TRUE(f.bottom == -f.top && f.left == -f.right && f.nearPlane == 0.1 && f.farPlane == 40.0);
    EXPECT_EQ(perspectiveFrustum(45.0, 2.0, 0.1, 40.0).right, 2.0 * f.top);
    const Frustum p0 = shiftFrustum(f, 256, 256, kJitter[0][0], kJitter[0][1], 0.0, 0.0, 1.0);
    EXPECT_NEAR(p0.left - f.left, 0.000108349, 5e-10);
    EXPECT_NEAR(p0.bottom - f.bottom, -0.000140875, 5e-10);
    EXPECT_NEAR(p0.right - p0.left, f.right - f.left, 1e-15);
    // An eye offset shifts by offset × near / focus; a viewport of no size
    // shifts nothing rather than dividing by zero.
    const Frustum eye = shiftFrustum(f, 256, 256, 0.0, 0.0, 2.0, -1.0, 4.0);
    EXPECT_DOUBLE_EQ(eye.left - f.left, -0.05);
    EXPECT_DOUBLE_EQ(eye.top - f.top, 0.025);
    const Frustum none = shiftFrustum(f, 0, 0, 0.3, 0.3, 0.0, 0.0, 1.0);
    EXPECT_TRUE(none.left == f.left && none.top == f.top);
    // The passes weigh 1 in all, stay inside the pixel and centre on it, so
    // the average picture is not shifted.
    double total = 0.0, meanX = 0.0, meanY = 0.0;
    for (int i = 0; i < kJitterPasses; ++i) {
        total += kPassWeight;
        EXPECT_TRUE(std::abs(kJitter[i][0]) < 0.5f && std::abs(kJitter[i][1]) < 0.5f) << i;
        meanX += kJitter[i][0];
        meanY += kJitter[i][1];
    }
    EXPECT_NEAR(total, 1.0, 1e-7);
    EXPECT_TRUE(std::fabs(meanX) < 8e-6 && std::fabs(meanY) < 8e-6);
}
