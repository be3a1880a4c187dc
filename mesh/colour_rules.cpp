#include "mesh/colour_rules.h"

#include <fnmatch.h>

#include <cerrno>
#include <cstdlib>
#include <set>

namespace {

// A whole decimal number from 0 to maxValue.
bool parseChannel(const std::string& text, long maxValue, long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value <= maxValue;
}

std::vector<bool> usedMaterials(const LoadedModel& model) {
    std::vector<bool> used(model.materials.size(), false);
    for (const MeshObject& o : model.objects)
        if (o.materialIndex < used.size()) used[o.materialIndex] = true;
    return used;
}

// Applies one kind of rule; adds the patterns that matched nothing to unmatched.
void applyRules(LoadedModel& model, const std::vector<bool>& used, const std::vector<ColourRule>& rules,
                bool emission, const char* option, std::vector<std::string>& unmatched) {
    for (const ColourRule& rule : rules) {
        bool matched = false;
        for (std::size_t i = 0; i < model.materials.size(); ++i) {
            if (!used[i] || !matchesMaterial(rule.pattern, model.materials[i].name)) continue;
            matched = true;
            MeshMaterial& colours = model.materials[i].colours;
            (emission ? colours.emission : colours.reflectance) = rule.rgb;
        }
        if (!matched) unmatched.push_back(std::string(option) + " '" + rule.pattern + "'");
    }
}

}  // namespace

bool parseColourRule(const std::string& text, long maxValue, ColourRule& rule, std::string& error) {
    const std::size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        error = "'" + text + "' is not PATTERN=R,G,B";
        return false;
    }
    rule.pattern = text.substr(0, eq);
    const std::string colour = text.substr(eq + 1);
    std::size_t from = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t comma = c < 2 ? colour.find(',', from) : colour.size();
        if (comma == std::string::npos ||
            !parseChannel(colour.substr(from, comma - from), maxValue, rule.rgb[c])) {
            error = "'" + text + "': the colour must be three whole numbers R,G,B from 0 to " +
                    std::to_string(maxValue);
            return false;
        }
        from = comma + 1;
    }
    return true;
}

bool matchesMaterial(const std::string& pattern, const std::string& name) {
    return fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

std::vector<std::string> usedMaterialNames(const LoadedModel& model) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const MeshObject& o : model.objects) {
        if (o.materialIndex >= model.materials.size()) continue;
        const std::string& name = model.materials[o.materialIndex].name;
        if (seen.insert(name).second) names.push_back(name);
    }
    return names;
}

std::vector<std::string> applyColourRules(LoadedModel& model, const std::vector<ColourRule>& emit,
                                          const std::vector<ColourRule>& reflect) {
    const std::vector<bool> used = usedMaterials(model);
    std::vector<std::string> unmatched;
    applyRules(model, used, emit, true, "--emit", unmatched);
    applyRules(model, used, reflect, false, "--reflect", unmatched);
    for (MeshObject& o : model.objects)
        if (o.materialIndex < model.materials.size()) o.material = model.materials[o.materialIndex].colours;
    return unmatched;
}

bool hasEmitter(const LoadedModel& model) {
    for (const MeshObject& o : model.objects)
        for (long e : o.material.emission)
            if (e > 0) return true;
    return false;
}
