// The result file's number format on every double: six significant digits,
// a three-digit signed exponent, and text that reads back to the value.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_check.h"
#include "scene/scene.h"
#include "view/result_writer.h"

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// -?digits(.digits)?(e[+-]ddd)? with no trailing zeros in the fraction.
bool wellFormed(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    const std::size_t intStart = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    if (i == intStart) return false;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (i < s.size() && isDigit(s[i])) ++i;
        if (i == fracStart || s[i - 1] == '0') return false;
    }
    if (i == s.size()) return true;
    if (s[i] != 'e') return false;
    ++i;
    if (i >= s.size() || (s[i] != '+' && s[i] != '-')) return false;
    ++i;
    const std::size_t expStart = i;
    while (i < s.size() && isDigit(s[i])) ++i;
    return i == s.size() && i - expStart == 3;
}

int significantDigits(const std::string& s) {
    int n = 0;
    bool leading = true;
    for (char c : s) {
        if (c == 'e') break;
        if (!isDigit(c)) continue;
        if (leading && c == '0') continue;
        leading = false;
        ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(double)) return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const std::string text = formatReal(value);

    if (std::isnan(value)) {
        FUZZ_CHECK(text == "nan", "not-a-number is written as nan");
    } else if (std::isinf(value)) {
        FUZZ_CHECK(text == (value < 0 ? "-inf" : "inf"), "infinities are written as inf");
    } else {
        FUZZ_CHECK(wellFormed(text), "plain decimal or d.ddddde+XXX");
        FUZZ_CHECK(significantDigits(text) <= 6, "at most six significant digits");
        const double back = std::strtod(text.c_str(), nullptr);
        // Six digits, rounded to nearest: within half a unit of the sixth
        // digit, so a relative error of at most 5e-6 (the smallest
        // subnormals have fewer digits of their own and are allowed an
        // absolute error instead).
        const double error = std::fabs(back - value);
        FUZZ_CHECK(error <= 5.000001e-6 * std::fabs(value) || error < 1e-300, "reads back to the value");
        FUZZ_CHECK(value != 0.0 || text == "0" || text == "-0", "zero is written as 0");
    }

    // A whole file for a one-triangle object made of the remaining bytes.
    if (size >= 8 * 4) {
        double v[4];
        std::memcpy(v, data, sizeof v);
        SceneObject object;
        std::string name(reinterpret_cast<const char*>(data) + 32, std::min<std::size_t>(size - 32, 127));
        object.name = name;
        object.vertices.push_back(std::make_unique<Vertex>(Vec3(v[0], v[1], v[2])));
        object.triangles.push_back(std::make_unique<Triangle>());
        Triangle& t = *object.triangles.back();
        t.setCorners(object.vertices[0].get(), object.vertices[0].get(), object.vertices[0].get(), 0, 0, 0);
        t.radiosity.set(v[3], -v[3], v[0]);
        const std::string file = formatResult(object);
        FUZZ_CHECK(file.size() >= 2 && file.compare(file.size() - 2, 2, "\r\n") == 0, "ends with CR LF");
        std::size_t lines = 0;
        for (std::size_t i = 0; i + 1 < file.size(); ++i) {
            if (file[i] == '\r') {
                FUZZ_CHECK(file[i + 1] == '\n', "CR only before LF");
                ++lines;
            }
            FUZZ_CHECK(file[i] != '\n' || (i > 0 && file[i - 1] == '\r'), "LF only after CR");
        }
        FUZZ_CHECK(lines == 4, "count, vertex, count, triangle");
    }
    return 0;
}
