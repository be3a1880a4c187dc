#include "mesh/object_names.h"

#include <cctype>

namespace {

bool isSafe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isDeviceName(const std::string& name) {
    const std::string l = lower(name);
    if (l == "con" || l == "prn" || l == "aux" || l == "nul") return true;
    return l.size() == 4 && (l.compare(0, 3, "com") == 0 || l.compare(0, 3, "lpt") == 0) && l[3] >= '1' &&
           l[3] <= '9';
}

}  // namespace

std::string sanitizeName(const std::string& raw) {
    std::string out;
    bool replaced = false;  // last character written was a replacement
    for (char c : raw) {
        if (isSafe(c)) {
            out += c;
            replaced = false;
        } else if (!replaced) {
            out += '_';
            replaced = true;
        }
    }
    const std::size_t first = out.find_first_not_of('_');
    if (first == std::string::npos) return "object";
    out = out.substr(first, out.find_last_not_of('_') - first + 1);
    if (out.size() > kMaxNameLength) out.resize(kMaxNameLength);
    if (isDeviceName(out)) out += '_';
    return out;
}

std::string makeUniqueName(const std::string& name, std::set<std::string>& used) {
    std::string candidate = name;
    for (unsigned n = 2; used.count(lower(candidate)) != 0; ++n) candidate = name + "_" + std::to_string(n);
    used.insert(lower(candidate));
    return candidate;
}
