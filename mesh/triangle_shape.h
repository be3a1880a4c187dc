#pragma once

#include "mesh/mesh_types.h"

// Shape measures of one triangle, used to keep subdivision well shaped and
// clear of the triangle reader's welding (corners closer than its tolerance
// in x, y and z become one vertex).

// The smallest of the three corner angles, in degrees; 0 for a triangle
// without area.
double smallestAngleDegrees(const MeshTriangle& t);

// The smallest altitude (twice the area over the longest edge): how narrow
// the triangle is. 0 for a triangle without area.
double width(const MeshTriangle& t);

// True when the triangle is at least `tolerance` wide and no two of its
// corners are within `tolerance` of each other in all of x, y and z, so the
// reader's welding keeps its three corners apart.
bool keepsApartWhenWelded(const MeshTriangle& t, double tolerance);
