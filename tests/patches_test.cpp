// Patch grouping: every tree is checked whole (cover, ranges, connectivity,
// flatness, sizes, aggregates) against brute-force recomputation.

#include "radiosity/patches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>

#include "scene_fixture.h"

namespace {

using fixture::Corners;

constexpr double kPi = 3.141592653589793;
const double kCos2 = std::cos(2.0 * kPi / 180.0);

// A grid of cells with some of them left out; origin + i du + j dv.
std::vector<Corners> cells(const Vec3& origin, const Vec3& du, const Vec3& dv, int nx, int ny,
                           const std::function<bool(int, int)>& keep) {
    std::vector<Corners> out;
    auto at = [&](int i, int j) {
        return Vec3(origin.x + i * du.x + j * dv.x, origin.y + i * du.y + j * dv.y,
                    origin.z + i * du.z + j * dv.z);
    };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            if (!keep(i, j)) continue;
            out.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
            out.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
        }
    }
    return out;
}

std::vector<Corners> join(std::vector<Corners> a, const std::vector<Corners>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<int> trianglesOf(const PatchTree& tree, const PatchNode& node) {
    return std::vector<int>(tree.order.begin() + node.first, tree.order.begin() + node.first + node.count);
}

bool connected(const PatchInput& in, const std::vector<int>& tris) {
    std::set<int> left(tris.begin() + 1, tris.end());
    std::vector<int> queue{tris.front()};
    for (size_t head = 0; head < queue.size(); ++head) {
        const auto& c = in.corners[static_cast<size_t>(queue[head])];
        for (auto it = left.begin(); it != left.end();) {
            const auto& d = in.corners[static_cast<size_t>(*it)];
            const bool shares = std::any_of(
                c.begin(), c.end(), [&](int v) { return std::find(d.begin(), d.end(), v) != d.end(); });
            if (shares) {
                queue.push_back(*it);
                it = left.erase(it);
            } else {
                ++it;
            }
        }
    }
    return left.empty();
}

double centroidExtent(const PatchInput& in, const std::vector<int>& tris) {
    double widest = 0.0;
    for (double Vec3::*axis : {&Vec3::x, &Vec3::y, &Vec3::z}) {
        double lo = INFINITY, hi = -INFINITY;
        for (int t : tris) {
            lo = std::min(lo, in.centroids[static_cast<size_t>(t)].*axis);
            hi = std::max(hi, in.centroids[static_cast<size_t>(t)].*axis);
        }
        widest = std::max(widest, hi - lo);
    }
    return widest;
}

bool usable(const PatchInput& in, int t) {
    return in.areas[static_cast<size_t>(t)] > 0.0 &&
           in.normals[static_cast<size_t>(t)].dot(in.normals[static_cast<size_t>(t)]) > 0.5;
}

// Every structural promise of a tree; sizes against patchSize, flatness
// against the cosine the tree was built with.
void expectSoundTree(const PatchInput& in, const PatchTree& tree, double patchSize, double cosine) {
    const int n = static_cast<int>(in.centroids.size());
    std::vector<int> sorted = tree.order;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> all(static_cast<size_t>(n));
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(sorted, all) << "order is not a permutation of the triangles";
    int next = 0;
    for (int root : tree.roots) {
        const PatchNode& node = tree.nodes[static_cast<size_t>(root)];
        EXPECT_EQ(node.parent, -1);
        EXPECT_EQ(node.first, next) << "roots do not cover the order in sequence";
        next = node.first + node.count;
        const std::vector<int> tris = trianglesOf(tree, node);
        EXPECT_TRUE(tris.size() == 1 || centroidExtent(in, tris) <= patchSize * (1 + 1e-9))
            << "root " << root << " spans " << centroidExtent(in, tris);
        // Flat: some member (the seed) has every other normal within the angle.
        const bool flat = std::any_of(tris.begin(), tris.end(), [&](int s) {
            return std::all_of(tris.begin(), tris.end(), [&](int t) {
                return in.normals[static_cast<size_t>(s)].dot(in.normals[static_cast<size_t>(t)]) >= cosine;
            });
        });
        EXPECT_TRUE(flat || tris.size() == 1) << "root " << root;
        if (tris.size() > 1) {
            EXPECT_TRUE(std::all_of(tris.begin(), tris.end(), [&](int t) { return usable(in, t); }))
                << "a degenerate triangle shares root " << root;
        }
    }
    EXPECT_EQ(next, n);
    for (size_t i = 0; i < tree.nodes.size(); ++i) {
        const PatchNode& node = tree.nodes[i];
        const std::vector<int> tris = trianglesOf(tree, node);
        ASSERT_GE(node.count, 1);
        EXPECT_TRUE(connected(in, tris)) << "node " << i << " of " << node.count << " triangles";
        if (node.childCount == 0) {
            EXPECT_EQ(node.count, 1) << "node " << i << " stops above single triangles";
            EXPECT_EQ(tree.leafOf[static_cast<size_t>(tris[0])], static_cast<int>(i));
        } else {
            EXPECT_GE(node.childCount, 2);
            int at = node.first;
            for (int c = node.firstChild; c < node.firstChild + node.childCount; ++c) {
                EXPECT_EQ(tree.nodes[static_cast<size_t>(c)].parent, static_cast<int>(i));
                EXPECT_EQ(tree.nodes[static_cast<size_t>(c)].first, at);
                at += tree.nodes[static_cast<size_t>(c)].count;
            }
            EXPECT_EQ(at, node.first + node.count) << "children of node " << i << " miss triangles";
        }
        double area = 0.0, r = 0.0;
        Vec3 c, nsum;
        for (int t : tris) {
            const double a = usable(in, t) ? in.areas[static_cast<size_t>(t)] : 0.0;
            area += a;
            c = c + Vec3(in.centroids[static_cast<size_t>(t)].x * a,
                         in.centroids[static_cast<size_t>(t)].y * a,
                         in.centroids[static_cast<size_t>(t)].z * a);
            nsum = nsum + Vec3(in.normals[static_cast<size_t>(t)].x * a,
                               in.normals[static_cast<size_t>(t)].y * a,
                               in.normals[static_cast<size_t>(t)].z * a);
        }
        EXPECT_NEAR(node.area, area, 1e-9 * (1 + area));
        if (area > 0) {
            EXPECT_NEAR(node.centroid.x, c.x / area, 1e-9);
            EXPECT_NEAR(node.centroid.y, c.y / area, 1e-9);
            EXPECT_NEAR(node.centroid.z, c.z / area, 1e-9);
            EXPECT_NEAR(node.normal.dot(nsum.normalized()), 1.0, 1e-12);
        }
        for (int t : tris) {
            for (int v : in.corners[static_cast<size_t>(t)]) {
                const Vec3 d = in.vertices[static_cast<size_t>(v)] - node.centroid;
                r = std::max(r, d.length());
            }
        }
        EXPECT_NEAR(node.radius, r, 1e-9);
    }
}

class Patches : public ::testing::Test {
  protected:
    // Adds an object of these triangles to the test's scene.
    const SceneObject& objectOf(const std::vector<Corners>& tris) {
        return scene.objects[static_cast<size_t>(fixture::addObject(scene, tris))];
    }
    Scene scene;
};

TEST_F(Patches, FlatGridMakesEqualSquaresOfPatchSize) {
    const SceneObject& wall = objectOf(fixture::grid(Vec3(), Vec3(12, 0, 0), Vec3(0, 12, 0), 12, 12));
    const PatchInput in = patchInputOf(wall);
    const PatchTree tree = buildPatchTree(wall, 3.0, kCos2);
    expectSoundTree(in, tree, 3.0, kCos2);
    ASSERT_EQ(tree.roots.size(), 16u);  // 3 x 3 cells each
    for (int root : tree.roots) {
        EXPECT_NEAR(tree.nodes[static_cast<size_t>(root)].area, 9.0, 1e-9);
        EXPECT_NEAR(tree.nodes[static_cast<size_t>(root)].normal.z, 1.0, 1e-12);
        EXPECT_NEAR(tree.nodes[static_cast<size_t>(root)].radius, 1.5 * std::sqrt(2.0), 1e-9);
    }
}

TEST_F(Patches, PatchSizesStayWithinAFactorOfTheSetting) {
    // An odd-sized, finely meshed wall: the slab widths do not fall on cells.
    const SceneObject& wall = objectOf(fixture::grid(Vec3(), Vec3(10.3, 0, 0), Vec3(0, 0, 7.1), 41, 29));
    const PatchInput in = patchInputOf(wall);
    for (double size : {0.8, 2.0, 5.0}) {
        const PatchTree tree = buildPatchTree(wall, size, kCos2);
        expectSoundTree(in, tree, size, kCos2);
        double smallest = INFINITY, largest = 0.0;
        for (int root : tree.roots) {
            smallest = std::min(smallest, tree.nodes[static_cast<size_t>(root)].area);
            largest = std::max(largest, tree.nodes[static_cast<size_t>(root)].area);
        }
        EXPECT_GE(smallest, 0.35 * size * size) << size;
        EXPECT_LE(largest, 1.3 * size * size) << size;
    }
}

TEST_F(Patches, FoldsAndGapsSeparatePatches) {
    // A floor and a wall meeting at an edge, and a second floor piece beside
    // the first with a gap between them.
    auto all = [](int, int) { return true; };
    const std::vector<Corners> floor = cells(Vec3(), Vec3(1, 0, 0), Vec3(0, 1, 0), 4, 4, all);
    const std::vector<Corners> wall = cells(Vec3(), Vec3(0, 1, 0), Vec3(0, 0, 1), 4, 4, all);
    const std::vector<Corners> apart = cells(Vec3(4.5, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), 4, 4, all);
    const SceneObject& obj = objectOf(join(join(floor, wall), apart));
    const PatchInput in = patchInputOf(obj);
    const PatchTree tree = buildPatchTree(obj, 100.0, kCos2);
    expectSoundTree(in, tree, 100.0, kCos2);
    ASSERT_EQ(tree.roots.size(), 3u);
    for (int root : tree.roots) EXPECT_NEAR(tree.nodes[static_cast<size_t>(root)].area, 16.0, 1e-9);
}

TEST_F(Patches, ConcaveShapesSplitIntoConnectedParts) {
    // A U standing up: cutting it across the arms leaves two separate pieces,
    // which become separate sub-patches.
    const SceneObject& u = objectOf(cells(Vec3(), Vec3(1, 0, 0), Vec3(0, 1, 0), 7, 13,
                                          [](int i, int j) { return j < 2 || i < 2 || i > 4; }));
    const PatchInput in = patchInputOf(u);
    const PatchTree whole = buildPatchTree(u, INFINITY, kCos2);
    expectSoundTree(in, whole, INFINITY, kCos2);
    ASSERT_EQ(whole.roots.size(), 1u);
    EXPECT_EQ(whole.nodes[0].childCount, 3);
    const PatchTree pieces = buildPatchTree(u, 4.0, kCos2);
    expectSoundTree(in, pieces, 4.0, kCos2);
}

TEST_F(Patches, CurvedSurfacesStayWithinTheSmoothAngle) {
    // A half cylinder of 0.5-degree facets: patches hold at most the angle
    // apart, and a smoothing angle beyond the widest patch angle is capped.
    std::vector<Corners> tris;
    const int facets = 360;
    for (int k = 0; k < facets; ++k) {
        const double a0 = kPi * k / facets, a1 = kPi * (k + 1) / facets;
        const Vec3 p0(std::cos(a0) * 50, std::sin(a0) * 50, 0), p1(std::cos(a1) * 50, std::sin(a1) * 50, 0);
        const Vec3 q0(p0.x, p0.y, 1), q1(p1.x, p1.y, 1);
        tris.push_back({p0, q0, q1});
        tris.push_back({p0, q1, p1});
    }
    const SceneObject& cylinder = objectOf(tris);
    const PatchInput in = patchInputOf(cylinder);
    const PatchTree tree = buildPatchTree(cylinder, INFINITY, kCos2);
    expectSoundTree(in, tree, INFINITY, kCos2);
    EXPECT_GE(tree.roots.size(), 45u);  // 180 degrees in caps of at most 2 + 2
    const double cos30 = std::cos(kWidestPatchAngle * kPi / 180.0);
    const PatchTree wide = buildPatchTree(cylinder, INFINITY, std::cos(80.0 * kPi / 180.0));
    expectSoundTree(in, wide, INFINITY, cos30);
    EXPECT_GE(wide.roots.size(), 3u);
    const PatchTree notANumber = buildPatchTree(cylinder, INFINITY, NAN);
    expectSoundTree(in, notANumber, INFINITY, cos30);
}

TEST_F(Patches, SizeZeroOrNotANumberLeavesEveryTriangleAlone) {
    const SceneObject& wall = objectOf(fixture::grid(Vec3(), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4));
    const PatchInput in = patchInputOf(wall);
    for (double size : {0.0, -1.0, static_cast<double>(NAN)}) {
        const PatchTree tree = buildPatchTree(wall, size, kCos2);
        expectSoundTree(in, tree, 0.0, kCos2);
        ASSERT_EQ(tree.roots.size(), 32u);
        for (size_t k = 0; k < tree.roots.size(); ++k) EXPECT_EQ(tree.order[k], static_cast<int>(k));
    }
}

TEST_F(Patches, DegenerateTrianglesStandAlone) {
    std::vector<Corners> tris = fixture::grid(Vec3(), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4);
    // Zero area, sharing welded corners with the grid, in the middle of it.
    tris.insert(tris.begin() + 10, Corners{Vec3(0, 0, 0), Vec3(1, 1, 0), Vec3(2, 2, 0)});
    tris.push_back({Vec3(1, 1, 0), Vec3(1, 1, 0), Vec3(1, 1, 0)});
    const SceneObject& obj = objectOf(tris);
    PatchInput in = patchInputOf(obj);
    // And one whose coordinates are not numbers, as a damaged scene could hold.
    in.centroids[3] = Vec3(NAN, 0, 0);
    in.areas[3] = NAN;
    const PatchTree tree = buildPatchTree(in, 2.0, kCos2);
    expectSoundTree(in, tree, 2.0, kCos2);
    for (int t : {10, 33, 3}) {
        const PatchNode& leaf = tree.nodes[static_cast<size_t>(tree.leafOf[static_cast<size_t>(t)])];
        EXPECT_EQ(leaf.parent, -1) << t;
        EXPECT_EQ(leaf.area, 0.0) << t;
    }
    EXPECT_EQ(tree.roots.size(), 4u + 3u);
}

TEST_F(Patches, EmptyObjectAndBrokenVertexIndices) {
    PatchInput empty;
    const PatchTree none = buildPatchTree(empty, 1.0, kCos2);
    EXPECT_TRUE(none.roots.empty());
    EXPECT_TRUE(none.nodes.empty());
    const SceneObject& wall = objectOf(fixture::grid(Vec3(), Vec3(2, 0, 0), Vec3(0, 2, 0), 2, 2));
    PatchInput in = patchInputOf(wall);
    in.corners[0] = {-1, 99, 1 << 30};  // links nothing, and does not crash
    const PatchTree tree = buildPatchTree(in, 10.0, kCos2);
    EXPECT_EQ(tree.order.size(), 8u);
    EXPECT_EQ(tree.roots.size(), 2u);
}

}  // namespace
