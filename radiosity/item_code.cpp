#include "radiosity/item_code.h"

#include <algorithm>

#include "scene/scene.h"

ItemColour itemColour(int objectIndex, int triangleIndex) {
    const int code = triangleIndex + 1;
    ItemColour c;
    c.red = static_cast<std::uint8_t>(objectIndex & 0xFF);
    c.green = static_cast<std::uint8_t>((code >> 8) & 0xFF);
    c.blue = static_cast<std::uint8_t>(code & 0xFF);
    return c;
}

ItemLookup buildItemLookup(const std::vector<SceneObject>& objects) {
    ItemLookup lookup;
    const size_t count = std::min(objects.size(), static_cast<size_t>(kMaxItemObjects));
    lookup.objects.resize(count);
    for (size_t o = 0; o < count; ++o) {
        const SceneObject& obj = objects[o];
        const size_t n = std::min(obj.triangles.size(), static_cast<size_t>(kMaxItemTriangles));
        std::vector<Triangle*>& tris = lookup.objects[o];
        tris.reserve(n);
        for (size_t t = 0; t < n; ++t) tris.push_back(obj.triangles[t].get());
    }
    return lookup;
}

std::string itemCodeProblem(const std::vector<SceneObject>& objects) {
    if (objects.size() > static_cast<size_t>(kMaxItemObjects)) {
        return "the scene has " + std::to_string(objects.size()) + " objects; at most " +
               std::to_string(kMaxItemObjects) + " can be told apart";
    }
    for (size_t o = 0; o < objects.size(); ++o) {
        const size_t n = objects[o].triangles.size();
        if (n > static_cast<size_t>(kMaxItemTriangles)) {
            const std::string name =
                objects[o].name.empty() ? "object " + std::to_string(o) : objects[o].name;
            return name + " has " + std::to_string(n) + " triangles; at most " +
                   std::to_string(kMaxItemTriangles) + " per object can be told apart";
        }
    }
    return {};
}

void sumFaceWeights(const FaceRows& rows, const double* weights, int h, const ItemLookup& lookup) {
    if (rows.data == nullptr || weights == nullptr || h <= 0 || rows.width <= 0) return;
    const int bpp = rows.bytesPerPixel;
    const size_t stride = static_cast<size_t>(rows.width) * static_cast<size_t>(bpp);
    // Neighbouring pixels mostly show the same triangle: remember the last
    // decoded colour to skip the table walk.
    int lastObject = -1;
    int lastCode = -1;
    Triangle* last = nullptr;
    for (int k = 0; k < rows.rowCount; ++k) {
        const std::uint8_t* p = rows.data + static_cast<size_t>(k) * stride;
        const double* weightRow = weights + static_cast<size_t>(mirrorIndex(rows.firstRow + k, h)) * h;
        for (int c = 0; c < rows.width; ++c, p += bpp) {
            const int code = (p[1] << 8) | p[2];
            if (code == 0) continue;  // background
            const int object = p[0];
            if (code != lastCode || object != lastObject) {
                lastObject = object;
                lastCode = code;
                last = lookup.find(object, code);
            }
            if (last != nullptr) last->formFactor += weightRow[mirrorIndex(c, h)];
        }
    }
}
