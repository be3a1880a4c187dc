// Patch grouping: every tree is checked whole (cover, ranges, connectivity,
// flatness, sizes) against brute force, on shapes that stress each promise.

#include "radiosity/patches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "scene_fixture.h"

namespace {

using fixture::Corners;
using fixture::grid;

constexpr double kPi = 3.141592653589793;
const double kCos2 = std::cos(2.0 * kPi / 180.0);

// True when the triangles link through shared vertices into one piece.
bool connected(const PatchInput& in, std::vector<int> left) {
    if (left.empty()) return false;
    std::vector<int> reached{left.back()};
    left.pop_back();
    for (size_t head = 0; head < reached.size(); ++head) {
        const auto& a = in.corners[reached[head]];
        for (size_t k = left.size(); k-- > 0;) {
            const auto& b = in.corners[left[k]];
            if (std::find_first_of(a.begin(), a.end(), b.begin(), b.end()) == a.end()) continue;
            reached.push_back(left[k]);
            left.erase(left.begin() + static_cast<long>(k));
        }
    }
    return left.empty();
}

// Every structural promise of a tree. Flatness is held to the smoothing
// cosine, or to the widest patch angle's where that is narrower.
void expectSoundTree(const PatchInput& in, const PatchTree& tree, double patchSize, double cosine) {
    const double flatCos = std::max(std::cos(kWidestPatchAngle * kPi / 180.0), cosine),
                 size = patchSize > 0 ? patchSize : 0;
    ASSERT_EQ(tree.order.size(), in.areas.size());
    for (int t = 0; t < static_cast<int>(in.areas.size()); ++t)  // and so order is a permutation
        ASSERT_EQ(tree.order[tree.nodes.at(tree.leafOf.at(t)).first], t)
            << "triangle " << t << " has no leaf";
    int next = 0;
    for (int root : tree.roots) {
        const PatchNode& node = tree.nodes[root];
        EXPECT_TRUE(node.parent == -1 && node.first == next) << "roots do not cover the order in sequence";
        next = node.first + node.count;
        const std::vector<int> tris(tree.order.begin() + node.first, tree.order.begin() + next);
        if (tris.size() == 1) continue;
        for (double Vec3::*axis : {&Vec3::x, &Vec3::y, &Vec3::z}) {
            auto at = [&](int t) { return in.centroids[t].*axis; };
            const auto [lo, hi] =
                std::minmax_element(tris.begin(), tris.end(), [&](int a, int b) { return at(a) < at(b); });
            EXPECT_LE(at(*hi) - at(*lo), size * (1 + 1e-9)) << "root " << root << " too wide";
        }
        auto flatAround = [&](int seed) {
            return std::all_of(tris.begin(), tris.end(),
                               [&](int t) { return in.normals[seed].dot(in.normals[t]) >= flatCos; });
        };
        EXPECT_TRUE(std::any_of(tris.begin(), tris.end(), flatAround)) << "root " << root << " is not flat";
        for (int t : tris) EXPECT_GT(in.areas[t], 0.0) << "degenerate " << t << " joins root " << root;
    }
    EXPECT_EQ(next, static_cast<int>(in.areas.size()));
    for (int i = 0; i < static_cast<int>(tree.nodes.size()); ++i) {
        const PatchNode& node = tree.nodes[i];
        const auto begin = tree.order.begin() + node.first;
        EXPECT_TRUE(connected(in, {begin, begin + node.count})) << "node " << i << " falls apart";
        EXPECT_TRUE(node.childCount == 0 ? node.count == 1 : node.childCount >= 2)
            << "node " << i << " leaf?";
        int at = node.first;
        for (int c = node.firstChild; c < node.firstChild + node.childCount; ++c) {
            EXPECT_TRUE(tree.nodes[c].parent == i && tree.nodes[c].first == at) << "child " << c;
            at += tree.nodes[c].count;
        }
        EXPECT_TRUE(node.childCount == 0 || at == node.first + node.count) << "node " << i << " split";
    }
}

std::vector<Corners> join(std::initializer_list<std::vector<Corners>> parts) {
    std::vector<Corners> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(Patches, GroupingKeepsItsPromisesOnEveryShape) {
    // An odd-sized, finely meshed wall (slab widths do not fall on cells); a
    // floor with a wall on its edge and a piece beside it across a gap; a U,
    // whose arms part when cut across; a half cylinder of 0.5-degree facets.
    const auto wall = grid(Vec3(), Vec3(10.3, 0, 0), Vec3(0, 0, 7.1), 41, 29);
    const auto square = grid(Vec3(), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4);
    const auto fold = join({square, grid(Vec3(), Vec3(0, 4, 0), Vec3(0, 0, 4), 4, 4),
                            grid(Vec3(4.5, 0, 0), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4)});
    const auto u = join({grid(Vec3(), Vec3(7, 0, 0), Vec3(0, 2, 0), 7, 2),
                         grid(Vec3(0, 2, 0), Vec3(2, 0, 0), Vec3(0, 11, 0), 2, 11),
                         grid(Vec3(5, 2, 0), Vec3(2, 0, 0), Vec3(0, 11, 0), 2, 11)});
    std::vector<Corners> cylinder = grid(Vec3(), Vec3(kPi, 0, 0), Vec3(0, 1, 0), 360, 1);
    for (Corners& c : cylinder)
        for (Vec3& p : c) p = Vec3(50 * std::cos(p.x), 50 * std::sin(p.x), p.y);
    const double any = 1e300;
    const struct {
        const char* what;
        std::vector<Corners> tris;
        double size, cosine;
        size_t minRoots, maxRoots;
        double minArea, maxArea;  // of every root
    } cases[] = {
        {"equal squares", grid(Vec3(), Vec3(12, 0, 0), Vec3(0, 12, 0), 12, 12), 3, kCos2, 16, 16, 9, 9},
        {"odd wall, 0.8", wall, 0.8, kCos2, 1, 999, 0.35 * 0.64, 1.3 * 0.64},
        {"odd wall, 5", wall, 5, kCos2, 1, 999, 0.35 * 25, 1.3 * 25},
        {"fold and gap", fold, 100, kCos2, 3, 3, 16, 16},
        {"U whole", u, INFINITY, kCos2, 1, 1, 0, any},
        {"U in pieces", u, 4, kCos2, 2, 999, 0, any},
        {"curve, 2 degrees", cylinder, INFINITY, kCos2, 45, 999, 0, any},  // 180 in caps of 2 + 2
        {"curve, 80 degrees capped", cylinder, INFINITY, std::cos(80 * kPi / 180), 3, 999, 0, any},
        {"curve, no angle", cylinder, INFINITY, NAN, 3, 999, 0, any},
        {"size 0", square, 0, kCos2, 32, 32, 0.5, 0.5},
        {"size NaN", square, NAN, kCos2, 32, 32, 0.5, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene;
        const SceneObject& obj = scene.objects[fixture::addObject(scene, c.tris)];
        const PatchTree tree = buildPatchTree(obj, c.size, c.cosine);
        expectSoundTree(patchInputOf(obj), tree, c.size, c.cosine);
        EXPECT_TRUE(tree.roots.size() >= c.minRoots && tree.roots.size() <= c.maxRoots) << tree.roots.size();
        for (int root : tree.roots) {
            const double area = tree.nodes[root].area;
            EXPECT_TRUE(area >= c.minArea * (1 - 1e-9) && area <= c.maxArea * (1 + 1e-9))
                << "root " << root << ": " << area;
        }
    }
}

TEST(Patches, DamagedTrianglesStandAloneWithoutACrash) {
    std::vector<Corners> tris = grid(Vec3(), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4);
    // Zero area, welded to the grid in its middle, and a single point.
    tris.insert(tris.begin() + 10, Corners{Vec3(0, 0, 0), Vec3(1, 1, 0), Vec3(2, 2, 0)});
    tris.push_back({Vec3(1, 1, 0), Vec3(1, 1, 0), Vec3(1, 1, 0)});
    Scene scene;
    PatchInput in = patchInputOf(scene.objects[fixture::addObject(scene, tris)]);
    // Coordinates that are not numbers, and vertex indices out of range.
    in.centroids[3] = Vec3(NAN, 0, 0);
    in.areas[3] = NAN;
    in.corners[20] = {-1, 99, 1 << 30};
    const PatchTree tree = buildPatchTree(in, 2.0, kCos2);
    expectSoundTree(in, tree, 2.0, kCos2);
    for (int t : {10, 33, 3, 20}) EXPECT_EQ(tree.nodes[tree.leafOf[t]].parent, -1) << t;
    EXPECT_TRUE(buildPatchTree(PatchInput{}, 1.0, kCos2).nodes.empty());
}

}  // namespace
