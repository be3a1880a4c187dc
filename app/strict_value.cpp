#include "app/strict_value.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

std::optional<double> strictReal(const std::string& text) {
    // strtod also takes "inf", "nan" and hexadecimal; only decimal text may pass.
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int> strictInt(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789+-") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}
