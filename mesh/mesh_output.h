#pragma once

#include <string>
#include <vector>

#include "mesh/mesh_types.h"
#include "mesh/scene_ini.h"

// Writes the converted scene into outDir (created if missing): one
// NAME.tri per object and scene.ini naming them, each through the atomic
// file writer, so a failed run never leaves a half-written file under the
// real name. Returns false with a one-line message naming the file on
// failure.
bool writeScene(const std::string& outDir, const std::vector<MeshObject>& objects, const std::string& comment,
                const IniSettings& settings, const IniCamera& camera, std::string& iniPath,
                std::string& error);
