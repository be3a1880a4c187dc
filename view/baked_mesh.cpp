#include "view/baked_mesh.h"

#include <cstring>
#include <utility>

#include "scene/scene.h"
#include "view/corner_colours.h"

namespace {

Float3 toFloat3(const Vec3& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

bool sameBits(const Float3& a, const Float3& b) {
    return std::memcmp(a.data(), b.data(), sizeof(float) * 3) == 0;
}

}  // namespace

BakedMesh bakeObject(const SceneObject& object, double smoothThreshold) {
    BakedMesh mesh;
    mesh.name = object.name;
    mesh.reflectance = object.reflectance;
    mesh.emission = object.emission;
    mesh.triangles.reserve(object.triangles.size());
    // For every welded vertex, the baked vertices made from it so far.
    std::vector<std::vector<std::uint32_t>> madeFrom(object.vertices.size());
    for (const auto& t : object.triangles) {
        std::array<std::uint32_t, 3> corners{};
        for (std::size_t k = 0; k < 3; ++k) {
            const Vertex& vertex = *t->corners[k];
            const Float3 colour = toFloat3(cornerColour(vertex, *t, smoothThreshold));
            auto& made = madeFrom[static_cast<std::size_t>(t->cornerIndices[k])];
            std::uint32_t index = static_cast<std::uint32_t>(mesh.positions.size());
            for (std::uint32_t candidate : made) {
                if (sameBits(mesh.colours[candidate], colour)) {
                    index = candidate;
                    break;
                }
            }
            if (index == mesh.positions.size()) {
                mesh.positions.push_back(toFloat3(vertex.position));
                mesh.colours.push_back(colour);
                made.push_back(index);
            }
            corners[k] = index;
        }
        mesh.triangles.push_back(corners);
    }
    return mesh;
}

std::vector<BakedMesh> bakeScene(const std::vector<SceneObject>& objects, double smoothThreshold) {
    std::vector<BakedMesh> meshes;
    meshes.reserve(objects.size());
    for (const SceneObject& object : objects) meshes.push_back(bakeObject(object, smoothThreshold));
    return meshes;
}
