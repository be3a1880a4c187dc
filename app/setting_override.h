#pragma once

#include <string>
#include <vector>

class IniFile;

// A [settings] or [camera] key given on the command line ("--set
// stop_at=0.001"), read as if it were written in the configuration file.
struct SettingOverride {
    std::string section;  // "settings" or "camera"
    std::string key;      // lower case
    std::string value;    // as given
};

// Splits "KEY=VALUE" (the key in any letter case) and finds the key's
// section. Returns an empty string, or the problem naming the key.
std::string parseSettingOverride(const std::string& text, SettingOverride& out);

// Puts the overrides into `ini` in order, so a later one of the same key wins.
void applyOverrides(IniFile& ini, const std::vector<SettingOverride>& overrides);
