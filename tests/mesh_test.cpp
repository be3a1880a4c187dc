// Tests of the meshing tool: conforming subdivision, model import (cameras,
// mirrored nodes), colour rules, grouping of meshes, the files it writes,
// the bundled scenes, and the program itself on good and damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "app/ini_reader.h"
#include "batch_fixture.h"
#include "mesh/colour_rules.h"
#include "mesh/import_limits.h"
#include "mesh/isolated_run.h"
#include "mesh/material_map.h"
#include "mesh/mesh_build.h"
#include "mesh/model_loader.h"
#include "mesh/object_names.h"
#include "mesh/scene_ini.h"
#include "mesh/subdivide.h"
#include "mesh/triangle_shape.h"
#include "scene/triangle_file_writer.h"

using fixture::contains;
using fixture::Scratch;
using Rgb = std::array<long, 3>;
using Tris = std::vector<MeshTriangle>;

namespace {

Vec3 areaVector(const MeshTriangle& t) {
    Vec3 n = (t[1] - t[0]).cross(t[2] - t[0]);
    n *= 0.5;
    return n;
}

double longestEdge(const MeshTriangle& t) {
    return std::max({(t[1] - t[0]).length(), (t[2] - t[1]).length(), (t[0] - t[2]).length()});
}

// Directed edges between bit-identical corners. For a closed, consistently
// oriented surface every edge (a, b) occurs once and its reverse once;
// returns the number of edges breaking that (cracks, T-junctions, flips).
// With openBoundary, edges without a reverse are allowed and their total
// length is returned in boundaryLength instead: a T-junction adds length.
int badEdges(const Tris& tris, double* boundaryLength = nullptr) {
    std::map<std::array<double, 3>, int> index;
    std::map<std::pair<int, int>, int> directed;
    std::vector<Vec3> at;
    for (const MeshTriangle& t : tris) {
        int idx[3];
        for (std::size_t c = 0; c < 3; ++c) {
            const auto [it, added] =
                index.emplace(std::array<double, 3>{t[c].x, t[c].y, t[c].z}, static_cast<int>(index.size()));
            if (added) at.push_back(t[c]);
            idx[c] = it->second;
        }
        for (int c = 0; c < 3; ++c) ++directed[{idx[c], idx[(c + 1) % 3]}];
    }
    int bad = 0;
    for (const auto& [edge, count] : directed) {
        const auto rev = directed.find({edge.second, edge.first});
        if (boundaryLength != nullptr && rev == directed.end() && count == 1) {
            *boundaryLength +=
                (at[static_cast<std::size_t>(edge.second)] - at[static_cast<std::size_t>(edge.first)])
                    .length();
        } else if (count != 1 || rev == directed.end() || rev->second != 1) {
            ++bad;
        }
    }
    return bad;
}

// A closed box of 12 triangles facing out, each side two triangles.
Tris closedBox(const Vec3& lo, const Vec3& hi) {
    const Vec3 x(hi.x - lo.x, 0, 0), y(0, hi.y - lo.y, 0), z(0, 0, hi.z - lo.z);
    const Vec3 origins[6] = {lo, lo + z, lo, lo + y, lo, lo + x};
    const Vec3 du[6] = {y, x, x, z, z, y}, dv[6] = {x, y, z, x, y, z};
    Tris t;
    for (int w = 0; w < 6; ++w)
        for (const fixture::Corners& c : fixture::grid(origins[w], du[w], dv[w], 1, 1)) t.push_back(c);
    return t;
}

// The input face a piece came from: the one whose plane holds the piece's
// centre and whose corners surround it.
const MeshTriangle* sourceOf(const MeshTriangle& piece, const Tris& faces) {
    Vec3 c = piece[0] + piece[1] + piece[2];
    c *= 1.0 / 3.0;
    for (const MeshTriangle& f : faces) {
        const Vec3 n = areaVector(f);
        const double scale = n.length();
        if (std::fabs(n.dot(c - f[0])) > 1e-9 * scale * longestEdge(f)) continue;
        bool inside = true;
        for (std::size_t k = 0; k < 3 && inside; ++k)
            inside = n.dot((f[(k + 1) % 3] - f[k]).cross(c - f[k])) >= -1e-12 * scale * scale;
        if (inside) return &f;
    }
    return nullptr;
}

// Every piece keeps at least min(20 degrees, half its face's smallest angle).
void expectAngleBound(const Tris& pieces, const Tris& faces) {
    for (const MeshTriangle& p : pieces) {
        const MeshTriangle* f = sourceOf(p, faces);
        ASSERT_NE(f, nullptr);
        EXPECT_GE(smallestAngleDegrees(p), std::min(20.0, smallestAngleDegrees(*f) / 2.0) * (1.0 - 1e-9));
    }
}

std::vector<MeshObject> asObjects(const std::vector<Tris>& groups) {
    std::vector<MeshObject> objects;
    for (const Tris& g : groups) {
        objects.emplace_back();
        objects.back().triangles = g;
    }
    return objects;
}

// An object's triangles through the renderer's own reader.
LoadReport readBack(const MeshObject& o, SceneObject& read) {
    std::stringstream file;
    writeTriangleFile(file, o.name.empty() ? "o" : o.name, o.triangles);
    return read.loadTriangles(file);
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
                {t->corners[0]->position, t->corners[1]->position, t->corners[2]->position});
    }
    return out;
}

}  // namespace

TEST(Subdivide, ConformingAcrossObjectsFacingAreaAndAngles) {
    const Vec3 a{0, 0, 0}, b{10, 0.3, 0.1}, c{2.5, 7, 0.4}, d{3, 2.2, 9};
    const std::vector<Tris> shapes{{{a, c, b}, {a, b, d}, {b, c, d}, {c, a, d}},
                                   closedBox({0, 0, 0}, {7, 3, 1.3}),
                                   closedBox({-1, -2, -3}, {4, 4, 4})};
    for (const Tris& shape : shapes) {
        ASSERT_EQ(badEdges(shape), 0);
        for (double L : {0.37, 1.3, 3.1}) {
            SCOPED_TRACE("max edge " + std::to_string(L));
            // Each face its own object: shared edges must still be cut alike.
            std::vector<MeshObject> objects;
            for (const MeshTriangle& t : shape) objects.push_back(asObjects({{t}})[0]);
            SubdivisionReport report;
            std::string error;
            ASSERT_TRUE(subdivideObjects(objects, L, kWeldTolerance, 10000000, report, error)) << error;
            Tris all;
            for (std::size_t f = 0; f < shape.size(); ++f) {
                // The pieces' vector areas add up to the face's, each facing its way.
                Vec3 sum;
                const Vec3 parent = areaVector(shape[f]);
                for (const MeshTriangle& k : objects[f].triangles) {
                    EXPECT_GT(areaVector(k).dot(parent), 0.0);
                    sum = sum + areaVector(k);
                    EXPECT_LE(longestEdge(k), L);
                }
                EXPECT_NEAR((sum - parent).length(), 0.0, 1e-9 * parent.length());
                all.insert(all.end(), objects[f].triangles.begin(), objects[f].triangles.end());
            }
            EXPECT_EQ(badEdges(all), 0);
            expectAngleBound(all, shape);
            EXPECT_EQ(std::make_tuple(report.trianglesBefore, report.trianglesAfter, report.dropped,
                                      report.keptLong),
                      std::make_tuple(shape.size(), all.size(), std::size_t{0}, std::size_t{0}));
        }
    }
}

TEST(Subdivide, SliversGiveNoTriangleTheReaderDrops) {
    // A 10 x 3 wall whose outline has a stray vertex 3 mm inside its bottom
    // edge (a cap sliver along that edge), a second wall with one 0.4 mm
    // inside (narrower than the weld tolerance), and a loose 10 m x 0.4 mm
    // sliver: before, its pieces welded into nothing.
    auto wall = [](double z, double stray) {
        const Vec3 A{0, 0, z}, B{10, 0, z}, C{10, 3, z}, D{0, 3, z}, E{6, stray, z};
        return Tris{{A, B, E}, {A, E, D}, {E, C, D}, {E, B, C}};
    };
    const Tris thick = wall(0, 0.003), thin = wall(1, 0.0004);
    const Tris loose{MeshTriangle{{{0, 0, 2}, {10, 0, 2}, {5, 0.0004, 2}}}};
    std::vector<MeshObject> objects = asObjects({thick, thin, loose});
    SubdivisionReport report;
    std::string error;
    ASSERT_TRUE(subdivideObjects(objects, 0.5, kWeldTolerance, 10000000, report, error)) << error;
    EXPECT_EQ(report.dropped, 2u);  // the 0.4 mm ones
    std::size_t longer = 0;
    for (std::size_t o = 0; o < 2; ++o) {
        SceneObject read;
        const LoadReport loaded = readBack(objects[o], read);
        EXPECT_EQ(std::make_pair(loaded.degenerate, loaded.triangles),
                  std::make_pair(0, static_cast<int>(objects[o].triangles.size())));
        // Every corner stays its own vertex: nothing welded together.
        std::set<std::array<double, 3>> corners;
        for (const MeshTriangle& t : objects[o].triangles) {
            EXPECT_TRUE(keepsApartWhenWelded(t, kWeldTolerance));
            for (const Vec3& p : t) corners.insert({p.x, p.y, p.z});
            if (longestEdge(t) > 0.5) ++longer;
        }
        EXPECT_EQ(static_cast<std::size_t>(read.vertexCount()), corners.size());
        // No T-junction: the open boundary is just the wall's outline.
        double boundary = 0.0;
        EXPECT_EQ(badEdges(objects[o].triangles, &boundary), 0);
        EXPECT_NEAR(boundary, 26.0, 1e-6);
        expectAngleBound(objects[o].triangles, o == 0 ? thick : Tris{thin[1], thin[2], thin[3]});
    }
    EXPECT_TRUE(objects[2].triangles.empty());
    EXPECT_EQ(report.keptLong, longer);
    EXPECT_LT(report.keptLong, report.trianglesAfter / 10);
}

TEST(Subdivide, PassThroughAndRefusals) {
    // Already small enough: unchanged, corners in the same order.
    const MeshTriangle small{{{0, 0, 0}, {0, 0.5, 0}, {0.5, 0, 0}}};
    std::vector<MeshObject> objects = asObjects({{small}});
    SubdivisionReport report;
    std::string error;
    ASSERT_TRUE(subdivideObjects(objects, 1.0, kWeldTolerance, 1000, report, error));
    ASSERT_EQ(objects[0].triangles.size(), 1u);
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ((objects[0].triangles[0][c] - small[c]).length(), 0.0);

    // Bad edge lengths, bad corners and a blown budget: refused, objects unchanged.
    const MeshTriangle t{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
    for (double L : {0.0, -1.0, std::nan(""), double{INFINITY}}) {
        objects = asObjects({{t}});
        EXPECT_FALSE(subdivideObjects(objects, L, kWeldTolerance, 1000, report, error)) << L;
    }
    objects = asObjects({{MeshTriangle{{{0, 0, 0}, {INFINITY, 0, 0}, {0, 1, 0}}}}});
    EXPECT_FALSE(subdivideObjects(objects, 1.0, kWeldTolerance, 1000, report, error));
    objects = asObjects({{t}});
    error.clear();
    EXPECT_FALSE(subdivideObjects(objects, 1e-6, kWeldTolerance, 100000, report, error));  // ~1e12 pieces
    EXPECT_TRUE(contains(error, "100000")) << error;
    objects = asObjects({{t}, {t}});  // about 230 pieces at least, 512 in fact
    EXPECT_FALSE(subdivideObjects(objects, 0.1, kWeldTolerance, 300, report, error));
    EXPECT_EQ(objects[0].triangles.size() + objects[1].triangles.size(), 2u);
}

TEST(ObjectNames, SafeShortAndUnique) {
    const std::pair<std::string, std::string> names[] = {{"Floor Panel", "Floor_Panel"},
                                                         {"../../etc/passwd", "etc_passwd"},
                                                         {"K\xc3\xbc"
                                                          "che:1",
                                                          "K_che_1"},
                                                         {"***", "object"},
                                                         {"con", "con_"},
                                                         {"console", "console"}};
    for (const auto& [raw, safe] : names) EXPECT_EQ(sanitizeName(raw), safe) << raw;
    EXPECT_EQ(sanitizeName(std::string(300, 'a')).size(), kMaxNameLength);
    std::set<std::string> used;
    EXPECT_EQ(makeUniqueName("box", used), "box");
    EXPECT_EQ(makeUniqueName("box", used), "box_2");
    EXPECT_EQ(makeUniqueName("Box", used), "Box_3");  // distinct on case-insensitive file systems
    EXPECT_EQ(makeUniqueName("box_2", used), "box_2_2");
}

TEST(MaterialMap, ClampsReflectanceKeepsEmission) {
    std::vector<std::string> warnings;
    MeshMaterial m =
        mapMaterial("lamp", {0.2, 1.5, 0.5}, {17, 12, 4}, warnings);  // 0.5 * 255 = 127.5 rounds up
    EXPECT_EQ(std::make_pair(m.reflectance, m.emission),
              std::make_pair(Rgb{51, 255, 128}, Rgb{4335, 3060, 1020}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(contains(warnings[0], "lamp"));
    warnings.clear();
    m = mapMaterial("odd", {-0.5, std::nan(""), 0.1}, {-1, std::nan(""), 1e30}, warnings);
    // The renderer reads 32-bit integers.
    EXPECT_EQ(std::make_pair(m.reflectance, m.emission),
              std::make_pair(Rgb{0, 0, 26}, Rgb{0, 0, 2147483647}));
    EXPECT_EQ(warnings.size(), 2u);
}

TEST(ColourRules, ParseAndMatch) {
    ColourRule rule;
    std::string error;
    ASSERT_TRUE(parseColourRule("Glass*=1000,0,255", kMaxEmissionValue, rule, error)) << error;
    EXPECT_EQ(std::make_pair(rule.pattern, rule.rgb),
              std::make_pair(std::string("Glass*"), Rgb{1000, 0, 255}));
    ASSERT_TRUE(parseColourRule("a=b=1,2,3", 255, rule, error));  // the last '=' splits
    EXPECT_EQ(rule.pattern, "a=b");
    for (const char* bad :
         {"glass", "=1,2,3", "g=1,2", "g=1,2,3,4", "g=-1,2,3", "g=1.5,2,3", "g=1,,3", "g=256,0,0"})
        EXPECT_FALSE(parseColourRule(bad, 255, rule, error)) << bad;
    EXPECT_TRUE(matchesMaterial("glass*", "Glass-Clear_3"));
    EXPECT_TRUE(matchesMaterial("*clear_[0-9]", "Glass-Clear_3"));
    EXPECT_FALSE(matchesMaterial("glass", "Glass-Clear_3"));  // the whole name
    EXPECT_FALSE(matchesMaterial("clear*", "Glass-Clear_3"));
}

TEST(ModelLoader, ReadsMaterialsScaledFacingAndExactWithGreyDefaults) {
    Scratch dir;
    dir.write("m.mtl", "newmtl glow\nKd 0.2 0.4 1.5\nKe 2 1 0.5\n");
    // A material that emits, and one the file never defines (0.75 grey).
    dir.write("m.obj",
              "mtllib m.mtl\nv 0 0 1.1\nv 1 0 1.1\nv 0 1 1.1\n"
              "o lamp\nusemtl glow\nf 1 2 3\nf 1 3 2\no other\nusemtl nowhere\nf 3 2 1\n");
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel(dir.at("m.obj"), 2.0, model, error)) << error;
    ASSERT_EQ(model.objects.size(), 2u);
    const MeshObject& lamp = model.objects[0];
    ASSERT_EQ(lamp.triangles.size(), 2u);
    EXPECT_EQ(std::make_tuple(lamp.name, lamp.material.reflectance, lamp.material.emission,
                              model.materials.at(lamp.materialIndex).name),
              std::make_tuple("lamp", Rgb{51, 102, 255}, Rgb{510, 255, 128}, "glow"));
    EXPECT_EQ(std::make_pair(model.objects[1].material.reflectance, model.objects[1].material.emission),
              std::make_pair(Rgb{191, 191, 191}, Rgb{0, 0, 0}));
    EXPECT_NEAR(areaVector(lamp.triangles[0]).length(), 2.0, 1e-12);  // 0.5, scaled by 2 each way
    EXPECT_GT(areaVector(lamp.triangles[0]).z, 0.0);
    EXPECT_LT(areaVector(lamp.triangles[1]).z, 0.0);
    EXPECT_EQ(lamp.triangles[0][1].z, 2.2);  // the library reads floats; the decimal comes back exactly
    EXPECT_FALSE(model.camera.has_value());
    // Damaged models end the tool with one line (MeshTool.DamagedFilesEndWithOneLine); a missing one too.
    EXPECT_FALSE(loadModel(dir.at("missing.obj"), 1.0, model, error));
    EXPECT_TRUE(!error.empty() && !contains(error, "\n")) << error;
}

TEST(ModelLoader, CamerasAndMirroredNodes) {
    Scratch dir;
    // glTF: one triangle facing +z drawn twice, once through a node that
    // mirrors x; and a camera 90 degrees turned about y, so it looks along +x.
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    dir.write("m.bin", std::string(reinterpret_cast<const char*>(corners), sizeof corners));
    dir.write("m.gltf", R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1,2]}],
      "nodes":[{"name":"plain","mesh":0},{"name":"mirror","mesh":0,"scale":[-1,1,1]},
               {"name":"Eye","camera":0,"translation":[1,2,10],"rotation":[0,-0.70710678,0,0.70710678]}],
      "cameras":[{"type":"perspective","perspective":{"yfov":0.8,"aspectRatio":1.5,"znear":0.1}}],
      "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],
      "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],
      "bufferViews":[{"buffer":0,"byteLength":36}],"buffers":[{"byteLength":36,"uri":"m.bin"}]})");
    LoadedModel model;
    std::string error;
    ASSERT_TRUE(loadModel(dir.at("m.gltf"), 2.0, model, error)) << error;
    ASSERT_EQ(model.objects.size(), 2u);
    for (const MeshObject& o : model.objects) EXPECT_GT(areaVector(o.triangles.at(0)).z, 0.0) << o.name;
    EXPECT_EQ(model.objects[1].triangles[0][1].x, -2.0);
    ASSERT_TRUE(model.camera.has_value());
    const ModelCamera& eye = *model.camera;
    EXPECT_EQ(eye.name, "Eye");
    EXPECT_NEAR((eye.position - Vec3{2, 4, 20}).length(), 0.0, 1e-5);  // the node's place once, scaled
    EXPECT_NEAR((eye.direction - Vec3{1, 0, 0}).length(), 0.0, 1e-6);
    EXPECT_NEAR((eye.up - Vec3{0, 1, 0}).length(), 0.0, 1e-6);
    EXPECT_NEAR(eye.fov, 0.8 * 180 / M_PI, 1e-4);
}

TEST(MeshBuild, SplitsNamesAndMergesByMaterialPastTheLimit) {
    const std::vector<ModelMaterial> materials{{"Glass 1", {}}, {"Wall", {}}};
    MeshObject big;
    big.name = "big box";
    big.material.emission = {1, 2, 3};
    big.triangles.assign(2 * kMaxTrianglesPerObject + 10, MeshTriangle{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}});
    MeshObject other = big;
    other.triangles.resize(5);
    other.materialIndex = 1;
    std::vector<MeshObject> out;
    BuildReport report;
    std::string error;
    ASSERT_TRUE(buildObjects({big, other}, materials, 0.0, out, report, error)) << error;
    std::vector<std::string> names;
    for (const MeshObject& m : out) names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{"big_box", "big_box_part2", "big_box_part3", "big_box_2"}));
    EXPECT_EQ(
        std::make_tuple(out[0].triangles.size(), out[2].triangles.size(), out[2].material.emission,
                        report.mergedByMaterial),
        std::make_tuple(std::size_t{kMaxTrianglesPerObject}, std::size_t{10}, big.material.emission, false));

    // Up to 256 meshes: one object each (the Cornell box shares one white
    // among five surfaces that must stay apart). Beyond: one per material.
    std::vector<MeshObject> many(kMaxObjects, other);
    ASSERT_TRUE(buildObjects(many, materials, 0.0, out, report, error)) << error;
    EXPECT_EQ(out.size(), std::size_t{kMaxObjects});
    many.push_back(other);
    many.back().materialIndex = 0;
    ASSERT_TRUE(buildObjects(many, materials, 0.0, out, report, error)) << error;
    EXPECT_TRUE(report.mergedByMaterial);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(std::make_tuple(out[0].name, out[0].triangles.size(), out[1].name, out[1].triangles.size()),
              std::make_tuple("Wall", 5u * kMaxObjects, "Glass_1", 5u));

    // More materials than objects: refused, saying so and what to do.
    std::vector<ModelMaterial> lots(300, ModelMaterial{"m", {}});
    for (std::size_t i = 0; i < many.size(); ++i) many[i].materialIndex = i;
    EXPECT_FALSE(buildObjects(many, lots, 0.0, out, report, error));
    EXPECT_TRUE(contains(error, "257 materials") && contains(error, "same material")) << error;
    EXPECT_FALSE(buildObjects({}, materials, 0.0, out, report, error));
}

TEST(MeshFiles, NumbersReadBackExactlyAndTheCameraFramesTheModel) {
    for (double v : {0.0, 1.0, 278.0, 0.1, 1.0 / 3.0, -1e-300, 123456.789, 5e-324})
        EXPECT_EQ(std::strtod(formatNumber(v).c_str(), nullptr), v) << formatNumber(v);
    EXPECT_EQ(formatNumber(-0.0), "0");
    EXPECT_EQ(formatNumber(278.0), "278");

    // The framing camera's bounding sphere fits the field of view and the
    // depth range.
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
    // A camera looking straight down the up axis gets another up.
    aimCamera({0, 10, 0}, {0, 0, 0}, {0, 1, 0}, {-1, -1, -1}, {1, 1, 1}, camera, settings);
    EXPECT_NEAR(camera.up.dot(Vec3{0, 1, 0}), 0.0, 1e-12);
    EXPECT_NEAR(camera.up.length(), 1.0, 1e-12);
    EXPECT_GT(settings.farPlane, 10.0 + std::sqrt(3.0));
}

namespace {

// Runs lumetra-mesh with args in dir.
fixture::Result mesh(const Scratch& dir, const std::string& args) {
    return fixture::runProgram(dir, "lumetra-mesh", args, "timeout 120");
}

int lineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

TEST(MeshTool, OptionsReachTheSceneAndUsageErrorsExitOne) {
    Scratch dir;
    fixture::Result tool;
    // A wall of one material, a window of another, no light. (Merging many
    // meshes by material is in MeshBuild above.)
    dir.write("m.mtl", "newmtl Wall_Paint\nKd 0.8 0.8 0.8\nnewmtl Glass-Clear_2\nKd 0.5 0.5 0.5\n");
    const std::string model = dir.write("house.obj",
                                        "mtllib m.mtl\nv 0 0 0\nv 4 0 0\nv 0 4 0\no wall\nusemtl Wall_Paint\n"
                                        "f 1 2 3\nv 0 0 3\nv 10 0 3\nv 0 10 3\no window\n"
                                        "usemtl Glass-Clear_2\nf -3 -2 -1\n"),
                      out = dir.at("out");
    ASSERT_EQ((tool = mesh(dir, model + " " + out)).code, 0) << tool.err;
    EXPECT_TRUE(contains(tool.err, "no material emits light") && contains(tool.err, "--emit")) << tool.err;

    // The last, a pattern that matches nothing, lists the materials.
    for (const char* bad : {"", " --max-edge abc", " --up w", " --emit lamp", " --camera 1,2,3:1,2,3",
                            " --emit 'lamp*=1,1,1'"}) {
        EXPECT_EQ((tool = mesh(dir, model + (*bad == '\0' ? "" : " " + out + bad))).code, 1) << bad;
        EXPECT_TRUE(contains(tool.err, "lumetra-mesh: ")) << tool.err;
    }
    EXPECT_TRUE(contains(tool.err, "'lamp*'") && contains(tool.err, "'Wall_Paint', 'Glass-Clear_2'"))
        << tool.err;
    EXPECT_EQ((tool = mesh(dir, model + " " + dir.write("file", "") + "/sub")).code, 3);

    ASSERT_EQ((tool = mesh(dir, model + " " + out +
                                    " --max-edge 1 --scale 2 --emit 'glass*=2000,1500,1000' "
                                    "--reflect 'WALL_*=10,20,30' --camera 1,2,1.5:9,2,1.5"))
                  .code,
              0)
        << tool.err;
    EXPECT_FALSE(contains(tool.err, "no material emits light")) << tool.err;
    // The wall's area is 32 after scaling; a piece with no edge over 1
    // covers at most sqrt(3) / 4.
    EXPECT_GE(loadScene(out + "/").at("wall").size(), 74u);
    EXPECT_TRUE(contains(tool.out, "subdivided 2 triangles into ") &&
                contains(tool.out, "smallest angle 45.00"))
        << tool.out;
    IniFile ini;
    std::string why;
    ASSERT_TRUE(IniFile::load(out + "/scene.ini", ini, why)) << why;
    // The settings a generated scene runs with, under the renderer's key names.
    EXPECT_TRUE(
        contains(dir.read("out/scene.ini"),
                 "stop_at=0.01\novershoot=1\nambient=2\ndisplay=srgb\nshooters=4\npatch_size=2\nobjects="));
    const int glass = ini.getString("object_0", "file", "") == "window.tri" ? 0 : 1;
    const std::string g = "object_" + std::to_string(glass), w = "object_" + std::to_string(1 - glass);
    EXPECT_EQ(std::make_tuple(ini.getInt(g, "emission_r", -1), ini.getInt(g, "emission_b", -1),
                              ini.getInt(g, "reflectance_r", -1), ini.getInt(w, "reflectance_g", -1),
                              ini.getInt(w, "emission_g", -1)),
              std::make_tuple(2000, 1000, 128, 20, 0));
    EXPECT_EQ(std::make_tuple(ini.getString("camera", "pos_x", ""), ini.getString("camera", "pos_y", ""),
                              ini.getString("camera", "lookat_x", ""), ini.getString("camera", "up_y", "")),
              std::make_tuple("1", "2", "9", "1"));
}

TEST(MeshTool, DamagedFilesEndWithOneLine) {
    Scratch dir;
    fixture::Result tool;
    std::vector<std::pair<std::string, std::string>> files{
        {"truncated.ply",
         "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
         "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
         "end_header\n0 0 0\n1 0\n"},
        {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99\n"},
        {"nan.obj", "v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"},
    };
    // Absurd element counts fail at once only under the address-space limit,
    // which AddressSanitizer's shadow memory rules out (the tool sets it as
    // this does).
    if (ImportLimits(60).limitsAddressSpace()) {
        files.insert(
            files.end(),
            {{"huge.ply",
              "ply\nformat ascii 1.0\nelement vertex 1000000000\nproperty float x\nproperty float y\n"
              "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
              "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
             {"absurd.off", "OFF\n2000000000 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
             {"absurd2.off", "OFF\n300000000 300000000 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"}});
    }
    for (const auto& [name, bytes] : files) {
        const int code =
            (tool = mesh(dir, dir.write(name, bytes) + " " + dir.at("out") + " --max-edge 0.5")).code;
        EXPECT_TRUE(code == 0 || code == 2) << name << " exit " << code << ": " << tool.err;
        if (code == 2) {
            EXPECT_EQ(lineCount(tool.err), 1) << name << ": " << tool.err;
            EXPECT_TRUE(contains(tool.err, "error: " + dir.at(name) + ": ")) << tool.err;
        }
    }
}

TEST(IsolatedRun, CrashBecomesOneLineAndExitTwo) {
    ::testing::internal::CaptureStderr();
    const int code = runIsolated("tool", "m.obj", [] {
        std::abort();  // as the library's own checks do
        return 0;
    });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 2);
    EXPECT_EQ(err.rfind("tool: error: m.obj: the conversion crashed", 0), 0u) << err;
    EXPECT_EQ(lineCount(err), 1) << err;
}
