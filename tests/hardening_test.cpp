// The worst inputs of each kind, through the real readers and writers: the
// outcome (accepted, refused, read up to a point) and the message, which
// must name the file and, where there is one, the line.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

#include "app/config.h"
#include "radiosity/limits.h"
#include "radiosity/solver.h"
#include "scene_fixture.h"
#include "view/result_writer.h"

namespace fs = std::filesystem;
using fixture::contains;
using fixture::Scratch;
using fixture::slurp;

namespace {

struct ConfigRun {
    ConfigResult result;
    std::string out, err;
};

ConfigRun runConfig(const std::string& path, Scene& scene) {
    ConfigRun r;
    ::testing::internal::CaptureStderr();
    r.out = fixture::stdoutOf([&] { r.result = readSettings(path, scene); });
    r.err = ::testing::internal::GetCapturedStderr();
    return r;
}

void expectDefaults(const Scene& scene) {
    const Settings& settings = scene.settings;
    EXPECT_EQ(std::make_tuple(settings.N, settings.H, settings.brightness, settings.step, settings.nearPlane,
                              settings.farPlane, settings.stopAt, settings.fov, scene.cameraPos.y,
                              scene.cameraUp.z),
              std::make_tuple(256, 128, 2.5, 2, 0.1, 40.0, 0.0001, 45.0, -20.0, 1.0));
    EXPECT_EQ(scene.objectCount, 0);
    EXPECT_NEAR(settings.smoothThreshold, 0.99939082700, 5e-12);
}

}  // namespace

// Missing, folder, binary and BOM + CRLF configurations, resolution 1 and
// broken or oversized triangle files run through both programs in
// e2e/worst_inputs.sh.
TEST(HardenConfig, EveryBadFileGivesItsOutcomeAndMessage) {
    Scratch dir;
    dir.write("a.tri", "floor\n-1 -1 0 1 -1 0 1 1 0\n-1 -1 0 1 1 0 -1 1 0\n");
    const std::string mb(4 << 20, '9');

    struct Case {
        std::string label;
        std::string text;                         // the file's bytes
        bool solvable;                            // no error: the scene may be solved
        std::vector<std::string> messages;        // in standard error; "@" stands for the file's path
        std::function<void(const Scene&)> check;  // settings and objects afterwards
    };
    const std::vector<Case> cases = {
        {"empty", "", true, {"@: no settings found"}, expectDefaults},
        {"huge_lines",
         "[settings]\nresolution=64\nbrightness=" + mb + "\n" + mb + "\nstep=3\n" + mb + "=1\nobjects=" + mb +
             "\n",
         false,
         {"@:7: objects = 2147483647: at most 256 objects"},
         [](const Scene& scene) {
             EXPECT_EQ(scene.settings.N, 64);
             EXPECT_EQ(scene.settings.step, 3);
             EXPECT_EQ(scene.settings.brightness, 1e127);  // 127 nines, as read
         }},
        {"objects_257",
         "[settings]\nobjects=257\n",
         false,
         {"@:2: objects = 257: at most 256 objects"},
         [](const Scene& scene) { EXPECT_EQ(scene.objectCount, 0); }},
        {"objects_256",
         "[settings]\nobjects=256\n",
         true,
         {"[object_255] cannot open triangle file"},
         [](const Scene& scene) { EXPECT_EQ(scene.objectCount, 256); }},
        {"objects_negative",
         "[settings]\nobjects=-1000000000\n",
         true,
         {"@:2: objects = -1000000000 is negative"},
         [](const Scene& scene) { EXPECT_EQ(scene.objectCount, 0); }},
        {"triangles_huge_and_negative",
         "[settings]\nobjects=2\n[object_0]\ntriangles=2000000000\nfile=a.tri\n"
         "[object_1]\ntriangles=-2000000000\nfile=a.tri\n",
         true,
         {},
         [](const Scene& scene) {
             ASSERT_EQ(scene.objectCount, 2);
             EXPECT_EQ(scene.objects[0].triangleCount(), 2);  // only a hint: the file decides
             EXPECT_EQ(scene.objects[1].triangleCount(), 2);
         }},
        {"resolution_not_a_number",
         "[settings]\nresolution=big\n",
         false,
         {"@:2: resolution = 0: a hemicube face needs at least 2 pixels"},
         nullptr},
        {"resolution_odd",
         "[settings]\nresolution=257\n",
         true,
         {"@:2: resolution = 257 is odd; using 256"},
         [](const Scene& scene) { EXPECT_EQ(scene.settings.H, 128); }},
        {"resolution_overflowing",
         "[settings]\nresolution=99999999999\n",
         true,
         {"@:2: resolution = 2147483647 is odd"},
         [](const Scene& scene) {
             // Left to the GL limits, which only the context knows.
             EXPECT_EQ(scene.settings.N, 2147483646);
             EXPECT_NE(checkResolution(scene.settings.N, 16384, 16384), "");
         }},
        {"near_zero", "[settings]\nnear=0\n", false, {"@:2: near = 0: must be a number above 0"}, nullptr},
        {"near_not_a_number",
         "[settings]\nnear=close\n",
         false,
         {"@:2: near = close: must be a number above 0"},
         nullptr},
        {"far_equal_near",
         "[settings]\nnear=5\nfar=5\n",
         false,
         {"@:3: far = 5: must be a number above near"},
         nullptr},
        {"far_nan", "[settings]\nfar=nan\n", false, {"@:2: far = nan: must be a number above near"}, nullptr},
        {"step_negative_and_fov_text",
         "[settings]\nstep=-5\n[camera]\nfov=wide\n",
         true,
         {},
         [](const Scene& scene) {
             EXPECT_EQ(scene.settings.step, -5);  // used as |step|
             EXPECT_EQ(scene.settings.fov, 0.0);  // not validated: nothing breaks
         }},
        {"step_zero",
         "[settings]\nstep=0\n",
         true,
         {},
         [](const Scene& scene) { EXPECT_EQ(scene.settings.step, 1); }},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = dir.write(c.label + ".ini", c.text);
        Scene scene;
        const ConfigRun r = runConfig(path, scene);
        EXPECT_EQ(r.out.rfind("Reading: " + path + "\n", 0), 0u) << r.out;
        EXPECT_TRUE(r.result.fileRead);
        EXPECT_EQ(r.result.ok(), c.solvable) << r.err;
        for (std::string m : c.messages) {
            if (m[0] == '@') m = path + m.substr(1);
            EXPECT_TRUE(contains(r.err, m)) << "want: " << m << "\ngot: " << r.err.substr(0, 2000);
        }
        if (c.messages.empty()) {
            EXPECT_EQ(r.err, "");
        }
        if (c.check) c.check(scene);
    }
}

TEST(HardenTriangleFile, EveryBadFileGivesItsOutcomeAndMessage) {
    Scratch dir;
    fs::create_directory(dir.path / "folder.tri");
    struct Case {
        std::string label;
        std::string text;
        int loaded;  // loadTriangleFile's result
        int triangles;
        std::string problem;  // part of the report's problem; empty: none
        int line;             // the problem's line
        int degenerate;
    };
    const std::vector<Case> cases = {
        {"", "", 0, 0, "no file given", 0, 0},
        {"missing", "", 0, 0, "No such file or directory", 0, 0},
        {"folder.tri", "", 0, 0, "is a directory", 0, 0},
        {"empty", "", 1, 0, "", 0, 0},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01", 20), 1, 0, "is not a number", 2, 0},
        {"crlf", "wall\r\n0 0 0 1 0 0 0 1 0\r\n0 0 0\r\n", 1, 1, "3 numbers left over", 3, 0},
        {"nan", "x\n0 0 0 1 0 0 0 1 0\nnan 0 0 1 0 0 0 1 0\n", 1, 1, "'nan' is not a number", 3, 0},
        {"infinity", "x\n0 0 0 1 0 0 0 1 0\n0 0 0 1 -inf 0 0 1 0\n", 1, 1, "'-inf' is not a number", 3, 0},
        {"overflow", "x\n\n\n0 0 1e400 1 0 0 0 1 0\n", 1, 0, "'1e400' is too large for a coordinate", 4, 0},
        {"underflow", "x\n1e-400 0 0 1 0 0 0 1 0", 1, 1, "", 0, 0},  // as good as zero
        // Finite doubles that GL's single precision cannot hold, and whose
        // area and normal would overflow.
        {"beyond_float", "x\n0 0 0 1 0 0 0 1 0\n-1e300 0 0 1e300 0 0 0 1e300 0\n", 1, 1,
         "'-1e300' is too large for a coordinate", 3, 0},
        {"float_edge", "x\n0 0 0 3.4e38 0 0 0 3.4e38 0\n0 0 0 1 0 0 0 3.5e38 0\n", 1, 1,
         "'3.5e38' is too large", 3, 0},
        {"long_name", std::string(200, 'N') + "\n0 0 0 1 0 0 0 1 0\n", 1, 0, "'NNNNNNNN", 1, 0},
        {"degenerate", "x\n0 0 0 1 0 0 2 0 0\n0 0 0 0.0001 0 0 0 0.0001 0\n5 5 5 5 5 5 5 5 5\n", 1, 3, "", 0,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = c.label.empty() ? "" : dir.at(c.label);
        if (c.loaded) path = dir.write(c.label + ".tri", c.text);
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
            EXPECT_TRUE(std::isfinite(t->area) && std::isfinite(t->centroid.x) &&
                        std::isfinite(t->centroid.y));
        }
        if (c.label == "long_name") {
            EXPECT_EQ(object.name, std::string(127, 'N'));
        }
        if (!c.loaded) {
            EXPECT_EQ(object.name, "");
        }
    }
}

namespace {

// Hands every triangle but the shooter a form factor of 0.05 on the top
// face of each step, like a scene where all triangles see each other.
struct EveryoneSees : FaceCapturer {
    explicit EveryoneSees(Scene& s) : scene(s) {}
    void captureFace(const FaceView& view, const std::vector<double>&) override {
        if (view.rows != scene.settings.N) return;  // the top face
        const Vec3 eye = view.eye;
        for (SceneObject& o : scene.objects)
            for (auto& t : o.triangles) {
                const Vec3 p = t->centroid + t->normal / 1000.0;
                if (p.x != eye.x || p.y != eye.y || p.z != eye.z) t->formFactor += 0.05;
            }
    }
    Scene& scene;
};

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

TEST(HardenScene, HopelessScenesAreRefusedOrConvergeWithFiniteValues) {
    using fixture::Corners;
    const std::vector<Corners> floorTris = fixture::grid(Vec3(-1, -1, 0), Vec3(2, 0, 0), Vec3(0, 2, 0), 2, 2);
    const std::vector<Corners> ceiling = fixture::grid(Vec3(-1, -1, 2), Vec3(0, 2, 0), Vec3(2, 0, 0), 1, 1);
    const std::vector<Corners> flat = {{Vec3(0, 0, 1), Vec3(1, 0, 1), Vec3(2, 0, 1)},
                                       {Vec3(0, 0, 1), Vec3(0, 0, 1), Vec3(0, 0, 1)}};
    const Vec3 grey(0.5, 0.5, 0.5), white(1, 1, 1);
    const double huge = 4294967295.0 / 255.0;  // emission_r = -1, read as unsigned
    const std::string none = "No triangle emits light: nothing to solve.\n";

    // A floor under a ceiling of the given materials; the scene's triangles are
    // made in the loop, each case with a clean scene.
    struct Case {
        std::string label;
        std::vector<Corners> floor, ceiling;
        Vec3 floorRho, ceilingRho, ceilingEmission;
        bool solvable;
        int stepsToConverge;  // at most; 0: not checked
    };
    const std::vector<Case> cases = {
        {"no_emitter", floorTris, ceiling, grey, grey, Vec3(), false, 0},
        {"only_degenerate_emitters", floorTris, flat, grey, grey, white, false, 0},
        {"no_triangles_at_all", {}, {}, grey, grey, white, false, 0},
        // After the lamp has shot once nothing is left: the walls absorb all.
        {"all_reflectances_zero", floorTris, ceiling, Vec3(), Vec3(), white, true, 2},
        {"emission_far_above_255", floorTris, ceiling, white, grey, Vec3(huge, huge, huge), true, 0},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Scene scene;
        scene.settings.N = 8;
        scene.settings.H = 4;
        scene.settings.stopAt = 0.0001;
        Solver solver(scene);
        EveryoneSees capturer(scene);
        solver.setFaceCapturer(&capturer);
        if (!c.floor.empty()) {
            fixture::addObject(scene, c.floor, c.floorRho);
            fixture::addObject(scene, c.ceiling, c.ceilingRho, c.ceilingEmission);
        }
        bool ready = false;
        EXPECT_EQ(fixture::stdoutOf([&] { ready = solver.initSolver(); }), c.solvable ? "" : none);
        EXPECT_EQ(ready, c.solvable);
        int steps = 0;
        bool converged = false;
        fixture::stdoutOf([&] {
            for (; !converged && steps < 500; ++steps) converged = solver.idleStep().converged;
        });
        EXPECT_TRUE(converged) << "still running after " << steps << " steps";
        if (c.stepsToConverge > 0) {
            EXPECT_LE(steps, c.stepsToConverge);
        }
        if (!c.solvable) {
            EXPECT_TRUE(steps == 1 && solver.stepCounter == 0);
        }  // nothing runs
        EXPECT_TRUE(std::isfinite(solver.convergenceMeasure));
        for (const SceneObject& o : scene.objects) {
            for (const auto& t : o.triangles) {
                EXPECT_TRUE(finite(t->radiosity) && finite(t->unshot));
                EXPECT_GE(t->radiosity.x, 0.0);
            }
            // Saving such a scene writes numbers, never "nan" or "inf".
            const std::string text = formatResult(o);
            EXPECT_FALSE(contains(text, "nan") || contains(text, "inf")) << text;
        }
    }
}

// A disk that fills up or is read-only is run end to end in
// e2e/worst_inputs.sh; here the names that must not reach the wrong file.
TEST(HardenSave, BadNamesFailWithoutTouchingOtherFiles) {
    Scratch dir;
    Scene scene;
    fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), 3, 2));
    SceneObject& object = scene.objects[0];
    SaveStatus s;
    auto save = [&] { return fixture::stdoutOf([&] { s = saveResult(object, dir.path.string()); }); };
    // A directory part that does not exist: nothing is made, nothing left behind.
    object.name = "nowhere/room";
    EXPECT_EQ(save(), "Cannot save " + dir.at("nowhere/room.6d") + ": No such file or directory\n");
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(dir.entries(), 0);
    // A name line with a NUL byte must not cut the path short and replace
    // another file (here the triangle file the name came from).
    const std::string victim = dir.write("room.tri", "room\n0 0 0 1 0 0 0 1 0\n");
    object.name = std::string("room.tri\0garbage", 16);
    EXPECT_EQ(save(), "Cannot save " + victim + ": Invalid argument\n");
    EXPECT_EQ(s.reason, "Invalid argument");
    EXPECT_EQ(slurp(victim), "room\n0 0 0 1 0 0 0 1 0\n");
    EXPECT_EQ(dir.entries(), 1);
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
        {16386, 16384, 32768,
         "resolution = 16386: larger than the largest off-screen buffer this OpenGL can draw (16384 pixels)"},
        {8192, 16384, 4096,
         "resolution = 8192: larger than the largest viewport this OpenGL can draw (4096 pixels)"},
        {1, 16384, 16384, "resolution = 1: a hemicube face needs at least 2 pixels"},
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
