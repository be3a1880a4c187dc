// lumetra-batch end to end: the real binary on the furnace cube, whose
// exact answer B = E / (1 - rho) is known everywhere: its results, limits,
// pictures, exports, and its re-rendering from saved results.

#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <png.h>

#include <assimp/Importer.hpp>
#include <cmath>
#include <sstream>

#include "app/batch_options.h"
#include "batch_fixture.h"
#include "exr_read.h"
#include "import_fixture.h"
#include "view/result_reader.h"

using fixture::CubeDir;
using fixture::kCubeIni;
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

TEST(BatchTool, SolvesTheFurnaceAndLoadReRendersItsResultsWithoutSolving) {
    CubeDir dir;
    const Result run = runBatch(dir, "box.ini --out a --png a.png --aa --size 32");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Reading: box.ini\nOpening: box.tri\nConvergence ", 0), 0u) << run.out;
    // No progress line when standard error is not a terminal; one line says how the run ended.
    EXPECT_EQ(run.err.rfind("Solved: stop_at 0.001 reached after ", 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    // B = E / (1 - rho) on every triangle, within the solver's stop_at.
    std::istringstream in(dir.read("a/box.6d"));
    ResultFile result;
    ASSERT_TRUE(readResult(in, result).ok());
    ASSERT_EQ(result.triangles.size(), 12u);
    for (const ResultTriangle& t : result.triangles) {
        EXPECT_NEAR(t.radiosity.x, kRed, 0.005);
        EXPECT_NEAR(t.radiosity.y, kGreen, 0.005);
        EXPECT_EQ(t.radiosity.z, 0.0);
    }
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

TEST(BatchTool, StepLimitAndDeterminism) {
    CubeDir dir;
    ASSERT_EQ(runBatch(dir, "box.ini --steps 5 --out a").code, 0);
    const Result second = runBatch(dir, "box.ini --steps 5 --out b");
    ASSERT_EQ(second.code, 0);
    EXPECT_NE(second.out.find("Step 4\n"), std::string::npos);
    EXPECT_EQ(second.out.find("Step 6"), std::string::npos);
    EXPECT_EQ(second.err.rfind("Stopped: --steps 5 reached after 5 steps in ", 0), 0u) << second.err;
    EXPECT_EQ(dir.read("a/box.6d"), dir.read("b/box.6d"));
    ASSERT_EQ(runBatch(dir, "box.ini --steps 0 --out c").code, 0);  // no step: radiosity = emission
    EXPECT_NE(dir.read("c/box.6d").find(" 0.2 0.0980392 0\r\n"), std::string::npos);
    // Nothing shot yet: all of the light is left.
    const Result none = runBatch(dir, "box.ini --seconds 0 --out d");
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.err,
              "Stopped: --seconds 0 reached after 0 steps in 0.0 s (100.00 % of the light unshot)\n");
}

// A solution that runs away (reflectance -1 reads as 4294967295 / 255) ends
// as a failure, exit 2, without overwriting anything with numbers that are
// not numbers.
TEST(BatchTool, ADivergedSolutionIsAFailure) {
    CubeDir dir;
    std::string ini = kCubeIni;
    dir.write("wild.ini", ini.replace(ini.find("reflectance_r=128"), 17, "reflectance_r=-1"));
    const Result r = runBatch(dir, "wild.ini --out out");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("Stopped: the solution diverged (measure is not a number) after ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path / "out"));
}
