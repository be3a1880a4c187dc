#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

#include "scene/vec3.h"

struct Scene;

// Scenes the benchmark makes for itself, so it needs no files: a closed
// room (walls facing in) with a few boxes standing on its floor and a
// square lamp under the ceiling facing down, every surface cut into squares
// of one size chosen so that the whole scene has about the requested number
// of triangles. Plain geometry, no OpenGL.

struct BenchObject {
    std::string name;
    Vec3 reflectance;                            // 0..1
    Vec3 emission;                               // 0..1
    std::vector<std::array<Vec3, 3>> triangles;  // corner order gives the front side
};

struct BenchScene {
    std::vector<BenchObject> objects;
    double cellSize = 0.0;  // side of the squares the room's surfaces are cut into
    int triangleCount() const;
};

// The room scene with about targetTriangles triangles (at least a few
// dozen: every surface has at least one square).
BenchScene makeBenchRoom(int targetTriangles);

// One flat object of exactly `count` triangles (a strip of squares, the last
// one possibly halved), for timing the reader and the welding.
BenchObject makeBenchSheet(int count);

// The object in the triangle file format, through the one triangle-file
// writer (scene/triangle_file_writer.h).
void writeTriangleFile(std::ostream& out, const BenchObject& object);

// Replaces the scene's objects with these, read through the triangle reader
// (so the vertices are welded as for a file). Returns an empty string or
// what went wrong.
std::string loadBenchScene(const BenchScene& bench, Scene& scene);
