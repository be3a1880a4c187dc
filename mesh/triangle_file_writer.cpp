#include "mesh/triangle_file_writer.h"

#include <charconv>

std::string formatNumber(double v) {
    if (v == 0.0) v = 0.0;  // drops the sign of -0
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

void writeTriangleFile(std::ostream& out, const MeshObject& object) {
    out << object.name << '\n';
    std::string line;
    for (const MeshTriangle& t : object.triangles) {
        line.clear();
        for (int c = 0; c < 3; ++c) {
            const Vec3& p = t.corners[c];
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
