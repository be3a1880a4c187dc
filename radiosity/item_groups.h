#pragma once

#include <cstdint>
#include <vector>

#include "radiosity/face_culling.h"
#include "radiosity/item_code.h"

// The item buffer's triangles cut into groups with bounding boxes, so that a
// face can skip whole groups it cannot see. A group is a run of consecutive
// triangles of one object, cut where it would hold too many triangles or
// spread too far: meshes list neighbouring triangles together, so the runs
// are small patches of surface. Because groups keep the item buffer's order,
// drawing the visible ones in turn draws every triangle in the same order as
// display list 2, and equal depths (coincident triangles) resolve alike.
//
// The vertices of all groups are packed in that order, three per triangle,
// each carrying its triangle's item colour.

// One vertex as the item buffer draws it: the position as glVertex3f gets it
// and the colour bytes of the item code (alpha 255, as glColor3f draws it).
struct ItemVertex {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
};

struct ItemGroup {
    int firstVertex = 0;  // index into ItemGroups::vertices
    int vertexCount = 0;  // three per triangle
    Box box;              // bounds of the vertices as drawn (single precision)
};

// Runs of consecutive groups with one box around them all, so a face can
// dismiss many groups with one test.
struct ItemBlock {
    int firstGroup = 0;
    int groupCount = 0;
    Box box;
};

struct ItemGroups {
    std::vector<ItemVertex> vertices;
    std::vector<ItemGroup> groups;
    std::vector<ItemBlock> blocks;
    unsigned generation = 0;  // changes whenever the groups are rebuilt
};

struct GroupingLimits {
    int trianglesPerGroup = 256;
    double spreadFraction = 0.125;  // largest box side of a group, as a share of its object's box diagonal
    int groupsPerBlock = 16;
};

// The box of a triangle's three packed vertices, as they are drawn.
Box drawnBox(const ItemVertex* vertices);

// Groups the triangles the lookup names (its bounds are the colour code's
// limits), in the lookup's order.
ItemGroups buildItemGroups(const ItemLookup& lookup, const GroupingLimits& limits = GroupingLimits{});
