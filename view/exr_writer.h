#pragma once

#include <string>
#include <vector>

// HDR pictures as OpenEXR: three 32-bit float channels R, G, B, rows top
// first, no clamp, the library's default (ZIP) compression. The image is encoded in memory, so the
// caller writes it to disk in one piece (atomically).

// Encodes a width × height picture given as RGB floats, rows top first.
// Returns an empty string and sets `bytes`, or the reason it failed.
std::string encodeExr(int width, int height, const std::vector<float>& rgb, std::string& bytes);
