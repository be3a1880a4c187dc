#pragma once

#include <string>

#include "scene/atomic_file.h"

struct SceneObject;

// Result files: one text file per object, "<name>.6d", holding the welded
// vertices and every triangle's corner indices and radiosity. Lines end in
// CR LF on every platform, so files compare byte for byte wherever they were
// written.

// A real as printf's %.6g writes it, except that the exponent always has a
// sign and three digits (1.234e-005, 1.23457e+006). Not-a-number is "nan",
// infinities "inf" and "-inf".
std::string formatReal(double value);

// An integer in plain decimal.
std::string formatInt(long long value);

// The whole file text of an object, CR LF line ends included.
std::string formatResult(const SceneObject& object);

// The path an object's result is saved to: "<name>.6d", inside `dir` unless
// `dir` is empty or the name is an absolute path.
std::string resultPath(const SceneObject& object, const std::string& dir);

struct SaveStatus {
    bool ok = true;
    std::string path;    // the file that was (or should have been) written
    std::string reason;  // why it failed; empty on success
};

// Writes an object's result file through AtomicFile: on any failure the
// previous file stays as it was, no temporary file is left, and one line
// "Cannot save <path>: <reason>" is printed on standard output. `ops`: the
// system calls (nullptr: the operating system's).
SaveStatus saveResult(const SceneObject& object, const std::string& dir = std::string(),
                      FileOps* ops = nullptr);
