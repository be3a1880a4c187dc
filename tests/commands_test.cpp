#include "view/commands.h"

#include <gtest/gtest.h>

#include <cmath>

#include "view/antialias.h"

namespace {

class ViewCommands : public testing::Test {
  protected:
    void SetUp() override { resetViewState(); }
};

}  // namespace

TEST_F(ViewCommands, ArrowKeysTurnByTenDegreesWithoutWrapping) {
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(applyArrowKey(kKeyLeft));
    EXPECT_EQ(viewAngleZ, 40.0f);
    for (int i = 0; i < 36; ++i) applyArrowKey(kKeyLeft);
    EXPECT_EQ(viewAngleZ, 400.0f);
    applyArrowKey(kKeyRight);
    EXPECT_EQ(viewAngleZ, 390.0f);

    applyArrowKey(kKeyUp);
    EXPECT_EQ(viewAngleX, -10.0f);
    applyArrowKey(kKeyDown);
    EXPECT_EQ(viewAngleX, 0.0f);

    // Function keys, Page Up, Home and the like change nothing.
    for (int key : {1, 12, 99, 104, 105, 106, 107, 108}) EXPECT_FALSE(applyArrowKey(key));
    EXPECT_EQ(viewAngleX, 0.0f);
    EXPECT_EQ(viewAngleZ, 390.0f);
}

TEST_F(ViewCommands, DragTurnsOneDegreePerPixelFromTheAnchor) {
    viewAngleX = 5.0f;
    viewAngleZ = -7.0f;
    beginDrag(100, 100);
    dragTo(120, 95);
    applyArrowKey(kKeyLeft);  // overridden by the next motion
    dragTo(130, 90);
    EXPECT_EQ(viewAngleZ, 23.0f);  // 30 to the right
    EXPECT_EQ(viewAngleX, -5.0f);  // 10 up
    dragTo(130, 90);               // the release at the same point
    EXPECT_EQ(viewAngleZ, 23.0f);
    EXPECT_EQ(viewAngleX, -5.0f);

    // A press and release at one point leave the angles as they were.
    beginDrag(40, 50);
    dragTo(40, 50);
    EXPECT_EQ(viewAngleZ, 23.0f);
    EXPECT_EQ(viewAngleX, -5.0f);

    // A second press re-anchors where it happens.
    beginDrag(10, 10);
    dragTo(20, 20);
    beginDrag(0, 0);
    dragTo(0, 1);
    EXPECT_EQ(viewAngleX, 6.0f);
    EXPECT_EQ(viewAngleZ, 33.0f);
}

TEST_F(ViewCommands, DragSubtractsInDoubleAndRoundsOnce) {
    // 16777219 pixels is no float: rounding it before subtracting would give
    // -16777220 instead of the exact -16777218.
    viewAngleX = 1.0f;
    beginDrag(0, 16777219);
    dragTo(0, 0);
    EXPECT_EQ(viewAngleX, -16777218.0f);
    // Extreme coordinates cannot overflow the pixel difference.
    resetViewState();
    beginDrag(-2147483647 - 1, 0);
    dragTo(2147483647, 0);
    EXPECT_EQ(viewAngleZ, static_cast<float>(4294967295.0));
}

TEST(KeyAndMenuDecisions, MapInputToActions) {
    EXPECT_EQ(keyAction(27), KeyAction::Exit);
    EXPECT_EQ(keyAction(32), KeyAction::Step);
    // Letters, a digit, Enter, Tab, Backspace, Delete and a high byte.
    for (int key : {97, 81, 48, 13, 10, 9, 8, 127, 255}) {
        EXPECT_EQ(keyAction(static_cast<unsigned char>(key)), KeyAction::None);
    }

    EXPECT_EQ(menuAction(1), MenuAction::Auto);
    EXPECT_EQ(menuAction(2), MenuAction::Stop);
    EXPECT_EQ(menuAction(0), MenuAction::Step);
    EXPECT_EQ(menuAction(3), MenuAction::AntiAlias);
    EXPECT_EQ(menuAction(4), MenuAction::Save);
    EXPECT_EQ(menuAction(5), MenuAction::None);
    for (int v : {0, 1, 2, 4}) EXPECT_TRUE(menuRedisplays(v));
    EXPECT_FALSE(menuRedisplays(3));
}

TEST(JitteredFrustum, MatchesThePerspectiveAndShiftsBySubpixels) {
    const Frustum f = perspectiveFrustum(45.0, 1.0, 0.1, 40.0);
    EXPECT_NEAR(f.top, 0.1 * std::tan(22.5 * 3.141592653589793 / 180.0), 1e-17);
    EXPECT_NEAR(f.top, 0.0414214, 1e-7);
    EXPECT_EQ(f.bottom, -f.top);
    EXPECT_EQ(f.left, -f.right);
    EXPECT_EQ(f.nearPlane, 0.1);
    EXPECT_EQ(f.farPlane, 40.0);
    const Frustum wide = perspectiveFrustum(45.0, 2.0, 0.1, 40.0);
    EXPECT_EQ(wide.right, 2.0 * f.top);

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
    EXPECT_EQ(none.left, f.left);
    EXPECT_EQ(none.top, f.top);
}

TEST(JitteredFrustum, PassesAverageToOneAndStayInsideThePixel) {
    float total = 0.0f;
    double meanX = 0.0, meanY = 0.0;
    for (int i = 0; i < kJitterPasses; ++i) {
        total += kPassWeight;
        EXPECT_LT(std::abs(kJitter[i][0]), 0.5f);
        EXPECT_LT(std::abs(kJitter[i][1]), 0.5f);
        meanX += kJitter[i][0] / 8.0;
        meanY += kJitter[i][1] / 8.0;
    }
    EXPECT_EQ(total, 1.0f);
    // The pattern is centred on the pixel, so the average picture is not shifted.
    EXPECT_NEAR(meanX, 0.0, 1e-6);
    EXPECT_NEAR(meanY, 0.0, 1e-6);
}
