// The meshing tool's model import on arbitrary bytes as an OBJ file, then
// the rest of its pipeline: the objects it builds must be within the
// renderer's limits, and their triangle files must read back unchanged.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz/fuzz_check.h"
#include "mesh/mesh_build.h"
#include "mesh/model_loader.h"
#include "mesh/triangle_file_writer.h"
#include "scene/scene.h"

namespace {
std::string modelPath;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lumetra-obj-fuzz.XXXXXX";
    char* scratch = dir.data();
    if (mkdtemp(scratch) == nullptr) std::abort();
    modelPath = std::string(scratch) + "/model.obj";
    // A material library the inputs can refer to with "mtllib lib.mtl".
    std::ofstream(std::string(scratch) + "/lib.mtl") << "newmtl lamp\nKd 0.8 0.8 0.8\nKe 10 10 10\n"
                                                        "newmtl grey\nKd 0.5 0.5 0.5\n";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream(modelPath, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    LoadedModel model;
    std::string error;
    if (!loadModel(modelPath, 1.0, model, error)) {
        FUZZ_CHECK(!error.empty(), "a failed load says why");
        return 0;
    }
    for (const MeshObject& o : model.objects) {
        for (const MeshTriangle& t : o.triangles) {
            for (const Vec3& p : t.corners) {
                FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z), "finite corners");
            }
        }
    }

    std::vector<MeshObject> objects;
    if (!buildObjects(model.objects, 0.0, objects, error)) {
        FUZZ_CHECK(!error.empty(), "a failed build says why");
        return 0;
    }
    FUZZ_CHECK(objects.size() <= kMaxObjects, "at most 256 objects");
    for (const MeshObject& o : objects) {
        FUZZ_CHECK(!o.triangles.empty() && o.triangles.size() <= kMaxTrianglesPerObject, "object sizes");
        FUZZ_CHECK(!o.name.empty() && o.name.size() <= 120, "names fit a file name");
        for (long c : o.material.reflectance) FUZZ_CHECK(c >= 0 && c <= 255, "reflectance in 0..255");
        for (long c : o.material.emission) FUZZ_CHECK(c >= 0, "emission not negative");

        std::ostringstream file;
        writeTriangleFile(file, o);
        std::istringstream back(file.str());
        SceneObject read;
        const LoadReport report = read.loadTriangles(back);
        FUZZ_CHECK(report.problem.empty(), "a written triangle file reads without a problem");
        FUZZ_CHECK(read.name == o.name, "the name reads back");
        FUZZ_CHECK(static_cast<std::size_t>(read.triangleCount()) == o.triangles.size(),
                   "every triangle reads back");
        for (std::size_t i = 0; i < o.triangles.size(); ++i) {
            for (int c = 0; c < 3; ++c) {
                const Vec3& want = o.triangles[i].corners[static_cast<std::size_t>(c)];
                const Vec3& got = read.triangles[i]->corners[static_cast<std::size_t>(c)]->position;
                // Welding may move a corner onto an earlier one within 0.001.
                FUZZ_CHECK(std::fabs(got.x - want.x) < 0.001 && std::fabs(got.y - want.y) < 0.001 &&
                               std::fabs(got.z - want.z) < 0.001,
                           "corners read back where they were written");
            }
        }
    }
    return 0;
}
