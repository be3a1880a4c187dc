#include "app/setting_override.h"

#include "app/ini_reader.h"

namespace {

struct Key {
    const char* section;
    const char* name;
};

// Every key of the two sections the configuration reader knows. A key added
// to the reader is added here too (a test overrides each one).
const Key kKeys[] = {
    {"settings", "resolution"}, {"settings", "brightness"},
    {"settings", "step"},       {"settings", "near"},
    {"settings", "far"},        {"settings", "smooth_angle"},
    {"settings", "stop_at"},    {"settings", "objects"},
    {"settings", "overshoot"},  {"settings", "ambient"},
    {"settings", "patch_size"}, {"settings", "shooters"},
    {"settings", "threads"},    {"settings", "display"},
    {"settings", "exposure"},   {"settings", "patch_emitters"},
    {"camera", "pos_x"},        {"camera", "pos_y"},
    {"camera", "pos_z"},        {"camera", "lookat_x"},
    {"camera", "lookat_y"},     {"camera", "lookat_z"},
    {"camera", "up_x"},         {"camera", "up_y"},
    {"camera", "up_z"},         {"camera", "fov"},
};

std::string trimmedLower(const std::string& text) {
    const char* blanks = " \t";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    std::string s = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

}  // namespace

std::string parseSettingOverride(const std::string& text, SettingOverride& out) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos) return "'" + text + "' is not KEY=VALUE";
    const std::string key = trimmedLower(text.substr(0, eq));
    for (const Key& k : kKeys) {
        if (key == k.name) {
            out = SettingOverride{k.section, key, text.substr(eq + 1)};
            return {};
        }
    }
    std::string known;
    for (const Key& k : kKeys) known += (known.empty() ? "" : ", ") + std::string(k.name);
    return "unknown key '" + text.substr(0, eq) + "' (keys: " + known + ")";
}

void applyOverrides(IniFile& ini, const std::vector<SettingOverride>& overrides) {
    for (const SettingOverride& o : overrides) ini.override(o.section, o.key, o.value);
}
