#include "radiosity/form_factors.h"

#include "scene/scene.h"

int sceneTriangleCount(const std::vector<SceneObject>& objects) {
    long long count = 0;
    for (const SceneObject& o : objects) count += o.triangleCount();
    // The colour code names at most 256 x 65535 triangles, far below int's range.
    return static_cast<int>(count);
}

std::vector<int> firstTriangleIndices(const std::vector<SceneObject>& objects) {
    std::vector<int> first;
    first.reserve(objects.size());
    int next = 0;
    for (const SceneObject& o : objects) {
        first.push_back(next);
        next += o.triangleCount();
    }
    return first;
}
