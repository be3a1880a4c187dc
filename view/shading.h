#pragma once

#include "scene/vec3.h"

class Solver;
struct Scene;
struct Settings;
struct Vertex;
struct Triangle;

// The colour a picture starts from at a triangle's corner, linear and
// unbounded: the smoothed corner colour (cornerColour) plus `added`, the
// reflected ambient light when it is shown.
Vec3 litCornerColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings,
                     const Vec3& added = Vec3());

// Display colour of triangle's corner at vertex: litCornerColour through the
// settings' display transform (displayColour: times brightness and
// 2^exposure, then the hue-keeping clamp, or the highlight knee and sRGB
// encoding). Channels are never above 1.
Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings,
                  const Vec3& added = Vec3());

// The ambient radiosity pictures show: the solver's estimate of the light
// not yet shot when settings.ambient is on, else none.
Vec3 displayedAmbient(const Scene& scene, const Solver& solver);

// The display list of the shaded scene (the item buffer is list 2).
constexpr int kShadedList = 1;

// What display list 1 holds at the corners: the displayed colours (window,
// anti-aliased frame, PNG pictures), or the exposed values before any clamp
// (colour × brightness × 2^exposure, for HDR pictures drawn with GL's colour
// clamps off).
enum class ListColours { Display, Exposed };

// Compiles display list 1: smooth shading and one triangle batch of the
// whole scene with a colour per corner, each triangle's corners lit by the
// ambient radiosity times its reflectance as well. Needs a current GL context.
void buildShadedList(const Scene& scene, const Vec3& ambient = Vec3(),
                     ListColours colours = ListColours::Display);
