#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

#include "scene/vec3.h"

struct SceneObject;

// Reading result files (<name>.6d) back: what the result writer writes is
// accepted exactly (CR LF or LF line ends, exponents of any width, nan, inf
// and -inf); anything else is refused with the line it was found on.

struct ResultTriangle {
    std::array<int, 3> corners{};  // indices into ResultFile::positions
    Vec3 radiosity;
};

struct ResultFile {
    std::vector<Vec3> positions;
    std::vector<ResultTriangle> triangles;
};

// Where reading or matching stopped. ok() when nothing is wrong.
struct ResultProblem {
    int line = 0;         // 1-based; 0 when the problem has no line (a missing file)
    std::string message;  // empty when nothing is wrong
    bool ok() const { return message.empty(); }
};

// Reads one result file. Counts are limited to the scene's limits (at most
// 65,535 triangles, three vertices a triangle); corner indices must name a
// vertex line of the file.
ResultProblem readResult(std::istream& in, ResultFile& out);

// Checks that a file read by readResult is the result of `object`: the same
// vertex count and positions (as the writer's six digits give them), the
// same triangle count and the same corner indices. The problem names the
// line of the file where the first difference is.
ResultProblem matchResult(const ResultFile& file, const SceneObject& object);

// Sets every triangle's radiosity from a matching file; nothing else changes.
void applyResult(const ResultFile& file, SceneObject& object);

// Loads the result file of each object from `dir` (resultPath naming) into
// the objects' radiosities. Returns an empty string, or "<file>:<line>:
// <problem>" (no line for a file that cannot be opened) for the first file
// that is missing, unreadable or not the result of its object; objects before
// it keep what they loaded.
std::string loadResults(std::vector<SceneObject>& objects, const std::string& dir);
