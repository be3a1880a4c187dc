#include "app/config.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "app/ini_reader.h"
#include "app/strict_value.h"
#include "radiosity/solver.h"
#include "scene/scene.h"

namespace {

// Degrees to radians for the smoothing threshold use this 8-digit value of pi;
// thresholds near 90 degrees depend on it (90 gives -2.32e-8, not 0).
constexpr double kPiThreshold = 3.1415927;

double readReal(const IniFile& ini, const char* section, const char* key, const char* fallback) {
    return std::atof(ini.getString(section, key, fallback).c_str());
}

double readColour(const IniFile& ini, const std::string& section, const char* key) {
    // Colour keys are read as unsigned 32-bit patterns, so -1 is 4294967295.
    return static_cast<double>(static_cast<unsigned>(ini.getInt(section, key, 255))) / 255.0;
}

std::string where(const std::string& path, const IniFile& ini, const char* section, const char* key) {
    if (ini.isOverridden(section, key)) return "--set";
    const int line = ini.lineOf(section, key);
    return line > 0 ? path + ":" + std::to_string(line) : path;
}

// Reads a [settings] key strictly when present: `parse` gives the value or
// nothing, and a value it refuses is an error naming the file and line.
template <class T, class Parse>
void readStrict(const IniFile& ini, const std::string& path, const char* key, const char* need, Parse parse,
                T& field, ConfigResult& result) {
    if (!ini.hasKey("settings", key)) return;
    const std::string text = ini.getString("settings", key, "");
    if (const std::optional<T> value = parse(text)) {
        field = *value;
        return;
    }
    result.errors.push_back(where(path, ini, "settings", key) + ": " + key + " = " + text + ": " + need);
    ++result.refusedValues;
}

std::optional<bool> zeroOrOne(const std::string& text) {
    if (text == "0" || text == "1") return text == "1";
    return std::nullopt;
}

std::optional<double> realAtLeastZero(const std::string& text) {
    const std::optional<double> v = strictReal(text);
    return v && *v >= 0.0 ? v : std::nullopt;
}

std::function<std::optional<int>(const std::string&)> intAtLeast(int least, int most = INT_MAX) {
    return [least, most](const std::string& text) {
        const std::optional<int> v = strictInt(text);
        return v && *v >= least && *v <= most ? v : std::nullopt;
    };
}

// Exposure in stops. Beyond 64 stops either way the scale 2^exposure
// overflows (or underflows) what colours can hold: black would become
// not-a-number and every picture meaningless.
constexpr double kMaxExposure = 64.0;

std::optional<double> exposureStops(const std::string& text) {
    const std::optional<double> v = strictReal(text);
    return v && *v >= -kMaxExposure && *v <= kMaxExposure ? v : std::nullopt;
}

std::optional<DisplayMode> displayMode(const std::string& text) {
    std::string mode = text;
    for (char& c : mode) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (mode == "linear") return DisplayMode::Linear;
    if (mode == "srgb") return DisplayMode::Srgb;
    return std::nullopt;
}

// The keys beyond the original set. Unlike those, they refuse a value out of
// range or not of their kind instead of reading its leading numeric text.
void readStrictSettings(const IniFile& ini, const std::string& path, Settings& s, ConfigResult& result) {
    readStrict(ini, path, "overshoot", "must be 0 or 1", zeroOrOne, s.overshoot, result);
    readStrict(ini, path, "ambient", "must be 0, 1 or 2", intAtLeast(0, 2), s.ambient, result);
    readStrict(ini, path, "patch_size", "must be a number, 0 or more (scene units)", realAtLeastZero,
               s.patchSize, result);
    readStrict(ini, path, "patch_emitters", "must be 0 or 1", zeroOrOne, s.patchEmitters, result);
    // Every shooter of a step holds a form-factor array of the scene's size.
    static_assert(kMaxShooters == 256, "the message below names the bound");
    readStrict(ini, path, "shooters", "must be a whole number from 1 to 256", intAtLeast(1, kMaxShooters),
               s.shooters, result);
    readStrict(ini, path, "threads", "must be a whole number, 0 or more (0: one per core)", intAtLeast(0),
               s.threads, result);
    readStrict(ini, path, "display", "must be linear or srgb", displayMode, s.display, result);
    readStrict(ini, path, "exposure", "must be a number from -64 to 64 (stops)", exposureStops, s.exposure,
               result);
}

void printProblems(const ConfigResult& r) {
    for (const std::string& w : r.warnings) std::fprintf(stderr, "Warning: %s\n", w.c_str());
    for (const std::string& e : r.errors) std::fprintf(stderr, "Error: %s\n", e.c_str());
}

}  // namespace

void readObject(SceneObject& object, int index, const IniFile& ini, const std::string& configPath,
                ConfigResult& result) {
    const std::string section = "object_" + std::to_string(index);

    const int capacity = ini.getInt(section, "triangles", 0);
    object.reserveTriangles(capacity);

    const std::string file = ini.getString(section, "file", "");
    std::printf("Opening: %s\n", file.c_str());

    LoadReport report;
    std::string opened = file;
    int loaded = object.loadTriangleFile(file, &report);
    if (!loaded && !file.empty() && std::filesystem::path(file).is_relative()) {
        const std::filesystem::path beside = std::filesystem::path(configPath).parent_path() / file;
        if (!beside.parent_path().empty() && beside.string() != file) {
            LoadReport second;
            if (object.loadTriangleFile(beside.string(), &second)) {
                loaded = 1;
                report = second;
                opened = beside.string();
            }
        }
    }
    if (!loaded) {
        std::printf("--------------- FAILED ---------------\n");
        ++result.failedObjects;
        result.warnings.push_back(where(configPath, ini, section.c_str(), "file") + ": [" + section +
                                  "] cannot open triangle file \"" + file + "\": " + report.problem);
    } else {
        if (!report.problem.empty()) {
            result.warnings.push_back(opened + ":" + std::to_string(report.problemLine) + ": " +
                                      report.problem + " (" + std::to_string(report.triangles) +
                                      " triangles read)");
        }
        if (report.degenerate > 0) {
            result.warnings.push_back(opened + ": " + std::to_string(report.degenerate) +
                                      " degenerate triangle(s) of zero area; they neither shoot nor receive");
        }
        if (object.triangleCount() > kMaxTrianglesPerObject) {
            result.errors.push_back(
                opened + ": " + std::to_string(object.triangleCount()) + " triangles, more than the " +
                std::to_string(kMaxTrianglesPerObject) +
                " one object can hold; split it into several objects (lumetra-mesh does)");
        }
    }

    object.reflectance.set(readColour(ini, section, "reflectance_r"),
                           readColour(ini, section, "reflectance_g"),
                           readColour(ini, section, "reflectance_b"));
    object.emission.set(readColour(ini, section, "emission_r"), readColour(ini, section, "emission_g"),
                        readColour(ini, section, "emission_b"));
}

ConfigResult readSettings(const std::string& path, Scene& scene,
                          const std::vector<SettingOverride>& overrides) {
    Settings& settings = scene.settings;
    Vec3& cameraPos = scene.cameraPos;
    Vec3& cameraLookAt = scene.cameraLookAt;
    Vec3& cameraUp = scene.cameraUp;
    ConfigResult result;
    std::printf("Reading: %s\n", path.c_str());

    IniFile ini;
    std::string why;
    result.fileRead = IniFile::load(path, ini, why);
    if (!result.fileRead) {
        result.warnings.push_back(path + ": cannot read the configuration (" + why + "); using the defaults");
    } else if (ini.empty()) {
        result.warnings.push_back(
            path + ": no settings found (no \"key = value\" line in a section); using the defaults");
    }
    applyOverrides(ini, overrides);

    scene.resetSettings();
    settings.N = ini.getInt("settings", "resolution", 256);
    settings.H = settings.N / 2;
    settings.brightness = readReal(ini, "settings", "brightness", "2.5");
    settings.step = ini.getInt("settings", "step", 2);
    settings.nearPlane = readReal(ini, "settings", "near", "0.1");
    settings.farPlane = readReal(ini, "settings", "far", "40.0");
    const auto smoothAngle = static_cast<unsigned>(ini.getInt("settings", "smooth_angle", 2));
    settings.smoothThreshold = std::cos(static_cast<double>(smoothAngle) * kPiThreshold / 180.0);
    settings.stopAt = readReal(ini, "settings", "stop_at", "0.0001");
    cameraPos.set(readReal(ini, "camera", "pos_x", "0.0"), readReal(ini, "camera", "pos_y", "-20.0"),
                  readReal(ini, "camera", "pos_z", "0.0"));
    cameraLookAt.set(readReal(ini, "camera", "lookat_x", "0.0"), readReal(ini, "camera", "lookat_y", "0.0"),
                     readReal(ini, "camera", "lookat_z", "0.0"));
    cameraUp.set(readReal(ini, "camera", "up_x", "0.0"), readReal(ini, "camera", "up_y", "0.0"),
                 readReal(ini, "camera", "up_z", "1.0"));
    settings.fov = readReal(ini, "camera", "fov", "45.0");
    int count = ini.getInt("settings", "objects", 0);
    readStrictSettings(ini, path, settings, result);

    // Only what would crash, hang, exhaust memory or give wrong form factors
    // is checked; every other value is used as written.
    if (settings.N < 2) {
        result.errors.push_back(where(path, ini, "settings", "resolution") + ": resolution = " +
                                std::to_string(settings.N) + ": a hemicube face needs at least 2 pixels");
    } else if (settings.N % 2 != 0) {
        result.warnings.push_back(where(path, ini, "settings", "resolution") +
                                  ": resolution = " + std::to_string(settings.N) + " is odd; using " +
                                  std::to_string(settings.N - 1));
        settings.N -= 1;
        settings.H = settings.N / 2;
    }
    if (settings.step == 0) settings.step = 1;  // a progress line after every step
    if (!(settings.nearPlane > 0.0) || !std::isfinite(settings.nearPlane)) {
        result.errors.push_back(where(path, ini, "settings", "near") + ": near = " +
                                ini.getString("settings", "near", "0.1") + ": must be a number above 0");
    } else if (!(settings.farPlane > settings.nearPlane) || !std::isfinite(settings.farPlane)) {
        result.errors.push_back(where(path, ini, "settings", "far") + ": far = " +
                                ini.getString("settings", "far", "40.0") + ": must be a number above near");
    }
    if (count < 0) {
        result.warnings.push_back(where(path, ini, "settings", "objects") +
                                  ": objects = " + std::to_string(count) + " is negative; no objects read");
        count = 0;
    } else if (count > kMaxObjects) {
        result.errors.push_back(where(path, ini, "settings", "objects") +
                                ": objects = " + std::to_string(count) + ": at most " +
                                std::to_string(kMaxObjects) + " objects can be solved");
        count = 0;
    }

    scene.objectCount = count;
    scene.objects.clear();
    scene.objects.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) readObject(scene.objects[static_cast<size_t>(i)], i, ini, path, result);
    std::fflush(stdout);
    printProblems(result);
    return result;
}
