#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scene/limits.h"

struct SceneObject;
struct Triangle;

// The item buffer draws every triangle flat in a colour that names it:
// red = object index, green/blue = high/low byte of the triangle code
// (triangle index + 1). Code 0 (green = blue = 0) is the black background.
constexpr int kMaxItemObjects = kMaxObjects;               // red byte: objects 0..255
constexpr int kMaxItemTriangles = kMaxTrianglesPerObject;  // codes 1..65535 per object

struct ItemColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// Colour bytes of triangle t of object o (both 0-based, within the limits).
ItemColour itemColour(int objectIndex, int triangleIndex);

// Folds row or column k of a face (0 .. 2h-1) onto a quarter-table index:
// k itself in the first half, mirrored about the centre line in the second.
// With h = 4: 0 1 2 3 3 2 1 0.
inline int mirrorIndex(int k, int h) {
    return k < h ? k : h - 1 - (k % h);
}

// Direct decoding of item colours: one table of triangle pointers per object,
// built once per scene, so a pixel finds its triangle without a search.
struct ItemLookup {
    std::vector<std::vector<Triangle*>> objects;

    // The triangle drawn with this object byte and triangle code, or null for
    // the background and for codes that name nothing in the scene.
    Triangle* find(int objectByte, int code) const {
        if (code <= 0 || objectByte < 0 || objectByte >= static_cast<int>(objects.size())) return nullptr;
        const std::vector<Triangle*>& tris = objects[static_cast<size_t>(objectByte)];
        return code <= static_cast<int>(tris.size()) ? tris[static_cast<size_t>(code - 1)] : nullptr;
    }
};

// The lookup for a scene's objects. Objects and triangles past the colour
// code's limits are left out (see itemCodeProblem).
ItemLookup buildItemLookup(const std::vector<SceneObject>& objects);

// Empty when every triangle of the objects has its own colour; otherwise a
// message saying which limit the scene exceeds.
std::string itemCodeProblem(const std::vector<SceneObject>& objects);

// A block of consecutive read-back rows of one face. Rows are bottom-up
// (row 0 is the bottom of the image) and packed without padding.
struct FaceRows {
    const std::uint8_t* data = nullptr;  // first byte of face row firstRow
    int width = 0;                       // N: pixels per row, also the face height
    int bytesPerPixel = 4;               // 4 for RGBA, 3 for RGB
    int firstRow = 0;                    // face row held by data's first row
    int rowCount = 0;                    // rows held (and summed)
};

// Adds each pixel's weight, weights[m(row) * h + m(column)], to the form-factor
// accumulator of the triangle it shows. Background pixels and codes outside
// the scene are skipped.
void sumFaceWeights(const FaceRows& rows, const double* weights, int h, const ItemLookup& lookup);
