#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes an 8-bit RGB PNG (rows top first) through AtomicFile, so a failed
// write never leaves a truncated picture behind and keeps the previous one.
// Returns an empty string on success, otherwise the reason.
std::string writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb);
