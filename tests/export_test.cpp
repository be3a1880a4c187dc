// Exports of the lit scene read back: the baked corner colours, PLY (binary
// and ASCII, with our own reader here), glTF and GLB (through the library's
// importer). OpenEXR pictures are read back in batch_test.cpp.

#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <assimp/Importer.hpp>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "import_fixture.h"
#include "scene/atomic_file.h"
#include "scene/scene.h"
#include "scene_fixture.h"
#include "view/baked_mesh.h"
#include "view/corner_colours.h"
#include "view/gltf_writer.h"
#include "view/output_files.h"
#include "view/ply_writer.h"

using fixture::Scratch;

namespace {

// A unit square of two triangles in z = 0 and, along its x = 1 edge, a wall
// standing up at a right angle: a crease the smoothing never crosses.
SceneObject makeFolded(const std::string& name) {
    SceneObject o;
    std::istringstream in(name +
                          "\n0 0 0 1 0 0 1 1 0\n0 0 0 1 1 0 0 1 0\n"
                          "1 0 0 1 0 1 1 1 1\n");
    o.loadTriangles(in);
    o.triangles[0]->radiosity = Vec3(2.5, 0.5, 0.0);  // above 1: exports keep it
    o.triangles[1]->radiosity = Vec3(0.5, 0.5, 0.25);
    o.triangles[2]->radiosity = Vec3(0.0, 0.0, 1.0);
    o.reflectance = Vec3(0.5, 0.25, 1.0);
    o.emission = Vec3(10.0, 0.0, 0.0);
    return o;
}

std::vector<BakedMesh> bakedScene() {
    std::vector<SceneObject> objects;
    objects.push_back(makeFolded("folded"));
    objects.push_back(makeFolded("second\tname"));
    objects.back().triangles[2]->radiosity = Vec3(0.125, 0.0, 0.0);
    return bakeScene(objects, 0.99939082701909576);  // smooth_angle 2
}

// Every corner of the baked scene as position and colour, in order.
std::vector<float> cornersOf(const std::vector<BakedMesh>& meshes) {
    std::vector<float> out;
    for (const BakedMesh& m : meshes) {
        for (const auto& t : m.triangles) {
            for (std::uint32_t i : t) {
                out.insert(out.end(), m.positions[i].begin(), m.positions[i].end());
                out.insert(out.end(), m.colours[i].begin(), m.colours[i].end());
            }
        }
    }
    return out;
}

// System calls whose n-th write (counting from 1) fails. (A failing
// rename, fsync or close leaves no file either: atomic_file_test.cpp.)
struct FailingOps : FileOps {
    int failWrite = 0;
    int writes = 0;
    int write(int fd, const char* data, std::size_t size) override {
        return ++writes == failWrite ? ENOSPC : FileOps::write(fd, data, size);
    }
};

}  // namespace

TEST(BakedMesh, CornerColoursUnscaledWithVerticesSharedOnlyWhereTheyAgree) {
    const SceneObject folded = makeFolded("folded");
    const BakedMesh mesh = bakeObject(folded, 0.99939082701909576);
    ASSERT_EQ(mesh.triangles.size(), 3u);
    // The two floor triangles average at their shared corners (0,0,0) and
    // (1,1,0); (1,0,0) belongs to the first alone on the floor; the wall's
    // corners keep its own colour, so the crease's corners are doubled.
    EXPECT_EQ(mesh.positions.size(), 4u + 3u);
    const Float3 shared = mesh.colours[mesh.triangles[0][0]];
    EXPECT_EQ(shared, (Float3{1.5f, 0.5f, 0.125f}));
    EXPECT_EQ(mesh.triangles[1][0], mesh.triangles[0][0]);
    EXPECT_EQ(mesh.colours[mesh.triangles[0][1]], (Float3{2.5f, 0.5f, 0.0f}));
    EXPECT_NE(mesh.triangles[2][0], mesh.triangles[0][1]);  // same place, other colour
    EXPECT_EQ(mesh.positions[mesh.triangles[2][0]], mesh.positions[mesh.triangles[0][1]]);
    EXPECT_EQ(mesh.colours[mesh.triangles[2][0]], (Float3{0.0f, 0.0f, 1.0f}));
}

TEST(PlyWriter, BinaryAndAsciiReadBackToTheSameCornersWithFloatColours) {
    const std::vector<BakedMesh> meshes = bakedScene();
    for (const PlyEncoding encoding : {PlyEncoding::BinaryLittleEndian, PlyEncoding::Ascii}) {
        const std::string bytes = formatPly(meshes, encoding);
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), 0, "ply");
        EXPECT_EQ(cornersOf(fixture::importedMeshes(scene)), cornersOf(meshes));  // bit for bit, 2.5 included
        // A tab in a name would break the header line.
        EXPECT_TRUE(fixture::contains(bytes, "\ncomment object 0 folded\ncomment object 1 second?name\n"));
    }
}

// GLB files are read back end to end in batch_test.cpp.
TEST(GltfWriter, ReadsBackThroughTheImporterWithNamesColoursExtrasAndEmptyObjects) {
    std::vector<OutputFile> files;
    EXPECT_NE(exportGltf({}, "scene.obj", files), "");
    std::vector<BakedMesh> meshes = bakedScene();
    meshes.insert(meshes.begin() + 1, BakedMesh{});
    meshes[1].name = "empty";
    Scratch dir;
    ASSERT_EQ(exportGltf(meshes, dir.at("scene.gltf"), files), "");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(files[0].path == dir.at("scene.bin") &&
                files[1].path == dir.at("scene.gltf"));  // buffer first
    ASSERT_EQ(writeFilesTogether(files), "");

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(dir.at("scene.gltf"), 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mRootNode->mNumChildren, 3u);
    EXPECT_EQ(scene->mRootNode->mChildren[1]->mNumMeshes, 0u);  // the object without triangles
    EXPECT_STREQ(scene->mRootNode->mChildren[2]->mName.C_Str(), "second\tname");
    const std::vector<BakedMesh> back = fixture::importedMeshes(scene);
    meshes.erase(meshes.begin() + 1);
    ASSERT_EQ(back.size(), 2u);
    for (unsigned n = 0; n < 2; ++n) {
        EXPECT_EQ(back[n].name, meshes[n].name);
        // The crease's corners stay apart (the library's own vertex
        // joining would merge them), smooth corners stay shared.
        EXPECT_EQ(back[n].positions.size(), meshes[n].positions.size());
    }
    EXPECT_EQ(cornersOf(back), cornersOf(meshes));

    // The extras, from the JSON itself.
    rapidjson::Document doc;
    doc.Parse(dir.read("scene.gltf").c_str());
    ASSERT_FALSE(doc.HasParseError());
    const auto& extras = doc["nodes"][1]["extras"];  // node 0 is the root
    EXPECT_EQ(extras["emission"][0].GetDouble(), 10.0);
    EXPECT_EQ(extras["reflectance"][1].GetDouble(), 0.25);
    EXPECT_EQ(doc["materials"][0]["extras"]["reflectance"][2].GetDouble(), 1.0);
    EXPECT_TRUE(doc["materials"][0]["extensions"].HasMember("KHR_materials_unlit"));
    EXPECT_FALSE(doc["materials"][0].HasMember("emissiveFactor"));
}

TEST(OutputFiles, AllOrNothingWhenAWriteFails) {
    Scratch dir;
    const std::vector<OutputFile> files = {{dir.at("s.bin"), "buffer"}, {dir.at("s.gltf"), "json"}};
    FailingOps second;
    second.failWrite = 2;  // the .bin is written, the .gltf is not
    EXPECT_EQ(writeFilesTogether(files, &second), dir.at("s.gltf") + ": No space left on device");
    EXPECT_EQ(dir.entries(), 0) << "neither file nor any temporary file";
    EXPECT_EQ(writeFilesTogether(files), "");
    EXPECT_EQ(dir.read("s.bin"), "buffer");
    EXPECT_EQ(dir.read("s.gltf"), "json");
}
