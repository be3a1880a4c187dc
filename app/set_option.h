#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "app/setting_override.h"

// "--set KEY=VALUE", repeatable, on the tools that read a configuration.

// Adds the option; each occurrence takes one value.
CLI::Option* addSetOption(CLI::App& app, std::vector<std::string>& values);

// Turns the values into overrides, in order. An unknown key or a value that
// is not KEY=VALUE throws CLI::ValidationError naming it (a usage error).
// The value itself is checked later, when the configuration is read.
std::vector<SettingOverride> parseSetOptions(const std::vector<std::string>& values);
