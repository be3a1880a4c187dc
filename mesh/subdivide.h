#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Conforming subdivision by longest-edge bisection (Rivara): a triangle is
// only ever cut from the middle of its longest edge to the opposite corner,
// and an edge is only cut once it is the longest edge of every triangle
// that shares it (the end of its longest-edge propagation path), with all of
// them cut at once. So the mesh never has a T-junction, each split point is
// the midpoint (a + b) / 2 of its edge, the same bits for every triangle and
// object sharing the edge, and every piece keeps at least half the smallest
// angle of the face it came from. Children keep their parent's corner order,
// so every piece faces the way its face did.
//
// All objects are subdivided together: triangles of different objects that
// share an edge (the same two end points) are split alike.
//
// Pieces stay clear of the renderer's welding: a face narrower than the
// weld tolerance, or with two corners closer than it, is left out before
// subdividing (counted in `dropped`), and an edge is not cut when a piece
// would come out that narrow; its triangles then stay longer than maxEdge
// (counted in `keptLong`).

struct SubdivisionReport {
    std::size_t trianglesBefore = 0;     // input faces, dropped ones included
    std::size_t trianglesAfter = 0;      // output triangles
    std::size_t dropped = 0;             // input faces too thin to weld, left out
    double droppedArea = 0.0;            // their area
    std::size_t keptLong = 0;            // output triangles still longer than maxEdge
    double longestKept = 0.0;            // their longest edge
    double smallestAngleBefore = 180.0;  // degrees, over the faces kept
    double smallestAngleAfter = 180.0;   // degrees, over the output
};

// Subdivides every object's triangles in place until no edge is longer than
// maxEdge (as far as the weld tolerance allows). Fails, leaving the objects
// unchanged, when maxEdge or weldTolerance is not a positive finite number, a
// coordinate is not finite, or the result would exceed maxTriangles in all.
bool subdivideObjects(std::vector<MeshObject>& objects, double maxEdge, double weldTolerance,
                      std::size_t maxTriangles, SubdivisionReport& report, std::string& error);
