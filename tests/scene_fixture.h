#pragma once

// Hand-built scenes for the solver, capture and shading tests: triangles are
// given as three corners; vertices are welded as the triangle reader does.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene.h"
#include "scene/settings.h"

namespace fixture {

using Corners = std::array<Vec3, 3>;

inline void clearScene() {
    objects.clear();
    objectCount = 0;
}

// Appends an object made of the given triangles (corner order fixes the
// front side) and returns its index.
inline int addObject(const std::vector<Corners>& tris, const Vec3& reflectance = Vec3(),
                     const Vec3& emission = Vec3(), const std::string& name = "object") {
    objects.emplace_back();
    SceneObject& obj = objects.back();
    obj.name = name;
    obj.reflectance = reflectance;
    obj.emission = emission;
    for (const Corners& c : tris) {
        obj.triangles.push_back(std::make_unique<Triangle>());
        Triangle* t = obj.triangles.back().get();
        int idx[3];
        for (int k = 0; k < 3; ++k) idx[k] = obj.findOrAddVertex(c[k].x, c[k].y, c[k].z, t);
        t->setCorners(obj.vertices[idx[0]].get(), obj.vertices[idx[1]].get(), obj.vertices[idx[2]].get(),
                      idx[0], idx[1], idx[2]);
        t->computeNormal();
        t->computeArea();
        t->computeCentroid();
    }
    obj.freeWeldTable();
    objectCount = static_cast<int>(objects.size());
    return objectCount - 1;
}

// An axis-aligned rectangle split into nx x ny cells of two triangles each.
// origin + s*du + t*dv for s, t in [0, 1]; the front side is du x dv.
inline std::vector<Corners> grid(const Vec3& origin, const Vec3& du, const Vec3& dv, int nx, int ny) {
    std::vector<Corners> out;
    auto at = [&](int i, int j) {
        const double s = static_cast<double>(i) / nx;
        const double t = static_cast<double>(j) / ny;
        return Vec3(origin.x + s * du.x + t * dv.x, origin.y + s * du.y + t * dv.y,
                    origin.z + s * du.z + t * dv.z);
    };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            out.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            out.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    return out;
}

// Settings and scene back to a clean state around each test.
struct SceneGuard {
    SceneGuard() {
        resetSettings();
        clearScene();
    }
    ~SceneGuard() {
        clearScene();
        resetSettings();
    }
};

}  // namespace fixture
