#include "radiosity/item_groups.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scene/scene.h"

namespace {

Box emptyBox() {
    const double inf = std::numeric_limits<double>::infinity();
    return Box{Vec3(inf, inf, inf), Vec3(-inf, -inf, -inf)};
}

void grow(Box& b, const Box& other) {
    b.lo.set(std::min(b.lo.x, other.lo.x), std::min(b.lo.y, other.lo.y), std::min(b.lo.z, other.lo.z));
    b.hi.set(std::max(b.hi.x, other.hi.x), std::max(b.hi.y, other.hi.y), std::max(b.hi.z, other.hi.z));
}

double largestSide(const Box& b) {
    return std::max({b.hi.x - b.lo.x, b.hi.y - b.lo.y, b.hi.z - b.lo.z});
}

}  // namespace

// The floats are widened, which is exact. The box is taken from the packed
// vertices rather than converted from the double positions again: GCC 12.2
// at -O2 (its SLP vectoriser) was seen to store some unconverted doubles
// into a box built that way, making it a hair smaller than the triangle it
// bounds.
Box drawnBox(const ItemVertex* v) {
    Box b = emptyBox();
    for (int k = 0; k < 3; ++k) {
        const Vec3 p(v[k].x, v[k].y, v[k].z);
        grow(b, Box{p, p});
    }
    return b;
}

ItemGroups buildItemGroups(const ItemLookup& lookup, const GroupingLimits& limits) {
    const int perGroup = std::max(1, limits.trianglesPerGroup);
    const int perBlock = std::max(1, limits.groupsPerBlock);
    ItemGroups out;
    size_t total = 0;
    for (const std::vector<Triangle*>& tris : lookup.objects) total += tris.size();
    out.vertices.reserve(3 * total);

    std::vector<Box> boxes;
    for (size_t o = 0; o < lookup.objects.size(); ++o) {
        const std::vector<Triangle*>& tris = lookup.objects[o];
        if (tris.empty()) continue;
        // The object's vertices first, in order, then its boxes from them.
        const size_t objectFirst = out.vertices.size();
        for (size_t t = 0; t < tris.size(); ++t) {
            const ItemColour colour = itemColour(static_cast<int>(o), static_cast<int>(t));
            for (const Vertex* v : tris[t]->corners) {
                ItemVertex iv;
                iv.x = static_cast<float>(v->position.x);
                iv.y = static_cast<float>(v->position.y);
                iv.z = static_cast<float>(v->position.z);
                iv.red = colour.red;
                iv.green = colour.green;
                iv.blue = colour.blue;
                out.vertices.push_back(iv);
            }
        }
        boxes.clear();
        Box whole = emptyBox();
        for (size_t t = 0; t < tris.size(); ++t) {
            boxes.push_back(drawnBox(out.vertices.data() + objectFirst + 3 * t));
            grow(whole, boxes.back());
        }
        const Vec3 diagonal = whole.hi - whole.lo;
        const double spread = limits.spreadFraction * diagonal.length();

        ItemGroup group;
        group.box = emptyBox();
        int inGroup = 0;
        auto close = [&] {
            if (inGroup == 0) return;
            out.groups.push_back(group);
            group = ItemGroup{};
            group.box = emptyBox();
            inGroup = 0;
        };
        for (size_t t = 0; t < tris.size(); ++t) {
            Box grown = group.box;
            grow(grown, boxes[t]);
            // A NaN spread (never from the reader) compares false: no cut.
            if (inGroup >= perGroup || (inGroup > 0 && largestSide(grown) > spread)) {
                close();
                grown = boxes[t];
            }
            if (inGroup == 0) group.firstVertex = static_cast<int>(objectFirst + 3 * t);
            group.box = grown;
            group.vertexCount += 3;
            ++inGroup;
        }
        close();
    }

    for (size_t g = 0; g < out.groups.size(); g += static_cast<size_t>(perBlock)) {
        ItemBlock block;
        block.firstGroup = static_cast<int>(g);
        block.groupCount = static_cast<int>(std::min(out.groups.size() - g, static_cast<size_t>(perBlock)));
        block.box = emptyBox();
        for (int k = 0; k < block.groupCount; ++k)
            grow(block.box, out.groups[g + static_cast<size_t>(k)].box);
        out.blocks.push_back(block);
    }
    return out;
}
