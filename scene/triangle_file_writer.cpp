#include "scene/triangle_file_writer.h"

#include <charconv>

std::string formatNumber(double v) {
    if (v == 0.0) v = 0.0;  // drops the sign of -0
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

void writeTriangleFile(std::ostream& out, const std::string& name,
                       const std::vector<std::array<Vec3, 3>>& triangles) {
    out << name << '\n';
    std::string line;
    for (const std::array<Vec3, 3>& t : triangles) {
        line.clear();
        for (int c = 0; c < 3; ++c) {
            const Vec3& p = t[static_cast<std::size_t>(c)];
            if (c > 0) line += ' ';
            line += formatNumber(p.x);
            line += ' ';
            line += formatNumber(p.y);
            line += ' ';
            line += formatNumber(p.z);
        }
        line += '\n';
        out << line;
    }
}
