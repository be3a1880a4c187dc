// What lumetra-batch writes besides result files and PNG pictures, and its
// re-rendering from saved results: the real binary on the furnace cube,
// whose exact answer B = E / (1 - rho) is known everywhere.

#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <png.h>

#include <assimp/Importer.hpp>
#include <cmath>

#include "app/batch_options.h"
#include "batch_fixture.h"
#include "exr_read.h"
#include "import_fixture.h"

using fixture::CubeDir;
using fixture::Result;
using fixture::runBatch;

namespace {

// The cube's exact radiosity: E / (1 - rho) with E = (51, 25, 0) / 255 and
// rho = 128 / 255.
const double kRed = (51.0 / 255.0) / (1.0 - 128.0 / 255.0);
const double kGreen = (25.0 / 255.0) / (1.0 - 128.0 / 255.0);

std::vector<unsigned char> readPng(const std::string& path, unsigned& size) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    size = image.width;
    return rgb;
}

}  // namespace

TEST(BatchTool, HdrPictureAndExportsHoldTheUnclampedAnswer) {
    CubeDir dir;
    // Two stops up: the walls show 4 B, beyond what a PNG can hold.
    const Result r = runBatch(
        dir, "box.ini --set exposure=2 --exr pic.exr --size 16 --export box.ply --ascii --png pic.png");
    ASSERT_EQ(r.code, 0) << r.err;
    int w = 0, h = 0;
    std::vector<float> hdr;
    ASSERT_EQ(fixture::readExr(dir.at("pic.exr"), w, h, hdr), "");
    ASSERT_EQ(w, 16);
    ASSERT_EQ(h, 16);
    for (int p = 0; p < w * h; ++p) {
        EXPECT_NEAR(hdr[3 * p], 4 * kRed, 0.02) << p;
        EXPECT_NEAR(hdr[3 * p + 1], 4 * kGreen, 0.02) << p;
        EXPECT_EQ(hdr[3 * p + 2], 0.0f) << p;
    }
    // The corner colours exported are B itself: no brightness, exposure or
    // clamp. The picture shows them times 4 (brightness 1).
    Assimp::Importer importer;
    const std::vector<BakedMesh> ply = fixture::importedMeshes(importer.ReadFile(dir.at("box.ply"), 0));
    ASSERT_EQ(ply.size(), 1u);
    EXPECT_EQ(ply[0].triangles.size(), 12u);
    for (std::size_t v = 0; v < ply[0].colours.size(); ++v) {
        for (const float x : ply[0].positions[v]) EXPECT_TRUE(x == 0.0f || x == 1.0f);
        EXPECT_NEAR(ply[0].colours[v][0], kRed, 0.005);
        EXPECT_NEAR(ply[0].colours[v][1], kGreen, 0.005);
        EXPECT_NEAR(hdr[(8 * 16 + 8) * 3], 4 * ply[0].colours[v][0], 0.01);
    }
    EXPECT_TRUE(fixture::contains(dir.read("box.ply"), "\ncomment object 0 box\n"));
    // The PNG of the same run: the linear clamp of (1.6, 0.79, 0).
    unsigned size = 0;
    const std::vector<unsigned char> png = readPng(dir.at("pic.png"), size);
    ASSERT_EQ(size, 16u);
    EXPECT_EQ(png[(8 * 16 + 8) * 3], 255);
    EXPECT_NEAR(png[(8 * 16 + 8) * 3 + 1], 255 * kGreen / kRed, 1);
}

TEST(BatchTool, LoadReRendersSavedResultsWithoutSolving) {
    CubeDir dir;
    ASSERT_EQ(runBatch(dir, "box.ini --out a --png a.png --aa --size 32").code, 0);
    const Result again =
        runBatch(dir, "box.ini --load a --out b --png b.png --aa --size 32 --export box.glb");
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_FALSE(fixture::contains(again.out, "Convergence")) << "nothing solved";
    EXPECT_EQ(dir.read("b/box.6d"), dir.read("a/box.6d"));  // the same bytes back
    unsigned size = 0;
    const std::vector<unsigned char> solved = readPng(dir.at("a.png"), size);
    const std::vector<unsigned char> loaded = readPng(dir.at("b.png"), size);
    ASSERT_EQ(solved.size(), loaded.size());
    ASSERT_FALSE(solved.empty());
    for (std::size_t i = 0; i < solved.size(); ++i) EXPECT_LE(std::abs(solved[i] - loaded[i]), 1) << i;
    // The glTF export of the loaded results.
    Assimp::Importer importer;
    const std::vector<BakedMesh> glb = fixture::importedMeshes(importer.ReadFile(dir.at("box.glb"), 0));
    ASSERT_EQ(glb.size(), 1u);
    EXPECT_TRUE(glb[0].name == "box" && glb[0].triangles.size() == 12u);
    for (const Float3& c : glb[0].colours) EXPECT_NEAR(c[0], kRed, 0.005);

    // A new display from the same results: one stop down.
    ASSERT_EQ(runBatch(dir, "box.ini --load a --png dim.png --set exposure=-1 --size 8").code, 0);
    EXPECT_NEAR(readPng(dir.at("dim.png"), size)[(4 * 8 + 4) * 3], 255 * kRed / 2, 2);
}

// Which damage is refused with which line is in result_reader_test.cpp; here
// the exit code, the file named and that nothing is drawn.
TEST(BatchTool, LoadRefusesAMissingResult) {
    CubeDir dir;
    const Result r = runBatch(dir, "box.ini --load none --png p.png");
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(fixture::contains(r.err, "none/box.6d: cannot open: No such file or directory")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path / "p.png"));
}
