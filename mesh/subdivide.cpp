#include "mesh/subdivide.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "mesh/triangle_shape.h"

namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// Exact coordinates as a map key; -0 and 0 are one point.
struct PointKey {
    double x, y, z;
    bool operator==(const PointKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PointHash {
    std::size_t operator()(const PointKey& k) const {
        std::uint64_t h = 1469598103934665603ull;
        for (double d : {k.x + 0.0, k.y + 0.0, k.z + 0.0}) {
            std::uint64_t bits;
            std::memcpy(&bits, &d, sizeof bits);
            h = (h ^ bits) * 1099511628211ull;
            h ^= h >> 29;
        }
        return static_cast<std::size_t>(h);
    }
};

// An undirected edge: the two vertex ids, smaller first, in one word.
std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b) {
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(a) << 32) | b;
}

// The triangles using one edge: two inline (the usual, manifold case), more
// in Refiner::extraUsers_. frozen marks an edge that cannot be cut without a
// piece narrower than the weld tolerance.
struct EdgeUsers {
    std::uint32_t first = kNone;
    std::uint32_t second = kNone;
    bool more = false;
    bool frozen = false;
};

class Refiner {
  public:
    Refiner(double maxEdge, double tolerance, std::size_t budget)
        : maxEdgeSquared_(maxEdge * maxEdge), tolerance_(tolerance), budget_(budget) {}

    void addTriangle(const MeshTriangle& t, std::uint32_t object) {
        Tri tri;
        for (std::size_t c = 0; c < 3; ++c) tri.v[c] = pointId(t[c]);
        tri.object = object;
        const auto id = static_cast<std::uint32_t>(tris_.size());
        tris_.push_back(tri);
        blocked_.push_back(0);
        for (int k = 0; k < 3; ++k) addUser(edgeOf(id, k), id);
    }

    enum class Outcome { Done, OverBudget };

    Outcome run() {
        std::vector<std::uint32_t> stack;
        for (std::size_t t = tris_.size(); t-- > 0;)
            if (tooLong(static_cast<std::uint32_t>(t))) stack.push_back(static_cast<std::uint32_t>(t));
        std::vector<std::uint32_t> users;
        while (!stack.empty()) {
            const std::uint32_t t = stack.back();
            if (blocked_[t] || !tooLong(t)) {
                stack.pop_back();
                continue;
            }
            // Follow the longest-edge propagation path from t: through the
            // longest edge to a neighbour whose longest edge is longer still,
            // until an edge is the longest of all its triangles.
            std::uint32_t current = t;
            for (;;) {
                const std::uint64_t e = edgeOf(current, longestEdge(current));
                collectUsers(e, users);
                const auto next = std::find_if(users.begin(), users.end(), [&](std::uint32_t u) {
                    return edgeOf(u, longestEdge(u)) != e;
                });
                if (next != users.end()) {
                    current = *next;
                    continue;
                }
                const Outcome outcome = bisect(e, users, stack);
                if (outcome == Outcome::OverBudget) return outcome;
                if (!bisected_) {
                    edges_[e].frozen = true;
                    blocked_[t] = 1;
                    stack.pop_back();
                }
                break;
            }
        }
        return Outcome::Done;
    }

    // The result, per object in the order of the triangle ids, and the
    // triangles still longer than maxEdge.
    void collect(std::vector<MeshObject>& objects, SubdivisionReport& report) const {
        for (MeshObject& o : objects) o.triangles.clear();
        for (std::uint32_t t = 0; t < tris_.size(); ++t) {
            const Tri& tri = tris_[t];
            objects[tri.object].triangles.push_back(
                MeshTriangle{points_[tri.v[0]], points_[tri.v[1]], points_[tri.v[2]]});
            if (tooLong(t)) {
                ++report.keptLong;
                report.longestKept =
                    std::max(report.longestKept, std::sqrt(lengthSquared(edgeOf(t, longestEdge(t)))));
            }
        }
    }

  private:
    struct Tri {
        std::array<std::uint32_t, 3> v{};  // corner ids, front side counter-clockwise
        std::uint32_t object = 0;
    };

    std::uint32_t pointId(const Vec3& p) {
        const auto [it, added] =
            pointIds_.emplace(PointKey{p.x, p.y, p.z}, static_cast<std::uint32_t>(points_.size()));
        if (added) points_.push_back(p);
        return it->second;
    }

    // Edge k of a triangle runs from corner k to corner k + 1.
    std::uint64_t edgeOf(std::uint32_t t, int k) const {
        const Tri& tri = tris_[t];
        return edgeKey(tri.v[static_cast<std::size_t>(k)], tri.v[static_cast<std::size_t>((k + 1) % 3)]);
    }

    // Squared length computed from the smaller id to the larger, so an edge
    // has one length whichever triangle asks.
    double lengthSquared(std::uint64_t e) const {
        const Vec3 d = points_[static_cast<std::uint32_t>(e)] - points_[static_cast<std::uint32_t>(e >> 32)];
        return d.dot(d);
    }

    // Edges are ordered by length, ties by key: a strict total order, so
    // each triangle has one longest edge and propagation paths end.
    bool longer(std::uint64_t a, std::uint64_t b) const {
        const double la = lengthSquared(a), lb = lengthSquared(b);
        return la != lb ? la > lb : a > b;
    }

    int longestEdge(std::uint32_t t) const {
        int best = 0;
        for (int k = 1; k < 3; ++k)
            if (longer(edgeOf(t, k), edgeOf(t, best))) best = k;
        return best;
    }

    bool tooLong(std::uint32_t t) const { return lengthSquared(edgeOf(t, longestEdge(t))) > maxEdgeSquared_; }

    void addUser(std::uint64_t e, std::uint32_t t) {
        EdgeUsers& u = edges_[e];
        if (u.first == kNone) {
            u.first = t;
        } else if (u.second == kNone) {
            u.second = t;
        } else {
            u.more = true;
            extraUsers_[e].push_back(t);
        }
    }

    void replaceUser(std::uint64_t e, std::uint32_t from, std::uint32_t to) {
        EdgeUsers& u = edges_[e];
        if (u.first == from) {
            u.first = to;
        } else if (u.second == from) {
            u.second = to;
        } else {
            std::vector<std::uint32_t>& extra = extraUsers_[e];
            std::replace(extra.begin(), extra.end(), from, to);
        }
    }

    void collectUsers(std::uint64_t e, std::vector<std::uint32_t>& users) const {
        users.clear();
        const EdgeUsers& u = edges_.at(e);
        if (u.first != kNone) users.push_back(u.first);
        if (u.second != kNone) users.push_back(u.second);
        if (u.more) {
            const std::vector<std::uint32_t>& extra = extraUsers_.at(e);
            users.insert(users.end(), extra.begin(), extra.end());
        }
    }

    // Cuts edge e at its midpoint in every triangle that uses it (e is the
    // longest edge of each). Sets bisected_ to false, changing nothing, when
    // e is frozen or a piece would be too thin for the welding.
    Outcome bisect(std::uint64_t e, const std::vector<std::uint32_t>& users,
                   std::vector<std::uint32_t>& stack) {
        bisected_ = false;
        if (edges_[e].frozen) return Outcome::Done;
        const auto ia = static_cast<std::uint32_t>(e >> 32), ib = static_cast<std::uint32_t>(e);
        const Vec3 a = points_[ia], b = points_[ib];
        // The sum is commutative, so the midpoint does not depend on which
        // end comes first.
        const Vec3 m{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5, (a.z + b.z) * 0.5};
        for (std::uint32_t t : users) {
            const Tri& tri = tris_[t];
            const int k = localEdge(t, e);
            const Vec3& p = points_[tri.v[static_cast<std::size_t>(k)]];
            const Vec3& q = points_[tri.v[static_cast<std::size_t>((k + 1) % 3)]];
            const Vec3& c = points_[tri.v[static_cast<std::size_t>((k + 2) % 3)]];
            if (!keepsApartWhenWelded({p, m, c}, tolerance_) || !keepsApartWhenWelded({m, q, c}, tolerance_))
                return Outcome::Done;
        }
        if (tris_.size() + users.size() > budget_) return Outcome::OverBudget;
        const std::uint32_t im = pointId(m);
        for (std::uint32_t t : users) {
            const int k = localEdge(t, e);
            const std::uint32_t p = tris_[t].v[static_cast<std::size_t>(k)];
            const std::uint32_t q = tris_[t].v[static_cast<std::size_t>((k + 1) % 3)];
            const std::uint32_t c = tris_[t].v[static_cast<std::size_t>((k + 2) % 3)];
            const auto u = static_cast<std::uint32_t>(tris_.size());
            tris_.push_back(Tri{{im, q, c}, tris_[t].object});  // (m, q, c)
            blocked_.push_back(0);
            tris_[t].v = {p, im, c};  // (p, m, c): edge (c, p) stays with t
            blocked_[t] = 0;
            replaceUser(edgeKey(q, c), t, u);
            addUser(edgeKey(p, im), t);
            addUser(edgeKey(im, q), u);
            addUser(edgeKey(im, c), t);
            addUser(edgeKey(im, c), u);
            if (tooLong(u)) stack.push_back(u);
            if (tooLong(t)) stack.push_back(t);
        }
        edges_.erase(e);
        extraUsers_.erase(e);
        bisected_ = true;
        return Outcome::Done;
    }

    int localEdge(std::uint32_t t, std::uint64_t e) const {
        for (int k = 0; k < 3; ++k)
            if (edgeOf(t, k) == e) return k;
        return 0;  // unreachable: e is listed as an edge of t
    }

    double maxEdgeSquared_;
    double tolerance_;
    std::size_t budget_;
    std::vector<Vec3> points_;
    std::unordered_map<PointKey, std::uint32_t, PointHash> pointIds_;
    std::vector<Tri> tris_;
    std::vector<char> blocked_;  // per triangle: its propagation path ends at a frozen edge
    std::unordered_map<std::uint64_t, EdgeUsers> edges_;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> extraUsers_;
    bool bisected_ = false;
};

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

double longestEdgeLength(const MeshTriangle& t) {
    return std::max({(t[1] - t[0]).length(), (t[2] - t[1]).length(), (t[0] - t[2]).length()});
}

std::string overBudget(std::size_t maxTriangles) {
    return "subdividing would create more than " + std::to_string(maxTriangles) +
           " triangles; choose a larger maximum edge length";
}

}  // namespace

bool subdivideObjects(std::vector<MeshObject>& objects, double maxEdge, double weldTolerance,
                      std::size_t maxTriangles, SubdivisionReport& report, std::string& error) {
    report = SubdivisionReport{};
    if (!(maxEdge > 0.0) || !std::isfinite(maxEdge) || !(weldTolerance > 0.0) ||
        !std::isfinite(weldTolerance)) {
        error = "the maximum edge length must be a positive number";
        return false;
    }
    // A lower bound of the output, checked before any work: every piece has
    // edges of at most maxEdge, so a face needs at least its longest edge
    // over maxEdge pieces, and its area over that of an equilateral piece.
    const double pieceArea = std::sqrt(3.0) / 4.0 * maxEdge * maxEdge;
    double estimate = 0.0;
    for (const MeshObject& o : objects) {
        for (const MeshTriangle& t : o.triangles) {
            if (!finite(t[0]) || !finite(t[1]) || !finite(t[2])) {
                error = "a triangle has a coordinate that is not a finite number";
                return false;
            }
            const double area = (t[1] - t[0]).cross(t[2] - t[0]).length() / 2.0;
            estimate += std::max({1.0, longestEdgeLength(t) / maxEdge, area / pieceArea});
        }
    }
    if (!(estimate <= static_cast<double>(maxTriangles))) {
        error = overBudget(maxTriangles);
        return false;
    }

    Refiner refiner(maxEdge, weldTolerance, maxTriangles);
    for (std::size_t o = 0; o < objects.size(); ++o) {
        for (const MeshTriangle& t : objects[o].triangles) {
            ++report.trianglesBefore;
            if (!keepsApartWhenWelded(t, weldTolerance)) {
                ++report.dropped;
                report.droppedArea += (t[1] - t[0]).cross(t[2] - t[0]).length() / 2.0;
                continue;
            }
            report.smallestAngleBefore = std::min(report.smallestAngleBefore, smallestAngleDegrees(t));
            refiner.addTriangle(t, static_cast<std::uint32_t>(o));
        }
    }
    if (refiner.run() == Refiner::Outcome::OverBudget) {
        error = overBudget(maxTriangles);
        return false;
    }
    refiner.collect(objects, report);
    for (const MeshObject& o : objects) {
        report.trianglesAfter += o.triangles.size();
        for (const MeshTriangle& t : o.triangles)
            report.smallestAngleAfter = std::min(report.smallestAngleAfter, smallestAngleDegrees(t));
    }
    return true;
}
