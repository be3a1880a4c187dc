#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/config.h"
#include "app/ini_reader.h"
#include "scene/scene.h"
#include "scene/settings.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder per test, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() /
               ("lumetra_cfg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
};

IniFile parse(const std::string& text) {
    std::istringstream in(text);
    return IniFile::parse(in);
}

struct ReadRun {
    ConfigResult result;
    std::string out;
    std::string err;
};

ReadRun readCapturing(const std::string& path) {
    ReadRun r;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    r.result = readSettings(path);
    r.err = ::testing::internal::GetCapturedStderr();
    r.out = ::testing::internal::GetCapturedStdout();
    return r;
}

}  // namespace

TEST(IniFile, ProfileLookupRules) {
    const IniFile ini = parse(
        "\xEF\xBB\xBF; comment line\r\n"
        "  [ Settings ]  \r\n"
        "  Resolution =  512  \r\n"
        "   ; indented comment = 3\r\n"
        "step=-7x\r\n"
        "name = \"quoted value\"\r\n"
        "empty =\r\n"
        "resolution = 1024\r\n"
        "garbage line without equals\r\n"
        "[camera]\n"
        "fov = 30\n"
        "[settings]\n"
        "late = 9\n");
    EXPECT_EQ(ini.getInt("settings", "resolution", 0), 512);  // first occurrence wins
    EXPECT_EQ(ini.getInt("SETTINGS", "RESOLUTION", 0), 512);
    EXPECT_EQ(ini.getInt("settings", "step", 0), -7);           // leading digits with a sign
    EXPECT_EQ(ini.getString("settings", "name", ""), "quoted value");
    EXPECT_EQ(ini.getInt("settings", "empty", 5), 0);           // present but no digits
    EXPECT_EQ(ini.getString("settings", "empty", "d"), "");
    EXPECT_EQ(ini.getInt("settings", "missing", 42), 42);
    EXPECT_EQ(ini.getInt("nosuch", "fov", 42), 42);
    EXPECT_EQ(ini.getString("camera", "fov", ""), "30");
    EXPECT_EQ(ini.getInt("settings", "late", 0), 9);            // a repeated section adds keys
    EXPECT_EQ(ini.getString("settings", "indented comment", "none"), "none");
    EXPECT_EQ(ini.lineOf("settings", "step"), 5);

    const IniFile longValue = parse("[s]\nk=" + std::string(300, 'v') + "\n");
    EXPECT_EQ(longValue.getString("s", "k", "").size(), 127u);
    EXPECT_EQ(iniParseInt("99999999999"), 2147483647);
    EXPECT_EQ(iniParseInt("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(iniParseInt("abc"), 0);
}

TEST(ReadSettings, EmptyFileGivesTheDefaults) {
    TempDir dir;
    ReadRun r = readCapturing(dir.write("empty.ini", ""));
    EXPECT_EQ(r.out, "Reading: " + (dir.path / "empty.ini").string() + "\n");
    EXPECT_TRUE(r.result.ok());
    EXPECT_EQ(settings.N, 256);
    EXPECT_EQ(settings.H, 128);
    EXPECT_EQ(settings.brightness, 2.5);
    EXPECT_EQ(settings.step, 2);
    EXPECT_EQ(settings.nearPlane, 0.1);
    EXPECT_EQ(settings.farPlane, 40.0);
    EXPECT_NEAR(settings.smoothThreshold, 0.99939082700, 5e-12);
    EXPECT_EQ(settings.stopAt, 0.0001);
    EXPECT_EQ(settings.fov, 45.0);
    EXPECT_EQ(cameraPos.y, -20.0);
    EXPECT_EQ(cameraUp.z, 1.0);
    EXPECT_EQ(objectCount, 0);

    // A missing file behaves the same and says so on standard error only.
    ReadRun missing = readCapturing((dir.path / "nope.ini").string());
    EXPECT_EQ(missing.out, "Reading: " + (dir.path / "nope.ini").string() + "\n");
    EXPECT_FALSE(missing.result.fileRead);
    EXPECT_NE(missing.err.find("nope.ini"), std::string::npos);
    EXPECT_EQ(settings.N, 256);
}

TEST(ReadSettings, ValuesAsWrittenAndThresholdWithShortPi) {
    TempDir dir;
    readCapturing(dir.write("a.ini",
                            "[settings]\nresolution=258\nsmooth_angle=90\nfar=abc\nnear=0.5\nstep=-3\n"
                            "[camera]\nfov=60.5\n"));
    EXPECT_EQ(settings.N, 258);
    EXPECT_EQ(settings.H, 129);
    EXPECT_NEAR(settings.smoothThreshold, -2.32e-8, 0.01e-8);
    EXPECT_EQ(settings.step, -3);  // used as |step| by the progress rhythm
    EXPECT_EQ(settings.fov, 60.5);

    readCapturing(dir.write("b.ini", "[settings]\nsmooth_angle=0\n"));
    EXPECT_EQ(settings.smoothThreshold, 1.0);
}

TEST(ReadSettings, RefusesWhatWouldBreakTheSolver) {
    TempDir dir;
    struct Case {
        std::string settings;
        std::string message;  // in the error or warning text
        bool fatal;
    };
    const Case cases[] = {
        {"resolution=1", "resolution = 1", true},
        {"resolution=0", "resolution = 0", true},
        {"resolution=-8", "resolution = -8", true},
        {"resolution=257", "odd; using 256", false},
        {"near=0", "near = 0", true},
        {"near=-1", "near = -1", true},
        {"near=5\nfar=5", "far = 5", true},
        {"far=nan", "far = nan", true},
        {"objects=1000000000", "at most 256 objects", true},
        {"objects=-4", "negative", false},
    };
    for (const Case& c : cases) {
        ReadRun r = readCapturing(dir.write("c.ini", "[settings]\n" + c.settings + "\n"));
        EXPECT_EQ(!r.result.ok(), c.fatal) << c.settings;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.settings << " -> " << r.err;
        EXPECT_NE(r.err.find("c.ini:"), std::string::npos) << "names file and line: " << r.err;
    }
    readCapturing(dir.write("s.ini", "[settings]\nstep=0\n"));
    EXPECT_EQ(settings.step, 1);
}

TEST(ReadSettings, ObjectsInOrderWithMaterialsAndFailureLines) {
    TempDir dir;
    dir.write("a.tri", "alpha\n0 0 0 1 0 0 0 1 0\n");
    dir.write("c.tri", "gamma\n0 0 0 1 0 0 0 1 0\n1 0 0 1 1 0 0 1 0\n");
    const std::string ini = dir.write("scene.ini",
                                      "[settings]\nobjects=4\n"
                                      "[object_0]\ntriangles=1\nfile=" + (dir.path / "a.tri").string() +
                                          "\nreflectance_r=128\nemission_g=0\nemission_b=-1\n"
                                          "[object_1]\nfile=" + (dir.path / "missing.tri").string() +
                                          "\n"
                                          "[object_2]\ntriangles=1\nfile=c.tri\n"  // found beside the ini
                                          "[object_3]\n");
    ReadRun r = readCapturing(ini);
    EXPECT_EQ(r.out, "Reading: " + ini + "\nOpening: " + (dir.path / "a.tri").string() +
                         "\nOpening: " + (dir.path / "missing.tri").string() +
                         "\n--------------- FAILED ---------------\nOpening: c.tri\nOpening: \n"
                         "--------------- FAILED ---------------\n");
    ASSERT_EQ(objectCount, 4);
    EXPECT_EQ(objects[0].name, "alpha");
    EXPECT_DOUBLE_EQ(objects[0].reflectance.x, 128.0 / 255.0);
    EXPECT_EQ(objects[0].reflectance.y, 1.0);  // colour keys default to 255
    EXPECT_EQ(objects[0].emission.x, 1.0);
    EXPECT_EQ(objects[0].emission.y, 0.0);
    EXPECT_EQ(objects[0].emission.z, 4294967295.0 / 255.0);  // read as unsigned
    EXPECT_EQ(objects[1].name, "");
    EXPECT_EQ(objects[1].triangleCount(), 0);
    EXPECT_EQ(objects[2].name, "gamma");
    EXPECT_EQ(objects[2].triangleCount(), 2);  // more than "triangles" declared: all kept
    EXPECT_EQ(r.result.failedObjects, 2);
    EXPECT_TRUE(r.result.ok());
    EXPECT_NE(r.err.find("scene.ini:"), std::string::npos);
    EXPECT_NE(r.err.find("missing.tri"), std::string::npos);
}

TEST(ReadSettings, LongFileValueIsCutTo127Characters) {
    TempDir dir;
    const std::string longName(200, 'f');
    const std::string ini = dir.write("l.ini", "[settings]\nobjects=1\n[object_0]\nfile=" + longName + "\n");
    ReadRun r = readCapturing(ini);
    EXPECT_NE(r.out.find("Opening: " + std::string(127, 'f') + "\n"), std::string::npos);
    EXPECT_EQ(r.out.find(std::string(128, 'f')), std::string::npos);
}
