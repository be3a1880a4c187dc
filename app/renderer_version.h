#pragma once

#include <string>

// What "--version" prints for the tools that draw: "<program> <version>" and
// "OpenGL renderer: <renderer>" from a headless context (no display needed),
// or "OpenGL renderer: unavailable" when none can be made.
std::string versionWithRenderer(const std::string& program);
