#pragma once

#include "scene/vec3.h"

// Which groups of the item buffer a hemicube face can possibly show. A face
// sees the inside of its view frustum only, so a group whose bounding box
// lies entirely outside one of the frustum's planes produces no fragment and
// can be left out without changing a single pixel.
//
// The frustum is built from the same eye, look-at centre and up vector as
// the face's gluLookAt, so its planes are the ones the rasteriser clips to.
// Every face's frustum lies above the eye's tangent plane (the bottom plane
// of a side face's upper half is that plane, and the top face's near plane
// is parallel to it), so triangles behind the shooter are rejected by the
// same test.

// The half-space normal . x + offset >= 0 is inside.
struct Plane {
    Vec3 normal;
    double offset = 0.0;
};

// An axis-aligned box, lo <= hi component-wise.
struct Box {
    Vec3 lo;
    Vec3 hi;
};

struct FaceFrustum {
    Plane planes[6];  // left, right, bottom, top, near, far
    int count = 0;    // 0: nothing is culled (no usable view)
};

// The frustum of a 90-degree square face looking from eye at centre with the
// given up vector, between nearPlane and farPlane. With upperHalfOnly it is
// the half above the view's horizontal centre line (a side face drawn as its
// upper N x H half). A degenerate view (centre at the eye, up along the view
// direction, non-finite values, near not above 0 or far not beyond near)
// gives an empty frustum that culls nothing.
FaceFrustum faceFrustum(const Vec3& eye, const Vec3& centre, const Vec3& up, double nearPlane,
                        double farPlane, bool upperHalfOnly);

// True when every point of the box lies outside the plane by more than a
// margin that covers single-precision vertex transforms: such a box cannot
// put a fragment on the inside.
bool boxOutsidePlane(const Box& box, const Plane& plane);

// True when the box lies outside at least one plane of the frustum.
bool boxCulled(const Box& box, const FaceFrustum& frustum);
