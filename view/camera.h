#pragma once

#include <string>

#include "scene/vec3.h"

struct Scene;
struct ViewState;

// The viewing camera as gluLookAt takes it, and what the viewer's dolly and
// rotations make of the configured one. GL-free.
struct Camera {
    Vec3 eye;
    Vec3 lookAt;
    Vec3 up;
};

// One dolly step towards the look-at point takes this share of the distance
// off; one step away undoes it exactly, so it adds this share of the new
// distance (the distance is divided by 1 - share).
constexpr double kDollyShare = 0.1;
// The dolly count stays within ± this many steps: 0.9^100 is 2.7e-5 of the
// configured distance, 0.9^-100 about 38,000 times it. The eye never reaches
// or passes the look-at point.
constexpr int kMaxDollySteps = 100;

// Adds `steps` to the dolly count (positive: towards the look-at point),
// stopping at the limit. Returns whether the count changed.
bool applyDolly(ViewState& view, int steps);

// The camera the picture is drawn from before the user's rotations: the
// scene's, with the eye moved along the line to the look-at point by
// (1 - kDollyShare)^dollySteps of the distance. Without a dolly it is the
// scene's camera exactly.
Camera dolliedCamera(const Scene& scene, const ViewState& view);

// The camera that shows, without any rotation, what the viewer shows: the
// viewer turns the scene about z by viewAngleZ, then about x by viewAngleX,
// and looks at it through the dollied camera; this turns the dollied
// camera's eye, look-at point and up direction back by the same rotations.
Camera sceneCamera(const Scene& scene, const ViewState& view);

// The camera and field of view (degrees) as command-line options, one
// "--set KEY=VALUE" per [camera] key in the configuration's order, each
// value with nine significant digits (%.9g), enough for what GL draws with.
std::string cameraSetOptions(const Camera& camera, double fov);
