// Tests of the meshing tool's pieces: model import, conforming subdivision,
// names, materials, splitting, the files it writes, and the bundled scenes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <map>
#include <sstream>
#include <tuple>

#include "app/ini_reader.h"
#include "mesh/material_map.h"
#include "mesh/mesh_build.h"
#include "mesh/model_loader.h"
#include "mesh/object_names.h"
#include "mesh/scene_ini.h"
#include "mesh/subdivide.h"
#include "mesh/triangle_file_writer.h"
#include "scene_fixture.h"

using fixture::Scratch;
using Rgb = std::array<long, 3>;
using Tris = std::vector<MeshTriangle>;

namespace {

MeshTriangle tri(Vec3 a, Vec3 b, Vec3 c) {
    return MeshTriangle{{a, b, c}};
}

Vec3 areaVector(const MeshTriangle& t) {
    Vec3 n = (t.corners[1] - t.corners[0]).cross(t.corners[2] - t.corners[0]);
    n *= 0.5;
    return n;
}

double totalArea(const Tris& tris) {
    double a = 0.0;
    for (const MeshTriangle& t : tris) a += areaVector(t).length();
    return a;
}

double longestEdge(const Tris& tris) {
    double m = 0.0;
    for (const MeshTriangle& t : tris)
        for (int c = 0; c < 3; ++c) m = std::max(m, (t.corners[(c + 1) % 3] - t.corners[c]).length());
    return m;
}

double signedVolume(const Tris& tris) {
    double volume = 0.0;
    for (const MeshTriangle& t : tris) volume += t.corners[0].dot(t.corners[1].cross(t.corners[2])) / 6.0;
    return volume;
}

// Corners welded only where bit-identical: the renderer's welder hashes
// truncated coordinates, so two corners a rounding error apart can land in
// different buckets and stay apart. For a closed, consistently oriented
// surface every directed edge (a, b) occurs once and its reverse once;
// returns the number of edges breaking that (cracks, T-junctions, flips).
int badEdges(const Tris& tris) {
    std::map<std::array<double, 3>, int> index;
    std::map<std::pair<int, int>, int> directed;
    for (const MeshTriangle& t : tris) {
        int idx[3];
        for (int c = 0; c < 3; ++c) {
            const std::array<double, 3> key{t.corners[c].x, t.corners[c].y, t.corners[c].z};
            idx[c] = index.emplace(key, static_cast<int>(index.size())).first->second;
        }
        for (int c = 0; c < 3; ++c) ++directed[{idx[c], idx[(c + 1) % 3]}];
    }
    int bad = 0;
    for (const auto& [edge, count] : directed) {
        auto rev = directed.find({edge.second, edge.first});
        if (count != 1 || rev == directed.end() || rev->second != 1) ++bad;
    }
    return bad;
}

// A closed box of 12 triangles facing out, with the quad diagonals running
// both ways so neighbouring faces have different edge patterns.
Tris closedBox(Vec3 lo, Vec3 hi) {
    auto P = [&](int i, int j, int k) { return Vec3{i ? hi.x : lo.x, j ? hi.y : lo.y, k ? hi.z : lo.z}; };
    Tris t;
    auto quad = [&](Vec3 a, Vec3 b, Vec3 c, Vec3 d, bool otherDiagonal) {
        t.push_back(otherDiagonal ? tri(a, b, d) : tri(a, b, c));
        t.push_back(otherDiagonal ? tri(b, c, d) : tri(a, c, d));
    };
    quad(P(0, 0, 0), P(0, 1, 0), P(1, 1, 0), P(1, 0, 0), false);  // z = lo, facing -z
    quad(P(0, 0, 1), P(1, 0, 1), P(1, 1, 1), P(0, 1, 1), true);   // z = hi
    quad(P(0, 0, 0), P(1, 0, 0), P(1, 0, 1), P(0, 0, 1), true);   // y = lo
    quad(P(0, 1, 0), P(0, 1, 1), P(1, 1, 1), P(1, 1, 0), false);  // y = hi
    quad(P(0, 0, 0), P(0, 0, 1), P(0, 1, 1), P(0, 1, 0), false);  // x = lo
    quad(P(1, 0, 0), P(1, 1, 0), P(1, 1, 1), P(1, 0, 1), true);   // x = hi
    return t;
}

// The objects of a generated scene.ini through the renderer's reader, by
// name; each file holds the triangles its section announces.
std::map<std::string, Tris> loadScene(const std::string& dir) {
    IniFile ini;
    std::string why;
    EXPECT_TRUE(IniFile::load(dir + "scene.ini", ini, why)) << why;
    std::map<std::string, Tris> out;
    for (int i = 0; i < ini.getInt("settings", "objects", 0); ++i) {
        const std::string section = "object_" + std::to_string(i);
        SceneObject o;
        EXPECT_EQ(o.loadTriangleFile(dir + ini.getString(section, "file", "")), 1) << section;
        EXPECT_EQ(o.triangleCount(), ini.getInt(section, "triangles", -1)) << section;
        for (const auto& t : o.triangles)
            out[o.name].push_back(
                tri(t->corners[0]->position, t->corners[1]->position, t->corners[2]->position));
    }
    return out;
}

}  // namespace

TEST(Subdivide, ClosedSurfacesStayWatertightAndKeepFacing) {
    const Vec3 a{0, 0, 0}, b{10, 0.3, 0.1}, c{2.5, 7, 0.4}, d{3, 2.2, 9};
    const std::vector<Tris> shapes{{tri(a, c, b), tri(a, b, d), tri(b, c, d), tri(c, a, d)},
                                   closedBox({0, 0, 0}, {7, 3, 1.3}),
                                   closedBox({-1, -2, -3}, {4, 4, 4})};
    for (const Tris& shape : shapes) {
        ASSERT_EQ(badEdges(shape), 0);
        for (double L : {0.37, 1.3, 3.1}) {
            SCOPED_TRACE("max edge " + std::to_string(L));
            // Each input triangle in its own call, as separate objects would be:
            // shared edges must still be split at the same points.
            Tris all;
            for (const MeshTriangle& t : shape) {
                Tris part;
                std::string error;
                ASSERT_TRUE(subdivideTriangles({t}, L, 10000000, part, error)) << error;
                // The children's vector areas add up to the parent's, and
                // every child faces the parent's way.
                Vec3 sum;
                const Vec3 parent = areaVector(t);
                for (const MeshTriangle& k : part) {
                    EXPECT_GT(areaVector(k).dot(parent), 0.0);
                    sum = sum + areaVector(k);
                }
                EXPECT_NEAR((sum - parent).length(), 0.0, 1e-9 * parent.length());
                all.insert(all.end(), part.begin(), part.end());
            }
            EXPECT_LE(longestEdge(all), L * (1.0 + 1e-12));
            EXPECT_NEAR(totalArea(all), totalArea(shape), 1e-9 * totalArea(shape));
            EXPECT_EQ(badEdges(all), 0);
            EXPECT_GT(all.size(), shape.size());
        }
    }
}

TEST(Subdivide, CountsPassThroughAndRefusals) {
    // Equilateral triangle of side 3 with L = 1: every edge in 3 segments,
    // a regular grid of 3 * 3 similar triangles.
    Tris out;
    std::string error;
    ASSERT_TRUE(subdivideTriangles({tri({0, 0, 0}, {3, 0, 0}, {1.5, 1.5 * std::sqrt(3.0), 0})}, 1.0, 1000,
                                   out, error));
    EXPECT_EQ(out.size(), 9u);
    // Already small enough: unchanged, corners in the same order.
    const MeshTriangle small = tri({0, 0, 0}, {0, 0.5, 0}, {0.5, 0, 0});
    out.clear();
    ASSERT_TRUE(subdivideTriangles({small}, 1.0, 1000, out, error));
    ASSERT_EQ(out.size(), 1u);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ((out[0].corners[c] - small.corners[c]).length(), 0.0);
    }
    EXPECT_EQ(edgeSegmentCount(1.0, 1.0), 1u);
    EXPECT_EQ(edgeSegmentCount(1.0000001, 1.0), 2u);
    EXPECT_EQ(edgeSegmentCount(0.0, 1.0), 1u);
    // A long sliver: still bounded.
    const Tris sliver{tri({0, 0, 0}, {100, 0, 0}, {50, 0.2, 0}), tri({100, 0, 0}, {0, 0, 0}, {50, -0.2, 0})};
    out.clear();
    ASSERT_TRUE(subdivideTriangles(sliver, 0.5, 100000, out, error)) << error;
    EXPECT_LE(longestEdge(out), 0.5 * (1.0 + 1e-12));
    EXPECT_NEAR(totalArea(out), totalArea(sliver), 1e-9);

    // Bad edge lengths, bad corners and a blown budget: refused, no output.
    out.clear();
    const MeshTriangle t = tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    for (double L : {0.0, -1.0, std::nan("")}) {
        EXPECT_FALSE(subdivideTriangles({t}, L, 1000, out, error)) << L;
    }
    EXPECT_FALSE(subdivideTriangles({tri({0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0})}, 1.0, 1000, out, error));
    error.clear();
    EXPECT_FALSE(subdivideTriangles({t}, 1e-6, 100000, out, error));  // about 1e12 triangles
    EXPECT_NE(error.find("100000"), std::string::npos) << error;
    EXPECT_FALSE(subdivideTriangles({t, t, t}, 0.1, 250, out, error));  // just over after a few
    EXPECT_TRUE(out.empty());
}

TEST(ObjectNames, SafeShortAndUnique) {
    const std::pair<std::string, std::string> names[] = {{"Floor Panel", "Floor_Panel"},
                                                         {"../../etc/passwd", "etc_passwd"},
                                                         {"K\xc3\xbc"
                                                          "che:1",
                                                          "K_che_1"},
                                                         {"", "object"},
                                                         {"***", "object"},
                                                         {"tall-block_2", "tall-block_2"},
                                                         {"con", "con_"},
                                                         {"COM1", "COM1_"},
                                                         {"console", "console"}};
    for (const auto& [raw, safe] : names) {
        EXPECT_EQ(sanitizeName(raw), safe) << raw;
    }
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
    EXPECT_EQ(std::make_tuple(m.reflectance, m.emission, warnings.size()),
              std::make_tuple(Rgb{185, 181, 173}, Rgb{0, 0, 0}, std::size_t{0}));
    m = mapMaterial("lamp", {0.2, 1.5, 0.5}, {17, 12, 4}, warnings);  // 0.5 * 255 = 127.5 rounds up
    EXPECT_EQ(std::make_pair(m.reflectance, m.emission),
              std::make_pair(Rgb{51, 255, 128}, Rgb{4335, 3060, 1020}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("lamp"), std::string::npos);
    warnings.clear();
    m = mapMaterial("odd", {-0.5, std::nan(""), 0.1}, {-1, std::nan(""), 1e30}, warnings);
    // The renderer reads 32-bit integers.
    EXPECT_EQ(std::make_pair(m.reflectance, m.emission),
              std::make_pair(Rgb{0, 0, 26}, Rgb{0, 0, 2147483647}));
    EXPECT_EQ(warnings.size(), 2u);
    EXPECT_EQ(std::make_pair(defaultMaterial().reflectance, defaultMaterial().emission),
              std::make_pair(Rgb{191, 191, 191}, Rgb{0, 0, 0}));
}

TEST(ModelLoader, ReadsObjWithMaterials) {
    Scratch dir;
    dir.write("m.mtl", "newmtl grey\nKd 0.5 0.5 0.5\nnewmtl glow\nKd 0.2 0.4 1.5\nKe 2 1 0.5\n");
    dir.write("m.obj",
              "mtllib m.mtl\nv 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nvt 0 0\nvt 1 0\nvn 0 0 1\n"
              "o Floor.Panel\nusemtl grey\n"
              "f 1/1/1 2/2/1 3/1/1 4/2/1\n"  // a quad, v/vt/vn
              "o lamp\nusemtl glow\nv 0 0 1.1\nv 1 0 1.1\nv 0 1 1.1\n"
              "f -3//1 -2//1 -1//1\n"  // negative indices, v//vn
              "f -3/1 -1/2 -2/1\n");   // v/vt, the other way round
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel(dir.at("m.obj"), 2.0, model, error)) << error;
    ASSERT_EQ(model.objects.size(), 2u);
    const MeshObject& floor = model.objects[0];
    ASSERT_EQ(floor.triangles.size(), 2u);
    EXPECT_NEAR(totalArea(floor.triangles), 16.0, 1e-12);  // 2 x 2 scaled by 2
    for (const MeshTriangle& t : floor.triangles) {
        EXPECT_GT(areaVector(t).z, 0.0);
    }
    const MeshObject& lamp = model.objects[1];
    ASSERT_EQ(lamp.triangles.size(), 2u);
    EXPECT_EQ(std::make_tuple(floor.name, floor.material.reflectance, floor.material.emission, lamp.name,
                              lamp.material.reflectance, lamp.material.emission),
              std::make_tuple("Floor.Panel", Rgb{128, 128, 128}, Rgb{0, 0, 0}, "lamp", Rgb{51, 102, 255},
                              Rgb{510, 255, 128}));
    EXPECT_GT(areaVector(lamp.triangles[0]).z, 0.0);
    EXPECT_LT(areaVector(lamp.triangles[1]).z, 0.0);
    EXPECT_EQ(lamp.triangles[0].corners[1].x, 2.0);
    EXPECT_EQ(lamp.triangles[0].corners[1].z,
              2.2);  // the library reads floats; the decimal comes back exactly
    bool clampWarned = false;
    for (const std::string& w : model.warnings) clampWarned |= w.find("glow") != std::string::npos;
    EXPECT_TRUE(clampWarned);
}

TEST(ModelLoader, DefaultsAndFailures) {
    Scratch dir;
    // No material at all, and a material the file never defines: 0.75 grey.
    dir.write("plain.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng other\nusemtl nowhere\nf 3 2 1\n");
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel(dir.at("plain.obj"), 1.0, model, error)) << error;
    ASSERT_EQ(model.objects.size(), 2u);
    for (const MeshObject& o : model.objects) {
        EXPECT_EQ(std::make_pair(o.material.reflectance, o.material.emission),
                  std::make_pair(Rgb{191, 191, 191}, Rgb{0, 0, 0}))
            << o.name;
    }
    // Index out of range, garbage, and a missing file: refused with the library's reason.
    EXPECT_FALSE(
        loadModel(dir.write("broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n"), 1.0, model, error));
    EXPECT_NE(error.find("index"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(loadModel(dir.write("garbage.obj", "this is not a model\n"), 1.0, model, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(loadModel(dir.at("missing.obj"), 1.0, model, error));
    EXPECT_FALSE(error.empty());
}

TEST(MeshBuild, NamesSplitsAndLimits) {
    MeshObject big;
    big.name = "big box";
    big.material.emission = {1, 2, 3};
    big.triangles.assign(2 * kMaxTrianglesPerObject + 10, tri({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    MeshObject other = big;
    other.triangles.resize(5);
    std::vector<MeshObject> out;
    std::string error;
    ASSERT_TRUE(buildObjects({big, other}, 0.0, out, error)) << error;
    std::vector<std::string> names;
    for (const MeshObject& m : out) names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"big_box", "big_box_part2", "big_box_part3", "big_box_2"}));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(std::make_pair(out[0].triangles.size(), out[2].triangles.size()),
              std::make_pair(std::size_t{kMaxTrianglesPerObject}, std::size_t{10}));
    EXPECT_EQ(out[2].material.emission, big.material.emission);
    std::vector<MeshObject> many(kMaxObjects + 1, other);
    EXPECT_FALSE(buildObjects(many, 0.0, out, error));
    EXPECT_NE(error.find("256"), std::string::npos) << error;
    many.pop_back();
    EXPECT_TRUE(buildObjects(many, 0.0, out, error)) << error;
    EXPECT_FALSE(buildObjects({}, 0.0, out, error));
}

TEST(MeshFiles, NumbersAndSceneIniReadBackExactly) {
    for (double v : {0.0, 1.0, 278.0, 0.1, 1.0 / 3.0, -1e-300, 123456.789, 5e-324}) {
        EXPECT_EQ(std::strtod(formatNumber(v).c_str(), nullptr), v) << formatNumber(v);
    }
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(formatNumber(278.0), "278");

    // The configuration through the renderer's INI reader (triangle files
    // are read back from the tool's output and the bundled scenes below);
    // the bounding sphere fits the field of view and the depth range.
    IniSettings settings;
    IniCamera camera;
    frameBox({0, 0, 0}, {556, 548.8, 559.2}, 1, camera, settings);
    EXPECT_NEAR(camera.lookAt.x, 278.0, 1e-12);
    EXPECT_EQ(camera.up.y, 1.0);
    const double radius = Vec3{556, 548.8, 559.2}.length() / 2,
                 distance = (camera.pos - camera.lookAt).length();
    EXPECT_GT(camera.pos.z, 559.2);
    EXPECT_LE(std::asin(radius / distance) * 2 * 180 / M_PI, camera.fov);
    EXPECT_GT(settings.farPlane, distance + radius);
    EXPECT_TRUE(settings.nearPlane > 0.0 && settings.nearPlane < 2.0);
    IniObject obj{"panel.tri", 14, MeshMaterial{}};
    obj.material.emission = {4335, 3060, 1020};
    std::stringstream ini;
    writeSceneIni(ini, "Written by a test\nsecond line", settings, camera, {obj, obj});
    const IniFile parsed = IniFile::parse(ini);
    EXPECT_EQ(
        std::make_tuple(parsed.getInt("settings", "objects", -1), parsed.getInt("settings", "resolution", -1),
                        std::atof(parsed.getString("camera", "lookat_y", "").c_str()),
                        parsed.getString("object_1", "file", ""), parsed.getInt("object_1", "triangles", -1),
                        parsed.getInt("object_0", "emission_r", -1),
                        parsed.getInt("object_0", "reflectance_b", -1)),
        std::make_tuple(2, 256, camera.lookAt.y, "panel.tri", 14, 4335, 191));
}

namespace {

// The rule of the published Cornell data: walls, floor, ceiling and light
// face into the room, block faces point out of their block.
void expectCornellFacing(const std::string& name, const Tris& tris) {
    ASSERT_FALSE(tris.empty()) << name;
    const bool block = name.find("block") != std::string::npos;
    Vec3 centre{278.0, 274.4, 279.6};  // the room's middle
    if (block) {
        centre = Vec3();
        for (const MeshTriangle& t : tris) centre = centre + t.corners[0] + t.corners[1] + t.corners[2];
        centre *= 1.0 / (3.0 * static_cast<double>(tris.size()));
    }
    for (const MeshTriangle& t : tris) {
        Vec3 mid = t.corners[0] + t.corners[1] + t.corners[2];
        mid *= 1.0 / 3.0;
        EXPECT_EQ(areaVector(t).dot(centre - mid) > 0.0, !block) << name;
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
    EXPECT_EQ(
        std::make_tuple(byName["light"]->material.emission, byName["left_wall"]->material.reflectance,
                        byName["right_wall"]->material.reflectance, byName["floor"]->material.reflectance),
        std::make_tuple(Rgb{4335, 3060, 1020}, Rgb{161, 17, 13}, Rgb{36, 115, 23}, Rgb{185, 181, 173}));
    EXPECT_NEAR(totalArea(byName["light"]->triangles), 130.0 * 105.0, 1e-9);

    // The generated files the renderer reads, through its own reader.
    const auto scene = loadScene(LUMETRA_SOURCE_DIR "/scenes/cornell/");
    EXPECT_EQ(scene.size(), 8u);
    std::size_t total = 0;
    for (const auto& [name, tris] : scene) {
        expectCornellFacing(name, tris);
        total += tris.size();
    }
    EXPECT_GT(total, 1000u);
    EXPECT_LT(total, 10000u);
}

TEST(BundledScenes, ExampleRoomsAreClosedAndFaceIn) {
    // Every furnace wall the same material, so the closed form B = E / (1 - rho) holds.
    IniFile ini;
    std::string why;
    ASSERT_TRUE(IniFile::load(LUMETRA_SOURCE_DIR "/examples/furnace/scene.ini", ini, why)) << why;
    for (int i = 0; i < ini.getInt("settings", "objects", 0); ++i) {
        for (const char* c : {"_r", "_g", "_b"}) {
            EXPECT_EQ(ini.getInt("object_" + std::to_string(i), std::string("reflectance") + c, -1), 128);
            EXPECT_EQ(ini.getInt("object_" + std::to_string(i), std::string("emission") + c, -1), 64);
        }
    }
    Tris all;
    for (const auto& [name, tris] : loadScene(LUMETRA_SOURCE_DIR "/examples/furnace/"))
        all.insert(all.end(), tris.begin(), tris.end());
    EXPECT_EQ(badEdges(all), 0);
    EXPECT_NEAR(signedVolume(all), -1000.0, 1e-6);  // a 10 x 10 x 10 cube facing in

    // The sunroom's shell, window and ceiling lamp fill each other's holes:
    // together a closed room facing in. The furniture faces out.
    Tris shell;
    for (const auto& [name, tris] : loadScene(LUMETRA_SOURCE_DIR "/examples/sunroom/")) {
        if (name == "sofa" || name == "table" || name == "cabinet") {
            EXPECT_GT(signedVolume(tris), 0.0) << name;
        } else {
            shell.insert(shell.end(), tris.begin(), tris.end());
        }
    }
    EXPECT_EQ(badEdges(shell), 0);
    EXPECT_NEAR(signedVolume(shell), -6.0 * 3.0 * 5.0, 1e-6);
}

TEST(MeshTool, ExitCodesAndMessages) {
    const std::string tool = LUMETRA_BINARY_DIR "/lumetra-mesh";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "lumetra-mesh not built";
    Scratch dir;
    const std::string broken = dir.write("broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n");
    const std::string ok = dir.write("ok.obj", "v 0 0 0\nv 4 0 0\nv 0 4 0\nf 1 2 3\n"), out = dir.at("o");
    std::string err;
    auto run = [&](const std::string& args) {
        const int status =
            std::system((tool + " " + args + " >" + dir.at("out.txt") + " 2>" + dir.at("err.txt")).c_str());
        err = dir.read("err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run(broken + " " + out), 2);
    EXPECT_NE(err.find("broken.obj"), std::string::npos) << err;
    EXPECT_EQ(run(dir.at("missing.obj") + " " + out), 2);
    EXPECT_NE(err.find("missing.obj"), std::string::npos) << err;
    EXPECT_EQ(run(ok), 1);
    EXPECT_EQ(run(ok + " " + out + " --max-edge abc"), 1);
    EXPECT_EQ(run(ok + " " + out + " --bogus"), 1);
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run(ok + " " + dir.write("file", "") + "/sub"), 3);
    ASSERT_EQ(run(ok + " " + out + " --max-edge 1 --scale 2"), 0);
    // Area 32 after scaling; a triangle with no edge over 1 covers at most sqrt(3) / 4.
    const auto scene = loadScene(out + "/");
    ASSERT_EQ(scene.size(), 1u);
    EXPECT_GE(scene.begin()->second.size(), 74u);
}
