#pragma once

#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Turns the imported meshes into the renderer's objects: optional conforming
// subdivision, file-name-safe unique names, and splitting of objects that
// exceed the item buffer's kMaxTrianglesPerObject into NAME, NAME_part2, ...
// (each part keeps the material). Fails with a message when the result would
// have more than kMaxObjects objects or subdivision fails.
// maxEdge <= 0 means no subdivision.
bool buildObjects(const std::vector<MeshObject>& imported, double maxEdge, std::vector<MeshObject>& objects,
                  std::string& error);

// Splits one object's triangles into consecutive parts of at most
// maxPerPart triangles; the parts' names are left empty.
std::vector<MeshObject> splitObject(const MeshObject& object, std::size_t maxPerPart);
