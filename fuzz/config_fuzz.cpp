// The configuration reader on arbitrary bytes, as a file read by
// readSettings: it must end, keep within memory, and only accept settings
// the solver can run with.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "app/config.h"
#include "app/ini_reader.h"
#include "fuzz/fuzz_check.h"
#include "scene/scene.h"

namespace {

const char* const kKeys[][2] = {
    {"settings", "resolution"}, {"settings", "brightness"}, {"settings", "step"},
    {"settings", "near"},       {"settings", "far"},        {"settings", "smooth_angle"},
    {"settings", "stop_at"},    {"settings", "objects"},    {"camera", "pos_x"},
    {"camera", "fov"},          {"object_0", "file"},       {"object_0", "triangles"},
    {"object_1", "emission_r"}, {"settings", "overshoot"},  {"settings", "patch_size"},
    {"settings", "shooters"},   {"settings", "display"},    {"settings", "exposure"},
};

}  // namespace

// Runs in a scratch folder holding two triangle files the inputs can name
// (a.tri, b.tri), so objects load without touching anything else.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lumetra-config-fuzz.XXXXXX";
    char* scratch = dir.data();
    if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) std::abort();
    std::ofstream("a.tri") << "floor\n-1 -1 0 1 -1 0 1 1 0\n-1 -1 0 1 1 0 -1 1 0\n";
    std::ofstream("b.tri") << "light\n0 0 1 0 1 1 1 0 1 x\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::istringstream in(text);
    const IniFile ini = IniFile::parse(in);
    for (const auto& k : kKeys) {
        FUZZ_CHECK(ini.getString(k[0], k[1], "").size() <= IniFile::kMaxValueLength, "values are cut to 127");
        ini.getInt(k[0], k[1], 7);
        FUZZ_CHECK(ini.hasKey(k[0], k[1]) == (ini.lineOf(k[0], k[1]) > 0), "a key found has a line");
    }

    { std::ofstream("fuzz.ini", std::ios::binary | std::ios::trunc) << text; }
    Scene scene;
    const ConfigResult result = readSettings("fuzz.ini", scene);
    const Settings& settings = scene.settings;
    const int objectCount = scene.objectCount;

    FUZZ_CHECK(result.fileRead, "a regular file is read");
    FUZZ_CHECK(objectCount >= 0 && objectCount <= kMaxObjects, "object count within the limits");
    FUZZ_CHECK(scene.objects.size() == static_cast<std::size_t>(objectCount), "one record per object");
    if (result.ok()) {
        FUZZ_CHECK(settings.N >= 2 && settings.N % 2 == 0, "resolution is even and at least 2");
        FUZZ_CHECK(settings.H == settings.N / 2, "H is half of N");
        FUZZ_CHECK(settings.step != 0, "step 0 is replaced");
        FUZZ_CHECK(settings.nearPlane > 0.0 && std::isfinite(settings.nearPlane), "near is positive");
        FUZZ_CHECK(settings.farPlane > settings.nearPlane && std::isfinite(settings.farPlane),
                   "far beyond near");
        for (const SceneObject& o : scene.objects) {
            FUZZ_CHECK(o.triangleCount() <= kMaxTrianglesPerObject, "objects within the item code");
        }
        FUZZ_CHECK(settings.shooters >= 1 && settings.threads >= 0, "shooters and threads in range");
        FUZZ_CHECK(settings.patchSize >= 0.0 && std::isfinite(settings.patchSize),
                   "patch_size finite, 0 or more");
        FUZZ_CHECK(std::isfinite(settings.exposure), "exposure finite");
    }
    return 0;
}
