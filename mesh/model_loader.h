#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Reading a model file through the Open Asset Import Library (OBJ with its
// .mtl, PLY, STL, glTF, ... whatever it reads). Polygons are triangulated by
// the library; normals are neither generated nor flipped and the corner order
// is kept, so a triangle faces where the model's polygon faced.
//
// The library checks what it read (its validation step) before anything
// walks it, and reads under ImportLimits, so a damaged file ends in an error
// message instead of a crash, a hang or an exhausted machine.

// One of the model's materials, by the name the file gives it.
struct ModelMaterial {
    std::string name;
    MeshMaterial colours;
};

// A camera the file carries, in world space (node transforms applied, times
// the scale). fov is the vertical field of view in degrees, for the
// renderer's square window.
struct ModelCamera {
    std::string name;
    Vec3 position;
    Vec3 direction;  // unit length
    Vec3 up;         // unit length, not parallel to direction
    double fov = 45.0;
};

struct LoadedModel {
    // One entry per mesh instance (a mesh referenced by a node), positions in
    // world space (node transforms applied) times the scale. Names are raw:
    // the node's name, or the mesh's, not yet made file-name safe. Each
    // object's materialIndex points into materials, and its material is that
    // entry's colours.
    std::vector<MeshObject> objects;
    std::vector<ModelMaterial> materials;
    // The file's first camera, when it has one.
    std::optional<ModelCamera> camera;
    // Messages for the user, without the file name (the caller adds it):
    // the library's own warnings, clamped colours, defaulted materials,
    // skipped primitives.
    std::vector<std::string> warnings;
    // 0, 1 or 2 when the file declares its up axis (x, y, z), else -1.
    int upAxis = -1;
};

// Loads path. On failure returns false and sets error to one line saying why
// (without the file name). scale multiplies every coordinate.
bool loadModel(const std::string& path, double scale, LoadedModel& model, std::string& error);
