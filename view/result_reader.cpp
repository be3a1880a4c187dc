#include "view/result_reader.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>

#include "scene/limits.h"
#include "scene/scene.h"
#include "view/result_writer.h"

namespace {

// The most vertices an object can have: three per triangle.
constexpr long long kMaxVertices = 3LL * kMaxTrianglesPerObject;

// Splits a line into its blank-separated fields.
std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool parseCount(const std::string& text, long long limit, long long& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end && value >= 0 && value <= limit;
}

bool parseReal(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == end;
}

// Reads lines one at a time, dropping the CR of a CR LF end, and counts them.
class LineSource {
  public:
    explicit LineSource(std::istream& in) : in_(in) {}
    bool next(std::string& line) {
        if (!std::getline(in_, line)) return false;
        ++number_;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    int number() const { return number_; }

  private:
    std::istream& in_;
    int number_ = 0;
};

ResultProblem problemAt(int line, std::string message) {
    return ResultProblem{line, std::move(message)};
}

// Reads one line of exactly `count` fields; `what` names it in messages.
ResultProblem readFields(LineSource& lines, std::size_t count, const char* what,
                         std::vector<std::string>& fields) {
    std::string line;
    if (!lines.next(line)) {
        return problemAt(lines.number() + 1, std::string("the file ends where ") + what + " should be");
    }
    fields = fieldsOf(line);
    if (fields.size() != count) {
        return problemAt(lines.number(), std::string(what) + " needs " + std::to_string(count) +
                                             " fields, found " + std::to_string(fields.size()));
    }
    return {};
}

ResultProblem readCount(LineSource& lines, const char* what, long long limit, long long& value) {
    std::vector<std::string> fields;
    ResultProblem p = readFields(lines, 1, what, fields);
    if (!p.ok()) return p;
    if (!parseCount(fields[0], limit, value)) {
        return problemAt(lines.number(), std::string(what) + " \"" + fields[0] +
                                             "\" is not a whole number from 0 to " + std::to_string(limit));
    }
    return {};
}

ResultProblem readReals(const std::vector<std::string>& fields, std::size_t first, int line, Vec3& v) {
    double xyz[3];
    for (std::size_t k = 0; k < 3; ++k) {
        if (!parseReal(fields[first + k], xyz[k])) {
            return problemAt(line, "\"" + fields[first + k] + "\" is not a number");
        }
    }
    v.set(xyz[0], xyz[1], xyz[2]);
    return {};
}

// A coordinate as the writer gives it back: six significant digits.
double asWritten(double value) {
    double back = 0.0;
    const std::string text = formatReal(value);
    std::from_chars(text.data(), text.data() + text.size(), back, std::chars_format::general);
    return back;
}

bool samePosition(const Vec3& read, const Vec3& actual) {
    return read.x == asWritten(actual.x) && read.y == asWritten(actual.y) && read.z == asWritten(actual.z);
}

std::string pointText(const Vec3& p) {
    return formatReal(p.x) + " " + formatReal(p.y) + " " + formatReal(p.z);
}

}  // namespace

ResultProblem readResult(std::istream& in, ResultFile& out) {
    out = ResultFile{};
    LineSource lines(in);
    long long vertexCount = 0;
    ResultProblem p = readCount(lines, "the vertex count", kMaxVertices, vertexCount);
    if (!p.ok()) return p;
    std::vector<std::string> fields;
    for (long long i = 0; i < vertexCount; ++i) {
        if (!(p = readFields(lines, 3, "a vertex line", fields)).ok()) return p;
        Vec3 position;
        if (!(p = readReals(fields, 0, lines.number(), position)).ok()) return p;
        out.positions.push_back(position);
    }
    long long triangleCount = 0;
    if (!(p = readCount(lines, "the triangle count", kMaxTrianglesPerObject, triangleCount)).ok()) return p;
    out.triangles.reserve(static_cast<std::size_t>(triangleCount));
    for (long long j = 0; j < triangleCount; ++j) {
        if (!(p = readFields(lines, 6, "a triangle line", fields)).ok()) return p;
        ResultTriangle t;
        for (std::size_t k = 0; k < 3; ++k) {
            long long index = 0;
            if (!parseCount(fields[k], vertexCount - 1, index)) {
                return problemAt(lines.number(), "corner \"" + fields[k] +
                                                     "\" is not the index of one of the " +
                                                     std::to_string(vertexCount) + " vertices");
            }
            t.corners[k] = static_cast<int>(index);
        }
        if (!(p = readReals(fields, 3, lines.number(), t.radiosity)).ok()) return p;
        out.triangles.push_back(t);
    }
    // The writer ends with the last triangle line; blank lines after it are
    // forgiven, anything else means this is not a result file.
    std::string line;
    while (lines.next(line)) {
        if (!fieldsOf(line).empty()) return problemAt(lines.number(), "text after the last triangle line");
    }
    return {};
}

ResultProblem matchResult(const ResultFile& file, const SceneObject& object) {
    const int vertexCount = static_cast<int>(file.positions.size());
    if (vertexCount != object.vertexCount()) {
        return problemAt(1, "the file has " + std::to_string(vertexCount) + " vertices, the scene's object " +
                                std::to_string(object.vertexCount()));
    }
    for (int i = 0; i < vertexCount; ++i) {
        const Vec3& actual = object.vertices[static_cast<std::size_t>(i)]->position;
        if (!samePosition(file.positions[static_cast<std::size_t>(i)], actual)) {
            return problemAt(2 + i, "vertex " + std::to_string(i) + " is at " +
                                        pointText(file.positions[static_cast<std::size_t>(i)]) +
                                        ", in the scene at " + pointText(actual));
        }
    }
    const int triangleLine = vertexCount + 2;
    const int triangleCount = static_cast<int>(file.triangles.size());
    if (triangleCount != object.triangleCount()) {
        return problemAt(triangleLine, "the file has " + std::to_string(triangleCount) +
                                           " triangles, the scene's object " +
                                           std::to_string(object.triangleCount()));
    }
    for (int j = 0; j < triangleCount; ++j) {
        const auto& read = file.triangles[static_cast<std::size_t>(j)].corners;
        const auto& actual = object.triangles[static_cast<std::size_t>(j)]->cornerIndices;
        if (read != actual) {
            return problemAt(triangleLine + 1 + j,
                             "triangle " + std::to_string(j) + " has other corners than in the scene");
        }
    }
    return {};
}

void applyResult(const ResultFile& file, SceneObject& object) {
    for (std::size_t j = 0; j < file.triangles.size() && j < object.triangles.size(); ++j) {
        object.triangles[j]->radiosity = file.triangles[j].radiosity;
    }
}

std::string loadResults(std::vector<SceneObject>& objects, const std::string& dir) {
    for (SceneObject& object : objects) {
        const std::string path = resultPath(object, dir);
        // A folder or a fifo in its place would read as nothing or block.
        std::error_code ec;
        if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
            return path + ": not a regular file";
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) return path + ": cannot open: " + std::strerror(errno);
        ResultFile file;
        ResultProblem p = readResult(in, file);
        if (p.ok() && in.bad()) p = problemAt(0, std::string("cannot read: ") + std::strerror(errno));
        if (p.ok()) p = matchResult(file, object);
        if (!p.ok()) return path + (p.line > 0 ? ":" + std::to_string(p.line) : "") + ": " + p.message;
        applyResult(file, object);
    }
    return {};
}
