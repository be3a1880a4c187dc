#include "radiosity/weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace {

double sum(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0);
}

TEST(WeightTables, OrientationSymmetryAndClosedFormTotals) {
    const std::vector<double> top = buildTopTable(128), side = buildSideTable(128);
    ASSERT_EQ(top.size(), 128u * 128u);
    // Entry 0 is the face's corner, the last one next to the shooter's
    // axis (top) or its horizon (side).
    EXPECT_NEAR(top[0], 2.1813e-6, 5e-11);
    EXPECT_NEAR(top[127 * 128 + 127], 1.94269e-5, 5e-10);
    EXPECT_NEAR(side[0], 2.17277e-6, 5e-11);
    EXPECT_NEAR(side[127 * 128 + 127], 7.58864e-8, 5e-13);
    for (int i = 0; i < 128; ++i)
        for (int j = 0; j < i; ++j) ASSERT_EQ(top[i * 128 + j], top[j * 128 + i]) << i << "," << j;
    EXPECT_NE(side[1], side[128]);  // the side face is not symmetric
    // A quarter of the top face is a 1 x 1 square with one corner above the
    // shooter at distance 1: (1/2pi)(A/sqrt(1+A^2) atan(B/sqrt(1+A^2)) + the
    // same swapped). With four quarters and eight half side faces the delta
    // form factors cover the hemisphere (midpoint-rule error about 1e-5).
    const double quarter = 1.0 / 3.141592653589793 * (1 / std::sqrt(2.0)) * std::atan(1 / std::sqrt(2.0));
    EXPECT_NEAR(sum(buildTopTable(64)), quarter, 1e-5);
    EXPECT_NEAR(4 * sum(top) + 8 * sum(side), 1.0000083, 1e-7);
}

}  // namespace
