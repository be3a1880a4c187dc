// Broken invariants stop the program and say where, what and with which values.

#include "scene/check.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

TEST(Check, FailureNamesThePlaceTheExpressionAndBothValues) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<double> table(64);
    const int h = 4;
    CHECK_EQ(table.size(), static_cast<std::size_t>(h * h * 4));  // holds: nothing happens
    CHECK(h > 0);
    EXPECT_DEATH(
        CHECK_EQ(table.size(), static_cast<std::size_t>(h * h)),
        "check_test.cpp:[0-9]+: check failed: table.size\\(\\) == static_cast<std::size_t>\\(h \\* h\\) "
        "\\(64 vs 16\\)");
    EXPECT_DEATH(CHECK_LT(h, 2), "check failed: h < 2 \\(4 vs 2\\)");
    EXPECT_DEATH(CHECK(h < 0), "check_test.cpp:[0-9]+: check failed: h < 0");
}
