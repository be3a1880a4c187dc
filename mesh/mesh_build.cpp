#include "mesh/mesh_build.h"

#include <algorithm>
#include <set>

#include "mesh/object_names.h"
#include "mesh/subdivide.h"

std::vector<MeshObject> splitObject(const MeshObject& object, std::size_t maxPerPart) {
    std::vector<MeshObject> parts;
    const std::size_t n = object.triangles.size();
    for (std::size_t from = 0; from < n; from += maxPerPart) {
        MeshObject part;
        part.material = object.material;
        const std::size_t to = std::min(n, from + maxPerPart);
        part.triangles.assign(object.triangles.begin() + static_cast<std::ptrdiff_t>(from),
                              object.triangles.begin() + static_cast<std::ptrdiff_t>(to));
        parts.push_back(std::move(part));
    }
    return parts;
}

bool buildObjects(const std::vector<MeshObject>& imported, double maxEdge, std::vector<MeshObject>& objects,
                  std::string& error) {
    const std::size_t maxTotal = kMaxObjects * kMaxTrianglesPerObject;
    std::set<std::string> used;
    std::vector<MeshObject> result;
    std::size_t total = 0;
    for (const MeshObject& in : imported) {
        MeshObject object;
        object.material = in.material;
        if (maxEdge > 0.0) {
            std::string why;
            if (!subdivideTriangles(in.triangles, maxEdge, maxTotal - total, object.triangles, why)) {
                error = "object '" + in.name + "': " + why;
                return false;
            }
        } else {
            object.triangles = in.triangles;
        }
        if (object.triangles.empty()) continue;
        total += object.triangles.size();
        const std::string base = makeUniqueName(sanitizeName(in.name), used);
        std::vector<MeshObject> parts = splitObject(object, kMaxTrianglesPerObject);
        for (std::size_t p = 0; p < parts.size(); ++p) {
            parts[p].name = p == 0 ? base : makeUniqueName(base + "_part" + std::to_string(p + 1), used);
            result.push_back(std::move(parts[p]));
        }
        if (result.size() > kMaxObjects) break;
    }
    if (result.size() > kMaxObjects) {
        error = "the model makes more than " + std::to_string(kMaxObjects) +
                " objects (after splitting objects of more than " + std::to_string(kMaxTrianglesPerObject) +
                " triangles); the renderer cannot draw more than " + std::to_string(kMaxObjects) +
                ": merge meshes in the modelling tool or use a larger --max-edge";
        return false;
    }
    if (result.empty()) {
        error = "the model holds no triangles";
        return false;
    }
    objects = std::move(result);
    return true;
}
