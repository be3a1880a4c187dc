#pragma once

#include <ostream>
#include <string>

#include "mesh/mesh_types.h"

// The shortest decimal text that reads back as exactly the same double
// ("278", "46.333333333333336"), so split points shared by neighbouring
// triangles stay bit-identical through the files. -0 is written as 0.
std::string formatNumber(double v);

// Writes one object as a triangle file: the name on the first line, then one
// triangle per line as "x y z x y z x y z" in corner order.
void writeTriangleFile(std::ostream& out, const MeshObject& object);
