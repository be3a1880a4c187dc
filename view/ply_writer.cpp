#include "view/ply_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// Header lines are text: control characters of a name would break them.
std::string printable(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) c = '?';
    }
    return out;
}

void appendLittleEndian(std::string& out, std::uint32_t bits) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((bits >> shift) & 0xffu));
}

void appendFloat(std::string& out, float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    appendLittleEndian(out, bits);
}

// Nine significant digits give every float back exactly.
void appendText(std::string& out, float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    out += buffer;
}

std::string header(const std::vector<BakedMesh>& meshes, PlyEncoding encoding) {
    std::size_t vertices = 0;
    std::size_t faces = 0;
    for (const BakedMesh& m : meshes) {
        vertices += m.positions.size();
        faces += m.triangles.size();
    }
    std::string h = "ply\n";
    h += encoding == PlyEncoding::Ascii ? "format ascii 1.0\n" : "format binary_little_endian 1.0\n";
    h += "comment LUMETRA radiosity: linear corner colours, unscaled and unclamped\n";
    for (std::size_t i = 0; i < meshes.size(); ++i) {
        h += "comment object " + std::to_string(i) + " " + printable(meshes[i].name) + "\n";
    }
    h += "element vertex " + std::to_string(vertices) + "\n";
    for (const char* p : {"x", "y", "z", "red", "green", "blue"})
        h += std::string("property float ") + p + "\n";
    h += "element face " + std::to_string(faces) + "\n";
    h += "property list uchar uint vertex_indices\n";
    h += "end_header\n";
    return h;
}

}  // namespace

std::string formatPly(const std::vector<BakedMesh>& meshes, PlyEncoding encoding) {
    std::string out = header(meshes, encoding);
    const bool ascii = encoding == PlyEncoding::Ascii;
    for (const BakedMesh& m : meshes) {
        for (std::size_t i = 0; i < m.positions.size(); ++i) {
            const float values[6] = {m.positions[i][0], m.positions[i][1], m.positions[i][2],
                                     m.colours[i][0],   m.colours[i][1],   m.colours[i][2]};
            for (int k = 0; k < 6; ++k) {
                if (ascii) {
                    if (k > 0) out += ' ';
                    appendText(out, values[k]);
                } else {
                    appendFloat(out, values[k]);
                }
            }
            if (ascii) out += '\n';
        }
    }
    // Face indices count from the first vertex of the whole file.
    std::uint32_t base = 0;
    for (const BakedMesh& m : meshes) {
        for (const auto& t : m.triangles) {
            if (ascii) {
                out += "3 " + std::to_string(base + t[0]) + " " + std::to_string(base + t[1]) + " " +
                       std::to_string(base + t[2]) + "\n";
            } else {
                out.push_back(3);
                for (std::uint32_t index : t) appendLittleEndian(out, base + index);
            }
        }
        base += static_cast<std::uint32_t>(m.positions.size());
    }
    return out;
}
