#include "radiosity/face_culling.h"

#include <algorithm>
#include <cmath>

namespace {

// OpenGL transforms the vertices in single precision. A box is only culled
// when it is farther outside than a generous multiple of that rounding,
// relative to the size of the numbers involved; a box within the margin is
// drawn and the rasteriser decides, exactly as without culling.
constexpr double kRelativeMargin = 1e-5;

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The plane through point with the given inward normal.
Plane planeThrough(const Vec3& normal, const Vec3& point) {
    return Plane{normal, -normal.dot(point)};
}

}  // namespace

FaceFrustum faceFrustum(const Vec3& eye, const Vec3& centre, const Vec3& up, double nearPlane,
                        double farPlane, bool upperHalfOnly) {
    FaceFrustum frustum;
    if (!finite(eye) || !finite(centre) || !finite(up) || !std::isfinite(nearPlane) ||
        !std::isfinite(farPlane) || !(nearPlane > 0.0) || !(farPlane > nearPlane)) {
        // Without a proper depth range the projection itself is degenerate;
        // whatever it draws is drawn.
        return frustum;
    }
    // The view basis of gluLookAt: forward f, side s = f x up, true up u = s x f.
    Vec3 f = centre - eye;
    if (!(f.length() > 0.0)) return frustum;
    f = f.normalized();
    Vec3 s = f.cross(up);
    if (!(s.length() > 0.0)) return frustum;
    s = s.normalized();
    const Vec3 u = s.cross(f);

    // In view coordinates a = side, b = up, d = forward distance; a 90-degree
    // face holds |a| <= d and |b| <= d (its upper half 0 <= b <= d).
    frustum.planes[0] = planeThrough(f + s, eye);  // a >= -d
    frustum.planes[1] = planeThrough(f - s, eye);  // a <= d
    frustum.planes[2] = upperHalfOnly ? planeThrough(u, eye) : planeThrough(f + u, eye);
    frustum.planes[3] = planeThrough(f - u, eye);  // b <= d
    frustum.planes[4] = planeThrough(f, eye + f * nearPlane);
    frustum.planes[5] = planeThrough(f * -1.0, eye + f * farPlane);
    frustum.count = 6;
    return frustum;
}

bool boxOutsidePlane(const Box& box, const Plane& plane) {
    const Vec3& n = plane.normal;
    // The corner farthest along the normal decides.
    const double x = n.x >= 0.0 ? box.hi.x : box.lo.x;
    const double y = n.y >= 0.0 ? box.hi.y : box.lo.y;
    const double z = n.z >= 0.0 ? box.hi.z : box.lo.z;
    const double value = n.dot(Vec3(x, y, z)) + plane.offset;
    const double reach = std::max({std::fabs(box.lo.x), std::fabs(box.hi.x), std::fabs(box.lo.y),
                                   std::fabs(box.hi.y), std::fabs(box.lo.z), std::fabs(box.hi.z)});
    const double scale = (std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z)) * reach + std::fabs(plane.offset);
    // NaN anywhere fails the comparison: such a box is drawn.
    return value < -kRelativeMargin * scale;
}

bool boxCulled(const Box& box, const FaceFrustum& frustum) {
    for (int k = 0; k < frustum.count; ++k) {
        if (boxOutsidePlane(box, frustum.planes[k])) return true;
    }
    return false;
}
