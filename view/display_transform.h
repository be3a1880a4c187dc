#pragma once

#include "scene/settings.h"
#include "scene/vec3.h"

// How a displayed colour is made from a corner's linear radiosity: the
// exposed value x = colour × brightness × 2^exposure, then either the
// hue-keeping clamp ("linear") or a highlight knee and the sRGB transfer
// function ("srgb"). The window, the anti-aliased frame and the batch
// pictures all go through displayColour, so they agree to the byte.
struct DisplayTransform {
    DisplayMode mode = DisplayMode::Linear;
    double brightness = 2.5;
    double exposure = 0.0;  // stops
};

// The transform the settings ask for.
DisplayTransform displayTransformOf(const Settings& settings);

// x: the colour scaled by brightness and then by 2^exposure, unbounded. This
// is what HDR pictures hold. Exposure 0 scales by exactly 1, so the product
// is the plain brightness product the linear display has always used.
Vec3 exposedColour(const Vec3& colour, const DisplayTransform& transform);

// The displayable colour (channels at most 1) of an exposed value x.
Vec3 displayOfExposed(const Vec3& x, DisplayMode mode);

// exposedColour followed by displayOfExposed.
Vec3 displayColour(const Vec3& colour, const DisplayTransform& transform);

// Where the highlight knee starts: a largest channel up to this is untouched.
constexpr double kKneeStart = 0.8;

// The knee's curve for a largest channel m above kKneeStart, in (0.8, 1).
double kneeCurve(double m);

// Compresses highlights: where the largest channel m exceeds kKneeStart, all
// channels are scaled by kneeCurve(m) / m, so the hue is kept and the result
// stays below 1. Colours at or below the knee pass unchanged.
Vec3 compressHighlights(const Vec3& x);

// The sRGB transfer function (IEC 61966-2-1) of a linear value; below 0 (and
// not-a-number) gives 0, above 1 gives 1.
double srgbEncode(double linear);
