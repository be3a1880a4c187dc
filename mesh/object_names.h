#pragma once

#include <set>
#include <string>

// Object names double as file names (the triangle file and the renderer's
// "NAME.6d" result file), so they are reduced to letters, digits, '-' and
// '_' and kept short.

// Longest name produced; leaves room for "_partNN" and "_NN" suffixes, a
// folder prefix and an extension within the renderer's 127-character limits.
constexpr std::size_t kMaxNameLength = 48;

// Replaces every other character by '_', collapses runs of '_' made that
// way, trims '_' at both ends, cuts to kMaxNameLength and falls back to
// "object" when nothing is left. Names that Windows reserves for devices
// (CON, NUL, COM1, ...) get a trailing '_'.
std::string sanitizeName(const std::string& raw);

// Returns name, or name_2, name_3, ... whichever is first not in used, and
// records it. Comparison ignores letter case, so the files stay distinct on
// case-insensitive file systems too; used holds lower-case keys.
std::string makeUniqueName(const std::string& name, std::set<std::string>& used);
