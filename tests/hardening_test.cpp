// The worst inputs of each kind, through the real readers and writers: the
// outcome (accepted, refused, read up to a point) and the message, which
// must name the file and, where there is one, the line.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/config.h"
#include "radiosity/limits.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene/scene.h"
#include "scene/settings.h"
#include "scene_fixture.h"
#include "view/result_writer.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder per test, removed afterwards.
struct Scratch {
    fs::path path;
    Scratch() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path = fs::temp_directory_path() / ("lumetra_harden_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Scratch() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A small file system of its own (tmpfs), for a disk that fills up or is
// read-only. Needs the right to mount (root in a test container); tests
// skip without it.
struct SmallDisk {
    fs::path path;
    bool mounted = false;
    std::string why;
    SmallDisk(const fs::path& where, const char* options, unsigned long flags = 0) : path(where) {
        fs::create_directories(path);
        if (::mount("tmpfs", path.c_str(), "tmpfs", flags, options) == 0) {
            mounted = true;
        } else {
            why = std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
    }
};

struct ConfigRun {
    ConfigResult result;
    std::string out;
    std::string err;
};

ConfigRun runConfig(const std::string& path) {
    ConfigRun r;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    r.result = readSettings(path);
    r.err = ::testing::internal::GetCapturedStderr();
    r.out = ::testing::internal::GetCapturedStdout();
    return r;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* kFloor = "floor\n-1 -1 0 1 -1 0 1 1 0\n-1 -1 0 1 1 0 -1 1 0\n";

// A triangle file of n small, separate triangles (no two corners weld).
std::string manyTriangles(int n) {
    std::string text = "many\n";
    text.reserve(static_cast<size_t>(n) * 40);
    for (int i = 0; i < n; ++i) {
        const std::string x = std::to_string(i % 1000) + ' ';
        const std::string y = std::to_string(i / 1000);
        text += x + y + " 0 " + x + y + ".5 0 " + std::to_string(i % 1000) + ".5 " + y + " 0\n";
    }
    return text;
}

}  // namespace

TEST(HardenConfig, EveryBadFileGivesItsOutcomeAndMessage) {
    Scratch dir;
    dir.write("a.tri", kFloor);
    dir.write("bad.tri", "bad\n0 0 0 1 0 0 0 1 0\n0 0 nan 1 0 0 0 1 0\n");
    dir.write("many.tri", manyTriangles(kMaxTrianglesPerObject + 1));
    fs::create_directory(dir.path / "folder.ini");
    const std::string megabytes(4 << 20, '9');
    const std::string binary("\x7f" "ELF\x02\x01\x01\0\0\0[\xff\xfe]\0=\0\n\x01\x02=\x03\n", 24);

    struct Case {
        std::string label;
        std::string text;     // the file's bytes (ignored for "missing" and "folder.ini")
        bool fileRead;        // the configuration itself could be read
        bool solvable;        // no error: the scene may be solved
        std::vector<std::string> messages;  // in standard error; "@" stands for the file's path
        std::function<void()> check;        // settings and objects afterwards
    };
    const std::vector<Case> cases = {
        {"missing", "", false, true, {"@: cannot read the configuration (No such file or directory)"},
         [] { EXPECT_EQ(objectCount, 0); }},
        {"folder.ini", "", false, true, {"@: cannot read the configuration (is a directory)"}, nullptr},
        {"empty", "", true, true, {"@: no settings found"}, [] { EXPECT_EQ(settings.N, 256); }},
        {"binary", binary, true, true, {"@: no settings found"}, [] {
             EXPECT_EQ(settings.N, 256);
             EXPECT_EQ(objectCount, 0);
         }},
        {"bom_crlf", "\xEF\xBB\xBF[settings]\r\nresolution = 64\r\nobjects = 1\r\n[object_0]\r\nfile = a.tri\r\n",
         true, true, {}, [] {
             EXPECT_EQ(settings.N, 64);
             ASSERT_EQ(objectCount, 1);
             EXPECT_EQ(objects[0].name, "floor");  // the CR is not part of the path
             EXPECT_EQ(objects[0].triangleCount(), 2);
         }},
        {"huge_lines",
         "[settings]\nresolution=64\nbrightness=" + megabytes + "\n" + megabytes + "\nstep=3\n" + megabytes +
             "=1\nobjects=" + megabytes + "\n",
         true, false, {"@:7: objects = 2147483647: at most 256 objects"}, [] {
             EXPECT_EQ(settings.N, 64);
             EXPECT_EQ(settings.step, 3);
             EXPECT_EQ(settings.brightness, 1e127);  // 127 nines, as read
         }},
        {"objects_257", "[settings]\nobjects=257\n", true, false, {"@:2: objects = 257: at most 256 objects"},
         [] { EXPECT_EQ(objectCount, 0); }},
        {"objects_256", "[settings]\nobjects=256\n", true, true, {"[object_255] cannot open triangle file"},
         [] { EXPECT_EQ(objectCount, 256); }},
        {"objects_negative", "[settings]\nobjects=-1000000000\n", true, true, {"@:2: objects = -1000000000"},
         [] { EXPECT_EQ(objectCount, 0); }},
        {"triangles_huge_and_negative",
         "[settings]\nobjects=2\n[object_0]\ntriangles=2000000000\nfile=a.tri\n"
         "[object_1]\ntriangles=-2000000000\nfile=a.tri\n",
         true, true, {}, [] {
             ASSERT_EQ(objectCount, 2);
             EXPECT_EQ(objects[0].triangleCount(), 2);  // only a hint: the file decides
             EXPECT_EQ(objects[1].triangleCount(), 2);
         }},
        {"resolution_not_a_number", "[settings]\nresolution=big\n", true, false,
         {"@:2: resolution = 0: a hemicube face needs at least 2 pixels"}, nullptr},
        {"resolution_overflowing", "[settings]\nresolution=99999999999\n", true, true,
         {"@:2: resolution = 2147483647 is odd"}, [] {
             // Left to the GL limits, which only the context knows.
             EXPECT_EQ(settings.N, 2147483646);
             EXPECT_NE(checkResolution(settings.N, 16384, 16384), "");
         }},
        {"near_not_a_number", "[settings]\nnear=close\n", true, false, {"@:2: near = close: must be a number above 0"},
         nullptr},
        {"far_below_near", "[settings]\nnear=2\nfar=-2\n", true, false, {"@:3: far = -2: must be a number above near"},
         nullptr},
        {"step_negative_and_fov_text", "[settings]\nstep=-5\n[camera]\nfov=wide\n", true, true, {}, [] {
             EXPECT_EQ(settings.step, -5);  // used as |step|
             EXPECT_EQ(settings.fov, 0.0);  // not validated: nothing breaks
         }},
        {"bad_triangle_file", "[settings]\nobjects=1\n[object_0]\nfile=bad.tri\n", true, true,
         {"bad.tri:3: 'nan' is not a number; the triangle list ends there (1 triangles read)"}, nullptr},
        {"too_many_triangles", "[settings]\nobjects=1\n[object_0]\nfile=many.tri\n", true, false,
         {"many.tri: 65536 triangles, more than the 65535 one object can hold"}, nullptr},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = (dir.path / c.label).string();
        if (c.label != "missing" && c.label != "folder.ini") path = dir.write(c.label + ".ini", c.text);
        const ConfigRun r = runConfig(path);
        EXPECT_EQ(r.out.rfind("Reading: " + path + "\n", 0), 0u) << r.out;
        EXPECT_EQ(r.result.fileRead, c.fileRead);
        EXPECT_EQ(r.result.ok(), c.solvable) << r.err;
        for (std::string m : c.messages) {
            if (m[0] == '@') m = path + m.substr(1);
            EXPECT_TRUE(contains(r.err, m)) << "want: " << m << "\ngot: " << r.err.substr(0, 2000);
        }
        if (c.messages.empty()) {
            EXPECT_EQ(r.err, "");
        }
        if (c.check) c.check();
    }
}

TEST(HardenConfig, UnreadableFileIsReportedAndDefaulted) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    Scratch dir;
    const std::string path = dir.write("locked.ini", "[settings]\nresolution=64\n");
    fs::permissions(path, fs::perms::none);
    const ConfigRun r = runConfig(path);
    EXPECT_FALSE(r.result.fileRead);
    EXPECT_TRUE(contains(r.err, path + ": cannot read the configuration (Permission denied)")) << r.err;
    EXPECT_EQ(settings.N, 256);
}

TEST(HardenTriangleFile, EveryBadFileGivesItsOutcomeAndMessage) {
    Scratch dir;
    fs::create_directory(dir.path / "folder.tri");
    struct Case {
        std::string label;
        std::string text;
        int loaded;            // loadTriangleFile's result
        int triangles;
        std::string problem;   // part of the report's problem; empty: none
        int line;              // the problem's line
        int degenerate;
    };
    const std::vector<Case> cases = {
        {"missing", "", 0, 0, "No such file or directory", 0, 0},
        {"folder.tri", "", 0, 0, "is a directory", 0, 0},
        {"empty", "", 1, 0, "", 0, 0},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01", 20), 1, 0, "is not a number", 2, 0},
        {"crlf", "wall\r\n0 0 0 1 0 0 0 1 0\r\n0 0 0\r\n", 1, 1, "3 numbers left over", 3, 0},
        {"nan", "x\n0 0 0 1 0 0 0 1 0\nnan 0 0 1 0 0 0 1 0\n", 1, 1, "'nan' is not a number", 3, 0},
        {"infinity", "x\n0 0 0 1 0 0 0 1 0\n0 0 0 1 -inf 0 0 1 0\n", 1, 1, "'-inf' is not a number", 3, 0},
        {"overflow", "x\n\n\n0 0 1e400 1 0 0 0 1 0\n", 1, 0, "'1e400' is too large for a coordinate", 4, 0},
        // Finite doubles that GL's single precision cannot hold, and whose
        // area and normal would overflow.
        {"beyond_float", "x\n0 0 0 1 0 0 0 1 0\n-1e300 0 0 1e300 0 0 0 1e300 0\n", 1, 1,
         "'-1e300' is too large for a coordinate", 3, 0},
        {"float_edge", "x\n0 0 0 3.4e38 0 0 0 3.4e38 0\n0 0 0 1 0 0 0 3.5e38 0\n", 1, 1, "'3.5e38' is too large", 3, 0},
        {"long_name", std::string(200, 'N') + "\n0 0 0 1 0 0 0 1 0\n", 1, 0, "'NNNNNNNN", 1, 0},
        {"degenerate", "x\n0 0 0 1 0 0 2 0 0\n0 0 0 0.0001 0 0 0 0.0001 0\n5 5 5 5 5 5 5 5 5\n", 1, 3, "", 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = (dir.path / c.label).string();
        if (c.label != "missing" && c.label != "folder.tri") path = dir.write(c.label + ".tri", c.text);
        SceneObject object;
        LoadReport report;
        EXPECT_EQ(object.loadTriangleFile(path, &report), c.loaded);
        EXPECT_EQ(object.triangleCount(), c.triangles);
        if (c.problem.empty()) {
            EXPECT_EQ(report.problem, "");
        } else {
            EXPECT_TRUE(contains(report.problem, c.problem)) << report.problem;
        }
        EXPECT_EQ(report.problemLine, c.line) << report.problem;
        EXPECT_EQ(report.degenerate, c.degenerate);
        for (const auto& t : object.triangles) {
            EXPECT_TRUE(std::isfinite(t->area));
            EXPECT_TRUE(std::isfinite(t->centroid.x) && std::isfinite(t->centroid.y));
        }
        if (c.label == "long_name") {
            EXPECT_EQ(object.name, std::string(127, 'N'));
        }
    }
}

namespace {

// Hands every triangle but the shooter a form factor of 0.05 on the top
// face of each step, like a scene where all triangles see each other.
struct EveryoneSees : FaceCapturer {
    void captureFace(const double* weights, int) override {
        if (weights != topTable.data()) return;
        for (SceneObject& o : objects) {
            for (auto& t : o.triangles) {
                if (t->centroid.x != shooterState.position.x || t->centroid.y != shooterState.position.y ||
                    t->centroid.z != shooterState.position.z)
                    t->formFactor += 0.05;
            }
        }
    }
};

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

TEST(HardenScene, HopelessScenesAreRefusedOrConvergeWithFiniteValues) {
    using fixture::Corners;
    const auto floorTris = fixture::grid(Vec3(-1, -1, 0), Vec3(2, 0, 0), Vec3(0, 2, 0), 2, 2);
    const auto ceiling = fixture::grid(Vec3(-1, -1, 2), Vec3(0, 2, 0), Vec3(2, 0, 0), 1, 1);
    const std::vector<Corners> flat = {{Vec3(0, 0, 1), Vec3(1, 0, 1), Vec3(2, 0, 1)},
                                       {Vec3(0, 0, 1), Vec3(0, 0, 1), Vec3(0, 0, 1)}};
    const Vec3 grey(0.5, 0.5, 0.5);
    const double huge = 4294967295.0 / 255.0;  // emission_r = -1, read as unsigned

    struct Case {
        std::string label;
        std::function<void()> build;
        bool solvable;
        std::string message;  // standard output of initSolver
        int stepsToConverge;  // at most; 0: not checked
    };
    const std::vector<Case> cases = {
        {"no_emitter", [&] {
             fixture::addObject(floorTris, grey);
             fixture::addObject(ceiling, grey);
         },
         false, "No triangle emits light: nothing to solve.\n", 0},
        {"only_degenerate_emitters", [&] {
             fixture::addObject(floorTris, grey);
             fixture::addObject(flat, grey, Vec3(1, 1, 1));
         },
         false, "No triangle emits light: nothing to solve.\n", 0},
        {"no_triangles_at_all", [] {}, false, "No triangle emits light: nothing to solve.\n", 0},
        {"all_reflectances_zero", [&] {
             fixture::addObject(floorTris, Vec3());
             fixture::addObject(ceiling, Vec3(), Vec3(1, 1, 1));
         },
         // After the lamp has shot once nothing is left: the walls absorb all.
         true, "", 2},
        {"emission_far_above_255", [&] {
             fixture::addObject(floorTris, Vec3(1, 1, 1));
             fixture::addObject(ceiling, grey, Vec3(huge, huge, huge));
         },
         true, "", 0},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fixture::SceneGuard guard;
        settings.N = 8;
        settings.H = 4;
        settings.stopAt = 0.0001;
        buildTopTable();
        buildSideTable();
        EveryoneSees capturer;
        setFaceCapturer(&capturer);
        c.build();

        ::testing::internal::CaptureStdout();
        const bool ready = initSolver();
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(ready, c.solvable);
        EXPECT_EQ(out, c.message);
        ::testing::internal::CaptureStdout();
        int steps = 0;
        bool converged = false;
        while (!converged && steps < 500) {
            converged = idleStep().converged;
            ++steps;
        }
        ::testing::internal::GetCapturedStdout();
        EXPECT_TRUE(converged) << "still running after " << steps << " steps";
        if (c.stepsToConverge > 0) {
            EXPECT_LE(steps, c.stepsToConverge);
        }
        if (!c.solvable) {
            EXPECT_EQ(steps, 1);  // nothing runs
        }
        EXPECT_TRUE(std::isfinite(convergenceMeasure));
        for (const SceneObject& o : objects) {
            for (const auto& t : o.triangles) {
                EXPECT_TRUE(finite(t->radiosity) && finite(t->unshot));
                EXPECT_GE(t->radiosity.x, 0.0);
            }
        }
        // Saving such a scene writes numbers, never "nan" or "inf".
        for (const SceneObject& o : objects) {
            const std::string text = formatResult(o);
            EXPECT_FALSE(contains(text, "nan") || contains(text, "inf")) << text;
        }
        setFaceCapturer(nullptr);
    }
}

TEST(HardenSave, FailedSavesKeepThePreviousFileAndSaySo) {
    Scratch dir;
    // An object whose file is about 40 kB: more than the small disk holds.
    const auto tris = fixture::grid(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), 30, 20);
    fixture::SceneGuard guard;
    fixture::addObject(tris, Vec3(), Vec3(), "room");
    const SceneObject& room = objects[0];

    struct Case {
        std::string label;
        std::string dir;         // where to save; names may add their own directory part
        std::string name;
        std::string reason;      // strerror text in the "Cannot save" line
        std::string oldFile;     // a previous result there, which must survive ("" for none)
        bool needsMount;
    };
    const fs::path full = dir.path / "full";
    const fs::path readOnly = dir.path / "readonly";
    const std::vector<Case> cases = {
        {"missing_directory_part", dir.path.string(), "nowhere/room", "No such file or directory", "", false},
        {"disk_fills_up", full.string(), "room", "No space left on device", "3\r\nold\r\n", true},
        {"read_only_disk", readOnly.string(), "room", "Read-only file system", "", true},
    };

    SmallDisk fullDisk(full, "size=16k");
    if (fullDisk.mounted) {
        std::ofstream(full / "room.6d", std::ios::binary) << "3\r\nold\r\n";
    }
    SmallDisk roDisk(readOnly, "size=16k", MS_RDONLY);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.needsMount && !(fullDisk.mounted && roDisk.mounted)) {
            std::printf("[ SKIPPED  ] %s: cannot mount a small disk (%s)\n", c.label.c_str(),
                        (fullDisk.why + roDisk.why).c_str());
            continue;
        }
        SceneObject object;
        object.name = c.name;
        for (const auto& v : room.vertices) object.vertices.push_back(std::make_unique<Vertex>(v->position));
        for (const auto& t : room.triangles) {
            object.triangles.push_back(std::make_unique<Triangle>(*t));
        }
        ::testing::internal::CaptureStdout();
        const SaveStatus s = saveResult(object, c.dir);
        const std::string out = ::testing::internal::GetCapturedStdout();
        const fs::path target = fs::path(c.dir) / (c.name + ".6d");
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(out, "Cannot save " + target.string() + ": " + c.reason + "\n");
        if (!c.oldFile.empty()) {
            EXPECT_EQ(slurp(target), c.oldFile);
        }
        // No temporary file is left behind.
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(target.parent_path(), ec)) {
            EXPECT_EQ(e.path(), target) << "left behind: " << e.path();
        }
    }

    // A name line with a NUL byte must not cut the path short and replace
    // another file (here the triangle file the name came from).
    {
        const std::string victim = dir.write("room.tri", "room\n0 0 0 1 0 0 0 1 0\n");
        SceneObject object;
        object.name = std::string("room.tri\0garbage", 16);
        ::testing::internal::CaptureStdout();
        const SaveStatus s = saveResult(object, dir.path.string());
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(s.reason, "Invalid argument");
        EXPECT_EQ(out, "Cannot save " + victim + ": Invalid argument\n");
        EXPECT_EQ(slurp(victim), "room\n0 0 0 1 0 0 0 1 0\n");
    }

    // The working directory itself unwritable: the relative name fails there.
    if (roDisk.mounted) {
        const fs::path before = fs::current_path();
        fs::current_path(readOnly);
        SceneObject object;
        object.name = "room";
        ::testing::internal::CaptureStdout();
        const SaveStatus s = saveResult(object);
        const std::string out = ::testing::internal::GetCapturedStdout();
        fs::current_path(before);
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(out, "Cannot save room.6d: Read-only file system\n");
    }
}

TEST(ResolutionLimits, RefusesFacesTheGlCannotDraw) {
    struct Case {
        int n, maxRenderbuffer, maxViewport;
        std::string message;  // part of the answer; empty: accepted
    };
    const Case cases[] = {
        {256, 16384, 16384, ""},
        {16384, 16384, 16384, ""},
        {2, 0, 0, ""},  // limits not known yet
        {16386, 16384, 32768, "resolution = 16386: larger than the largest off-screen buffer this OpenGL can draw "
                              "(16384 pixels)"},
        {8192, 16384, 4096, "resolution = 8192: larger than the largest viewport this OpenGL can draw (4096 pixels)"},
        {1, 16384, 16384, "resolution = 1: a hemicube face needs at least 2 pixels"},
        {0, 0, 0, "at least 2 pixels"},
        {-256, 16384, 16384, "resolution = -256: a hemicube face needs at least 2 pixels"},
        {kMaxResolution, 0, 0, ""},
        {kMaxResolution + 2, 0, 0, "the largest face whose pixels can be read back in one piece"},
        {2147483646, 65536, 65536, "larger than the largest off-screen buffer"},
    };
    for (const Case& c : cases) {
        const std::string got = checkResolution(c.n, c.maxRenderbuffer, c.maxViewport);
        if (c.message.empty()) {
            EXPECT_EQ(got, "") << c.n;
        } else {
            EXPECT_TRUE(contains(got, c.message)) << c.n << ": " << got;
        }
    }
    // The bound keeps a face's RGBA bytes within a 32-bit int.
    EXPECT_LE(4LL * kMaxResolution * kMaxResolution, 2147483647LL);
    EXPECT_GT(4LL * (kMaxResolution + 1) * (kMaxResolution + 1), 2147483647LL);
}
