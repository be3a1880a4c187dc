#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "scene/vec3.h"

// The one writer of triangle files (the format the triangle reader reads):
// the object's name on the first line, then one triangle per line as
// "x y z x y z x y z" in corner order (counter-clockwise seen from the front).

// The shortest decimal text that reads back as exactly the same double
// ("278", "46.333333333333336"), so corners shared by neighbouring triangles
// stay bit-identical through the files. -0 is written as 0.
std::string formatNumber(double v);

void writeTriangleFile(std::ostream& out, const std::string& name,
                       const std::vector<std::array<Vec3, 3>>& triangles);
