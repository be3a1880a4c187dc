// The result file reader on arbitrary bytes: it must end, never read or
// write out of bounds, report a problem with a line inside the input, and
// whatever it accepts must be written and read again to the same values.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>

#include "fuzz/fuzz_check.h"
#include "view/result_reader.h"
#include "view/result_writer.h"

namespace {

// The writer's format for a file's content (formatResult needs an object).
std::string formatFile(const ResultFile& file) {
    std::string out = formatInt(static_cast<long long>(file.positions.size())) + "\r\n";
    for (const Vec3& p : file.positions) {
        out += formatReal(p.x) + ' ' + formatReal(p.y) + ' ' + formatReal(p.z) + "\r\n";
    }
    out += formatInt(static_cast<long long>(file.triangles.size())) + "\r\n";
    for (const ResultTriangle& t : file.triangles) {
        for (int c : t.corners) out += formatInt(c) + ' ';
        out += formatReal(t.radiosity.x) + ' ' + formatReal(t.radiosity.y) + ' ' + formatReal(t.radiosity.z) +
               "\r\n";
    }
    return out;
}

// Equal as written: six digits, and all not-a-numbers alike.
bool sameAsWritten(double a, double b) {
    return formatReal(a) == formatReal(b);
}

bool sameVec(const Vec3& a, const Vec3& b) {
    return sameAsWritten(a.x, b.x) && sameAsWritten(a.y, b.y) && sameAsWritten(a.z, b.z);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    ResultFile file;
    const ResultProblem problem = readResult(in, file);

    if (!problem.ok()) {
        std::size_t lines = 1;
        for (char c : text) lines += c == '\n' ? 1 : 0;
        FUZZ_CHECK(problem.line >= 1 && static_cast<std::size_t>(problem.line) <= lines + 1,
                   "a problem names a line of the input (or the one after its end)");
        return 0;
    }
    FUZZ_CHECK(file.triangles.size() <= 65535, "at most 65535 triangles");
    for (const ResultTriangle& t : file.triangles) {
        for (int c : t.corners) {
            FUZZ_CHECK(c >= 0 && static_cast<std::size_t>(c) < file.positions.size(),
                       "corners name vertices");
        }
    }
    // Accepted text written the writer's way reads back to the same values,
    // and writing those again gives the same bytes.
    const std::string written = formatFile(file);
    std::istringstream again(written);
    ResultFile reread;
    FUZZ_CHECK(readResult(again, reread).ok(), "the writer's text is accepted");
    FUZZ_CHECK(reread.positions.size() == file.positions.size(), "vertex count kept");
    FUZZ_CHECK(reread.triangles.size() == file.triangles.size(), "triangle count kept");
    for (std::size_t i = 0; i < file.positions.size(); ++i) {
        FUZZ_CHECK(sameVec(reread.positions[i], file.positions[i]), "positions kept to six digits");
    }
    for (std::size_t j = 0; j < file.triangles.size(); ++j) {
        FUZZ_CHECK(reread.triangles[j].corners == file.triangles[j].corners, "corners kept");
        FUZZ_CHECK(sameVec(reread.triangles[j].radiosity, file.triangles[j].radiosity), "radiosity kept");
    }
    FUZZ_CHECK(formatFile(reread) == written, "written again to the same bytes");
    return 0;
}
