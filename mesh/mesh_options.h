#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mesh/colour_rules.h"
#include "scene/vec3.h"

// The command line of lumetra-mesh.

struct ManualCamera {
    Vec3 eye;
    Vec3 lookAt;
};

struct MeshOptions {
    std::string model;
    std::string outDir;
    double maxEdge = 0.0;  // 0: no subdivision
    double scale = 1.0;
    int upAxis = -1;  // 0, 1, 2 for x, y, z; -1: the file's own, else y
    std::vector<ColourRule> emit;
    std::vector<ColourRule> reflect;
    std::optional<ManualCamera> camera;
};

// "lumetra-mesh <x.y.z>" and the model library's version, one per line.
std::string meshVersionText();

// Parses the arguments. Returns -1 when the conversion should go on; else
// the exit code, having printed what was asked for (0 after --help or
// --version) or the usage error (1).
int parseMeshOptions(int argc, const char* const* argv, MeshOptions& options);

// Parses "x,y,z:lx,ly,lz" (six finite numbers, two different points).
bool parseManualCamera(const std::string& text, ManualCamera& camera, std::string& error);
