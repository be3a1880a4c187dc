#pragma once

#include <vector>

#include "radiosity/form_factors.h"
#include "scene/vec3.h"

// The view of one hemicube face: the eye (the shooter's centroid moved 1/1000
// along its normal), the look-at centre and up vector of the face, and the
// number of rows summed from the face's top edge: N for the top face, H for a
// side face (the half above the shooter's tangent plane). A far plane between
// the capturer's near and far planes replaces its own far plane for this
// face (a shot that serves nearby receivers only draws nothing beyond them);
// 0 keeps the capturer's.
struct FaceView {
    Vec3 eye;
    Vec3 centre;
    Vec3 up;
    int rows = 0;
    double farPlane = 0.0;
};

// Draws the item buffer as one face sees it, reads the face back and adds
// each pixel's weight, from the face's quarter table of H x H weights, to the
// form factor of the triangle it shows in formFactors (one entry per triangle
// of the scene, in scene order). Tests put in their own.
struct FaceCapturer {
    virtual ~FaceCapturer() = default;
    virtual void captureFace(const FaceView& view, const std::vector<double>& weights,
                             FormFactors& formFactors) = 0;
};
