// The configuration reader: INI lookup rules, values as written, objects in
// order, and every bad value with its outcome and its message, which names the
// file and line. Configurations that cannot be read, and scenes refused by the
// GL limits or the item code, run through the programs in e2e/worst_inputs.sh
// and e2e/viewer_e2e.py for their exit codes.

#include "app/config.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <tuple>

#include "app/ini_reader.h"
#include "radiosity/limits.h"
#include "scene_fixture.h"

using fixture::Scratch;

TEST(IniFile, ProfileLookupRules) {
    std::istringstream in(
        "\xEF\xBB\xBF; comment line\r\n  [ Settings ]  \r\n  Resolution =  512  \r\n   ; indented comment = "
        "3\r\n"
        "step=-7x\r\nname = \"quoted value\"\r\nempty =\r\nresolution = 1024\r\ngarbage line without "
        "equals\r\n"
        "[camera]\nfov = 30\n[settings]\nlate = 9\n[s]\nk=" +
        std::string(300, 'v') + "\n");
    const IniFile ini = IniFile::parse(in);
    EXPECT_EQ(ini.getInt("settings", "resolution", 0), 512);  // first occurrence wins
    EXPECT_EQ(ini.getInt("SETTINGS", "RESOLUTION", 0), 512);
    EXPECT_EQ(ini.getInt("settings", "step", 0), -7);  // leading digits with a sign
    EXPECT_EQ(ini.getString("settings", "name", ""), "quoted value");
    EXPECT_EQ(ini.getInt("settings", "empty", 5), 0);  // present but no digits
    EXPECT_EQ(ini.getInt("nosuch", "fov", 42), 42);
    EXPECT_EQ(ini.getString("camera", "fov", ""), "30");
    EXPECT_EQ(ini.getInt("settings", "late", 0), 9);  // a repeated section adds keys
    EXPECT_EQ(ini.getString("settings", "indented comment", "none"), "none");
    EXPECT_EQ(ini.lineOf("settings", "step"), 5);
    EXPECT_EQ(ini.getString("s", "k", "").size(), 127u);
    EXPECT_EQ(iniParseInt("99999999999"), 2147483647);
    EXPECT_EQ(iniParseInt("-99999999999"), -2147483647 - 1);
}

TEST(ReadSettings, ObjectsInOrderWithMaterialsAndFailureLines) {
    Scratch dir;
    dir.write("a.tri", "alpha\n0 0 0 1 0 0 0 1 0\n");
    dir.write("c.tri", "gamma\n0 0 0 1 0 0 0 1 0\n1 0 0 1 1 0 0 1 0\n");
    const std::string ini = dir.write(
        "scene.ini", "[settings]\nobjects=4\n[object_0]\ntriangles=1\nfile=" + dir.at("a.tri") +
                         "\nreflectance_r=128\nemission_g=0\nemission_b=-1\n[object_1]\nfile=" +
                         dir.at("missing.tri") + "\n[object_2]\ntriangles=1\nfile=c.tri\n[object_3]\n");
    ConfigResult result;
    Scene scene;
    const std::vector<SceneObject>& objects = scene.objects;
    ::testing::internal::CaptureStderr();
    const std::string out = fixture::stdoutOf([&] { result = readSettings(ini, scene); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "Reading: " + ini + "\nOpening: " + dir.at("a.tri") +
                       "\nOpening: " + dir.at("missing.tri") +
                       "\n--------------- FAILED ---------------\nOpening: c.tri\nOpening: \n"
                       "--------------- FAILED ---------------\n");
    ASSERT_EQ(scene.objectCount, 4);
    EXPECT_EQ(objects[0].name, "alpha");
    EXPECT_DOUBLE_EQ(objects[0].reflectance.x, 128.0 / 255.0);
    // Colour keys default to 255 and are read as unsigned.
    EXPECT_TRUE(objects[0].reflectance.y == 1.0 && objects[0].emission.y == 0.0 &&
                objects[0].emission.z == 4294967295.0 / 255.0);
    EXPECT_TRUE(objects[1].name.empty() && objects[1].triangleCount() == 0);
    // Found beside the configuration; more than "triangles" declared: all kept.
    EXPECT_TRUE(objects[2].name == "gamma" && objects[2].triangleCount() == 2);
    EXPECT_TRUE(result.failedObjects == 2 && result.ok());
    EXPECT_TRUE(fixture::contains(err, "scene.ini:") && fixture::contains(err, "missing.tri")) << err;
}

namespace {

// Reads a configuration written into `dir` with the given overrides,
// returning the result and what was printed on standard error.
std::pair<ConfigResult, std::string> readWith(Scene& scene, const Scratch& dir, const std::string& text,
                                              const std::vector<std::string>& sets = {}) {
    std::vector<SettingOverride> overrides;
    for (const std::string& s : sets) {
        SettingOverride o;
        EXPECT_EQ(parseSettingOverride(s, o), "") << s;
        overrides.push_back(o);
    }
    ConfigResult result;
    ::testing::internal::CaptureStderr();
    fixture::stdoutOf([&] { result = readSettings(dir.write("a.ini", text), scene, overrides); });
    return {result, ::testing::internal::GetCapturedStderr()};
}

// Every setting but the smoothing threshold, which is computed (see below).
bool sameSettings(const Settings& a, const Settings& b) {
    return a.N == b.N && a.H == b.H && a.brightness == b.brightness && a.step == b.step &&
           a.nearPlane == b.nearPlane && a.farPlane == b.farPlane && a.stopAt == b.stopAt && a.fov == b.fov &&
           a.overshoot == b.overshoot && a.ambient == b.ambient && a.patchSize == b.patchSize &&
           a.shooters == b.shooters && a.threads == b.threads && a.display == b.display &&
           a.exposure == b.exposure && a.patchEmitters == b.patchEmitters;
}

}  // namespace

TEST(ReadSettings, NewKeysAreReadStrictlyAndRefusedWithFileAndLine) {
    Scratch dir;
    Scene scene;
    const Settings& settings = scene.settings;
    // Absent keys keep the defaults; a configuration without them is as before.
    EXPECT_TRUE(readWith(scene, dir, "[settings]\nresolution=256\n").first.ok());
    EXPECT_TRUE(sameSettings(settings, Settings{}));
    const auto [ok, okErr] = readWith(scene, dir,
                                      "[settings]\novershoot = 1\nambient=2\npatch_size=2.5e-1\nshooters=+4\n"
                                      "threads=0\ndisplay=sRGB\nexposure=-1.5\npatch_emitters=1\n");
    EXPECT_TRUE(ok.ok()) << okErr;
    EXPECT_TRUE(settings.overshoot && settings.ambient == 2 && settings.patchEmitters &&
                settings.patchSize == 0.25 && settings.shooters == 4 && settings.threads == 0 &&
                settings.display == DisplayMode::Srgb && settings.exposure == -1.5);

    const struct {
        const char* key;
        std::vector<const char*> refused;
        const char* need;
    } cases[] = {
        {"overshoot", {"2", "-1", "yes", "1.0", "", "01"}, "must be 0 or 1"},
        {"ambient", {"true", "0x1", "3", "-1"}, "must be 0, 1 or 2"},
        {"patch_emitters", {"2", "yes"}, "must be 0 or 1"},
        {"patch_size", {"-0.5", "1x", "nan", "inf", "0x10", "1e999", ""}, "must be a number, 0 or more"},
        {"shooters",
         {"0", "-3", "2.5", "four", "99999999999", "257"},
         "must be a whole number from 1 to 256"},
        {"threads", {"-1", "1e2", ""}, "must be a whole number, 0 or more"},
        {"display", {"gamma", "linear srgb", ""}, "must be linear or srgb"},
        {"exposure", {"inf", "-nan", "one", "1,5", "64.5", "-2000"}, "must be a number from -64 to 64"},
    };
    for (const auto& c : cases) {
        for (const char* value : c.refused) {
            const std::string line = std::string(c.key) + " = " + value;
            const auto [result, err] = readWith(scene, dir, "[settings]\nresolution=64\n" + line + "\n");
            EXPECT_FALSE(result.ok()) << line;
            EXPECT_EQ(result.refusedValues, 1) << line;
            EXPECT_TRUE(fixture::contains(err, "Error: " + dir.at("a.ini") + ":3: " + line + ": " + c.need))
                << err;
        }
    }
    // Several refused values are all reported.
    const auto [two, twoErr] = readWith(scene, dir, "[settings]\novershoot=2\n[settings]\nthreads=-1\n");
    EXPECT_EQ(two.refusedValues, 2);
    EXPECT_TRUE(fixture::contains(twoErr, "a.ini:2: overshoot") &&
                fixture::contains(twoErr, "a.ini:4: threads"))
        << twoErr;
}

// The settings keys an override may name reach their settings, read as a
// file's value is (the camera's keys, printed by 'c', run end to end in
// e2e/viewer_e2e.py; the new keys' values above): numbers as written (the smoothing threshold with an
// 8-digit pi: 90 degrees give -2.32e-8, not 0), H as N / 2, a negative step
// kept (used as |step|). The old keys keep their lenient reading, the new
// ones are strict, and a refused override says it came from --set; a later
// override wins, whatever the case and quotes of key and value.
TEST(ReadSettings, OverridesReadAsIfWrittenInTheFile) {
    Scratch dir;
    Scene scene;
    const Settings& settings = scene.settings;
    const std::string file = "[settings]\nstop_at=0.5\nobjects=0\n[camera]\nfov=20\n";
    readWith(scene, dir, file,
             {"resolution=258", "brightness=3", "step=-3", "near=0.2", "far=30", "smooth_angle=90",
              "stop_at=0.25", "objects=0", "shooters=3"});
    EXPECT_TRUE(settings.N == 258 && settings.H == 129 && settings.brightness == 3 && settings.step == -3 &&
                settings.nearPlane == 0.2 && settings.farPlane == 30 && settings.stopAt == 0.25);
    EXPECT_NEAR(settings.smoothThreshold, -2.32e-8, 0.01e-8);
    EXPECT_EQ(settings.shooters, 3);
    const auto [lenient, lenientErr] =
        readWith(scene, dir, file, {" Stop_At = '0.125x' ", "STEP=7", "step=9", "smooth_angle=0", "far=abc"});
    EXPECT_TRUE(settings.stopAt == 0.125 && settings.step == 9 && settings.smoothThreshold == 1.0);
    EXPECT_TRUE(fixture::contains(lenientErr, "Error: --set: far = abc: must be a number above near"))
        << lenientErr;
    const auto [refused, refusedErr] = readWith(scene, dir, file, {"overshoot=yes"});
    EXPECT_EQ(refused.refusedValues, 1);
    EXPECT_TRUE(fixture::contains(refusedErr, "Error: --set: overshoot = yes: must be 0 or 1")) << refusedErr;
    // Overrides apply even when the file cannot be read (the defaults are used).
    ConfigResult missing;
    ::testing::internal::CaptureStderr();
    fixture::stdoutOf([&] {
        missing = readSettings(dir.at("missing.ini"), scene, {{"settings", "resolution", "32"}});
    });
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(!missing.fileRead && settings.N == 32);
}

TEST(ReadSettings, EveryBadValueGivesItsOutcomeAndMessage) {
    Scratch dir;
    std::filesystem::create_directory(dir.path / "folder.tri");
    const std::string mb(4 << 20, '9');

    struct Case {
        std::string text;                         // the file's bytes after "[settings]\n"
        bool solvable;                            // no error: the scene may be solved
        std::string message;                      // in standard error; "@" stands for the file's path
        std::function<bool(const Scene&)> check;  // settings and objects afterwards
    };
    auto objects = [](int n) { return [n](const Scene& s) { return s.objectCount == n; }; };
    const std::vector<Case> cases = {
        {"resolution=64\nbrightness=" + mb + "\n" + mb + "\nstep=3\n" + mb + "=1\nobjects=" + mb + "\n",
         false, "@:7: objects = 2147483647: at most 256 objects",
         [](const Scene& s) {
             return s.settings.N == 64 && s.settings.step == 3 && s.settings.brightness == 1e127;
         }},
        {"objects=257\n", false, "@:2: objects = 257: at most 256 objects", objects(0)},
        {"objects=256\n", true, "[object_255] cannot open triangle file", objects(256)},
        {"objects=-1000000000\n", true, "@:2: objects = -1000000000 is negative", objects(0)},
        {"objects=1\n[object_0]\nfile=" + dir.at("folder.tri") + "\n", true,
         "@:4: [object_0] cannot open triangle file \"" + dir.at("folder.tri") + "\": is a directory",
         [](const Scene& s) { return s.objects[0].triangleCount() == 0; }},
        {"resolution=big\n", false, "@:2: resolution = 0: a hemicube face needs at least 2 pixels", nullptr},
        {"resolution=257\n", true, "@:2: resolution = 257 is odd; using 256",
         [](const Scene& s) { return s.settings.H == 128; }},
        // Left to the GL limits, which only the context knows.
        {"resolution=99999999999\n", true, "@:2: resolution = 2147483647 is odd",
         [](const Scene& s) { return s.settings.N == 2147483646; }},
        {"near=0\n", false, "@:2: near = 0: must be a number above 0", nullptr},
        {"near=5\nfar=5\n", false, "@:3: far = 5: must be a number above near", nullptr},
        {"far=nan\n", false, "@:2: far = nan: must be a number above near", nullptr},
        {"step=0\n", true, "", [](const Scene& s) { return s.settings.step == 1; }},
    };
    Scene empty;
    const auto [emptyResult, emptyErr] = readWith(empty, dir, "");
    EXPECT_TRUE(emptyResult.ok() && fixture::contains(emptyErr, dir.at("a.ini") + ": no settings found"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        Scene scene;
        const auto [result, err] = readWith(scene, dir, "[settings]\n" + c.text);
        EXPECT_EQ(result.ok(), c.solvable) << err;
        const std::string m = c.message[0] == '@' ? dir.at("a.ini") + c.message.substr(1) : c.message;
        EXPECT_TRUE(m.empty() ? err.empty() : fixture::contains(err, m))
            << "want: " << m << "\ngot: " << err.substr(0, 2000);
        EXPECT_TRUE(!c.check || c.check(scene));
    }
}
