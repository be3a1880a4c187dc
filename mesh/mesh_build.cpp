#include "mesh/mesh_build.h"

#include <algorithm>
#include <map>
#include <set>

#include "mesh/object_names.h"
#include "scene/scene.h"

namespace {

constexpr std::size_t kMaxObjectCount = kMaxObjects;
constexpr std::size_t kMaxPerObject = kMaxTrianglesPerObject;

std::size_t partsOf(const MeshObject& o) {
    return (o.triangles.size() + kMaxPerObject - 1) / kMaxPerObject;
}

std::size_t totalParts(const std::vector<MeshObject>& objects) {
    std::size_t n = 0;
    for (const MeshObject& o : objects) n += partsOf(o);
    return n;
}

// One object per material, in the order the materials first appear, each
// holding its meshes' triangles in mesh order.
std::vector<MeshObject> mergeByMaterial(std::vector<MeshObject>& meshes,
                                        const std::vector<ModelMaterial>& materials) {
    std::vector<MeshObject> merged;
    std::map<std::size_t, std::size_t> slot;  // material index -> merged object
    for (MeshObject& m : meshes) {
        const auto [it, added] = slot.emplace(m.materialIndex, merged.size());
        if (added) {
            MeshObject o;
            o.materialIndex = m.materialIndex;
            o.material = m.material;
            o.name = m.materialIndex < materials.size() ? materials[m.materialIndex].name : "material";
            merged.push_back(std::move(o));
        }
        std::vector<MeshTriangle>& into = merged[it->second].triangles;
        into.insert(into.end(), m.triangles.begin(), m.triangles.end());
        std::vector<MeshTriangle>().swap(m.triangles);
    }
    return merged;
}

std::string tooManyObjects(std::size_t meshes, std::size_t materials, std::size_t parts, bool subdivided) {
    const std::string limit = std::to_string(kMaxObjectCount);
    if (materials > kMaxObjectCount)
        return "the model has " + std::to_string(meshes) + " meshes in " + std::to_string(materials) +
               " materials; meshes are merged by material, and the renderer draws at most " + limit +
               " objects: give meshes that look alike the same material in the modelling tool (at most " +
               limit + " materials) and convert again";
    return "the model makes " + std::to_string(parts) + " objects after splitting those over " +
           std::to_string(kMaxPerObject) + " triangles, and the renderer draws at most " + limit + ": " +
           (subdivided ? "use a larger --max-edge" : "simplify the model in the modelling tool");
}

}  // namespace

std::vector<MeshObject> splitObject(const MeshObject& object, std::size_t maxPerPart) {
    std::vector<MeshObject> parts;
    const std::size_t n = object.triangles.size();
    for (std::size_t from = 0; from < n; from += maxPerPart) {
        MeshObject part;
        part.material = object.material;
        part.materialIndex = object.materialIndex;
        const std::size_t to = std::min(n, from + maxPerPart);
        part.triangles.assign(object.triangles.begin() + static_cast<std::ptrdiff_t>(from),
                              object.triangles.begin() + static_cast<std::ptrdiff_t>(to));
        parts.push_back(std::move(part));
    }
    return parts;
}

bool buildObjects(std::vector<MeshObject> meshes, const std::vector<ModelMaterial>& materials, double maxEdge,
                  std::vector<MeshObject>& objects, BuildReport& report, std::string& error) {
    report = BuildReport{};
    if (maxEdge > 0.0) {
        report.subdivided = true;
        if (!subdivideObjects(meshes, maxEdge, kWeldTolerance, kMaxObjectCount * kMaxPerObject,
                              report.subdivision, error))
            return false;
    }
    meshes.erase(
        std::remove_if(meshes.begin(), meshes.end(), [](const MeshObject& m) { return m.triangles.empty(); }),
        meshes.end());
    report.meshes = meshes.size();
    if (meshes.empty()) {
        error = "the model holds no triangles";
        return false;
    }

    std::vector<MeshObject> grouped;
    if (meshes.size() <= kMaxObjectCount && totalParts(meshes) <= kMaxObjectCount) {
        grouped = std::move(meshes);
    } else {
        report.mergedByMaterial = true;
        grouped = mergeByMaterial(meshes, materials);
        const std::size_t parts = totalParts(grouped);
        if (grouped.size() > kMaxObjectCount || parts > kMaxObjectCount) {
            error = tooManyObjects(report.meshes, grouped.size(), parts, report.subdivided);
            return false;
        }
    }

    std::set<std::string> used;
    std::vector<MeshObject> result;
    for (const MeshObject& g : grouped) {
        const std::string base = makeUniqueName(sanitizeName(g.name), used);
        std::vector<MeshObject> parts = splitObject(g, kMaxPerObject);
        for (std::size_t p = 0; p < parts.size(); ++p) {
            parts[p].name = p == 0 ? base : makeUniqueName(base + "_part" + std::to_string(p + 1), used);
            result.push_back(std::move(parts[p]));
        }
    }
    objects = std::move(result);
    return true;
}
