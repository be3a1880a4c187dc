#pragma once

#include <string>
#include <vector>

#include "view/baked_mesh.h"
#include "view/output_files.h"

// The baked scene as glTF 2.0, through the Open Asset Import Library's
// exporter: one node and one mesh per object, both named after it (the
// library makes repeated names unique), under a root node "LUMETRA";
// COLOR_0 holds the corner colours as floats (RGBA, alpha 1; linear and
// unbounded); every object has its own unlit material (KHR_materials_unlit,
// white base colour) named after it, so viewers show the baked colours as
// they are.
//
// The object's reflectance and emission go into "extras" of its node and of
// its material, as {"reflectance": [r, g, b], "emission": [r, g, b]}, not
// into emissiveFactor (glTF caps that at 1). The library's exporter (5.2)
// writes no extras of nodes or materials and drops custom material
// properties, so they are added to the JSON it produced before anything is
// written to disk (for .glb, to its JSON chunk).

// Exports to `path`: a .gltf (JSON plus a .bin buffer beside it) or a .glb
// (one binary file), chosen by the extension. Nothing is written yet: the
// exporter writes through an IO system that keeps its streams in memory, and
// `files` receives every file of the export, buffers before the .gltf that
// refers to them, for writeFilesTogether. Returns an empty string or the
// reason it failed.
std::string exportGltf(const std::vector<BakedMesh>& meshes, const std::string& path,
                       std::vector<OutputFile>& files);

// True for the names exportGltf takes (.gltf, .glb; any letter case).
bool isGltfPath(const std::string& path);
