#include "scene/scene.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>

void Scene::resetSettings() {
    settings = Settings{};
    cameraPos.set(0.0, -20.0, 0.0);
    cameraLookAt.set(0.0, 0.0, 0.0);
    cameraUp.set(0.0, 0.0, 1.0);
}

void Triangle::setCorners(Vertex* v0, Vertex* v1, Vertex* v2, int i0, int i1, int i2) {
    corners = {v0, v1, v2};
    cornerIndices = {i0, i1, i2};
}

void Triangle::computeNormal() {
    const Vec3& p0 = corners[0]->position;
    const Vec3& p1 = corners[1]->position;
    const Vec3& p2 = corners[2]->position;
    // Sums left to right, as the stored normals (and so smoothing and
    // culling decisions) must be reproducible bit for bit.
    normal.x = p0.y * (p1.z - p2.z) + p1.y * (p2.z - p0.z) + p2.y * (p0.z - p1.z);
    normal.y = p0.z * (p1.x - p2.x) + p1.z * (p2.x - p0.x) + p2.z * (p0.x - p1.x);
    normal.z = p0.x * (p1.y - p2.y) + p1.x * (p2.y - p0.y) + p2.x * (p0.y - p1.y);
    double len = normal.length();
    if (!(len > 1e-150 && len < 1e150)) {
        // The squares in the length under- or overflow for extreme
        // coordinates; scale by the largest component first so the result
        // is still a unit vector. Ordinary triangles never take this path.
        const double m = std::max({std::fabs(normal.x), std::fabs(normal.y), std::fabs(normal.z)});
        if (m > 0.0 && std::isfinite(m)) {
            normal = normal / m;
            len = normal.length();
        }
    }
    if (len > 0.0 && std::isfinite(len)) {
        normal = normal.normalized();
    } else {
        // A degenerate (zero-area) triangle has no direction; (0,0,0) keeps
        // NaN out of smoothing and display, and it can never shoot.
        normal.set(0.0, 0.0, 0.0);
    }
}

void Triangle::computeArea() {
    const Vec3 a = corners[1]->position - corners[0]->position;
    const Vec3 b = corners[2]->position - corners[0]->position;
    area = a.cross(b).length() / 2.0;
}

void Triangle::computeCentroid() {
    Vec3 sum;  // from (0, 0, 0), corner by corner
    for (const Vertex* v : corners) sum = sum + v->position;
    centroid = sum / 3.0;
}

int weldKey(double c) {
    const double product = c * 1000.0;
    // Only values strictly inside the 64-bit range truncate meaningfully;
    // 2^63 itself is out of range. NaN fails both comparisons.
    if (!(product > -9223372036854775808.0 && product < 9223372036854775808.0)) return 0;
    const auto wide = static_cast<std::int64_t>(product);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

int weldBucket(double x, double y, double z) {
    const auto key = static_cast<std::uint32_t>(weldKey(x)) ^ static_cast<std::uint32_t>(weldKey(y)) ^
                     static_cast<std::uint32_t>(weldKey(z));
    return static_cast<int>(key % kWeldBuckets);
}

void SceneObject::reserveTriangles(long long capacity) {
    // The configured count is only a hint. Cap what is reserved up front so a
    // mistyped 2000000000 costs nothing; a real file that large still loads,
    // growing the arrays as it goes.
    constexpr long long kMaxReserve = 1 << 20;
    const long long n = std::clamp(capacity, 0LL, kMaxReserve);
    triangles.reserve(static_cast<size_t>(n));
    vertices.reserve(static_cast<size_t>(std::min(3 * n, kMaxReserve)));
}

int SceneObject::findOrAddVertex(double x, double y, double z, Triangle* t) {
    if (weldTable.size() != kWeldBuckets) weldTable.resize(kWeldBuckets);
    std::vector<WeldNode>& chain = weldTable[static_cast<size_t>(weldBucket(x, y, z))];
    // Oldest match wins: the chain is in order of creation.
    for (const WeldNode& node : chain) {
        const Vec3& p = node.vertex->position;
        if (std::fabs(p.x - x) < kWeldTolerance && std::fabs(p.y - y) < kWeldTolerance &&
            std::fabs(p.z - z) < kWeldTolerance) {
            node.vertex->addTriangle(t);
            return node.index;
        }
    }
    const int index = vertexCount();
    vertices.push_back(std::make_unique<Vertex>(Vec3(x, y, z)));
    Vertex* v = vertices.back().get();
    v->addTriangle(t);
    chain.push_back(WeldNode{v, index});
    return index;
}

void SceneObject::freeWeldTable() {
    // Release the memory as well, not just the contents: the table only
    // lives for the load.
    std::vector<std::vector<WeldNode>>().swap(weldTable);
}
