#pragma once

#include <string>
#include <vector>

#include "radiosity/item_code.h"
#include "radiosity/item_groups.h"

struct SceneObject;

// The item buffer of one scene in one GL context: display list 2, which
// clears colour and depth to black and draws every triangle flat in its item
// colour, the lookup that decodes those colours, and the same triangles in
// the same order cut into groups with bounding boxes, for captures that draw
// only what a face can see.
struct ItemBuffer {
    static constexpr unsigned kList = 2;

    ItemLookup itemLookup;
    ItemGroups itemGroups;  // generation 0 until the first build

    bool built() const { return itemGroups.generation != 0; }
};

// Compiles display list 2 for the objects and rebuilds the lookup and the
// groups (with a new generation, so capturers upload them again). Returns an
// empty string, or a message when the scene exceeds the colour code's limits
// (the excess is not drawn; the caller should refuse such a scene). Needs a
// current GL context.
std::string buildItemBuffer(const std::vector<SceneObject>& objects, ItemBuffer& items);
