// lumetra-batch end to end: the real binary on small scenes written here.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "scene_fixture.h"

using fixture::Scratch;

namespace {

// A closed unit cube, normals inward: every wall emits E and reflects rho.
const char* kCube =
    "box\n0 0 0 1 0 0 1 1 0\n0 0 0 1 1 0 0 1 0\n0 0 1 0 1 1 1 1 1\n0 0 1 1 1 1 1 0 1\n"
    "0 0 0 0 0 1 1 0 1\n0 0 0 1 0 1 1 0 0\n0 1 0 1 1 0 1 1 1\n0 1 0 1 1 1 0 1 1\n"
    "0 0 0 0 1 0 0 1 1\n0 0 0 0 1 1 0 0 1\n1 0 0 1 0 1 1 1 1\n1 0 0 1 1 1 1 1 0\n";

const std::string kCubeIni =
    "[settings]\nresolution=64\nnear=0.001\nfar=10\nstop_at=0.001\nbrightness=1\nobjects=1\n"
    "[camera]\npos_x=0.5\npos_y=0.05\npos_z=0.5\nlookat_x=0.5\nlookat_y=1\nlookat_z=0.5\nup_z=1\nfov=80\n"
    "[object_0]\ntriangles=12\nfile=box.tri\nreflectance_r=128\nreflectance_g=128\nreflectance_b=128\n"
    "emission_r=51\nemission_g=25\nemission_b=0\n";

// The cube scene in a scratch folder.
struct CubeDir : Scratch {
    CubeDir() {
        write("box.tri", kCube);
        write("box.ini", kCubeIni);
    }
};

struct Result {
    int code = -1;
    std::string out, err;
};

Result run(const Scratch& dir, const std::string& args) {
    const std::string command = "cd '" + dir.path.string() + "' && '" LUMETRA_BINARY_DIR "/lumetra-batch' " +
                                args + " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, dir.read("stdout.txt"), dir.read("stderr.txt")};
}

}  // namespace

TEST(BatchTool, SolvesTheFurnaceWritesResultsAndAPicture) {
    CubeDir dir;
    const Result r = run(dir, "box.ini --out results --png pic.png --size 48 --aa");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Reading: box.ini\nOpening: box.tri\nConvergence ", 0), 0u) << r.out;
    // No progress line when standard error is not a terminal; one line says how the run ended.
    EXPECT_EQ(r.err.rfind("Solved: stop_at 0.001 reached after ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    // B = E / (1 - rho) on every triangle, within the solver's stop_at.
    std::istringstream result(dir.read("results/box.6d"));
    int vertices = 0, triangles = 0;
    result >> vertices;
    double skip;
    for (int i = 0; i < 3 * vertices; ++i) result >> skip;
    result >> triangles;
    ASSERT_EQ(triangles, 12);
    const double rho = 128.0 / 255.0;
    for (int t = 0; t < triangles; ++t) {
        int a, b, c;
        double red, green, blue;
        result >> a >> b >> c >> red >> green >> blue;
        EXPECT_NEAR(red, (51.0 / 255.0) / (1.0 - rho), 0.005) << "triangle " << t;
        EXPECT_NEAR(green, (25.0 / 255.0) / (1.0 - rho), 0.005) << "triangle " << t;
        EXPECT_EQ(blue, 0.0);
    }
    // Inside the box every pixel shows a wall of about (0.40, 0.20, 0).
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, dir.at("pic.png").c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    EXPECT_EQ(image.width, 48u);
    EXPECT_EQ(image.height, 48u);
    const unsigned char* centre = &rgb[(24 * 48 + 24) * 3];
    EXPECT_NEAR(centre[0], 0.4016 * 255, 3);
    EXPECT_NEAR(centre[1], 0.1969 * 255, 3);
    EXPECT_EQ(centre[2], 0);
}

TEST(BatchTool, StepLimitAndDeterminism) {
    CubeDir dir;
    ASSERT_EQ(run(dir, "box.ini --steps 5 --out a").code, 0);
    const Result second = run(dir, "box.ini --steps 5 --out b");
    ASSERT_EQ(second.code, 0);
    EXPECT_NE(second.out.find("Step 4\n"), std::string::npos);
    EXPECT_EQ(second.out.find("Step 6"), std::string::npos);
    EXPECT_EQ(second.err.rfind("Stopped: --steps 5 reached after 5 steps in ", 0), 0u) << second.err;
    EXPECT_EQ(dir.read("a/box.6d"), dir.read("b/box.6d"));
    ASSERT_EQ(run(dir, "box.ini --steps 0 --out c").code, 0);  // no step: radiosity = emission
    EXPECT_NE(dir.read("c/box.6d").find(" 0.2 0.0980392 0\r\n"), std::string::npos);
    // Nothing shot yet: all of the light is left.
    const Result none = run(dir, "box.ini --seconds 0 --out d");
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
    const Result r = run(dir, "wild.ini --out out");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("Stopped: the solution diverged (measure is not a number) after ", 0), 0u) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path / "out"));
}

// Bad configurations, scenes and result folders are run in e2e/worst_inputs.sh.
TEST(BatchTool, ExitCodesNameTheProblem) {
    CubeDir dir;
    // stop_at 0 never ends by itself: refused unless a limit is given.
    std::string neverStops = kCubeIni;
    dir.write("forever.ini", neverStops.replace(neverStops.find("stop_at=0.001"), 13, "stop_at=0"));
    // A fifo would block the reader for ever; it is refused at once.
    ASSERT_EQ(mkfifo(dir.at("pipe.ini").c_str(), 0600), 0);
    const Result help = run(dir, "--help");
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--steps", "--seconds", "--out", "--png", "--size", "--aa"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_EQ(run(dir, "forever.ini --steps 3").code, 0);
    const struct {
        std::string args;
        int code;
        std::string message;  // in standard error
    } cases[] = {{"", 1, ""},
                 {"box.ini --frobnicate", 1, ""},
                 {"forever.ini", 1, "--steps"},
                 {"pipe.ini", 2, "not a regular file"},
                 {"box.ini --steps 1 --png no/such/dir/p.png", 3, "no/such/dir/p.png"}};
    for (const auto& c : cases) {
        const Result r = run(dir, c.args);
        EXPECT_EQ(r.code, c.code) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path / "no"));
}

// --set acts as the same line written in the file; refused values exit 2
// with the file and line, unknown keys are usage errors.
TEST(BatchTool, SetOverridesAsIfWrittenAndRefusesBadValues) {
    CubeDir dir;
    std::string half = kCubeIni;
    dir.write("half.ini", half.replace(half.find("stop_at=0.001"), 13, "stop_at=0.05"));
    const Result written = run(dir, "half.ini --out a");
    ASSERT_EQ(written.code, 0) << written.err;
    const Result set = run(dir, "box.ini --set stop_at=0.05 --out b");
    ASSERT_EQ(set.code, 0) << set.err;
    EXPECT_EQ(dir.read("a/box.6d"), dir.read("b/box.6d"));
    EXPECT_EQ(written.out.substr(written.out.find('\n')), set.out.substr(set.out.find('\n')));
    ASSERT_EQ(run(dir, "box.ini --out c").code, 0);
    EXPECT_NE(dir.read("b/box.6d"), dir.read("c/box.6d"));  // the override did change the solve

    const int strictLine = static_cast<int>(std::count(kCubeIni.begin(), kCubeIni.end(), '\n')) + 2;
    dir.write("strict.ini", kCubeIni + "[settings]\nshooters = 0\n");
    const struct {
        std::string args;
        int code;
        std::string message;  // in standard error
    } cases[] = {
        {"box.ini --set resolution=63 --steps 1", 0, "Warning: --set: resolution = 63 is odd; using 62"},
        {"strict.ini --out d", 2,
         "strict.ini:" + std::to_string(strictLine) + ": shooters = 0: must be a whole"},
        {"box.ini --set overshoot=yes --out d", 2, "Error: --set: overshoot = yes: must be 0 or 1"},
        {"box.ini --set stop_at=0", 1, "never stops by itself"},
        {"box.ini --set nope=1", 1, "lumetra-batch: --set: unknown key 'nope'"},
    };
    for (const auto& c : cases) {
        const Result r = run(dir, c.args);
        EXPECT_EQ(r.code, c.code) << c.args;
        EXPECT_TRUE(fixture::contains(r.err, c.message)) << c.args << ": " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path / "d"));  // nothing solved, nothing written
}
