#include "bench/bench_scene.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

#include "scene/scene.h"
#include "scene/triangle_file_writer.h"

namespace {

using Corners = std::array<Vec3, 3>;

Vec3 along(const Vec3& origin, const Vec3& du, const Vec3& dv, double s, double t) {
    return origin + du * s + dv * t;
}

// The rectangle origin + s du + t dv (s, t in 0..1) cut into squares of
// about `cell`, two triangles each; the front side is du x dv.
void addRectangle(std::vector<Corners>& out, const Vec3& origin, const Vec3& du, const Vec3& dv,
                  double cell) {
    const int nu = std::max(1, static_cast<int>(std::lround(du.length() / cell)));
    const int nv = std::max(1, static_cast<int>(std::lround(dv.length() / cell)));
    for (int j = 0; j < nv; ++j) {
        for (int i = 0; i < nu; ++i) {
            const double s0 = static_cast<double>(i) / nu, s1 = static_cast<double>(i + 1) / nu;
            const double t0 = static_cast<double>(j) / nv, t1 = static_cast<double>(j + 1) / nv;
            const Vec3 a = along(origin, du, dv, s0, t0), b = along(origin, du, dv, s1, t0);
            const Vec3 c = along(origin, du, dv, s1, t1), d = along(origin, du, dv, s0, t1);
            out.push_back({a, b, c});
            out.push_back({a, c, d});
        }
    }
}

// A box standing on z = 0 with its four sides and top facing out; the
// bottom lies on the floor and is never seen.
void addBox(std::vector<Corners>& out, const Vec3& lo, const Vec3& size, double cell) {
    const Vec3 dx(size.x, 0, 0), dy(0, size.y, 0), dz(0, 0, size.z);
    const Vec3 hi(lo.x + size.x, lo.y + size.y, lo.z + size.z);
    addRectangle(out, lo, dx, dz, cell);                      // y = lo, faces -y
    addRectangle(out, Vec3(lo.x, hi.y, lo.z), dz, dx, cell);  // y = hi, faces +y
    addRectangle(out, lo, dz, dy, cell);                      // x = lo, faces -x
    addRectangle(out, Vec3(hi.x, lo.y, lo.z), dy, dz, cell);  // x = hi, faces +x
    addRectangle(out, Vec3(lo.x, lo.y, hi.z), dx, dy, cell);  // top, faces +z
}

BenchObject object(const std::string& name, const Vec3& reflectance, const Vec3& emission) {
    BenchObject o;
    o.name = name;
    o.reflectance = reflectance;
    o.emission = emission;
    return o;
}

// The room is 10 x 10 x 6 around x = y = 0 on z = 0.
constexpr double kHalf = 5.0;
constexpr double kHeight = 6.0;

struct BoxShape {
    Vec3 lo;
    Vec3 size;
};
const BoxShape kBoxes[3] = {{Vec3(-3.0, -2.5, 0.0), Vec3(2.0, 2.0, 3.0)},
                            {Vec3(1.0, 0.5, 0.0), Vec3(1.5, 1.5, 1.5)},
                            {Vec3(1.5, -3.5, 0.0), Vec3(1.0, 3.0, 1.0)}};

double sceneArea() {
    double area = 2 * (2 * kHalf) * (2 * kHalf) + 4 * (2 * kHalf) * kHeight;
    for (const BoxShape& b : kBoxes) area += 2 * (b.size.x + b.size.y) * b.size.z + b.size.x * b.size.y;
    return area + 4.0;  // lamp
}

}  // namespace

int BenchScene::triangleCount() const {
    int n = 0;
    for (const BenchObject& o : objects) n += static_cast<int>(o.triangles.size());
    return n;
}

BenchScene makeBenchRoom(int targetTriangles) {
    // Two triangles per square of side `cell` over the whole area.
    const double cell = std::sqrt(2.0 * sceneArea() / std::max(1, targetTriangles));
    const Vec3 x(2 * kHalf, 0, 0), y(0, 2 * kHalf, 0), z(0, 0, kHeight);
    const Vec3 lo(-kHalf, -kHalf, 0.0);
    const Vec3 grey(0.75, 0.75, 0.75);
    BenchScene scene;
    scene.cellSize = cell;
    struct Wall {
        const char* name;
        Vec3 origin, du, dv, reflectance;
    };
    const Wall walls[6] = {
        {"floor", lo, x, y, Vec3(0.7, 0.7, 0.7)},
        {"ceiling", Vec3(-kHalf, -kHalf, kHeight), y, x, Vec3(0.8, 0.8, 0.8)},
        {"wall_left", lo, y, z, Vec3(0.75, 0.2, 0.2)},                       // x = -5, faces +x
        {"wall_right", Vec3(kHalf, -kHalf, 0), z, y, Vec3(0.2, 0.75, 0.2)},  // x = +5, faces -x
        {"wall_back", Vec3(-kHalf, kHalf, 0), x, z, grey},                   // y = +5, faces -y
        {"wall_front", lo, z, x, grey},                                      // y = -5, faces +y
    };
    for (const Wall& w : walls) {
        scene.objects.push_back(object(w.name, w.reflectance, Vec3()));
        addRectangle(scene.objects.back().triangles, w.origin, w.du, w.dv, cell);
    }
    for (int b = 0; b < 3; ++b) {
        scene.objects.push_back(object("box" + std::to_string(b + 1), grey, Vec3()));
        addBox(scene.objects.back().triangles, kBoxes[b].lo, kBoxes[b].size, cell);
    }
    // A 2 x 2 lamp a little under the ceiling, facing down.
    scene.objects.push_back(object("lamp", Vec3(0.8, 0.8, 0.8), Vec3(1.0, 1.0, 1.0)));
    addRectangle(scene.objects.back().triangles, Vec3(-1.0, -1.0, kHeight - 0.01), Vec3(0, 2, 0),
                 Vec3(2, 0, 0), cell);
    return scene;
}

BenchObject makeBenchSheet(int count) {
    BenchObject sheet = object("sheet", Vec3(0.5, 0.5, 0.5), Vec3());
    count = std::max(0, count);
    // Rows of 256 squares of side 0.01 (well above the welding tolerance);
    // a shared corner is computed by the same expression for every square
    // that uses it, so it welds.
    const int perRow = 256;
    for (int k = 0; static_cast<int>(sheet.triangles.size()) < count; ++k) {
        const int i = k % perRow, j = k / perRow;
        const double x0 = i / 100.0, x1 = (i + 1) / 100.0, y0 = j / 100.0, y1 = (j + 1) / 100.0;
        const Vec3 a(x0, y0, 0), b(x1, y0, 0), c(x1, y1, 0), d(x0, y1, 0);
        sheet.triangles.push_back({a, b, c});
        if (static_cast<int>(sheet.triangles.size()) < count) sheet.triangles.push_back({a, c, d});
    }
    return sheet;
}

void writeTriangleFile(std::ostream& out, const BenchObject& object) {
    writeTriangleFile(out, object.name, object.triangles);
}

std::string loadBenchScene(const BenchScene& bench, Scene& scene) {
    scene.objects.clear();
    scene.objects.resize(bench.objects.size());
    scene.objectCount = static_cast<int>(scene.objects.size());
    for (size_t o = 0; o < bench.objects.size(); ++o) {
        const BenchObject& source = bench.objects[o];
        std::stringstream text;
        writeTriangleFile(text, source);
        SceneObject& obj = scene.objects[o];
        obj.reflectance = source.reflectance;
        obj.emission = source.emission;
        const LoadReport report = obj.loadTriangles(text);
        if (!report.problem.empty()) return source.name + ": " + report.problem;
        if (report.triangles != static_cast<int>(source.triangles.size())) {
            return source.name + ": " + std::to_string(report.triangles) + " of " +
                   std::to_string(source.triangles.size()) + " triangles read back";
        }
    }
    return {};
}
