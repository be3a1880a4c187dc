// The largest hemicube face this OpenGL can draw and read back.

#include "radiosity/limits.h"

#include <gtest/gtest.h>

#include <string>

TEST(ResolutionLimits, RefusesFacesTheGlCannotDraw) {
    struct Case {
        int n, maxRenderbuffer, maxViewport;
        std::string message;  // part of the answer; empty: accepted
    };
    const Case cases[] = {
        {256, 16384, 16384, ""},
        {16384, 16384, 16384, ""},
        {2, 0, 0, ""},  // limits not known yet
        {16386, 16384, 32768,
         "resolution = 16386: larger than the largest off-screen buffer this OpenGL can draw (16384 pixels)"},
        {8192, 16384, 4096,
         "resolution = 8192: larger than the largest viewport this OpenGL can draw (4096 pixels)"},
        {1, 16384, 16384, "resolution = 1: a hemicube face needs at least 2 pixels"},
        {kMaxResolution, 0, 0, ""},
        {kMaxResolution + 2, 0, 0, "the largest face whose pixels can be read back in one piece"},
    };
    for (const Case& c : cases) {
        const std::string got = checkResolution(c.n, c.maxRenderbuffer, c.maxViewport);
        if (c.message.empty()) {
            EXPECT_EQ(got, "") << c.n;
        } else {
            EXPECT_TRUE(got.find(c.message) != std::string::npos) << c.n << ": " << got;
        }
    }
    // The bound keeps a face's RGBA bytes within a 32-bit int.
    EXPECT_LE(4LL * kMaxResolution * kMaxResolution, 2147483647LL);
    EXPECT_GT(4LL * (kMaxResolution + 1) * (kMaxResolution + 1), 2147483647LL);
}
