#pragma once

#include <string>
#include <vector>

// HDR pictures as OpenEXR: three 32-bit float channels R, G, B, rows top
// first, no clamp, ZIP compression. The image is encoded in memory, so the
// caller writes it to disk in one piece (atomically).

// Encodes a width × height picture given as RGB floats, rows top first.
// Returns an empty string and sets `bytes`, or the reason it failed.
std::string encodeExr(int width, int height, const std::vector<float>& rgb, std::string& bytes);

// Decodes the R, G, B channels of an OpenEXR file held in memory (for tests
// and tools; any channel missing reads as 0).
std::string decodeExr(const std::string& bytes, int& width, int& height, std::vector<float>& rgb);
