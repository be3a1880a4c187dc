#pragma once

#include <array>
#include <string>
#include <vector>

#include "mesh/model_loader.h"

// Colours set on the command line for materials chosen by name, so a model
// without lights can be lit without editing it: --emit PATTERN=R,G,B and
// --reflect PATTERN=R,G,B. PATTERN is a shell wildcard pattern (*, ?,
// [...]) matched case-insensitively against the whole material name; the
// colour is on the configuration's 0..255 scale (emission may exceed 255).

struct ColourRule {
    std::string pattern;
    std::array<long, 3> rgb{};
};

// Largest emission the renderer reads (a 32-bit integer).
constexpr long kMaxEmissionValue = 2147483647;

// Parses "PATTERN=R,G,B" (the last '=' separates the colour) with whole
// numbers from 0 to maxValue. On failure sets error to a sentence about text.
bool parseColourRule(const std::string& text, long maxValue, ColourRule& rule, std::string& error);

// True when the whole name matches the pattern, ignoring letter case.
bool matchesMaterial(const std::string& pattern, const std::string& name);

// The names of the materials that some object uses, in order of first use.
std::vector<std::string> usedMaterialNames(const LoadedModel& model);

// Sets the emission (emit) and reflectance (reflect) of every used material
// that a rule matches, later rules winning, and refreshes the objects'
// colours. Returns the patterns that match no used material, as written
// ("--emit 'glas*'").
std::vector<std::string> applyColourRules(LoadedModel& model, const std::vector<ColourRule>& emit,
                                          const std::vector<ColourRule>& reflect);

// True when some object emits light.
bool hasEmitter(const LoadedModel& model);
