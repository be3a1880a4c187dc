// The configuration reader: INI lookup rules, values as written, objects in
// order. Bad values and bad files are in the hardening tables.

#include "app/config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/ini_reader.h"
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
    EXPECT_EQ(ini.getString("settings", "empty", "d"), "");
    EXPECT_EQ(ini.getInt("settings", "missing", 42), 42);
    EXPECT_EQ(ini.getInt("nosuch", "fov", 42), 42);
    EXPECT_EQ(ini.getString("camera", "fov", ""), "30");
    EXPECT_EQ(ini.getInt("settings", "late", 0), 9);  // a repeated section adds keys
    EXPECT_EQ(ini.getString("settings", "indented comment", "none"), "none");
    EXPECT_EQ(ini.lineOf("settings", "step"), 5);
    EXPECT_EQ(ini.getString("s", "k", "").size(), 127u);
    EXPECT_EQ(iniParseInt("99999999999"), 2147483647);
    EXPECT_EQ(iniParseInt("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(iniParseInt("abc"), 0);
}

TEST(ReadSettings, ValuesAsWrittenAndThresholdWithShortPi) {
    Scratch dir;
    Scene scene;
    const Settings& settings = scene.settings;
    ::testing::internal::CaptureStderr();  // far = abc is refused; the rest is read as written
    fixture::stdoutOf([&] {
        readSettings(dir.write("a.ini",
                               "[settings]\nresolution=258\nsmooth_angle=90\nfar=abc\nnear=0.5\n"
                               "step=-3\n[camera]\nfov=60.5\n"),
                     scene);
    });
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(settings.N, 258);
    EXPECT_EQ(settings.H, 129);
    EXPECT_NEAR(settings.smoothThreshold, -2.32e-8, 0.01e-8);  // cos(90°) with pi = 3.1415927
    EXPECT_EQ(settings.step, -3);                              // used as |step| by the progress rhythm
    EXPECT_EQ(settings.fov, 60.5);
    fixture::stdoutOf([&] { readSettings(dir.write("b.ini", "[settings]\nsmooth_angle=0\n"), scene); });
    EXPECT_EQ(settings.smoothThreshold, 1.0);
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
    EXPECT_EQ(objects[0].reflectance.y, 1.0);  // colour keys default to 255
    EXPECT_EQ(objects[0].emission.x, 1.0);
    EXPECT_EQ(objects[0].emission.y, 0.0);
    EXPECT_EQ(objects[0].emission.z, 4294967295.0 / 255.0);  // read as unsigned
    EXPECT_EQ(objects[1].name, "");
    EXPECT_EQ(objects[1].triangleCount(), 0);
    EXPECT_EQ(objects[2].name, "gamma");       // found beside the configuration
    EXPECT_EQ(objects[2].triangleCount(), 2);  // more than "triangles" declared: all kept
    EXPECT_EQ(result.failedObjects, 2);
    EXPECT_TRUE(result.ok());
    EXPECT_TRUE(fixture::contains(err, "scene.ini:") && fixture::contains(err, "missing.tri")) << err;
}

TEST(IniFile, OverrideActsAsTheKeysFirstLine) {
    std::istringstream in("[settings]\nstop_at = 0.5\nstop_at = 0.7\n[camera]\nfov=20\n");
    IniFile ini = IniFile::parse(in);
    ini.override("SETTINGS", "Stop_At", "  '0.25'  ");  // read like a file value
    ini.override("camera", "pos_x", "3");               // a key the file lacks
    ini.override("extra", "k", "v");                    // and a section
    ini.override("camera", "pos_x", "4");               // the later one wins
    EXPECT_EQ(ini.getString("settings", "stop_at", ""), "0.25");
    EXPECT_EQ(ini.getInt("camera", "pos_x", 0), 4);
    EXPECT_EQ(ini.getString("extra", "k", ""), "v");
    EXPECT_TRUE(ini.isOverridden("settings", "stop_at") && ini.isOverridden("camera", "pos_x"));
    EXPECT_EQ(ini.lineOf("settings", "stop_at"), 0);
    EXPECT_FALSE(ini.isOverridden("camera", "fov"));
    EXPECT_EQ(ini.lineOf("camera", "fov"), 5);
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

}  // namespace

TEST(ReadSettings, NewKeysAreReadStrictlyAndRefusedWithFileAndLine) {
    Scratch dir;
    Scene scene;
    const Settings& settings = scene.settings;
    // Absent keys keep the defaults; a configuration without them is as before.
    EXPECT_TRUE(readWith(scene, dir, "[settings]\nstop_at=0.01\n").first.ok());
    const Settings defaults;
    EXPECT_TRUE(settings.overshoot == defaults.overshoot && settings.ambient == defaults.ambient &&
                settings.patchSize == defaults.patchSize && settings.shooters == defaults.shooters &&
                settings.threads == defaults.threads && settings.display == defaults.display &&
                settings.exposure == defaults.exposure);

    const auto [ok, okErr] = readWith(scene, dir,
                                      "[settings]\novershoot = 1\nambient=0\npatch_size=2.5e-1\nshooters=+4\n"
                                      "threads=0\ndisplay=sRGB\nexposure=-1.5\n");
    EXPECT_TRUE(ok.ok()) << okErr;
    EXPECT_TRUE(settings.overshoot && !settings.ambient && settings.patchSize == 0.25 &&
                settings.shooters == 4 && settings.threads == 0 && settings.display == DisplayMode::Srgb &&
                settings.exposure == -1.5);

    const struct {
        const char* key;
        std::vector<const char*> refused;
        const char* need;
    } cases[] = {
        {"overshoot", {"2", "-1", "yes", "1.0", "", "01"}, "must be 0 or 1"},
        {"ambient", {"true", "0x1"}, "must be 0 or 1"},
        {"patch_size", {"-0.5", "1x", "nan", "inf", "0x10", "1e999", ""}, "must be a number, 0 or more"},
        {"shooters", {"0", "-3", "2.5", "four", "99999999999"}, "must be a whole number, 1 or more"},
        {"threads", {"-1", "1e2", ""}, "must be a whole number, 0 or more"},
        {"display", {"gamma", "linear srgb", ""}, "must be linear or srgb"},
        {"exposure", {"inf", "-nan", "one", "1,5"}, "must be a number"},
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

TEST(ReadSettings, OverridesReadAsIfWrittenInTheFile) {
    Scratch dir;
    Scene scene;
    const Settings& settings = scene.settings;
    // Every key an override may name reaches its setting, in its section.
    const std::string file = "[settings]\nstop_at=0.5\nobjects=0\n[camera]\nfov=20\n";
    readWith(scene, dir, file, {"resolution=64",  "brightness=3", "step=5",    "near=0.2",     "far=30",
                                "smooth_angle=0", "stop_at=0.25", "objects=0", "overshoot=1",  "ambient=1",
                                "patch_size=2",   "shooters=3",   "threads=2", "display=srgb", "exposure=1",
                                "pos_x=1",        "pos_y=2",      "pos_z=3",   "lookat_x=4",   "lookat_y=5",
                                "lookat_z=6",     "up_x=7",       "up_y=8",    "up_z=9",       "fov=33"});
    EXPECT_TRUE(settings.N == 64 && settings.brightness == 3 && settings.step == 5 &&
                settings.nearPlane == 0.2 && settings.farPlane == 30 && settings.smoothThreshold == 1.0 &&
                settings.stopAt == 0.25);
    EXPECT_TRUE(settings.overshoot && settings.ambient && settings.patchSize == 2 && settings.shooters == 3 &&
                settings.threads == 2 && settings.display == DisplayMode::Srgb && settings.exposure == 1);
    EXPECT_TRUE(scene.cameraPos.x == 1 && scene.cameraPos.y == 2 && scene.cameraPos.z == 3 &&
                scene.cameraLookAt.x == 4 && scene.cameraLookAt.y == 5 && scene.cameraLookAt.z == 6 &&
                scene.cameraUp.x == 7 && scene.cameraUp.y == 8 && scene.cameraUp.z == 9 &&
                settings.fov == 33);
    // The old keys keep their lenient reading; the new ones are strict, and a
    // refused override says it came from --set. A later override wins.
    const auto [lenient, lenientErr] = readWith(scene, dir, file, {"stop_at=0.125x", "STEP=7", "step=9"});
    EXPECT_TRUE(lenient.ok()) << lenientErr;
    EXPECT_TRUE(settings.stopAt == 0.125 && settings.step == 9);
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
    EXPECT_FALSE(missing.fileRead);
    EXPECT_EQ(settings.N, 32);
}
