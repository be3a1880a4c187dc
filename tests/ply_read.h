#pragma once

// A small PLY reader for what the exporter writes (binary little-endian or
// ASCII; float x y z red green blue, faces as index lists), for the tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace fixture {

struct Ply {
    std::vector<std::string> comments;
    std::vector<float> vertices;  // 6 floats a vertex
    std::vector<std::uint32_t> faces;
};

inline Ply readPly(const std::string& bytes) {
    Ply ply;
    std::istringstream in(bytes);
    std::string line, format;
    std::size_t vertexCount = 0, faceCount = 0;
    while (std::getline(in, line) && line != "end_header") {
        std::istringstream words(line);
        std::string word, what;
        words >> word;
        if (word == "format") words >> format;
        if (word == "comment") ply.comments.push_back(line.substr(8));
        if (word == "element") {
            words >> what;
            (what == "vertex" ? vertexCount : faceCount) = std::stoul(line.substr(line.rfind(' ') + 1));
        }
    }
    if (format == "ascii") {
        ply.vertices.resize(vertexCount * 6);
        for (float& v : ply.vertices) in >> v;
        for (std::size_t f = 0; f < faceCount; ++f) {
            unsigned n = 0;
            in >> n;
            for (unsigned k = 0; k < n; ++k) {
                std::uint32_t index = 0;
                in >> index;
                ply.faces.push_back(index);
            }
        }
        return ply;
    }
    EXPECT_EQ(format, "binary_little_endian");
    auto u32 = [&] {
        unsigned char b[4] = {};
        in.read(reinterpret_cast<char*>(b), 4);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24;
    };
    for (std::size_t i = 0; i < vertexCount * 6; ++i) {
        const std::uint32_t bits = u32();
        float v = 0;
        std::memcpy(&v, &bits, 4);
        ply.vertices.push_back(v);
    }
    for (std::size_t f = 0; f < faceCount; ++f) {
        const int n = in.get();
        for (int k = 0; k < n; ++k) ply.faces.push_back(u32());
    }
    EXPECT_EQ(in.peek(), EOF) << "nothing after the last face";
    return ply;
}

}  // namespace fixture
