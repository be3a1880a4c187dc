#pragma once

#include <vector>

#include "radiosity/face_culling.h"
#include "scene/vec3.h"

struct SceneObject;

// Which triangles lie close in front of a shooter: the question behind
// refining a patch shot. A hemicube at a patch's centre stands in for the
// whole patch only for receivers far away compared with the patch's size;
// the form factor to a receiver at distance d from a patch of radius r is off
// by the order of (r / d)^2. So a patch whose nearest potential receiver is
// nearer than r / ratio shoots from its sub-patches instead (the refinement
// oracle of hierarchical radiosity).
//
// A potential receiver is a triangle of non-zero area that reaches more than
// a small tolerance in front of the shooter's plane and turns its front side
// towards some point of the shooter's bounding sphere. Its distance is measured to its axis-aligned
// bounding box, which is never farther than the triangle itself, so the test
// errs towards refining. Visibility is not considered.
//
// The index is a bounding volume hierarchy over the triangles' boxes, built
// once per scene; the triangles' positions must not change afterwards.
// A shooter node as the nearness test sees it.
struct NearQuery {
    Vec3 centre;
    Vec3 normal;             // unit
    double radius = 0.0;     // bounding radius of the shooter
    double reach = 0.0;      // receivers strictly nearer than this (box distance) are near
    double tolerance = 0.0;  // how far in front of the shooter's plane a receiver must reach
};

class ReceiverIndex {
  public:
    ReceiverIndex() = default;
    explicit ReceiverIndex(const std::vector<SceneObject>& objects);

    // Every near potential receiver, as scene-wide triangle numbers (objects
    // in order, triangles in order), in no particular order, appended to out.
    void collectNear(const NearQuery& q, std::vector<int>& out) const;

    // The same test for one triangle, by its scene-wide number; false for a
    // triangle the index does not hold (zero area, coordinates not finite).
    bool isNear(int triangle, const NearQuery& q) const;

    // Every indexed triangle whose box lies within `radius` of `centre`,
    // whichever way it faces.
    void collectInSphere(const Vec3& centre, double radius, std::vector<int>& out) const;

    // The triangle's bounding box; empty (lo above hi) for one the index
    // does not hold.
    Box boxOf(int triangle) const;

    // The largest distance from `centre` to a corner of the triangle's box.
    double farthestCorner(int triangle, const Vec3& centre) const;

    int triangleCount() const { return static_cast<int>(entries_.size()); }

  private:
    struct Entry {
        Vec3 lo, hi;  // bounding box
        Vec3 corners[3];
        Vec3 normal;
        Vec3 centroid;
        int number = 0;  // scene-wide triangle number
    };
    struct Node {
        Vec3 lo, hi;
        int first = 0;  // entries_[first, first + count), leaves only
        int count = 0;
        int left = -1;  // children, inner nodes only
        int right = -1;
    };

    int build(int first, int count);
    // Calls visit(entry) for every entry whose box lies within reach of the
    // centre (and, with a normal, reaches beyond tolerance in front of its
    // plane), until visit returns true; returns whether it did.
    template <class Visit>
    bool search(const Vec3& centre, double reach, const Vec3* normal, double tolerance, Visit&& visit) const;
    static bool qualifies(const Entry& e, const NearQuery& q);

    std::vector<Entry> entries_;
    std::vector<Node> nodes_;
    std::vector<int> slotOf_;  // scene-wide triangle number -> index into entries_, -1 when not held
};

// Squared distance from a point to an axis-aligned box (0 inside).
double boxDistanceSquared(const Vec3& p, const Vec3& lo, const Vec3& hi);
