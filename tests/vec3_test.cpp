#include "scene/vec3.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Vec3, ClampToUnitKeepsHueAndNeverRaisesTheDivisor) {
    // In range: unchanged; negative channels never raise the divisor; any
    // channel above 1 alone sets it.
    const Vec3 cases[][2] = {{{0.5, 0.2, 0.1}, {0.5, 0.2, 0.1}},
                             {{2, 1, 0.5}, {1, 0.5, 0.25}},
                             {{0.5, 3, 1.5}, {0.5 / 3, 1, 0.5}},
                             {{-4, 0.5, 0}, {-4, 0.5, 0}},
                             {{0.2, 0.1, 4.0}, {0.05, 0.025, 1}}};
    for (const auto& c : cases) {
        Vec3 v = c[0];
        v.clampToUnit();
        EXPECT_TRUE(v.x == c[1].x && v.y == c[1].y && v.z == c[1].z)
            << c[0].x << " " << c[0].y << " " << c[0].z;
    }
}

TEST(Vec3, NormalizedCopyAndSummationOrder) {
    EXPECT_DOUBLE_EQ(Vec3(3, 4, 0).normalized().y, 0.8);
    EXPECT_TRUE(std::isnan(Vec3().normalized().x));  // length 0: NaN, not a made-up direction
    // The scalar product sums (x + y) + z, the sum (x + z) + y: the last bit
    // of these values tells the orders apart.
    EXPECT_EQ(Vec3(1e16, -1e16, 1).dot(Vec3(1, 1, 1)), 1.0);
    EXPECT_EQ(Vec3(1e16, 1.0, 1.0).sum(), (1e16 + 1.0) + 1.0);
    EXPECT_EQ(Vec3(1.0, -1e16, 1e16).sum(), (1.0 + 1e16) + -1e16);
}
