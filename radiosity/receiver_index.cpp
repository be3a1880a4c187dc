#include "radiosity/receiver_index.h"

#include <algorithm>
#include <cmath>

#include "scene/scene.h"

namespace {

constexpr int kLeafSize = 4;

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vec3 lower(const Vec3& a, const Vec3& b) {
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
}

Vec3 upper(const Vec3& a, const Vec3& b) {
    return {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

double axisOf(const Vec3& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

// The largest value of (p - centre) . normal over the box's corners.
double furthestInFront(const Vec3& lo, const Vec3& hi, const Vec3& centre, const Vec3& normal) {
    const double x = (normal.x >= 0.0 ? hi.x : lo.x) - centre.x;
    const double y = (normal.y >= 0.0 ? hi.y : lo.y) - centre.y;
    const double z = (normal.z >= 0.0 ? hi.z : lo.z) - centre.z;
    return x * normal.x + y * normal.y + z * normal.z;
}

}  // namespace

double boxDistanceSquared(const Vec3& p, const Vec3& lo, const Vec3& hi) {
    const double dx = std::max({lo.x - p.x, 0.0, p.x - hi.x});
    const double dy = std::max({lo.y - p.y, 0.0, p.y - hi.y});
    const double dz = std::max({lo.z - p.z, 0.0, p.z - hi.z});
    return dx * dx + dy * dy + dz * dz;
}

ReceiverIndex::ReceiverIndex(const std::vector<SceneObject>& objects) {
    int number = 0;
    for (const SceneObject& obj : objects) {
        for (const auto& t : obj.triangles) {
            const int id = number++;
            if (!(t->area > 0.0) || !std::isfinite(t->area)) continue;
            Entry e;
            for (int k = 0; k < 3; ++k) e.corners[k] = t->corners[static_cast<size_t>(k)]->position;
            if (!finite(e.corners[0]) || !finite(e.corners[1]) || !finite(e.corners[2])) continue;
            e.lo = lower(lower(e.corners[0], e.corners[1]), e.corners[2]);
            e.hi = upper(upper(e.corners[0], e.corners[1]), e.corners[2]);
            e.normal = t->normal;
            e.centroid = t->centroid;
            e.number = id;
            entries_.push_back(e);
        }
    }
    if (!entries_.empty()) {
        nodes_.reserve(2 * entries_.size() / kLeafSize + 1);
        build(0, static_cast<int>(entries_.size()));
    }
    slotOf_.assign(static_cast<size_t>(number), -1);
    for (size_t k = 0; k < entries_.size(); ++k)
        slotOf_[static_cast<size_t>(entries_[k].number)] = static_cast<int>(k);
}

int ReceiverIndex::build(int first, int count) {
    const int index = static_cast<int>(nodes_.size());
    nodes_.emplace_back();
    Vec3 lo = entries_[static_cast<size_t>(first)].lo, hi = entries_[static_cast<size_t>(first)].hi;
    Vec3 clo = entries_[static_cast<size_t>(first)].centroid, chi = clo;
    for (int k = first + 1; k < first + count; ++k) {
        const Entry& e = entries_[static_cast<size_t>(k)];
        lo = lower(lo, e.lo);
        hi = upper(hi, e.hi);
        clo = lower(clo, e.centroid);
        chi = upper(chi, e.centroid);
    }
    nodes_[static_cast<size_t>(index)].lo = lo;
    nodes_[static_cast<size_t>(index)].hi = hi;
    if (count <= kLeafSize) {
        nodes_[static_cast<size_t>(index)].first = first;
        nodes_[static_cast<size_t>(index)].count = count;
        return index;
    }
    const Vec3 spread = chi - clo;
    const int axis = spread.x >= spread.y && spread.x >= spread.z ? 0 : (spread.y >= spread.z ? 1 : 2);
    const int half = count / 2;
    auto begin = entries_.begin() + first;
    std::nth_element(begin, begin + half, begin + count, [axis](const Entry& a, const Entry& b) {
        return axisOf(a.centroid, axis) < axisOf(b.centroid, axis);
    });
    const int left = build(first, half);
    const int right = build(first + half, count - half);
    nodes_[static_cast<size_t>(index)].left = left;
    nodes_[static_cast<size_t>(index)].right = right;
    return index;
}

bool ReceiverIndex::qualifies(const Entry& e, const NearQuery& q) {
    if (!(boxDistanceSquared(q.centre, e.lo, e.hi) < q.reach * q.reach)) return false;
    double ahead = -INFINITY;
    for (const Vec3& p : e.corners) ahead = std::max(ahead, (p - q.centre).dot(q.normal));
    if (!(ahead > q.tolerance)) return false;
    // Some point of the shooter's sphere lies in front of the receiver.
    return e.normal.dot(q.centre - e.centroid) > -q.radius;
}

template <class Visit>
bool ReceiverIndex::search(const Vec3& centre, double reach, const Vec3* normal, double tolerance,
                           Visit&& visit) const {
    if (nodes_.empty() || !(reach > 0.0)) return false;
    const double reach2 = reach * reach;
    // Median splits keep the depth near log2(triangles / leaf size).
    int stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[static_cast<size_t>(stack[--top])];
        if (!(boxDistanceSquared(centre, node.lo, node.hi) < reach2)) continue;
        if (normal != nullptr && !(furthestInFront(node.lo, node.hi, centre, *normal) > tolerance)) continue;
        if (node.left < 0) {
            for (int k = node.first; k < node.first + node.count; ++k) {
                if (visit(entries_[static_cast<size_t>(k)])) return true;
            }
            continue;
        }
        stack[top++] = node.left;
        stack[top++] = node.right;
    }
    return false;
}

void ReceiverIndex::collectNear(const NearQuery& q, std::vector<int>& out) const {
    search(q.centre, q.reach, &q.normal, q.tolerance, [&](const Entry& e) {
        if (qualifies(e, q)) out.push_back(e.number);
        return false;
    });
}

bool ReceiverIndex::isNear(int triangle, const NearQuery& q) const {
    if (triangle < 0 || triangle >= static_cast<int>(slotOf_.size())) return false;
    const int slot = slotOf_[static_cast<size_t>(triangle)];
    return slot >= 0 && qualifies(entries_[static_cast<size_t>(slot)], q);
}

void ReceiverIndex::collectInSphere(const Vec3& centre, double radius, std::vector<int>& out) const {
    const double r2 = radius * radius;
    search(centre, radius, nullptr, 0.0, [&](const Entry& e) {
        if (boxDistanceSquared(centre, e.lo, e.hi) < r2) out.push_back(e.number);
        return false;
    });
}

double ReceiverIndex::farthestCorner(int triangle, const Vec3& centre) const {
    if (triangle < 0 || triangle >= static_cast<int>(slotOf_.size())) return 0.0;
    const int slot = slotOf_[static_cast<size_t>(triangle)];
    if (slot < 0) return 0.0;
    const Entry& e = entries_[static_cast<size_t>(slot)];
    const double dx = std::max(std::fabs(e.lo.x - centre.x), std::fabs(e.hi.x - centre.x));
    const double dy = std::max(std::fabs(e.lo.y - centre.y), std::fabs(e.hi.y - centre.y));
    const double dz = std::max(std::fabs(e.lo.z - centre.z), std::fabs(e.hi.z - centre.z));
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Box ReceiverIndex::boxOf(int triangle) const {
    const int slot = triangle >= 0 && triangle < static_cast<int>(slotOf_.size())
                         ? slotOf_[static_cast<size_t>(triangle)]
                         : -1;
    if (slot < 0) return {Vec3(1, 1, 1), Vec3(-1, -1, -1)};
    return {entries_[static_cast<size_t>(slot)].lo, entries_[static_cast<size_t>(slot)].hi};
}
