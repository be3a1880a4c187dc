#pragma once

#include "scene/vec3.h"

struct Scene;
struct Settings;
struct Vertex;
struct Triangle;

// Display colour of triangle's corner at vertex: the smoothed corner colour
// (cornerColour: the plain average of the triangle's radiosity and that of
// its neighbours within the smoothing angle) through the settings' display
// transform (displayColour: times brightness and 2^exposure, then the
// hue-keeping clamp, or the highlight knee and sRGB encoding). Channels are
// never above 1.
Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings);

// The display list of the shaded scene (the item buffer is list 2).
constexpr int kShadedList = 1;

// What display list 1 holds at the corners: the displayed colours (window,
// anti-aliased frame, PNG pictures), or the exposed values before any clamp
// (colour × brightness × 2^exposure, for HDR pictures drawn with GL's colour
// clamps off).
enum class ListColours { Display, Exposed };

// Compiles display list 1: smooth shading and one triangle batch of the
// whole scene with a colour per corner. Needs a current GL context.
void buildShadedList(const Scene& scene, ListColours colours = ListColours::Display);
