// lumetra-batch end to end: the real binary on small scenes written here.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

#include "batch_fixture.h"
#include "view/result_reader.h"

using fixture::CubeDir;
using fixture::kCubeIni;
using fixture::Result;
using fixture::runBatch;

TEST(BatchTool, SolvesTheFurnaceAndWritesItsResults) {
    CubeDir dir;
    const Result r = runBatch(dir, "box.ini --out results --png pic.png --size 48 --aa");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Reading: box.ini\nOpening: box.tri\nConvergence ", 0), 0u) << r.out;
    // No progress line when standard error is not a terminal; one line says how the run ended.
    EXPECT_EQ(r.err.rfind("Solved: stop_at 0.001 reached after ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    // B = E / (1 - rho) on every triangle, within the solver's stop_at.
    std::istringstream in(dir.read("results/box.6d"));
    ResultFile result;
    ASSERT_TRUE(readResult(in, result).ok());
    ASSERT_EQ(result.triangles.size(), 12u);
    const double rho = 128.0 / 255.0;
    for (const ResultTriangle& t : result.triangles) {
        EXPECT_NEAR(t.radiosity.x, (51.0 / 255.0) / (1.0 - rho), 0.005);
        EXPECT_NEAR(t.radiosity.y, (25.0 / 255.0) / (1.0 - rho), 0.005);
        EXPECT_EQ(t.radiosity.z, 0.0);
    }
    // The picture's pixels are checked in batch_outputs_test.cpp.
    EXPECT_TRUE(std::filesystem::exists(dir.path / "pic.png"));
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
