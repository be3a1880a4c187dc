#pragma once

#include "scene/vec3.h"

struct Scene;
struct Settings;
struct Vertex;
struct Triangle;

// Display colour of triangle's corner at vertex: the plain average of the
// triangle's radiosity and that of every other triangle listed at the vertex
// whose normal is within the smoothing angle (dot product strictly above
// settings.smoothThreshold), times settings.brightness, then scaled down so
// no channel exceeds 1 (hue kept). A triangle listed twice counts twice.
Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings);

// The display list of the shaded scene (the item buffer is list 2).
constexpr int kShadedList = 1;

// Compiles display list 1: smooth shading and one triangle batch of the
// whole scene with a colour per corner. Needs a current GL context.
void buildShadedList(const Scene& scene);
