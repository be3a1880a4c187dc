// The meshing tool's model import on arbitrary bytes as an OBJ file, then
// the rest of its pipeline with and without subdivision: the objects it
// builds must be within the renderer's limits, every piece must keep its
// corners apart under the reader's welding and its face's angle bound, and
// the triangle files must read back unchanged.

#include <unistd.h>

#include <algorithm>
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
#include "mesh/triangle_shape.h"
#include "scene/scene.h"
#include "scene/triangle_file_writer.h"

namespace {
std::string modelPath;

void checkObjects(const std::vector<MeshObject>& objects, bool subdivided) {
    FUZZ_CHECK(objects.size() <= kMaxObjects, "at most 256 objects");
    for (const MeshObject& o : objects) {
        FUZZ_CHECK(!o.triangles.empty() && o.triangles.size() <= kMaxTrianglesPerObject, "object sizes");
        FUZZ_CHECK(!o.name.empty() && o.name.size() <= 120, "names fit a file name");
        for (long c : o.material.reflectance) FUZZ_CHECK(c >= 0 && c <= 255, "reflectance in 0..255");
        for (long c : o.material.emission) FUZZ_CHECK(c >= 0, "emission not negative");

        std::ostringstream file;
        writeTriangleFile(file, o.name, o.triangles);
        std::istringstream back(file.str());
        SceneObject read;
        const LoadReport report = read.loadTriangles(back);
        FUZZ_CHECK(report.problem.empty(), "a written triangle file reads without a problem");
        FUZZ_CHECK(read.name == o.name, "the name reads back");
        FUZZ_CHECK(static_cast<std::size_t>(read.triangleCount()) == o.triangles.size(),
                   "every triangle reads back");
        if (subdivided) FUZZ_CHECK(report.degenerate == 0, "no subdivided piece collapses when welded");
        for (std::size_t i = 0; i < o.triangles.size(); ++i) {
            if (subdivided)
                FUZZ_CHECK(keepsApartWhenWelded(o.triangles[i], kWeldTolerance), "pieces weldable");
            for (std::size_t c = 0; c < 3; ++c) {
                const Vec3& want = o.triangles[i][c];
                const Vec3& got = read.triangles[i]->corners[c]->position;
                // Welding may move a corner onto an earlier one within 0.001.
                FUZZ_CHECK(std::fabs(got.x - want.x) < 0.001 && std::fabs(got.y - want.y) < 0.001 &&
                               std::fabs(got.z - want.z) < 0.001,
                           "corners read back where they were written");
            }
        }
    }
}

}  // namespace

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
        FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos,
                   "a failed load says why, in one line");
        return 0;
    }
    Vec3 lo{INFINITY, INFINITY, INFINITY}, hi{-INFINITY, -INFINITY, -INFINITY};
    std::size_t count = 0;
    for (const MeshObject& o : model.objects) {
        FUZZ_CHECK(o.materialIndex < model.materials.size(), "objects name one of the materials");
        for (const MeshTriangle& t : o.triangles) {
            ++count;
            for (const Vec3& p : t) {
                FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z), "finite corners");
                lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            }
        }
    }

    std::vector<MeshObject> objects;
    BuildReport report;
    if (buildObjects(model.objects, model.materials, 0.0, objects, report, error)) {
        checkObjects(objects, false);
    } else {
        FUZZ_CHECK(!error.empty(), "a failed build says why");
    }
    // Subdivision to about an eighth of the model's size, kept small so a
    // run stays quick: the pieces must stay weldable and well shaped.
    const double maxEdge = (hi - lo).length() / 8.0;
    if (count > 200 || !(maxEdge > 0.01) || !std::isfinite(maxEdge)) return 0;
    if (buildObjects(model.objects, model.materials, maxEdge, objects, report, error)) {
        checkObjects(objects, true);
        FUZZ_CHECK(report.subdivision.smallestAngleAfter >=
                       std::min(20.0, report.subdivision.smallestAngleBefore / 2.0) * (1.0 - 1e-9),
                   "the angle bound holds");
    } else {
        FUZZ_CHECK(!error.empty(), "a failed build says why");
    }
    return 0;
}
