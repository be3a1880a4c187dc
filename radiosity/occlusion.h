#pragma once

#include <vector>

#include "radiosity/face_culling.h"
#include "scene/vec3.h"

// Occlusion culling for a hemicube face, without a display: which item
// groups are certainly hidden behind what has already been drawn.
//
// A face first draws the groups nearest its eye, reads the depth buffer
// back, and then leaves out every other group whose bounding box lies
// behind the depths already there over the whole of the box's footprint.
// Every triangle of such a group lies inside its box, so each of its
// fragments is farther than a fragment already drawn and can never show.
// The face is then drawn again from a clean buffer with the groups that
// remain, in item order; leaving out fragments that could never be nearest
// changes no pixel, so the item image is the one drawing every group gives.

// Window coordinates of a face's pixels: x across, y up, in pixels of a face
// of `size` pixels (N); `upperHalfOnly` is the N x N/2 viewport of a side
// face's upper half. Depth is the window depth in [0, 1] of the face's
// near and far planes.
class FaceProjection {
  public:
    // Degenerate views (see faceFrustum) give a projection that hides
    // nothing: valid() is false.
    FaceProjection(const Vec3& eye, const Vec3& centre, const Vec3& up, double nearPlane, double farPlane,
                   int size, bool upperHalfOnly);

    bool valid() const { return valid_; }

    // The pixels a box can put fragments on and the nearest window depth
    // any point of it has. `testable` is false when the box reaches the near
    // plane (its projection is unbounded); such a box must be drawn.
    struct Footprint {
        bool testable = false;
        int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // inclusive pixel rectangle, clamped to the viewport
        double nearestDepth = 0.0;             // window depth
        double nearestDistance = 0.0;          // along the view direction, scene units
    };
    Footprint footprint(const Box& box) const;

    // Along the view direction, the distance of the box's nearest corner.
    double nearestDistance(const Box& box) const;

    int width() const { return width_; }
    int height() const { return height_; }

  private:
    bool valid_ = false;
    Vec3 eye_, side_, up_, forward_;
    double near_ = 0.0, far_ = 0.0;
    int width_ = 0, height_ = 0;
    double halfSize_ = 0.0;  // N / 2: pixels per unit of x / d
    double yOffset_ = 0.0;   // N / 2 for a full face, 0 for an upper half
};

// The largest depth over square tiles of a read-back depth image, level by
// level (tiles of 1, 2, 4, ... pixels), so that a rectangle of pixels is
// tested against a few tiles.
class DepthPyramid {
  public:
    // depth: width x height window depths, rows bottom-up, as glReadPixels
    // gives them.
    void build(const float* depth, int width, int height);

    // True when every pixel of the rectangle holds a depth nearer than
    // `depth` by more than the rounding of the depth buffer and of the
    // rasteriser's depth interpolation: a fragment at that depth or beyond
    // fails the depth test everywhere in the rectangle.
    bool hides(const FaceProjection::Footprint& footprint) const;

  private:
    struct Level {
        int width = 0, height = 0;
        std::vector<float> maxDepth;
    };
    std::vector<Level> levels_;
};
