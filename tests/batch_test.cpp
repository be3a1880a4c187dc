// lumetra-batch end to end: the real binary on small scenes written here.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/batch_options.h"

namespace fs = std::filesystem;

namespace {

const std::string kBatch = std::string(LUMETRA_BINARY_DIR) + "/lumetra-batch";

// A closed unit cube, normals inward: every wall emits E and reflects rho.
const char* kCube =
    "box\n"
    "0 0 0 1 0 0 1 1 0\n0 0 0 1 1 0 0 1 0\n"
    "0 0 1 0 1 1 1 1 1\n0 0 1 1 1 1 1 0 1\n"
    "0 0 0 0 0 1 1 0 1\n0 0 0 1 0 1 1 0 0\n"
    "0 1 0 1 1 0 1 1 1\n0 1 0 1 1 1 0 1 1\n"
    "0 0 0 0 1 0 0 1 1\n0 0 0 0 1 1 0 0 1\n"
    "1 0 0 1 0 1 1 1 1\n1 0 0 1 1 1 1 1 0\n";

const char* kCubeIni =
    "[settings]\nresolution=64\nnear=0.001\nfar=10\nstop_at=0.001\nbrightness=1\nobjects=1\n"
    "[camera]\npos_x=0.5\npos_y=0.05\npos_z=0.5\nlookat_x=0.5\nlookat_y=1\nlookat_z=0.5\nup_z=1\nfov=80\n"
    "[object_0]\ntriangles=12\nfile=box.tri\nreflectance_r=128\nreflectance_g=128\nreflectance_b=128\n"
    "emission_r=51\nemission_g=25\nemission_b=0\n";

struct Dir {
    fs::path path;
    explicit Dir(const std::string& name) : path(fs::temp_directory_path() / ("lumetra_batch_" + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Dir() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& text) const { std::ofstream(path / name) << text; }
    std::string read(const std::string& name) const {
        std::ifstream in(path / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

Result run(const Dir& dir, const std::string& args) {
    const std::string command = "cd '" + dir.path.string() + "' && '" + kBatch + "' " + args +
                                " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = dir.read("stdout.txt");
    r.err = dir.read("stderr.txt");
    return r;
}

struct Png {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

bool readPng(const fs::path& path, Png& png) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.string().c_str())) return false;
    image.format = PNG_FORMAT_RGB;
    png.width = static_cast<int>(image.width);
    png.height = static_cast<int>(image.height);
    png.rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr) != 0;
}

}  // namespace

TEST(BatchOptions, ParsesEveryOptionAndRefusesBadOnes) {
    BatchOptions o;
    const char* full[] = {"lumetra-batch", "a.ini", "--steps", "10", "--seconds", "2.5", "--out", "d",
                          "--png", "p.png", "--size", "300", "--aa"};
    EXPECT_EQ(parseBatchOptions(13, full, o), "");
    EXPECT_EQ(o.config, "a.ini");
    EXPECT_EQ(o.maxSteps, 10);
    EXPECT_EQ(o.maxSeconds, 2.5);
    EXPECT_EQ(o.outDir, "d");
    EXPECT_EQ(o.png, "p.png");
    EXPECT_EQ(o.size, 300);
    EXPECT_TRUE(o.antialias);

    const std::vector<std::vector<const char*>> bad = {
        {"b"}, {"b", "a.ini", "--steps"}, {"b", "a.ini", "--steps", "-1"}, {"b", "a.ini", "--steps", "1x"},
        {"b", "a.ini", "--seconds", "nan"}, {"b", "a.ini", "--size", "0"}, {"b", "a.ini", "--bogus"},
        {"b", "a.ini", "b.ini"}};
    for (const auto& args : bad) {
        EXPECT_NE(parseBatchOptions(static_cast<int>(args.size()), args.data(), o), "") << args.back();
    }
}

TEST(BatchTool, SolvesTheFurnaceWritesResultsAndAPicture) {
    Dir dir("furnace");
    dir.write("box.tri", kCube);
    dir.write("box.ini", kCubeIni);
    const Result r = run(dir, "box.ini --out results --png pic.png --size 48 --aa");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Reading: box.ini\nOpening: box.tri\nConvergence ", 0), 0u) << r.out;
    EXPECT_TRUE(r.err.empty()) << "no progress line when stderr is not a terminal: " << r.err;

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

    Png png;
    ASSERT_TRUE(readPng(dir.path / "pic.png", png));
    EXPECT_EQ(png.width, 48);
    EXPECT_EQ(png.height, 48);
    // Inside the box every pixel shows a wall of about (0.40, 0.20, 0).
    const unsigned char* centre = &png.rgb[(24 * 48 + 24) * 3];
    EXPECT_NEAR(centre[0], 0.4016 * 255, 3);
    EXPECT_NEAR(centre[1], 0.1969 * 255, 3);
    EXPECT_EQ(centre[2], 0);
}

TEST(BatchTool, StepLimitAndDeterminism) {
    Dir dir("steps");
    dir.write("box.tri", kCube);
    dir.write("box.ini", kCubeIni);
    ASSERT_EQ(run(dir, "box.ini --steps 5 --out a").code, 0);
    const Result second = run(dir, "box.ini --steps 5 --out b");
    ASSERT_EQ(second.code, 0);
    EXPECT_NE(second.out.find("Step 4\n"), std::string::npos);
    EXPECT_EQ(second.out.find("Step 6"), std::string::npos);
    EXPECT_EQ(dir.read("a/box.6d"), dir.read("b/box.6d"));
    ASSERT_EQ(run(dir, "box.ini --steps 0 --out c").code, 0);  // no step: radiosity = emission
    EXPECT_NE(dir.read("c/box.6d").find(" 0.2 0.0980392 0\r\n"), std::string::npos);
}

TEST(BatchTool, ExitCodesNameTheProblem) {
    Dir dir("codes");
    dir.write("box.tri", kCube);
    dir.write("box.ini", kCubeIni);
    dir.write("blocker", "a file where a folder should be");

    Result help = run(dir, "--help");
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--steps", "--seconds", "--out", "--png", "--size", "--aa"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(run(dir, "").code, 1);
    EXPECT_EQ(run(dir, "box.ini --frobnicate").code, 1);

    Result missing = run(dir, "nothere.ini");
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("nothere.ini"), std::string::npos) << missing.err;

    dir.write("dark.ini", "[settings]\nobjects=1\n[object_0]\nfile=box.tri\nemission_r=0\nemission_g=0\nemission_b=0\n");
    EXPECT_EQ(run(dir, "dark.ini").code, 2);

    // stop_at 0 never ends by itself: refused unless a limit is given.
    std::string neverStops = kCubeIni;
    neverStops.replace(neverStops.find("stop_at=0.001"), 13, "stop_at=0");
    dir.write("forever.ini", neverStops);
    Result forever = run(dir, "forever.ini");
    EXPECT_EQ(forever.code, 1);
    EXPECT_NE(forever.err.find("--steps"), std::string::npos) << forever.err;
    EXPECT_EQ(run(dir, "forever.ini --steps 3").code, 0);

    // A fifo would block the reader for ever; it is refused at once.
    ASSERT_EQ(mkfifo((dir.path / "pipe.ini").c_str(), 0600), 0);
    Result pipe = run(dir, "pipe.ini");
    EXPECT_EQ(pipe.code, 2);
    EXPECT_NE(pipe.err.find("not a regular file"), std::string::npos) << pipe.err;

    Result folder = run(dir, "box.ini --out blocker/sub");
    EXPECT_EQ(folder.code, 3);
    EXPECT_NE(folder.err.find("blocker/sub"), std::string::npos) << folder.err;

    Result picture = run(dir, "box.ini --steps 1 --png no/such/dir/p.png");
    EXPECT_EQ(picture.code, 3);
    EXPECT_NE(picture.err.find("no/such/dir/p.png"), std::string::npos) << picture.err;
    EXPECT_FALSE(fs::exists(dir.path / "no"));
}
