#include "radiosity/weights.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace {

double sum(const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0);
}

struct WeightTables : ::testing::Test {
    void buildFor(int h) {
        topTable = buildTopTable(h);
        sideTable = buildSideTable(h);
    }
    std::vector<double> topTable;
    std::vector<double> sideTable;
};

TEST_F(WeightTables, SmallAndDefaultFaceValues) {
    buildFor(2);
    const double top[] = {0.0176226924, 0.0301358468, 0.0301358468, 0.0628760260};
    const double side[] = {0.0132170193, 0.0226018851, 0.0075339617, 0.0157190065};
    ASSERT_EQ(topTable.size(), 4u);
    ASSERT_EQ(sideTable.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(topTable[k], top[k], 5e-11) << "top entry " << k;
        EXPECT_NEAR(sideTable[k], side[k], 5e-11) << "side entry " << k;
    }
    EXPECT_NEAR(4 * sum(topTable) + 8 * sum(sideTable), 1.0357, 5e-5);

    buildFor(128);
    ASSERT_EQ(topTable.size(), 128u * 128u);
    EXPECT_NEAR(topTable[0], 2.1813e-6, 5e-11);
    EXPECT_NEAR(topTable[127 * 128 + 127], 1.94269e-5, 5e-10);
    EXPECT_NEAR(sideTable[0], 2.17277e-6, 5e-11);
    EXPECT_NEAR(sideTable[127 * 128 + 127], 7.58864e-8, 5e-13);
    // Top face is symmetric about its diagonal; the side face is not.
    for (int i = 0; i < 128; ++i)
        for (int j = 0; j < i; ++j) {
            ASSERT_EQ(topTable[i * 128 + j], topTable[j * 128 + i]) << i << "," << j;
        }
    EXPECT_NE(sideTable[1], sideTable[128]);
    // Four quarters of the top face and the upper halves of four side faces
    // cover the hemisphere: the delta form factors add up to 1 (midpoint-rule
    // error about 1e-5).
    EXPECT_NEAR(4 * sum(topTable) + 8 * sum(sideTable), 1.0000083, 1e-7);
}

// A quarter of the top face is a 1 x 1 square with one corner above the
// shooter at distance 1: (1/2pi)(A/sqrt(1+A^2) atan(B/sqrt(1+A^2)) + same
// swapped) for the point-to-parallel-rectangle factor.
TEST_F(WeightTables, TopFaceMatchesClosedForm) {
    buildFor(64);
    const double quarter =
        (1.0 / (2.0 * 3.141592653589793)) * 2.0 * (1 / std::sqrt(2.0)) * std::atan(1 / std::sqrt(2.0));
    EXPECT_NEAR(sum(topTable), quarter, 1e-5);
}

}  // namespace
