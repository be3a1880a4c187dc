#pragma once

#include "scene/vec3.h"

// Process-wide settings, named after their configuration keys. The
// configuration reader fills them once at start-up; everything else only
// reads them. Defaults are those of an empty configuration file.
struct Settings {
    int N = 256;                                   // "resolution": window and hemicube face size, pixels
    int H = 128;                                   // N / 2, truncated
    double brightness = 2.5;                       // display scale of corner colours
    int step = 2;                                  // steps between progress lines and redraws
    double nearPlane = 0.1;                        // "near"
    double farPlane = 40.0;                        // "far"
    double smoothThreshold = 0.99939082701909576;  // cos("smooth_angle" = 2°), with pi = 3.1415927
    double stopAt = 0.0001;                        // "stop_at"
    double fov = 45.0;                             // vertical field of view, degrees
};

extern Settings settings;
extern Vec3 cameraPos;     // (0, -20, 0) by default
extern Vec3 cameraLookAt;  // (0, 0, 0)
extern Vec3 cameraUp;      // (0, 0, 1)

// Puts every setting and the camera back to the defaults.
void resetSettings();
