#include "mesh/triangle_shape.h"

#include <algorithm>
#include <cmath>

namespace {

double angleDegrees(const Vec3& u, const Vec3& v) {
    return std::atan2(u.cross(v).length(), u.dot(v)) * (180.0 / 3.14159265358979323846);
}

bool closerThan(const Vec3& a, const Vec3& b, double tolerance) {
    return std::fabs(a.x - b.x) < tolerance && std::fabs(a.y - b.y) < tolerance &&
           std::fabs(a.z - b.z) < tolerance;
}

}  // namespace

double smallestAngleDegrees(const MeshTriangle& t) {
    double smallest = 180.0;
    for (int c = 0; c < 3; ++c) {
        const Vec3& p = t[static_cast<std::size_t>(c)];
        const Vec3 u = t[static_cast<std::size_t>((c + 1) % 3)] - p;
        const Vec3 v = t[static_cast<std::size_t>((c + 2) % 3)] - p;
        if (!(u.length() > 0.0 && v.length() > 0.0)) return 0.0;
        smallest = std::min(smallest, angleDegrees(u, v));
    }
    return smallest;
}

double width(const MeshTriangle& t) {
    const double doubleArea = (t[1] - t[0]).cross(t[2] - t[0]).length();
    const double longest = std::max({(t[1] - t[0]).length(), (t[2] - t[1]).length(), (t[0] - t[2]).length()});
    return longest > 0.0 ? doubleArea / longest : 0.0;
}

bool keepsApartWhenWelded(const MeshTriangle& t, double tolerance) {
    if (!(width(t) >= tolerance)) return false;
    return !closerThan(t[0], t[1], tolerance) && !closerThan(t[1], t[2], tolerance) &&
           !closerThan(t[2], t[0], tolerance);
}
