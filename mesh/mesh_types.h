#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "scene/limits.h"
#include "scene/vec3.h"

// Plain records shared by the meshing tool's stages: import, subdivision,
// grouping, naming and writing. Coordinates are in the model's length unit
// (after --scale); corner order fixes the front side (counter-clockwise seen
// from the front, like the renderer's triangle files).

using MeshTriangle = std::array<Vec3, 3>;

// Colours as the renderer's configuration stores them: integers that it
// divides by 255. Reflectance stays within 0..255; emission may exceed 255.
struct MeshMaterial {
    std::array<long, 3> reflectance{{191, 191, 191}};
    std::array<long, 3> emission{{0, 0, 0}};
};

// One object of the output: a name (file-name safe once named), one
// material and its triangles. materialIndex says which of the model's
// materials it came from (meshes are merged by it when there are many).
struct MeshObject {
    std::string name;
    MeshMaterial material;
    std::vector<MeshTriangle> triangles;
    std::size_t materialIndex = 0;
};
