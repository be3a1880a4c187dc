#include "view/result_writer.h"

#include <cmath>
#include <cstdio>

#include "scene/scene.h"

namespace {

// Widens printf's exponent ("e-05", "e+06") to a sign and at least three
// digits ("e-005", "e+006"); exponents of three digits are already so.
std::string widenExponent(const char* text) {
    std::string s(text);
    const std::size_t e = s.find('e');
    if (e == std::string::npos || e + 2 > s.size()) return s;
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    return s.substr(0, e + 2) + digits;
}

void appendLine(std::string& out, const std::string& line) {
    out += line;
    out += "\r\n";
}

}  // namespace

std::string formatReal(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // %.6g already picks the fixed or the exponential form from the exponent
    // after rounding to six digits (999999.7 gives 1e+06); only the exponent's
    // width differs from the result file's convention.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return widenExponent(buffer);
}

std::string formatInt(long long value) {
    return std::to_string(value);
}

std::string formatResult(const SceneObject& object) {
    std::string out;
    appendLine(out, formatInt(object.vertexCount()));
    for (const auto& v : object.vertices) {
        appendLine(out, formatReal(v->position.x) + ' ' + formatReal(v->position.y) + ' ' +
                            formatReal(v->position.z));
    }
    appendLine(out, formatInt(object.triangleCount()));
    for (const auto& t : object.triangles) {
        std::string line;
        for (int i = 0; i < 3; ++i) line += formatInt(t->cornerIndices[i]) + ' ';
        line +=
            formatReal(t->radiosity.x) + ' ' + formatReal(t->radiosity.y) + ' ' + formatReal(t->radiosity.z);
        appendLine(out, line);
    }
    return out;
}

std::string resultPath(const SceneObject& object, const std::string& dir) {
    const std::string file = object.name + ".6d";
    if (dir.empty() || (!file.empty() && file[0] == '/')) return file;
    return dir.back() == '/' ? dir + file : dir + '/' + file;
}

SaveStatus saveResult(const SceneObject& object, const std::string& dir, FileOps* ops) {
    SaveStatus status;
    status.path = resultPath(object, dir);
    status.reason = writeFileAtomically(status.path, formatResult(object), ops);
    if (!status.reason.empty()) {
        status.ok = false;
        std::printf("Cannot save %s: %s\n", status.path.c_str(), status.reason.c_str());
        std::fflush(stdout);  // seen at once even when standard output is a file or pipe
    }
    return status;
}
