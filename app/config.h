#pragma once

#include <string>
#include <vector>

#include "app/setting_override.h"
#include "scene/limits.h"

class IniFile;
struct Scene;
struct SceneObject;

// What reading the configuration found. The progress lines ("Reading: ",
// "Opening: ", the FAILED line) go to standard output as they happen, as
// they always have; the problems collected here are printed to standard
// error by readSettings, each naming the file and, where there is one, the
// line.
struct ConfigResult {
    bool fileRead = false;              // the configuration file itself could be read
    int failedObjects = 0;              // triangle files that could not be opened
    std::vector<std::string> errors;    // the scene must not be solved
    std::vector<std::string> warnings;  // reported; the scene is still usable
    int refusedValues = 0;              // strictly read keys whose value was refused (among errors)
    bool ok() const { return errors.empty(); }
};

// Reads the settings and the camera into the scene, makes its objects and
// loads every object's triangle file. Prints the progress lines on standard
// output. `overrides` (from --set) replace keys of the file as if written there.
ConfigResult readSettings(const std::string& path, Scene& scene,
                          const std::vector<SettingOverride>& overrides = {});

// Reads section "object_<index>" into the object and loads its file.
// A relative file that does not open from the working directory is tried
// relative to the configuration file's folder.
void readObject(SceneObject& object, int index, const IniFile& ini, const std::string& configPath,
                ConfigResult& result);
