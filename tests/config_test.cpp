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
