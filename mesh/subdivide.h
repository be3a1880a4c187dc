#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Conforming subdivision: splits triangles until no edge is longer than
// maxEdge, so that an edge shared by two triangles (same end points, in
// either order, in the same or in different calls) is cut at bit-identical
// points on both sides and the welded mesh stays free of cracks and
// T-junctions.
//
// Every edge of length len is divided into ceil(len / maxEdge) equal
// segments. The points are computed from the edge's end points taken in a
// canonical (lexicographic) order, so they depend only on the edge. Each
// triangle is then filled from its edge points: by a regular grid when all
// three edges have the same count, otherwise by splitting its longest edge at
// its middle edge point towards the opposite corner (the new inner edge gets
// its own canonical points) and recursing. Children keep the parent's corner
// order, so every output triangle faces the way its parent did.
//
// Triangles whose edges are all within maxEdge are passed through unchanged.
// Returns false with a message in error (nothing appended) when maxEdge is
// not a positive finite number, a coordinate is not finite, or the output
// would exceed maxTriangles.
bool subdivideTriangles(const std::vector<MeshTriangle>& in, double maxEdge, std::size_t maxTriangles,
                        std::vector<MeshTriangle>& out, std::string& error);

// Number of equal segments an edge of this length is cut into (at least 1).
// Exposed for tests and for estimating output sizes.
std::size_t edgeSegmentCount(double length, double maxEdge);
