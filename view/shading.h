#pragma once

#include "scene/vec3.h"

class Solver;
struct Scene;
struct Settings;
struct Vertex;
struct Triangle;

// Display colour of triangle's corner at vertex: the plain average of the
// triangle's radiosity and that of every other triangle listed at the vertex
// whose normal is within the smoothing angle (dot product strictly above
// settings.smoothThreshold), plus `added` (the reflected ambient light, when
// it is shown), times settings.brightness, then scaled down so no channel
// exceeds 1 (hue kept). A triangle listed twice counts twice.
Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings,
                  const Vec3& added = Vec3());

// The ambient radiosity pictures show: the solver's estimate of the light
// not yet shot when settings.ambient is on, else none.
Vec3 displayedAmbient(const Scene& scene, const Solver& solver);

// The display list of the shaded scene (the item buffer is list 2).
constexpr int kShadedList = 1;

// Compiles display list 1: smooth shading and one triangle batch of the
// whole scene with a colour per corner, each triangle's corners lit by the
// ambient radiosity times its reflectance as well. Needs a current GL context.
void buildShadedList(const Scene& scene, const Vec3& ambient = Vec3());
