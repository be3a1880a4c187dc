#include "view/display_transform.h"

#include <cmath>

DisplayTransform displayTransformOf(const Settings& settings) {
    DisplayTransform t;
    t.mode = settings.display;
    t.brightness = settings.brightness;
    t.exposure = settings.exposure;
    return t;
}

Vec3 exposedColour(const Vec3& colour, const DisplayTransform& transform) {
    Vec3 x = colour;
    // Brightness first, as the linear display always multiplied; exp2(0) is
    // exactly 1, so exposure 0 leaves every bit of the product as it was.
    x *= transform.brightness;
    x *= std::exp2(transform.exposure);
    return x;
}

double kneeCurve(double m) {
    // c(m) = 1 - 0.04 / (m - 0.6): c(0.8) = 0.8 and c'(m) = 0.04 / (m - 0.6)^2
    // is 1 at 0.8, so the curve leaves the identity without a kink; it rises
    // towards 1 but never reaches it. Its tail falls off as 1/m, not
    // exponentially, so highlights keep some separation far above the knee
    // (m = 2 gives 0.971, m = 5 gives 0.991) instead of all going flat white;
    // an exponential with the same start (1 - 0.2 e^-(m-0.8)/0.2) is already
    // 0.9995 at m = 2.
    return 1.0 - 0.04 / (m - 0.6);
}

Vec3 compressHighlights(const Vec3& x) {
    const double m = std::fmax(x.x, std::fmax(x.y, x.z));
    if (!(m > kKneeStart)) return x;
    if (std::isinf(m)) {
        // The curve's limit: infinite channels become 1, finite ones 0 (their
        // share of an infinite maximum).
        auto limit = [](double c) { return std::isinf(c) && c > 0.0 ? 1.0 : 0.0; };
        return Vec3(limit(x.x), limit(x.y), limit(x.z));
    }
    Vec3 out = x;
    out *= kneeCurve(m) / m;
    return out;
}

double srgbEncode(double linear) {
    if (!(linear > 0.0)) return 0.0;
    if (linear >= 1.0) return 1.0;
    if (linear <= 0.0031308) return 12.92 * linear;
    return 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

Vec3 displayOfExposed(const Vec3& x, DisplayMode mode) {
    if (mode == DisplayMode::Linear) {
        Vec3 out = x;
        out.clampToUnit();
        return out;
    }
    const Vec3 c = compressHighlights(x);
    return Vec3(srgbEncode(c.x), srgbEncode(c.y), srgbEncode(c.z));
}

Vec3 displayColour(const Vec3& colour, const DisplayTransform& transform) {
    return displayOfExposed(exposedColour(colour, transform), transform.mode);
}
