// Tests of the meshing tool's pieces: model import, conforming subdivision,
// names, materials, splitting, the files it writes, and the bundled scenes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/ini_reader.h"
#include "mesh/material_map.h"
#include "mesh/mesh_build.h"
#include "mesh/model_loader.h"
#include "mesh/object_names.h"
#include "mesh/scene_ini.h"
#include "mesh/subdivide.h"
#include "mesh/triangle_file_writer.h"
#include "scene/scene.h"

namespace fs = std::filesystem;

namespace {

fs::path freshDir(const std::string& tag) {
    static int counter = 0;
    fs::path dir = fs::temp_directory_path() / ("lumetra_mesh_test_" + std::to_string(::getpid()) + "_" +
                                                tag + std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

Vec3 areaVector(const MeshTriangle& t) {
    Vec3 n = (t.corners[1] - t.corners[0]).cross(t.corners[2] - t.corners[0]);
    n *= 0.5;
    return n;
}

double totalArea(const std::vector<MeshTriangle>& tris) {
    double a = 0.0;
    for (const MeshTriangle& t : tris) a += areaVector(t).length();
    return a;
}

// Welds corners within the renderer's tolerance of 0.001 (grid cells of that
// size, searching the neighbouring cells) and returns corner indices.
std::vector<std::array<int, 3>> weld(const std::vector<MeshTriangle>& tris) {
    const double tol = 0.001;
    std::map<std::array<long long, 3>, std::vector<int>> cells;
    std::vector<Vec3> points;
    std::vector<std::array<int, 3>> out;
    for (const MeshTriangle& t : tris) {
        std::array<int, 3> idx{};
        for (int c = 0; c < 3; ++c) {
            const Vec3& p = t.corners[c];
            const std::array<long long, 3> cell{static_cast<long long>(std::floor(p.x / tol)),
                                                static_cast<long long>(std::floor(p.y / tol)),
                                                static_cast<long long>(std::floor(p.z / tol))};
            int found = -1;
            for (int dx = -1; dx <= 1 && found < 0; ++dx)
                for (int dy = -1; dy <= 1 && found < 0; ++dy)
                    for (int dz = -1; dz <= 1 && found < 0; ++dz) {
                        auto it = cells.find({cell[0] + dx, cell[1] + dy, cell[2] + dz});
                        if (it == cells.end()) continue;
                        for (int i : it->second)
                            if ((points[i] - p).length() < tol) {
                                found = i;
                                break;
                            }
                    }
            if (found < 0) {
                found = static_cast<int>(points.size());
                points.push_back(p);
                cells[cell].push_back(found);
            }
            idx[c] = found;
        }
        out.push_back(idx);
    }
    return out;
}

// Welds only bit-identical corners. The renderer's welder hashes truncated
// coordinates, so two corners a rounding error apart can land in different
// buckets and stay apart: shared split points must be exactly equal.
std::vector<std::array<int, 3>> weldExact(const std::vector<MeshTriangle>& tris) {
    std::map<std::array<double, 3>, int> index;
    std::vector<std::array<int, 3>> out;
    for (const MeshTriangle& t : tris) {
        std::array<int, 3> idx{};
        for (int c = 0; c < 3; ++c) {
            const std::array<double, 3> key{t.corners[c].x, t.corners[c].y, t.corners[c].z};
            idx[c] = index.emplace(key, static_cast<int>(index.size())).first->second;
        }
        out.push_back(idx);
    }
    return out;
}

// For a closed, consistently oriented surface every directed edge (a, b)
// occurs exactly once and its reverse (b, a) exactly once. Returns the number
// of edges breaking that rule (cracks, T-junctions, flipped triangles).
int badEdges(const std::vector<std::array<int, 3>>& tris) {
    std::map<std::pair<int, int>, int> directed;
    for (const auto& t : tris)
        for (int c = 0; c < 3; ++c) ++directed[{t[c], t[(c + 1) % 3]}];
    int bad = 0;
    for (const auto& [edge, count] : directed) {
        auto rev = directed.find({edge.second, edge.first});
        if (count != 1 || rev == directed.end() || rev->second != 1) ++bad;
    }
    return bad;
}

double longestEdge(const std::vector<MeshTriangle>& tris) {
    double m = 0.0;
    for (const MeshTriangle& t : tris)
        for (int c = 0; c < 3; ++c) m = std::max(m, (t.corners[(c + 1) % 3] - t.corners[c]).length());
    return m;
}

MeshTriangle tri(Vec3 a, Vec3 b, Vec3 c) {
    return MeshTriangle{{a, b, c}};
}

// A closed box of 12 triangles facing out, with the quad diagonals running
// both ways so neighbouring faces have different edge patterns.
std::vector<MeshTriangle> closedBox(Vec3 lo, Vec3 hi) {
    auto P = [&](int i, int j, int k) { return Vec3{i ? hi.x : lo.x, j ? hi.y : lo.y, k ? hi.z : lo.z}; };
    std::vector<MeshTriangle> t;
    auto quad = [&](Vec3 a, Vec3 b, Vec3 c, Vec3 d, bool otherDiagonal) {
        if (otherDiagonal) {
            t.push_back(tri(a, b, d));
            t.push_back(tri(b, c, d));
        } else {
            t.push_back(tri(a, b, c));
            t.push_back(tri(a, c, d));
        }
    };
    quad(P(0, 0, 0), P(0, 1, 0), P(1, 1, 0), P(1, 0, 0), false);  // z = lo, facing -z
    quad(P(0, 0, 1), P(1, 0, 1), P(1, 1, 1), P(0, 1, 1), true);   // z = hi
    quad(P(0, 0, 0), P(1, 0, 0), P(1, 0, 1), P(0, 0, 1), true);   // y = lo
    quad(P(0, 1, 0), P(0, 1, 1), P(1, 1, 1), P(1, 1, 0), false);  // y = hi
    quad(P(0, 0, 0), P(0, 0, 1), P(0, 1, 1), P(0, 1, 0), false);  // x = lo
    quad(P(1, 0, 0), P(1, 1, 0), P(1, 1, 1), P(1, 0, 1), true);   // x = hi
    return t;
}

}  // namespace

TEST(Subdivide, ClosedSurfacesStayWatertightAndKeepFacing) {
    const Vec3 a{0, 0, 0}, b{10, 0.3, 0.1}, c{2.5, 7, 0.4}, d{3, 2.2, 9};
    const std::vector<MeshTriangle> tetra{tri(a, c, b), tri(a, b, d), tri(b, c, d), tri(c, a, d)};
    const std::vector<std::vector<MeshTriangle>> shapes{tetra, closedBox({0, 0, 0}, {7, 3, 1.3}),
                                                        closedBox({-1, -2, -3}, {4, 4, 4})};
    for (const auto& shape : shapes) {
        ASSERT_EQ(badEdges(weld(shape)), 0);
        for (double L : {0.37, 1.3, 3.1}) {
            SCOPED_TRACE("max edge " + std::to_string(L));
            // Each input triangle in its own call, as separate objects would be:
            // shared edges must still be split at the same points.
            std::vector<MeshTriangle> all;
            for (const MeshTriangle& t : shape) {
                std::vector<MeshTriangle> part;
                std::string error;
                ASSERT_TRUE(subdivideTriangles({t}, L, 10000000, part, error)) << error;
                // Orientation and area: the children's vector areas add up to
                // the parent's, and every child faces the parent's way.
                Vec3 sum;
                const Vec3 parent = areaVector(t);
                for (const MeshTriangle& k : part) {
                    const Vec3 n = areaVector(k);
                    EXPECT_GT(n.dot(parent), 0.0);
                    sum = sum + n;
                }
                EXPECT_NEAR((sum - parent).length(), 0.0, 1e-9 * parent.length());
                all.insert(all.end(), part.begin(), part.end());
            }
            EXPECT_LE(longestEdge(all), L * (1.0 + 1e-12));
            EXPECT_NEAR(totalArea(all), totalArea(shape), 1e-9 * totalArea(shape));
            EXPECT_EQ(badEdges(weld(all)), 0);
            EXPECT_EQ(badEdges(weldExact(all)), 0);
            EXPECT_GT(all.size(), shape.size());
        }
    }
}

TEST(Subdivide, CountsAndPassThrough) {
    // Equilateral triangle of side 3 with L = 1: every edge in 3 segments,
    // a regular grid of 3 * 3 similar triangles.
    const double h = 3.0 * std::sqrt(3.0) / 2.0;
    std::vector<MeshTriangle> out;
    std::string error;
    ASSERT_TRUE(subdivideTriangles({tri({0, 0, 0}, {3, 0, 0}, {1.5, h, 0})}, 1.0, 1000, out, error));
    EXPECT_EQ(out.size(), 9u);

    // Already small enough: unchanged, corners in the same order.
    const MeshTriangle small = tri({0, 0, 0}, {0, 0.5, 0}, {0.5, 0, 0});
    out.clear();
    ASSERT_TRUE(subdivideTriangles({small}, 1.0, 1000, out, error));
    ASSERT_EQ(out.size(), 1u);
    for (int c = 0; c < 3; ++c) EXPECT_EQ((out[0].corners[c] - small.corners[c]).length(), 0.0);

    EXPECT_EQ(edgeSegmentCount(1.0, 1.0), 1u);
    EXPECT_EQ(edgeSegmentCount(1.0000001, 1.0), 2u);
    EXPECT_EQ(edgeSegmentCount(0.0, 1.0), 1u);

    // A long sliver: still bounded, still conforming with its mirror neighbour.
    const std::vector<MeshTriangle> sliver{tri({0, 0, 0}, {100, 0, 0}, {50, 0.2, 0}),
                                           tri({100, 0, 0}, {0, 0, 0}, {50, -0.2, 0})};
    out.clear();
    ASSERT_TRUE(subdivideTriangles(sliver, 0.5, 100000, out, error)) << error;
    EXPECT_LE(longestEdge(out), 0.5 * (1.0 + 1e-12));
    EXPECT_NEAR(totalArea(out), totalArea(sliver), 1e-9);
}

TEST(Subdivide, RefusesBadInputWithoutOutput) {
    std::vector<MeshTriangle> out;
    std::string error;
    const MeshTriangle t = tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    EXPECT_FALSE(subdivideTriangles({t}, 0.0, 1000, out, error));
    EXPECT_FALSE(subdivideTriangles({t}, -1.0, 1000, out, error));
    EXPECT_FALSE(subdivideTriangles({t}, std::nan(""), 1000, out, error));
    EXPECT_FALSE(subdivideTriangles({tri({0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0})}, 1.0, 1000, out, error));
    // 1e6 segments per edge would be about 1e12 triangles.
    error.clear();
    EXPECT_FALSE(subdivideTriangles({t}, 1e-6, 100000, out, error));
    EXPECT_NE(error.find("100000"), std::string::npos) << error;
    // Just over the budget after a few triangles.
    EXPECT_FALSE(subdivideTriangles({t, t, t}, 0.1, 250, out, error));
    EXPECT_TRUE(out.empty());
}

TEST(ObjectNames, SafeShortAndUnique) {
    EXPECT_EQ(sanitizeName("Floor Panel"), "Floor_Panel");
    EXPECT_EQ(sanitizeName("../../etc/passwd"), "etc_passwd");
    EXPECT_EQ(sanitizeName("K\xc3\xbc"
                           "che:1"),
              "K_che_1");
    EXPECT_EQ(sanitizeName(""), "object");
    EXPECT_EQ(sanitizeName("***"), "object");
    EXPECT_EQ(sanitizeName("tall-block_2"), "tall-block_2");
    EXPECT_EQ(sanitizeName("con"), "con_");
    EXPECT_EQ(sanitizeName("COM1"), "COM1_");
    EXPECT_EQ(sanitizeName("console"), "console");
    EXPECT_EQ(sanitizeName(std::string(300, 'a')).size(), kMaxNameLength);

    std::set<std::string> used;
    EXPECT_EQ(makeUniqueName("box", used), "box");
    EXPECT_EQ(makeUniqueName("box", used), "box_2");
    EXPECT_EQ(makeUniqueName("Box", used), "Box_3");  // distinct on case-insensitive file systems
    EXPECT_EQ(makeUniqueName("box_2", used), "box_2_2");
}

TEST(MaterialMap, ClampsReflectanceKeepsEmission) {
    std::vector<std::string> warnings;
    MeshMaterial m = mapMaterial("white", {185 / 255.0, 181 / 255.0, 173 / 255.0}, {0, 0, 0}, warnings);
    EXPECT_EQ(m.reflectance, (std::array<long, 3>{185, 181, 173}));
    EXPECT_EQ(m.emission, (std::array<long, 3>{0, 0, 0}));
    EXPECT_TRUE(warnings.empty());

    m = mapMaterial("lamp", {0.2, 1.5, 0.5}, {17, 12, 4}, warnings);
    EXPECT_EQ(m.reflectance, (std::array<long, 3>{51, 255, 128}));  // 0.5 * 255 = 127.5 rounds up
    EXPECT_EQ(m.emission, (std::array<long, 3>{4335, 3060, 1020}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("lamp"), std::string::npos);

    warnings.clear();
    m = mapMaterial("odd", {-0.5, std::nan(""), 0.1}, {-1, std::nan(""), 1e30}, warnings);
    EXPECT_EQ(m.reflectance, (std::array<long, 3>{0, 0, 26}));
    EXPECT_EQ(m.emission[0], 0);
    EXPECT_EQ(m.emission[1], 0);
    EXPECT_EQ(m.emission[2], 2147483647);  // the renderer reads 32-bit integers
    EXPECT_EQ(warnings.size(), 2u);

    EXPECT_EQ(defaultMaterial().reflectance, (std::array<long, 3>{191, 191, 191}));
    EXPECT_EQ(defaultMaterial().emission, (std::array<long, 3>{0, 0, 0}));
}

TEST(ModelLoader, ReadsObjWithMaterials) {
    const fs::path dir = freshDir("obj");
    writeText(dir / "m.mtl",
              "newmtl grey\nKd 0.5 0.5 0.5\n"
              "newmtl glow\nKd 0.2 0.4 1.5\nKe 2 1 0.5\n");
    writeText(dir / "m.obj",
              "mtllib m.mtl\n"
              "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\n"
              "vt 0 0\nvt 1 0\nvn 0 0 1\n"
              "o Floor.Panel\nusemtl grey\n"
              "f 1/1/1 2/2/1 3/1/1 4/2/1\n"  // a quad, v/vt/vn
              "o lamp\nusemtl glow\n"
              "v 0 0 1.1\nv 1 0 1.1\nv 0 1 1.1\n"
              "f -3//1 -2//1 -1//1\n"  // negative indices, v//vn
              "f -3/1 -1/2 -2/1\n");   // v/vt, the other way round
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel((dir / "m.obj").string(), 2.0, model, error)) << error;
    ASSERT_EQ(model.objects.size(), 2u);

    const MeshObject& floor = model.objects[0];
    EXPECT_EQ(floor.name, "Floor.Panel");
    ASSERT_EQ(floor.triangles.size(), 2u);
    EXPECT_NEAR(totalArea(floor.triangles), 16.0, 1e-12);  // 2 x 2 scaled by 2
    for (const MeshTriangle& t : floor.triangles) EXPECT_GT(areaVector(t).z, 0.0);
    EXPECT_EQ(floor.material.reflectance, (std::array<long, 3>{128, 128, 128}));
    EXPECT_EQ(floor.material.emission, (std::array<long, 3>{0, 0, 0}));

    const MeshObject& lamp = model.objects[1];
    EXPECT_EQ(lamp.name, "lamp");
    ASSERT_EQ(lamp.triangles.size(), 2u);
    EXPECT_GT(areaVector(lamp.triangles[0]).z, 0.0);
    EXPECT_LT(areaVector(lamp.triangles[1]).z, 0.0);
    EXPECT_EQ(lamp.triangles[0].corners[1].x, 2.0);
    // The library reads floats; the written decimal comes back exactly.
    EXPECT_EQ(lamp.triangles[0].corners[1].z, 2.2);
    EXPECT_EQ(lamp.material.reflectance, (std::array<long, 3>{51, 102, 255}));
    EXPECT_EQ(lamp.material.emission, (std::array<long, 3>{510, 255, 128}));
    bool clampWarned = false;
    for (const std::string& w : model.warnings) clampWarned |= w.find("glow") != std::string::npos;
    EXPECT_TRUE(clampWarned);
}

TEST(ModelLoader, DefaultsAndFailures) {
    const fs::path dir = freshDir("bad");
    // No material at all, and a material the file never defines: 0.75 grey.
    writeText(dir / "plain.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng other\nusemtl nowhere\nf 3 2 1\n");
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel((dir / "plain.obj").string(), 1.0, model, error)) << error;
    ASSERT_EQ(model.objects.size(), 2u);
    for (const MeshObject& o : model.objects) {
        EXPECT_EQ(o.material.reflectance, (std::array<long, 3>{191, 191, 191})) << o.name;
        EXPECT_EQ(o.material.emission, (std::array<long, 3>{0, 0, 0}));
    }

    // Index out of range, garbage, and a missing file: refused with the library's reason.
    writeText(dir / "broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n");
    EXPECT_FALSE(loadModel((dir / "broken.obj").string(), 1.0, model, error));
    EXPECT_NE(error.find("index"), std::string::npos) << error;
    writeText(dir / "garbage.obj", "this is not a model\n");
    EXPECT_FALSE(loadModel((dir / "garbage.obj").string(), 1.0, model, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(loadModel((dir / "missing.obj").string(), 1.0, model, error));
    EXPECT_FALSE(error.empty());
}

TEST(MeshBuild, NamesSplitsAndLimits) {
    MeshObject big;
    big.name = "big box";
    big.material.emission = {1, 2, 3};
    const MeshTriangle t = tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    big.triangles.assign(2 * kMaxTrianglesPerObject + 10, t);
    MeshObject other = big;
    other.triangles.resize(5);
    std::vector<MeshObject> out;
    std::string error;
    ASSERT_TRUE(buildObjects({big, other}, 0.0, out, error)) << error;
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].name, "big_box");
    EXPECT_EQ(out[1].name, "big_box_part2");
    EXPECT_EQ(out[2].name, "big_box_part3");
    EXPECT_EQ(out[3].name, "big_box_2");
    EXPECT_EQ(out[0].triangles.size(), kMaxTrianglesPerObject);
    EXPECT_EQ(out[2].triangles.size(), 10u);
    EXPECT_EQ(out[2].material.emission, big.material.emission);

    std::vector<MeshObject> many(kMaxObjects + 1, other);
    EXPECT_FALSE(buildObjects(many, 0.0, out, error));
    EXPECT_NE(error.find("256"), std::string::npos) << error;
    many.pop_back();
    EXPECT_TRUE(buildObjects(many, 0.0, out, error)) << error;
    EXPECT_FALSE(buildObjects({}, 0.0, out, error));
}

TEST(MeshFiles, ReadBackByTheRenderer) {
    for (double v : {0.0, 1.0, 278.0, 0.1, 1.0 / 3.0, -1e-300, 123456.789, 5e-324}) {
        const std::string s = formatNumber(v);
        EXPECT_EQ(std::strtod(s.c_str(), nullptr), v) << s;
    }
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(formatNumber(278.0), "278");

    // A triangle file through the renderer's own reader: same name, same
    // corners bit for bit, welded where corners are shared.
    MeshObject o;
    o.name = "panel";
    ASSERT_TRUE([&] {
        std::string error;
        return subdivideTriangles(
            {tri({0, 0, 0}, {1, 0, 0}, {1, 1, 0}), tri({0, 0, 0}, {1, 1, 0}, {0, 1, 0})}, 0.3, 1000,
            o.triangles, error);
    }());
    std::stringstream file;
    writeTriangleFile(file, o);
    SceneObject read;
    read.loadTriangles(file);
    EXPECT_EQ(read.name, "panel");
    ASSERT_EQ(read.triangleCount(), static_cast<int>(o.triangles.size()));
    for (std::size_t i = 0; i < o.triangles.size(); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ((read.triangles[i]->corners[c]->position - o.triangles[i].corners[c]).length(), 0.0);
    // Euler: a subdivided disc-like square has V - E + F = 1.
    const int v = read.vertexCount(), f = read.triangleCount();
    std::set<std::pair<int, int>> edges;
    for (const auto& t : read.triangles)
        for (int c = 0; c < 3; ++c) {
            const int a = t->cornerIndices[c], b = t->cornerIndices[(c + 1) % 3];
            edges.insert({std::min(a, b), std::max(a, b)});
        }
    EXPECT_EQ(v - static_cast<int>(edges.size()) + f, 1);

    // The configuration through the renderer's INI reader.
    IniSettings settings;
    IniCamera camera;
    frameBox({0, 0, 0}, {556, 548.8, 559.2}, 1, camera, settings);
    EXPECT_NEAR(camera.lookAt.x, 278.0, 1e-12);
    EXPECT_GT(camera.pos.z, 559.2);
    EXPECT_EQ(camera.up.y, 1.0);
    // The bounding sphere fits the field of view.
    const double radius = Vec3{556, 548.8, 559.2}.length() / 2;
    EXPECT_LE(std::asin(radius / (camera.pos - camera.lookAt).length()) * 2 * 180 / M_PI, camera.fov);
    EXPECT_GT(settings.farPlane, (camera.pos - camera.lookAt).length() + radius);
    EXPECT_GT(settings.nearPlane, 0.0);
    EXPECT_LT(settings.nearPlane, 2.0);
    IniObject obj{"panel.tri", o.triangles.size(), MeshMaterial{}};
    obj.material.emission = {4335, 3060, 1020};
    std::stringstream ini;
    writeSceneIni(ini, "Written by a test\nsecond line", settings, camera, {obj, obj});
    const IniFile parsed = IniFile::parse(ini);
    EXPECT_EQ(parsed.getInt("settings", "objects", -1), 2);
    EXPECT_EQ(parsed.getInt("settings", "resolution", -1), 256);
    EXPECT_EQ(std::atof(parsed.getString("camera", "lookat_y", "").c_str()), camera.lookAt.y);
    EXPECT_EQ(parsed.getString("object_1", "file", ""), "panel.tri");
    EXPECT_EQ(parsed.getInt("object_1", "triangles", -1), static_cast<int>(o.triangles.size()));
    EXPECT_EQ(parsed.getInt("object_0", "emission_r", -1), 4335);
    EXPECT_EQ(parsed.getInt("object_0", "reflectance_b", -1), 191);
}

namespace {

// The rule of the published Cornell data: walls, floor, ceiling and light
// face into the room, block faces point out of their block.
void expectCornellFacing(const std::string& name, const std::vector<MeshTriangle>& tris) {
    ASSERT_FALSE(tris.empty()) << name;
    const bool block = name.find("block") != std::string::npos;
    Vec3 centre{278.0, 274.4, 279.6};  // the room's middle
    if (block) {
        Vec3 sum;
        for (const MeshTriangle& t : tris)
            for (const Vec3& p : t.corners) sum = sum + p;
        centre = sum;
        centre *= 1.0 / (3.0 * static_cast<double>(tris.size()));
    }
    for (const MeshTriangle& t : tris) {
        Vec3 mid = t.corners[0] + t.corners[1] + t.corners[2];
        mid *= 1.0 / 3.0;
        const Vec3 n = areaVector(t);
        const double toward = n.dot(centre - mid);
        if (block)
            EXPECT_LT(toward, 0.0) << name;
        else
            EXPECT_GT(toward, 0.0) << name;
    }
}

}  // namespace

TEST(BundledScenes, CornellFacesFollowThePublishedRule) {
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel(LUMETRA_SOURCE_DIR "/scenes/cornell/cornell.obj", 1.0, model, error)) << error;
    EXPECT_TRUE(model.warnings.empty()) << model.warnings.front();
    ASSERT_EQ(model.objects.size(), 8u);
    std::map<std::string, const MeshObject*> byName;
    for (const MeshObject& o : model.objects) {
        byName[o.name] = &o;
        expectCornellFacing(o.name, o.triangles);
    }
    ASSERT_EQ(byName.count("light"), 1u);
    EXPECT_EQ(byName["light"]->material.emission, (std::array<long, 3>{4335, 3060, 1020}));
    EXPECT_EQ(byName["left_wall"]->material.reflectance, (std::array<long, 3>{161, 17, 13}));
    EXPECT_EQ(byName["right_wall"]->material.reflectance, (std::array<long, 3>{36, 115, 23}));
    EXPECT_EQ(byName["floor"]->material.reflectance, (std::array<long, 3>{185, 181, 173}));
    EXPECT_NEAR(totalArea(byName["light"]->triangles), 130.0 * 105.0, 1e-9);

    // The generated files the renderer reads, through its own reader.
    const IniFile ini = [] {
        IniFile f;
        std::string why;
        IniFile::load(LUMETRA_SOURCE_DIR "/scenes/cornell/scene.ini", f, why);
        return f;
    }();
    const int count = ini.getInt("settings", "objects", 0);
    EXPECT_EQ(count, 8);
    int total = 0;
    for (int i = 0; i < count; ++i) {
        const std::string section = "object_" + std::to_string(i);
        SceneObject o;
        ASSERT_EQ(
            o.loadTriangleFile(LUMETRA_SOURCE_DIR "/scenes/cornell/" + ini.getString(section, "file", "")),
            1);
        EXPECT_EQ(o.triangleCount(), ini.getInt(section, "triangles", -1));
        std::vector<MeshTriangle> tris;
        for (const auto& t : o.triangles)
            tris.push_back(tri(t->corners[0]->position, t->corners[1]->position, t->corners[2]->position));
        expectCornellFacing(o.name, tris);
        total += o.triangleCount();
    }
    EXPECT_GT(total, 1000);
    EXPECT_LT(total, 10000);
}

namespace {

// Loads the objects of a generated scene.ini through the renderer's reader.
std::map<std::string, std::vector<MeshTriangle>> loadScene(const std::string& dir, const IniFile& ini) {
    std::map<std::string, std::vector<MeshTriangle>> out;
    const int count = ini.getInt("settings", "objects", 0);
    for (int i = 0; i < count; ++i) {
        const std::string section = "object_" + std::to_string(i);
        SceneObject o;
        EXPECT_EQ(o.loadTriangleFile(dir + ini.getString(section, "file", "")), 1) << section;
        auto& tris = out[o.name];
        for (const auto& t : o.triangles)
            tris.push_back(tri(t->corners[0]->position, t->corners[1]->position, t->corners[2]->position));
    }
    return out;
}

double signedVolume(const std::vector<MeshTriangle>& tris) {
    double volume = 0.0;
    for (const MeshTriangle& t : tris) volume += t.corners[0].dot(t.corners[1].cross(t.corners[2])) / 6.0;
    return volume;
}

}  // namespace

TEST(BundledScenes, ExampleRoomsAreClosedAndFaceIn) {
    {
        const std::string dir = LUMETRA_SOURCE_DIR "/examples/furnace/";
        IniFile ini;
        std::string why;
        ASSERT_TRUE(IniFile::load(dir + "scene.ini", ini, why)) << why;
        for (int i = 0; i < ini.getInt("settings", "objects", 0); ++i) {
            // Every wall the same material, so the closed form B = E / (1 - rho) holds.
            const std::string section = "object_" + std::to_string(i);
            for (const char* key : {"reflectance_r", "reflectance_g", "reflectance_b"})
                EXPECT_EQ(ini.getInt(section, key, -1), 128);
            for (const char* key : {"emission_r", "emission_g", "emission_b"})
                EXPECT_EQ(ini.getInt(section, key, -1), 64);
        }
        std::vector<MeshTriangle> all;
        for (const auto& [name, tris] : loadScene(dir, ini)) all.insert(all.end(), tris.begin(), tris.end());
        EXPECT_EQ(all.size(), static_cast<std::size_t>([&] {
                      int n = 0;
                      for (int i = 0; i < ini.getInt("settings", "objects", 0); ++i)
                          n += ini.getInt("object_" + std::to_string(i), "triangles", 0);
                      return n;
                  }()));
        EXPECT_EQ(badEdges(weldExact(all)), 0);
        EXPECT_NEAR(signedVolume(all), -1000.0, 1e-6);  // a 10 x 10 x 10 cube facing in
    }
    {
        // The sunroom's shell, window and ceiling lamp fill each other's
        // holes: together a closed room facing in. The furniture faces out.
        const std::string dir = LUMETRA_SOURCE_DIR "/examples/sunroom/";
        IniFile ini;
        std::string why;
        ASSERT_TRUE(IniFile::load(dir + "scene.ini", ini, why)) << why;
        std::vector<MeshTriangle> shell;
        for (const auto& [name, tris] : loadScene(dir, ini)) {
            if (name == "sofa" || name == "table" || name == "cabinet") {
                EXPECT_GT(signedVolume(tris), 0.0) << name;
            } else {
                shell.insert(shell.end(), tris.begin(), tris.end());
            }
        }
        EXPECT_EQ(badEdges(weldExact(shell)), 0);
        EXPECT_NEAR(signedVolume(shell), -6.0 * 3.0 * 5.0, 1e-6);
    }
}

#ifdef LUMETRA_BINARY_DIR
TEST(MeshTool, ExitCodesAndMessages) {
    const std::string tool = LUMETRA_BINARY_DIR "/lumetra-mesh";
    if (!fs::exists(tool)) GTEST_SKIP() << "lumetra-mesh not built";
    const fs::path dir = freshDir("tool");
    writeText(dir / "broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n");
    writeText(dir / "ok.obj", "v 0 0 0\nv 4 0 0\nv 0 4 0\nf 1 2 3\n");
    auto run = [&](const std::string& args, std::string* err = nullptr) {
        const std::string cmd =
            tool + " " + args + " >" + (dir / "out.txt").string() + " 2>" + (dir / "err.txt").string();
        const int status = std::system(cmd.c_str());
        if (err != nullptr) {
            std::ifstream in(dir / "err.txt");
            std::stringstream ss;
            ss << in.rdbuf();
            *err = ss.str();
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string err;
    EXPECT_EQ(run((dir / "broken.obj").string() + " " + (dir / "o").string(), &err), 2);
    EXPECT_NE(err.find("broken.obj"), std::string::npos) << err;
    EXPECT_EQ(run((dir / "missing.obj").string() + " " + (dir / "o").string(), &err), 2);
    EXPECT_NE(err.find("missing.obj"), std::string::npos) << err;
    EXPECT_EQ(run((dir / "ok.obj").string()), 1);
    EXPECT_EQ(run((dir / "ok.obj").string() + " " + (dir / "o").string() + " --max-edge abc"), 1);
    EXPECT_EQ(run((dir / "ok.obj").string() + " " + (dir / "o").string() + " --bogus"), 1);
    EXPECT_EQ(run("--help"), 0);
    writeText(dir / "file", "");
    EXPECT_EQ(run((dir / "ok.obj").string() + " " + (dir / "file" / "sub").string()), 3);
    ASSERT_EQ(run((dir / "ok.obj").string() + " " + (dir / "o").string() + " --max-edge 1 --scale 2"), 0);
    IniFile ini;
    std::string why;
    ASSERT_TRUE(IniFile::load((dir / "o" / "scene.ini").string(), ini, why));
    EXPECT_EQ(ini.getInt("settings", "objects", 0), 1);
    SceneObject o;
    ASSERT_EQ(o.loadTriangleFile((dir / "o" / ini.getString("object_0", "file", "")).string()), 1);
    // Area 32 after scaling; a triangle with no edge over 1 covers at most sqrt(3) / 4.
    EXPECT_GE(o.triangleCount(), 74);
}
#endif
