// Triangle files: a name line, then x y z of three corners per triangle,
// separated by any whitespace, to the end of the file. Corners closer than
// 0.001 in x, y and z (within one hash bucket) are welded into one vertex.

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "scene/scene.h"

namespace {

constexpr size_t kMaxNameLength = 127;

// Reads the name line: up to 127 characters, ending at a line feed (consumed,
// not stored) or at the end of the stream. A longer line leaves its rest in
// the stream, where the number list begins. A carriage return before the line
// feed belongs to the line end, as on systems whose text mode removes it.
std::string readNameLine(std::istream& in, bool& endedLine) {
    std::string name;
    endedLine = false;
    auto dropLineEndCr = [&name] {
        if (!name.empty() && name.back() == '\r') name.pop_back();
    };
    for (;;) {
        if (name.size() == kMaxNameLength) {
            // A line feed right after 127 characters still ends the line.
            if (in.peek() == '\n') {
                in.get();
                endedLine = true;
                dropLineEndCr();
            }
            return name;
        }
        const int c = in.get();
        if (c == std::char_traits<char>::eof() || c == '\n') {
            endedLine = c == '\n';
            dropLineEndCr();
            return name;
        }
        name.push_back(static_cast<char>(c));
    }
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A cursor over the number list that knows its line for messages.
struct NumberScanner {
    const std::string& text;
    size_t pos = 0;
    int line = 1;

    void skipSpace() {
        while (pos < text.size() && isSpace(text[pos])) {
            if (text[pos] == '\n') ++line;
            ++pos;
        }
    }

    // Longest prefix of the decimal grammar: sign, digits with at most one
    // point, optional exponent. An exponent letter without digits makes the
    // token invalid, as the stream extraction of a double does.
    enum class Result { Ok, NotANumber, OutOfRange, End };
    Result next(double& value, std::string& token) {
        skipSpace();
        if (pos >= text.size()) return Result::End;
        const size_t start = pos;
        size_t p = pos;
        if (text[p] == '+' || text[p] == '-') ++p;
        size_t digits = 0;
        while (p < text.size() && isDigit(text[p])) ++p, ++digits;
        if (p < text.size() && text[p] == '.') {
            ++p;
            while (p < text.size() && isDigit(text[p])) ++p, ++digits;
        }
        bool valid = digits > 0;
        if (valid && p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
            ++p;
            if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
            size_t expDigits = 0;
            while (p < text.size() && isDigit(text[p])) ++p, ++expDigits;
            valid = expDigits > 0;
        }
        if (!valid) {
            size_t end = start;
            while (end < text.size() && !isSpace(text[end]) && end - start < 24) ++end;
            token = text.substr(start, end - start);
            return Result::NotANumber;
        }
        pos = p;
        const char* first = text.data() + start + (text[start] == '+' ? 1 : 0);
        const auto r = std::from_chars(first, text.data() + p, value);
        if (r.ec == std::errc::result_out_of_range) {
            // Underflow is harmless (the value is as good as 0); overflow is not.
            value = std::strtod(std::string(text.data() + start, p - start).c_str(), nullptr);
        }
        // GL draws in single precision, where a larger coordinate is
        // infinite; within it, areas and normals stay finite in double.
        if (!(std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max()))) {
            token.assign(text.data() + start, p - start);
            return Result::OutOfRange;
        }
        return Result::Ok;
    }
};

}  // namespace

LoadReport SceneObject::loadTriangles(std::istream& in) {
    LoadReport report;
    report.opened = true;
    bool nameLineEnded = false;
    name = readNameLine(in, nameLineEnded);
    // An invisible UTF-8 byte-order mark is not part of anybody's name.
    if (name.compare(0, 3, "\xEF\xBB\xBF") == 0) name.erase(0, 3);

    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    NumberScanner scan{text};
    scan.line = nameLineEnded ? 2 : 1;  // file lines, the name line being line 1
    weldTable.assign(kWeldBuckets, {});

    double c[9];
    for (;;) {
        if (triangleCount() >= kMaxTrianglesRead) {
            scan.skipSpace();
            if (scan.pos < text.size()) {
                report.problem = "more than " + std::to_string(kMaxTrianglesRead - 1) +
                                 " triangles; the rest of the file is not read";
                report.problemLine = scan.line;
            }
            break;
        }
        int got = 0;
        std::string token;
        NumberScanner::Result r = NumberScanner::Result::Ok;
        int firstLine = 0;  // line of the triangle's first number, for a short last triangle
        for (; got < 9; ++got) {
            r = scan.next(c[got], token);
            if (r != NumberScanner::Result::Ok) break;
            if (got == 0) firstLine = scan.line;
        }
        if (got < 9) {
            if (r == NumberScanner::Result::NotANumber) {
                report.problem = "'" + token + "' is not a number; the triangle list ends there";
            } else if (r == NumberScanner::Result::OutOfRange) {
                report.problem =
                    "'" + token + "' is too large for a coordinate; the triangle list ends there";
            } else if (got > 0) {
                report.problem = std::to_string(got) + " number" + (got == 1 ? "" : "s") +
                                 " left over at the end (an incomplete triangle), ignored";
            }
            if (!report.problem.empty()) {
                report.problemLine = r == NumberScanner::Result::End ? firstLine : scan.line;
            }
            break;
        }
        triangles.push_back(std::make_unique<Triangle>());
        Triangle* t = triangles.back().get();
        const int i0 = findOrAddVertex(c[0], c[1], c[2], t);
        const int i1 = findOrAddVertex(c[3], c[4], c[5], t);
        const int i2 = findOrAddVertex(c[6], c[7], c[8], t);
        t->setCorners(vertices[static_cast<size_t>(i0)].get(), vertices[static_cast<size_t>(i1)].get(),
                      vertices[static_cast<size_t>(i2)].get(), i0, i1, i2);
        t->computeNormal();
        t->computeArea();
        t->computeCentroid();
        if (!(t->area > 0.0)) ++report.degenerate;
    }
    freeWeldTable();
    report.triangles = triangleCount();
    return report;
}

int SceneObject::loadTriangleFile(const std::string& path, LoadReport* report) {
    LoadReport local;
    LoadReport& out = report ? *report : local;
    out = LoadReport{};
    if (path.empty()) {
        out.problem = "no file given";
        return 0;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        out.problem = "is a directory, not a triangle file";
        return 0;
    }
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        out.problem = "is not a regular file";  // a fifo or device could block or never end
        return 0;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        out.problem = std::strerror(errno);
        return 0;
    }
    out = loadTriangles(in);
    if (in.bad()) {
        out.problem = "read error";
        out.problemLine = 0;
    }
    return 1;
}
