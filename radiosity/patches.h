#pragma once

#include <array>
#include <vector>

#include "scene/vec3.h"

struct SceneObject;

// Patches: an object's triangles grouped into shooters larger than one
// triangle. Each top-level patch is a connected, nearly coplanar, compact
// set of triangles about `patchSize` across; it splits into sub-patches, and
// those again, down to single triangles, so a shooter can be refined where
// one centre would be a poor stand-in for the whole patch.
//
// Conventions:
// - Connected means linked through shared (welded) vertices.
// - Nearly coplanar: every triangle of a top-level patch grew from one seed
//   triangle whose unit normal it meets with a dot product of at least the
//   patch cosine (the smoothing cosine, never wider than kWidestPatchAngle).
// - Across: the triangles' centroids of a top-level patch span at most
//   patchSize along every axis, so with its triangles' own extent the patch
//   is at most patchSize plus one triangle wide.
// - Degenerate triangles (zero or non-finite area, no normal) join no one:
//   each is a top-level patch of its own, of area 0, and never shoots.
// - patchSize 0 (or less, or not a number) makes every triangle a top-level
//   patch alone; +infinity makes every coplanar connected region one patch.

// The widest angle, in degrees, between the normals of one top-level patch's
// seed and its other triangles, whatever the smoothing angle: a patch shoots
// from one centre along one normal, so it must be nearly flat.
constexpr double kWidestPatchAngle = 30.0;

struct PatchNode {
    int first = 0;  // its triangles: PatchTree::order[first, first + count)
    int count = 0;
    int firstChild = -1;  // its sub-patches: nodes[firstChild, firstChild + childCount)
    int childCount = 0;
    int parent = -1;  // -1 for a top-level patch
    double area = 0.0;
    Vec3 centroid;        // area-weighted mean of the triangle centroids (plain mean when area is 0)
    Vec3 normal;          // area-weighted mean normal, unit length; (0,0,0) when there is none
    double radius = 0.0;  // largest distance from the centroid to a corner of its triangles
};

// One object's patches. Every node's triangles are one range of `order`, and
// a node's children split its range into consecutive parts, in child order.
struct PatchTree {
    std::vector<int> order;        // triangle indices of the object, permuted
    std::vector<PatchNode> nodes;  // top-level patches and all their sub-patches
    std::vector<int> roots;        // the top-level patches, by node index, covering `order` in sequence
    std::vector<int> leafOf;       // triangle index -> its single-triangle node

    bool isLeaf(int node) const { return nodes[static_cast<size_t>(node)].childCount == 0; }
};

// The plain data the grouping needs, one entry per triangle.
struct PatchInput {
    std::vector<Vec3> centroids;
    std::vector<Vec3> normals;  // unit, or (0,0,0) for a degenerate triangle
    std::vector<double> areas;
    std::vector<std::array<int, 3>> corners;  // vertex indices
    std::vector<Vec3> vertices;
};

PatchInput patchInputOf(const SceneObject& object);

// Groups the triangles. cosThreshold is the smoothing cosine (settings'
// smoothThreshold); a value that is not a number or wider than
// kWidestPatchAngle is taken as that angle's cosine. Vertex indices out of
// range link nothing.
PatchTree buildPatchTree(const PatchInput& input, double patchSize, double cosThreshold);
PatchTree buildPatchTree(const SceneObject& object, double patchSize, double cosThreshold);
