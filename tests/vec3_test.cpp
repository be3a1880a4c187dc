#include <gtest/gtest.h>

#include <cmath>

#include "scene/vec3.h"

TEST(Vec3, ClampToUnitKeepsHueAndNeverRaisesTheDivisor) {
    Vec3 inRange(0.5, 0.2, 0.1);
    inRange.clampToUnit();
    EXPECT_EQ(inRange.x, 0.5);
    EXPECT_EQ(inRange.y, 0.2);
    EXPECT_EQ(inRange.z, 0.1);

    Vec3 red(2, 1, 0.5);
    red.clampToUnit();
    EXPECT_EQ(red.x, 1.0);
    EXPECT_EQ(red.y, 0.5);
    EXPECT_EQ(red.z, 0.25);

    Vec3 green(0.5, 3, 1.5);
    green.clampToUnit();
    EXPECT_DOUBLE_EQ(green.x, 1.0 / 6.0);
    EXPECT_EQ(green.y, 1.0);
    EXPECT_EQ(green.z, 0.5);

    Vec3 negative(-4, 0.5, 0);  // negative channels never raise the divisor
    negative.clampToUnit();
    EXPECT_EQ(negative.x, -4.0);
    EXPECT_EQ(negative.y, 0.5);

    Vec3 blue(0.2, 0.1, 4.0);  // z alone above 1 sets the divisor
    blue.clampToUnit();
    EXPECT_EQ(blue.z, 1.0);
    EXPECT_EQ(blue.x, 0.05);
}

TEST(Vec3, NormaliseReturnsLengthAndLeavesNanForZero) {
    Vec3 v(3, 4, 0);
    EXPECT_EQ(v.normalise(), 5.0);
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    EXPECT_DOUBLE_EQ(v.y, 0.8);

    Vec3 zero;
    EXPECT_EQ(zero.normalise(), 0.0);
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
}

TEST(Vec3, CrossIsRightHandedAndOrderMatters) {
    const Vec3 x(1, 0, 0), y(0, 1, 0);
    const Vec3 z = x.cross(y);
    EXPECT_EQ(z.z, 1.0);
    EXPECT_EQ(y.cross(x).z, -1.0);
    EXPECT_EQ(Vec3(1, 2, 3).sum(), 6.0);
    EXPECT_EQ(Vec3(1, 2, 3).dot(Vec3(4, 5, 6)), 32.0);
}

TEST(Vec3, SumAddsXAndZFirst) {
    // (x + z) + y differs from (x + y) + z in the last bit for these values.
    const Vec3 v(1e16, 1.0, 1.0);
    EXPECT_EQ(v.sum(), (1e16 + 1.0) + 1.0);
    const Vec3 w(1.0, -1e16, 1e16);
    EXPECT_EQ(w.sum(), (1.0 + 1e16) + -1e16);
}
