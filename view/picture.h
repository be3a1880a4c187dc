#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/view_state.h"

// An off-screen picture of the shaded scene (display list 1) as the viewer
// shows it: the scene's camera and field of view, the user's rotation,
// aspect ratio 1. For tools without a window; needs a current GL context.
struct Picture {
    int size = 0;                   // width = height, pixels
    std::vector<std::uint8_t> rgb;  // size * size * 3 bytes, top row first
    std::string error;              // set when the picture could not be drawn
};

// The same picture with float colour, unclamped: what display list 1 holds
// when it was built with ListColours::Exposed, for HDR files.
struct HdrPicture {
    int size = 0;            // width = height, pixels
    std::vector<float> rgb;  // size * size * 3 floats, top row first
    std::string error;       // set when the picture could not be drawn
};

struct Scene;

// Clears and draws display list 1 under the scene's camera, dollied as the
// view says (aspect 1), and the user's rotation, into whatever framebuffer and viewport are current.
void drawShadedScene(const Scene& scene, const ViewState& view);

// Draws the picture `size` pixels square; `antialiased` averages the eight
// jittered passes of the anti-aliased frame.
Picture renderPicture(const Scene& scene, const ViewState& view, int size, bool antialiased);

// Draws the picture into a 32-bit float target with GL's vertex, fragment
// and read colour clamps off (put back afterwards), so colours above 1 and
// below 0 survive; `antialiased` as for renderPicture.
HdrPicture renderHdrPicture(const Scene& scene, const ViewState& view, int size, bool antialiased);
