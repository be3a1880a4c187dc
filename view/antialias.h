#pragma once

struct Camera;
struct Scene;
struct ViewState;

// One still frame with smoothed edges: the scene is drawn eight times, each
// time with the projection shifted by a different fraction of a pixel, and
// the eight pictures are averaged.

// Sub-pixel offsets, in pixels, one (x, y) pair per pass, in pass order.
extern const float kJitter[8][2];
constexpr int kJitterPasses = 8;
// Weight of each pass in the average.
constexpr float kPassWeight = 0.125f;

// Bounds of a viewing frustum in glFrustum's order.
struct Frustum {
    double left = 0.0;
    double right = 0.0;
    double bottom = 0.0;
    double top = 0.0;
    double nearPlane = 0.0;
    double farPlane = 0.0;
};

// The frustum that gluPerspective would set: fieldOfView is the vertical
// field of view in degrees, aspect the width-to-height ratio.
Frustum perspectiveFrustum(double fieldOfView, double aspect, double nearPlane, double farPlane);

// The frustum window shifted so that the picture moves subpixelX pixels to
// the right and subpixelY pixels up in a viewport of width × height pixels,
// plus an eye offset (world units) focused at focusDistance. A viewport of no
// size gives no pixel shift.
Frustum shiftFrustum(const Frustum& f, int width, int height, double subpixelX, double subpixelY,
                     double eyeOffsetX, double eyeOffsetY, double focusDistance);

// Set the projection to the shifted frustum (the viewport is read from GL)
// and the modelview to the identity, for the caller's camera.
void jitteredPerspective(double fieldOfView, double aspect, double nearPlane, double farPlane,
                         double subpixelX, double subpixelY, double eyeOffsetX, double eyeOffsetY,
                         double focusDistance);
void jitteredFrustum(double left, double right, double bottom, double top, double nearPlane, double farPlane,
                     double subpixelX, double subpixelY, double eyeOffsetX, double eyeOffsetY,
                     double focusDistance);

// Loads the modelview matrix with a viewing camera (gluLookAt).
void loadCamera(const Camera& camera);

// Draws display list `list` eight times under the scene's camera (dollied
// as the view says) and field of view and the user's rotation, and leaves the average in the colour
// buffer being drawn to (the caller swaps). Uses the accumulation buffer when
// the framebuffer has one, and averages read-back passes itself otherwise.
void drawAntialiased(int list, const Scene& scene, const ViewState& view);
