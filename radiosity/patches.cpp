#include "radiosity/patches.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "scene/scene.h"

namespace {

// Centroid extents within this fraction of patchSize still count as fitting:
// slab widths are computed, so a slab can come out an ulp wider.
constexpr double kSizeSlack = 1e-9;

struct Range {
    int first = 0;
    int count = 0;
};

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

double axisOf(const Vec3& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// Works on one object's triangles: the permuted order, the vertex-to-triangle
// links for connectivity, and scratch marks for the searches.
class Grouper {
  public:
    Grouper(const PatchInput& in, double patchSize, double cosThreshold)
        : in_(in), n_(static_cast<int>(in.centroids.size())), size_(patchSize), cos_(cosThreshold) {
        usable_.resize(static_cast<size_t>(n_));
        for (int t = 0; t < n_; ++t) {
            const size_t i = static_cast<size_t>(t);
            const double a = in.areas[i];
            usable_[i] = a > 0.0 && std::isfinite(a) && finite(in.centroids[i]) &&
                         in.normals[i].dot(in.normals[i]) > 0.5;
        }
        linkVertices();
        mark_.assign(static_cast<size_t>(n_), 0);
    }

    PatchTree build() {
        PatchTree tree;
        order_.clear();
        order_.reserve(static_cast<size_t>(n_));
        std::vector<Range> tops;
        if (!(size_ > 0.0)) {
            for (int t = 0; t < n_; ++t) {
                order_.push_back(t);
                tops.push_back({t, 1});
            }
        } else {
            for (const Range& region : coplanarRegions()) splitToPatchSize(region, tops);
        }
        for (const Range& r : tops) {
            tree.roots.push_back(static_cast<int>(tree.nodes.size()));
            tree.nodes.push_back(makeNode(r, -1));
        }
        std::vector<int> stack(tree.roots.rbegin(), tree.roots.rend());
        while (!stack.empty()) {
            const int index = stack.back();
            stack.pop_back();
            const Range r{tree.nodes[static_cast<size_t>(index)].first,
                          tree.nodes[static_cast<size_t>(index)].count};
            if (r.count < 2) continue;
            const std::vector<Range> parts = splitInTwo(r);
            PatchNode& node = tree.nodes[static_cast<size_t>(index)];
            node.firstChild = static_cast<int>(tree.nodes.size());
            node.childCount = static_cast<int>(parts.size());
            for (const Range& p : parts) tree.nodes.push_back(makeNode(p, index));
            for (int c = static_cast<int>(parts.size()) - 1; c >= 0; --c)
                stack.push_back(tree.nodes[static_cast<size_t>(index)].firstChild + c);
        }
        tree.leafOf.assign(static_cast<size_t>(n_), -1);
        for (size_t i = 0; i < tree.nodes.size(); ++i) {
            const PatchNode& node = tree.nodes[i];
            if (node.count == 1)
                tree.leafOf[static_cast<size_t>(order_[static_cast<size_t>(node.first)])] =
                    static_cast<int>(i);
        }
        tree.order = std::move(order_);
        return tree;
    }

  private:
    void linkVertices() {
        const int vertexCount = static_cast<int>(in_.vertices.size());
        linkStart_.assign(static_cast<size_t>(vertexCount) + 1, 0);
        auto inRange = [&](int v) { return v >= 0 && v < vertexCount; };
        for (int t = 0; t < n_; ++t)
            for (int v : in_.corners[static_cast<size_t>(t)])
                if (inRange(v)) ++linkStart_[static_cast<size_t>(v) + 1];
        for (size_t v = 0; v < static_cast<size_t>(vertexCount); ++v) linkStart_[v + 1] += linkStart_[v];
        links_.resize(static_cast<size_t>(linkStart_.back()));
        std::vector<int> fill(linkStart_.begin(), linkStart_.end() - 1);
        for (int t = 0; t < n_; ++t)
            for (int v : in_.corners[static_cast<size_t>(t)])
                if (inRange(v)) links_[static_cast<size_t>(fill[static_cast<size_t>(v)]++)] = t;
    }

    // Calls f(u) for every triangle sharing a vertex with t (possibly more
    // than once, and t itself).
    template <class F>
    void forNeighbours(int t, F&& f) const {
        const int vertexCount = static_cast<int>(in_.vertices.size());
        for (int v : in_.corners[static_cast<size_t>(t)]) {
            if (v < 0 || v >= vertexCount) continue;
            for (int k = linkStart_[static_cast<size_t>(v)]; k < linkStart_[static_cast<size_t>(v) + 1]; ++k)
                f(links_[static_cast<size_t>(k)]);
        }
    }

    // Flood fill from each unassigned triangle in index order, taking
    // linked triangles whose normal is within the patch angle of the seed's.
    std::vector<Range> coplanarRegions() {
        std::vector<Range> regions;
        std::vector<char> taken(static_cast<size_t>(n_), 0);
        for (int seed = 0; seed < n_; ++seed) {
            if (taken[static_cast<size_t>(seed)]) continue;
            taken[static_cast<size_t>(seed)] = 1;
            const int first = static_cast<int>(order_.size());
            order_.push_back(seed);
            if (usable_[static_cast<size_t>(seed)]) {
                const Vec3 n = in_.normals[static_cast<size_t>(seed)];
                for (size_t head = static_cast<size_t>(first); head < order_.size(); ++head) {
                    forNeighbours(order_[head], [&](int u) {
                        const size_t i = static_cast<size_t>(u);
                        if (taken[i] || !usable_[i] || !(in_.normals[i].dot(n) >= cos_)) return;
                        taken[i] = 1;
                        order_.push_back(u);
                    });
                }
            }
            regions.push_back({first, static_cast<int>(order_.size()) - first});
        }
        return regions;
    }

    // Cuts a region into slabs no wider than patchSize along its widest
    // centroid axis, then into connected parts, until every part fits.
    void splitToPatchSize(const Range& region, std::vector<Range>& tops) {
        std::vector<Range> stack{region};
        while (!stack.empty()) {
            const Range r = stack.back();
            stack.pop_back();
            int axis = 0;
            double lo = 0.0;
            const double extent = widestAxis(r, axis, lo);
            if (r.count < 2 || extent <= size_ * (1.0 + kSizeSlack)) {
                tops.push_back(r);
                continue;
            }
            const double slabs = std::min(std::ceil(extent / size_), static_cast<double>(r.count));
            std::vector<Range> parts = splitIntoSlabs(r, axis, lo, extent, static_cast<int>(slabs));
            std::vector<Range> pieces;
            for (const Range& p : parts) {
                for (const Range& c : connectedParts(p)) pieces.push_back(c);
            }
            for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) stack.push_back(*it);
        }
    }

    // Two halves at the middle of the widest centroid axis, each cut into
    // its connected parts.
    std::vector<Range> splitInTwo(const Range& r) {
        int axis = 0;
        double lo = 0.0;
        const double extent = widestAxis(r, axis, lo);
        std::vector<Range> pieces;
        for (const Range& p : splitIntoSlabs(r, axis, lo, extent, 2)) {
            for (const Range& c : connectedParts(p)) pieces.push_back(c);
        }
        return pieces;
    }

    // The largest extent of the range's centroids over x, y and z; its axis
    // and lowest coordinate.
    double widestAxis(const Range& r, int& axis, double& lo) const {
        double best = -1.0;
        for (int a = 0; a < 3; ++a) {
            double mn = INFINITY, mx = -INFINITY;
            for (int k = r.first; k < r.first + r.count; ++k) {
                const double c =
                    axisOf(in_.centroids[static_cast<size_t>(order_[static_cast<size_t>(k)])], a);
                mn = std::min(mn, c);
                mx = std::max(mx, c);
            }
            if (mx - mn > best) {
                best = mx - mn;
                axis = a;
                lo = mn;
            }
        }
        return best;
    }

    // Stable sort of the range into `pieces` equal slabs along the axis,
    // empty slabs dropped. When that leaves one part (all centroids equal,
    // or an extent too large or small to divide), the range is halved at the
    // median coordinate instead, so every split makes progress.
    std::vector<Range> splitIntoSlabs(const Range& r, int axis, double lo, double extent, int pieces) {
        const double width = extent / pieces;
        std::vector<int> slabOf(static_cast<size_t>(r.count));
        std::vector<int> counts(static_cast<size_t>(pieces), 0);
        for (int k = 0; k < r.count; ++k) {
            const Vec3& c = in_.centroids[static_cast<size_t>(order_[static_cast<size_t>(r.first + k)])];
            double s = (axisOf(c, axis) - lo) / width;
            if (!(s >= 0.0)) s = 0.0;
            const int slab = s >= pieces - 1 ? pieces - 1 : static_cast<int>(s);
            slabOf[static_cast<size_t>(k)] = slab;
            ++counts[static_cast<size_t>(slab)];
        }
        std::vector<Range> parts;
        std::vector<int> start(static_cast<size_t>(pieces), 0);
        int at = 0;
        for (int s = 0; s < pieces; ++s) {
            start[static_cast<size_t>(s)] = at;
            if (counts[static_cast<size_t>(s)] > 0)
                parts.push_back({r.first + at, counts[static_cast<size_t>(s)]});
            at += counts[static_cast<size_t>(s)];
        }
        auto begin = order_.begin() + r.first;
        if (parts.size() < 2) {
            std::stable_sort(begin, begin + r.count, [&](int a, int b) {
                return axisOf(in_.centroids[static_cast<size_t>(a)], axis) <
                       axisOf(in_.centroids[static_cast<size_t>(b)], axis);
            });
            const int half = r.count / 2;
            return {{r.first, half}, {r.first + half, r.count - half}};
        }
        scratch_.assign(begin, begin + r.count);
        for (int k = 0; k < r.count; ++k) {
            const int slab = slabOf[static_cast<size_t>(k)];
            order_[static_cast<size_t>(r.first + start[static_cast<size_t>(slab)]++)] =
                scratch_[static_cast<size_t>(k)];
        }
        return parts;
    }

    // Reorders the range into its connected parts (linked through shared
    // vertices within the range), each part in search order from its first
    // member in range order.
    std::vector<Range> connectedParts(const Range& r) {
        const int member = ++stamp_;
        const int done = ++stamp_;
        for (int k = r.first; k < r.first + r.count; ++k)
            mark_[static_cast<size_t>(order_[static_cast<size_t>(k)])] = member;
        scratch_.clear();
        std::vector<Range> parts;
        for (int k = r.first; k < r.first + r.count; ++k) {
            const int seed = order_[static_cast<size_t>(k)];
            if (mark_[static_cast<size_t>(seed)] != member) continue;
            mark_[static_cast<size_t>(seed)] = done;
            const size_t head0 = scratch_.size();
            scratch_.push_back(seed);
            for (size_t head = head0; head < scratch_.size(); ++head) {
                forNeighbours(scratch_[head], [&](int u) {
                    if (mark_[static_cast<size_t>(u)] != member) return;
                    mark_[static_cast<size_t>(u)] = done;
                    scratch_.push_back(u);
                });
            }
            parts.push_back({r.first + static_cast<int>(head0), static_cast<int>(scratch_.size() - head0)});
        }
        std::copy(scratch_.begin(), scratch_.end(), order_.begin() + r.first);
        return parts;
    }

    PatchNode makeNode(const Range& r, int parent) const {
        PatchNode node;
        node.first = r.first;
        node.count = r.count;
        node.parent = parent;
        Vec3 weighted, plain, normalSum;
        for (int k = r.first; k < r.first + r.count; ++k) {
            const size_t t = static_cast<size_t>(order_[static_cast<size_t>(k)]);
            const Vec3& c = in_.centroids[t];
            const double a = usable_[t] ? in_.areas[t] : 0.0;
            node.area += a;
            weighted = weighted + Vec3(c.x * a, c.y * a, c.z * a);
            plain = plain + c;
            const Vec3& n = in_.normals[t];
            normalSum = normalSum + Vec3(n.x * a, n.y * a, n.z * a);
        }
        if (node.area > 0.0) {
            node.centroid = Vec3(weighted.x / node.area, weighted.y / node.area, weighted.z / node.area);
        } else {
            node.centroid = Vec3(plain.x / r.count, plain.y / r.count, plain.z / r.count);
        }
        const double nl = normalSum.length();
        if (nl > 0.0 && std::isfinite(nl))
            node.normal = Vec3(normalSum.x / nl, normalSum.y / nl, normalSum.z / nl);
        const int vertexCount = static_cast<int>(in_.vertices.size());
        double r2 = 0.0;
        for (int k = r.first; k < r.first + r.count; ++k) {
            for (int v : in_.corners[static_cast<size_t>(order_[static_cast<size_t>(k)])]) {
                if (v < 0 || v >= vertexCount) continue;
                const Vec3 d = in_.vertices[static_cast<size_t>(v)] - node.centroid;
                r2 = std::max(r2, d.dot(d));
            }
        }
        node.radius = std::sqrt(r2);
        return node;
    }

    const PatchInput& in_;
    int n_;
    double size_;
    double cos_;
    std::vector<char> usable_;
    std::vector<int> linkStart_;
    std::vector<int> links_;
    std::vector<int> order_;
    std::vector<int> scratch_;
    std::vector<int> mark_;
    int stamp_ = 0;
};

}  // namespace

PatchInput patchInputOf(const SceneObject& object) {
    PatchInput in;
    const size_t n = object.triangles.size();
    in.centroids.reserve(n);
    in.normals.reserve(n);
    in.areas.reserve(n);
    in.corners.reserve(n);
    for (const auto& t : object.triangles) {
        in.centroids.push_back(t->centroid);
        in.normals.push_back(t->normal);
        in.areas.push_back(t->area);
        in.corners.push_back(t->cornerIndices);
    }
    in.vertices.reserve(object.vertices.size());
    for (const auto& v : object.vertices) in.vertices.push_back(v->position);
    return in;
}

PatchTree buildPatchTree(const PatchInput& input, double patchSize, double cosThreshold) {
    const double widest = std::cos(kWidestPatchAngle * 3.141592653589793 / 180.0);
    double c = cosThreshold;
    if (!(c >= widest)) c = widest;
    // Normals of coplanar triangles differ in their last bits: a smoothing
    // angle of 0 still groups a flat surface.
    c = std::min(c, 1.0 - 1e-12);
    return Grouper(input, patchSize, c).build();
}

PatchTree buildPatchTree(const SceneObject& object, double patchSize, double cosThreshold) {
    return buildPatchTree(patchInputOf(object), patchSize, cosThreshold);
}
