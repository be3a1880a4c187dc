#pragma once

#include <string>
#include <vector>

#include "mesh/model_loader.h"
#include "mesh/subdivide.h"

// Turns the imported meshes into the renderer's objects.
//
// Optional conforming subdivision first (all meshes together, see
// subdivide.h). Then one object per mesh while the model has at most
// kMaxObjects meshes and they fit as such; beyond that, the meshes that share
// a material are merged into one object named after the material (positions
// are already in world space, so the merge is exact). Objects over
// kMaxTrianglesPerObject (the item buffer's limit) are split into NAME,
// NAME_part2, ..., each keeping the material. Names are made file-name safe
// and unique.

struct BuildReport {
    std::size_t meshes = 0;         // meshes that still had triangles
    bool mergedByMaterial = false;  // meshes were merged by material
    bool subdivided = false;
    SubdivisionReport subdivision;  // when subdivided
};

// Fails with a one-line message when the result would have more than
// kMaxObjects objects (saying why and what to do) or subdivision fails.
// maxEdge <= 0 means no subdivision.
bool buildObjects(std::vector<MeshObject> meshes, const std::vector<ModelMaterial>& materials, double maxEdge,
                  std::vector<MeshObject>& objects, BuildReport& report, std::string& error);

// Splits one object's triangles into consecutive parts of at most
// maxPerPart triangles; the parts' names are left empty.
std::vector<MeshObject> splitObject(const MeshObject& object, std::size_t maxPerPart);
