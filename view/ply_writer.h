#pragma once

#include <string>
#include <vector>

#include "view/baked_mesh.h"

// The baked scene as a PLY file: one vertex element with float x y z and
// float red green blue (linear, unbounded, as the corner colours are), one
// face element of vertex index lists, objects one after another in scene
// order, and a header line "comment object I NAME" per object. The
// library's PLY exporter stores colours as bytes, which would clamp (and in
// binary files wrap) them, so this writer is our own.
enum class PlyEncoding { BinaryLittleEndian, Ascii };

// The whole file.
std::string formatPly(const std::vector<BakedMesh>& meshes, PlyEncoding encoding);
