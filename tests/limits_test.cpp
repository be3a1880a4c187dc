// The largest hemicube face this OpenGL can draw and read back.

#include "radiosity/limits.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

TEST(ResolutionLimits, RefusesFacesTheGlCannotDraw) {
    // (resolution, largest renderbuffer, largest viewport; 0: not known yet), and
    // part of the answer, empty when accepted.
    const std::tuple<int, int, int, std::string> cases[] = {
        {16384, 16384, 16384, ""},
        {2, 0, 0, ""},
        {16386, 16384, 32768,
         "resolution = 16386: larger than the largest off-screen buffer this OpenGL can "
         "draw (16384 pixels)"},
        {8192, 16384, 4096, "resolution = 8192: larger than the largest viewport this OpenGL can draw (4096"},
        {1, 16384, 16384, "resolution = 1: a hemicube face needs at least 2 pixels"},
        {kMaxResolution, 0, 0, ""},
        {kMaxResolution + 2, 0, 0, "the largest face whose pixels can be read back in one piece"}};
    for (const auto& [n, buffer, viewport, message] : cases) {
        const std::string got = checkResolution(n, buffer, viewport);
        EXPECT_TRUE(message.empty() ? got.empty() : got.find(message) != std::string::npos)
            << n << ": " << got;
    }
}
