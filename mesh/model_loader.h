#pragma once

#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Reading a model file through the Open Asset Import Library (OBJ with its
// .mtl, PLY, STL, glTF, ... whatever it reads). Polygons are triangulated by
// the library; normals are neither generated nor flipped and the corner order
// is kept, so a triangle faces where the model's polygon faced.

struct LoadedModel {
    // One entry per mesh instance (a mesh referenced by a node), positions in
    // world space (node transforms applied) times the scale. Names are raw:
    // the node's name, or the mesh's, not yet made file-name safe.
    std::vector<MeshObject> objects;
    // Messages for the user, without the file name (the caller adds it):
    // the library's own warnings, clamped colours, defaulted materials,
    // skipped primitives.
    std::vector<std::string> warnings;
    // 0, 1 or 2 when the file declares its up axis (x, y, z), else -1.
    int upAxis = -1;
};

// Loads path. On failure returns false and sets error to the library's
// message (without the file name). scale multiplies every coordinate.
bool loadModel(const std::string& path, double scale, LoadedModel& model, std::string& error);
