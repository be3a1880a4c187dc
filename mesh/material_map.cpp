#include "mesh/material_map.h"

#include <cmath>

namespace {

// The renderer reads colour keys as 32-bit integers.
constexpr double kMaxEmission = 2147483647.0 / 255.0;

long toByte(double v) {
    return static_cast<long>(std::lround(v * 255.0));
}

}  // namespace

MeshMaterial defaultMaterial() {
    return MeshMaterial{};
}

MeshMaterial mapMaterial(const std::string& materialName, const std::array<double, 3>& diffuse,
                         const std::array<double, 3>& emissive, std::vector<std::string>& warnings) {
    MeshMaterial m;
    bool clampedHigh = false, clampedLow = false, emissionBad = false;
    for (int c = 0; c < 3; ++c) {
        double r = diffuse[c];
        if (std::isnan(r) || r < 0.0) {
            clampedLow = true;
            r = 0.0;
        } else if (r > 1.0) {
            clampedHigh = true;
            r = 1.0;
        }
        m.reflectance[c] = toByte(r);

        double e = emissive[c];
        if (std::isnan(e) || e < 0.0) {
            emissionBad = true;
            e = 0.0;
        } else if (e > kMaxEmission) {
            emissionBad = true;
            e = kMaxEmission;
        }
        m.emission[c] = toByte(e);
    }
    const std::string who = "material '" + materialName + "'";
    if (clampedHigh)
        warnings.push_back(who +
                           ": diffuse colour above 1 clamped to 1 (a reflectance above 1 creates energy)");
    if (clampedLow) warnings.push_back(who + ": negative or invalid diffuse colour set to 0");
    if (emissionBad)
        warnings.push_back(who + ": negative, invalid or huge emissive colour limited to 0..2147483647/255");
    return m;
}
