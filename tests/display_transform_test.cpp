// The display transform: exposure, the linear clamp as it always was, the
// highlight knee and the sRGB transfer function.

#include "view/display_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

int byteOf(double v) {
    return static_cast<int>(std::lround(v * 255.0));
}

bool sameBits(const Vec3& a, const Vec3& b) {
    return std::memcmp(&a, &b, sizeof(Vec3)) == 0;
}

}  // namespace

TEST(SrgbEncode, MatchesTheStandardAtKnownValues) {
    // 8-bit sRGB codes of linear values, as colour-management tables give them.
    EXPECT_EQ(byteOf(srgbEncode(0.18)), 118);  // photographic mid grey
    EXPECT_EQ(byteOf(srgbEncode(0.21586)), 128);
    EXPECT_NEAR(srgbEncode(0.5), 0.735357, 1e-6);
    EXPECT_NEAR(srgbEncode(0.001), 0.01292, 1e-12);  // the linear toe
    // The standard's two pieces meet at 0.0031308 (to 3e-8, as published).
    EXPECT_NEAR(srgbEncode(0.0031308), srgbEncode(0.0031308 + 1e-12), 1e-7);
    // Out of range and not-a-number give displayable values.
    EXPECT_EQ(srgbEncode(-0.5), 0.0);
    EXPECT_EQ(srgbEncode(7.0), 1.0);
    EXPECT_EQ(srgbEncode(std::nan("")), 0.0);
}

TEST(HighlightKnee, StartsSmoothlyAtPointEightAndApproachesOne) {
    EXPECT_DOUBLE_EQ(kneeCurve(kKneeStart), 0.8);
    const double h = 1e-6;
    EXPECT_NEAR((kneeCurve(kKneeStart + h) - kneeCurve(kKneeStart)) / h, 1.0, 1e-5);  // slope 1: no kink
    double previous = kneeCurve(kKneeStart);
    for (double m = 0.81; m < 1e6; m *= 1.5) {
        const double c = kneeCurve(m);
        EXPECT_GT(c, previous) << m;  // rising, so brighter stays brighter
        EXPECT_LT(c, 1.0) << m;
        previous = c;
    }
    EXPECT_NEAR(kneeCurve(1e6), 1.0, 1e-7);
}

TEST(HighlightKnee, LeavesColoursBelowItAndKeepsTheHueAbove) {
    const Vec3 below(0.8, 0.5, -0.1);
    EXPECT_TRUE(sameBits(compressHighlights(below), below));
    const Vec3 above(3.0, 1.5, 0.3);
    const Vec3 c = compressHighlights(above);
    EXPECT_DOUBLE_EQ(c.x, kneeCurve(3.0));
    EXPECT_DOUBLE_EQ(c.y / c.x, 0.5);  // channel ratios kept
    EXPECT_DOUBLE_EQ(c.z / c.x, 0.1);
    // An infinite channel goes to 1 and the finite ones to 0; a NaN channel
    // does not poison the others.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(sameBits(compressHighlights(Vec3(inf, 2.0, 0.0)), Vec3(1.0, 0.0, 0.0)));
    EXPECT_DOUBLE_EQ(compressHighlights(Vec3(std::nan(""), 2.0, 1.0)).z, kneeCurve(2.0) / 2.0);
}

TEST(DisplayColour, LinearIsTheHueKeepingClampOfBrightnessTimesExposure) {
    const double inf = std::numeric_limits<double>::infinity();
    const Vec3 colours[] = {Vec3(0.2, 0.1, 0.0),  Vec3(0.5, 0.25, 0.1), Vec3(1e-300, 0.3, 7.0),
                            Vec3(-0.2, 0.4, 0.9), Vec3(inf, 0.1, 0.0),  Vec3(std::nan(""), 0.5, 0.5),
                            Vec3(0.1, 0.2, 0.3)};
    for (const double brightness : {2.5, 1.0, 0.37, 1e3}) {
        for (const Vec3& c : colours) {
            // What the display did before exposure existed: scale, then clamp.
            Vec3 before = c;
            before *= brightness;
            before.clampToUnit();
            const Vec3 now = displayColour(c, DisplayTransform{DisplayMode::Linear, brightness, 0.0});
            EXPECT_TRUE(sameBits(now, before)) << brightness << " " << c.x << " " << c.y << " " << c.z;
        }
    }
    // With brightness 2.5 (0.5, 0.25, 0.1) clamps to (1, 0.5, 0.2); one stop
    // less gives (0.625, 0.3125, 0.125) unclamped.
    const Vec3 darker = displayColour(Vec3(0.5, 0.25, 0.1), DisplayTransform{DisplayMode::Linear, 2.5, -1.0});
    EXPECT_DOUBLE_EQ(darker.x, 0.625);
    EXPECT_DOUBLE_EQ(darker.y, 0.3125);
    EXPECT_DOUBLE_EQ(darker.z, 0.125);
    // The exposed value itself is unclamped: what HDR pictures hold.
    const Vec3 x = exposedColour(Vec3(0.5, 0.25, 0.1), DisplayTransform{DisplayMode::Srgb, 2.5, 2.0});
    EXPECT_DOUBLE_EQ(x.x, 5.0);
    EXPECT_DOUBLE_EQ(x.z, 1.0);
}

TEST(DisplayColour, SrgbEncodesMidGreyAsOneHundredEighteenAndCompressesHighlights) {
    const DisplayTransform srgb{DisplayMode::Srgb, 1.0, 0.0};
    const Vec3 grey = displayColour(Vec3(0.18, 0.18, 0.18), srgb);
    EXPECT_EQ(byteOf(grey.x), 118);
    EXPECT_EQ(byteOf(grey.z), 118);
    // Brightness and exposure come first: 0.045 × 2 × 2^1 = 0.18.
    EXPECT_EQ(byteOf(displayColour(Vec3(0.045, 0, 0), DisplayTransform{DisplayMode::Srgb, 2.0, 1.0}).x), 118);
    // A highlight far above 1 is not flat white: its largest channel stays
    // below 255 while its hue survives (linear ratio 0.5 before encoding).
    const Vec3 hot = displayColour(Vec3(4.0, 2.0, 0.0), srgb);
    EXPECT_LT(hot.x, 1.0);
    EXPECT_GT(byteOf(hot.x), 250);
    EXPECT_NEAR(hot.y, srgbEncode(kneeCurve(4.0) * 0.5), 1e-12);
    EXPECT_EQ(hot.z, 0.0);
    // Twice as bright is still brighter.
    EXPECT_GT(displayColour(Vec3(8.0, 4.0, 0.0), srgb).x, hot.x);
}
