#pragma once

// Shared test helpers: hand-built scenes (triangles given as three corners,
// welded as the triangle reader does), scratch folders, captured output.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "radiosity/solver.h"
#include "scene/scene.h"

namespace fixture {

using Corners = std::array<Vec3, 3>;

inline void clearScene(Scene& scene) {
    scene.objects.clear();
    scene.objectCount = 0;
}

// Appends an object made of the given triangles (corner order fixes the
// front side) and returns its index.
inline int addObject(Scene& scene, const std::vector<Corners>& tris, const Vec3& reflectance = Vec3(),
                     const Vec3& emission = Vec3(), const std::string& name = "object") {
    scene.objects.emplace_back();
    SceneObject& obj = scene.objects.back();
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
    scene.objectCount = static_cast<int>(scene.objects.size());
    return scene.objectCount - 1;
}

// An axis-aligned rectangle split into nx x ny cells of two triangles each.
// origin + s*du + t*dv for s, t in [0, 1]; the front side is du x dv.
inline std::vector<Corners> grid(const Vec3& origin, const Vec3& du, const Vec3& dv, int nx, int ny) {
    std::vector<Corners> out;
    auto at = [&](int i, int j) {
        const double s = static_cast<double>(i) / nx, t = static_cast<double>(j) / ny;
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

// A capturer standing in for the GL hemicube: on a shot's top face every
// triangle but the shooter sees it with the same form factor f. With equal
// areas and f = 1 / (n - 1), an ideal closed enclosure: B = E / (1 - rho).
struct Enclosure : FaceCapturer {
    Enclosure(Scene& s, double f) : scene(s), formFactor(f) {}
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ffs) override {
        if (view.rows != scene.settings.N) return;
        size_t index = 0;
        for (SceneObject& o : scene.objects)
            for (auto& t : o.triangles) {
                const Vec3 eye = t->centroid + t->normal / 1000.0;
                if (eye.x != view.eye.x || eye.y != view.eye.y || eye.z != view.eye.z)
                    ffs[index] += formFactor;
                ++index;
            }
    }
    Scene& scene;
    double formFactor;
};

// The furnace: a closed cube of side 2 around the origin, normals in, wall w
// cut into cells[w] x cells[w] squares, every wall emitting E and reflecting
// rho, so that B = E / (1 - rho) everywhere.
inline void addFurnace(Scene& scene, const std::array<int, 6>& cells, const Vec3& rho, const Vec3& emission) {
    const Vec3 x(2, 0, 0), y(0, 2, 0), z(0, 0, 2), lo(-1, -1, -1);
    const Vec3 origins[6] = {lo, Vec3(-1, -1, 1), lo, Vec3(-1, 1, -1), lo, Vec3(1, -1, -1)};
    const Vec3 du[6] = {x, y, z, x, y, z}, dv[6] = {y, x, x, z, z, y};
    for (int w = 0; w < 6; ++w)
        addObject(scene, grid(origins[w], du[w], dv[w], cells[w], cells[w]), rho, emission);
}

// How far a solved furnace is from B = E / (1 - rho), relatively, over the
// three channels: the worst single triangle, and the area-weighted mean.
struct FurnaceError {
    double worst = 0, mean = 0;
};
inline FurnaceError furnaceError(const Scene& scene, const Vec3& rho, const Vec3& emission) {
    const double exact[3] = {emission.x / (1 - rho.x), emission.y / (1 - rho.y), emission.z / (1 - rho.z)};
    FurnaceError e;
    double weighted[3] = {0, 0, 0}, area = 0;
    for (const SceneObject& o : scene.objects) {
        for (const auto& t : o.triangles) {
            const double b[3] = {t->radiosity.x, t->radiosity.y, t->radiosity.z};
            for (int c = 0; c < 3; ++c) {
                e.worst = std::max(e.worst, std::fabs(b[c] / exact[c] - 1.0));
                weighted[c] += b[c] * t->area;
            }
            area += t->area;
        }
    }
    for (int c = 0; c < 3; ++c) e.mean = std::max(e.mean, std::fabs(weighted[c] / area / exact[c] - 1.0));
    return e;
}

inline Triangle& tri(Scene& scene, int o, int t) {
    return *scene.objects[static_cast<size_t>(o)].triangles[static_cast<size_t>(t)];
}

// A form-factor array of zeros for every triangle of the scene, in scene order.
inline std::vector<double> zeroFormFactors(const Scene& scene) {
    size_t count = 0;
    for (const SceneObject& o : scene.objects) count += o.triangles.size();
    return std::vector<double>(count, 0.0);
}

// The light still to shoot: the sum over triangles of (|red| + |green| +
// |blue|) of the unshot radiosity x area.
inline double unshotEnergy(const Scene& scene) {
    double left = 0.0;
    for (const SceneObject& o : scene.objects)
        for (const auto& t : o.triangles)
            left += (std::abs(t->unshot.x) + std::abs(t->unshot.y) + std::abs(t->unshot.z)) * t->area;
    return left;
}

inline std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A scratch folder per test, removed afterwards.
struct Scratch {
    std::filesystem::path path;
    Scratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = std::filesystem::temp_directory_path() / ("lumetra_test_" + std::to_string(::getpid()) + "_" +
                                                         info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
    std::string read(const std::string& name) const { return slurp(path / name); }
    std::string at(const std::string& name) const { return (path / name).string(); }
    int entries() const {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(path), {}));
    }
};

// Runs f and returns what it printed on standard output.
template <class F>
std::string stdoutOf(F&& f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
}

}  // namespace fixture
