#pragma once

#include "scene/vec3.h"

// How displayed colours become 8-bit pixels: the hue-keeping clamp of the
// linear value ("linear"), or a highlight knee and the sRGB transfer
// function ("srgb").
enum class DisplayMode { Linear, Srgb };

// A scene's settings, named after their configuration keys. The
// configuration reader fills them once at start-up; everything else only
// reads them, but for the viewer's exposure keys, which change exposure. Defaults are those of an empty
// configuration file.
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

    // Keys beyond the original set. Their defaults keep every output as it was;
    // they are read strictly (a value out of range is an error with file and line).
    bool overshoot = false;  // "overshoot": shoot the unshot energy plus an estimate of its return
    // "ambient": add the light not yet shot to displayed colours, spread over
    // the whole area (1) or over the area lit so far (2); 0 = none.
    int ambient = 0;
    double patchSize = 0.0;  // "patch_size": scene units; 0 = every triangle shoots alone
    bool patchEmitters =
        false;         // "patch_emitters": emitting patches shoot as patches in their first round too
    int shooters = 1;  // "shooters": shooters chosen per step
    int threads = 0;   // "threads": capture workers; 0 = one per core
    DisplayMode display = DisplayMode::Linear;  // "display"
    double exposure = 0.0;                      // "exposure": stops; colours are scaled by 2^exposure
};
