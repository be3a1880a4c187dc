#include "scene/vec3.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Vec3, ClampToUnitKeepsHueAndNeverRaisesTheDivisor) {
    const struct {
        Vec3 in, out;
    } cases[] = {
        {Vec3(0.5, 0.2, 0.1), Vec3(0.5, 0.2, 0.1)},  // in range: unchanged
        {Vec3(2, 1, 0.5), Vec3(1, 0.5, 0.25)},       {Vec3(0.5, 3, 1.5), Vec3(0.5 / 3, 1, 0.5)},
        {Vec3(-4, 0.5, 0), Vec3(-4, 0.5, 0)},         // negative channels never raise the divisor
        {Vec3(0.2, 0.1, 4.0), Vec3(0.05, 0.025, 1)},  // z alone above 1 sets the divisor
    };
    for (const auto& c : cases) {
        Vec3 v = c.in;
        v.clampToUnit();
        EXPECT_DOUBLE_EQ(v.x, c.out.x);
        EXPECT_DOUBLE_EQ(v.y, c.out.y);
        EXPECT_DOUBLE_EQ(v.z, c.out.z);
    }
}

TEST(Vec3, NormalizedCrossDotAndSum) {
    const Vec3 v(3, 4, 0);
    const Vec3 unit = v.normalized();
    EXPECT_EQ(v.x, 3.0);  // a copy: the vector itself stays
    EXPECT_DOUBLE_EQ(unit.x, 0.6);
    EXPECT_DOUBLE_EQ(unit.y, 0.8);
    EXPECT_EQ(unit.z, 0.0);
    const Vec3 zero = Vec3().normalized();  // length 0: NaN, not a made-up direction
    EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
    EXPECT_EQ(Vec3(1, 0, 0).cross(Vec3(0, 1, 0)).z, 1.0);  // right-handed
    EXPECT_EQ(Vec3(0, 1, 0).cross(Vec3(1, 0, 0)).z, -1.0);
    EXPECT_EQ(Vec3(1, 2, 3).dot(Vec3(4, 5, 6)), 32.0);
    // The scalar product sums (x + y) + z: here the large terms cancel first.
    EXPECT_EQ(Vec3(1e16, -1e16, 1).dot(Vec3(1, 1, 1)), 1.0);
    // The sum adds x and z first: (x + z) + y differs from (x + y) + z in
    // the last bit for these values.
    EXPECT_EQ(Vec3(1e16, 1.0, 1.0).sum(), (1e16 + 1.0) + 1.0);
    EXPECT_EQ(Vec3(1.0, -1e16, 1e16).sum(), (1.0 + 1e16) + -1e16);
}
