// The triangle file reader on arbitrary bytes: it must end, never read or
// write out of bounds, and leave a consistent object behind.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzz_check.h"
#include "scene/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    SceneObject object;
    object.reserveTriangles(static_cast<long long>(size % 7) - 3);
    const LoadReport report = object.loadTriangles(in);

    FUZZ_CHECK(report.opened, "a stream always opens");
    FUZZ_CHECK(report.triangles == object.triangleCount(), "report counts the triangles kept");
    FUZZ_CHECK(object.name.size() <= 127, "names are at most 127 characters");
    FUZZ_CHECK(object.weldTable.empty(), "the welding table is freed after the load");
    FUZZ_CHECK(report.problem.empty() == (report.problemLine == 0), "a problem has a line, and only then");
    FUZZ_CHECK(object.vertexCount() <= 3 * object.triangleCount(), "at most three vertices per triangle");
    // Nine numbers a triangle: the input has at least 18 bytes per triangle.
    FUZZ_CHECK(static_cast<std::size_t>(object.triangleCount()) * 18 <= size + 1, "no triangle from nothing");

    std::size_t links = 0;
    for (const auto& v : object.vertices) {
        FUZZ_CHECK(
            std::isfinite(v->position.x) && std::isfinite(v->position.y) && std::isfinite(v->position.z),
            "vertex positions are finite");
        FUZZ_CHECK(!v->triangleList.empty(), "every vertex is used");
        links += v->triangleList.size();
    }
    FUZZ_CHECK(links == 3 * static_cast<std::size_t>(object.triangleCount()), "one link per corner");

    int degenerate = 0;
    for (const auto& t : object.triangles) {
        for (int c = 0; c < 3; ++c) {
            const int i = t->cornerIndices[static_cast<std::size_t>(c)];
            FUZZ_CHECK(i >= 0 && i < object.vertexCount(), "corner index within the vertices");
            FUZZ_CHECK(
                t->corners[static_cast<std::size_t>(c)] == object.vertices[static_cast<std::size_t>(i)].get(),
                "corner pointer matches its index");
        }
        // What the solver and the display divide by and draw must be numbers.
        FUZZ_CHECK(std::isfinite(t->area) && t->area >= 0.0, "area is a finite number");
        FUZZ_CHECK(
            std::isfinite(t->centroid.x) && std::isfinite(t->centroid.y) && std::isfinite(t->centroid.z),
            "centroid is finite");
        // Normals are unit vectors (or zero for a degenerate triangle), also
        // for extreme coordinates whose squares under- or overflow.
        const double n = t->normal.length();
        FUZZ_CHECK(n == 0.0 || std::fabs(n - 1.0) < 1e-9, "normal is a unit vector or zero");
        if (!(t->area > 0.0)) ++degenerate;
    }
    FUZZ_CHECK(degenerate == report.degenerate, "degenerate triangles are counted");
    return 0;
}
