#pragma once

#include "scene/vec3.h"

struct Vertex;
struct Triangle;

// The smoothed colour of a triangle's corner, linear and unbounded: the plain
// average of the triangle's radiosity and that of every other triangle listed
// at the vertex whose normal is within the smoothing angle (dot product
// strictly above smoothThreshold; equality and not-a-number leave it out). A
// triangle listed twice counts twice. Brightness, exposure and the display's
// clamp come after (display_transform.h); exports take it as it is.
Vec3 cornerColour(const Vertex& vertex, const Triangle& triangle, double smoothThreshold);
