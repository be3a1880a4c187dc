// Patches without OpenGL: every grouping is checked whole (cover, ranges,
// connectivity, flatness, sizes) against brute force; the nearness index
// against brute force; the plan of a round (every receiver gets every
// triangle's light exactly once) and what a node sends; the solver's rounds
// with a scripted capturer.

#include "radiosity/patches.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "radiosity/patch_rounds.h"
#include "radiosity/solver.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;
using fixture::grid;

const double kCos2 = std::cos(2.0 * M_PI / 180.0);

Corners at(const Vec3& c, const Vec3& u, const Vec3& v) {
    return {c, c + u, c + v};  // front side u x v
}

// True when the triangles link through shared vertices into one piece.
bool connected(const PatchInput& in, const std::vector<int>& tris) {
    std::set<int> reached(in.corners[tris.at(0)].begin(), in.corners[tris[0]].end());  // vertices
    auto touches = [&](int t) {
        const auto& c = in.corners[t];
        return reached.count(c[0]) + reached.count(c[1]) + reached.count(c[2]) > 0;
    };
    for (size_t before = 0; before != reached.size();) {
        before = reached.size();
        for (int t : tris)
            if (touches(t)) reached.insert(in.corners[t].begin(), in.corners[t].end());
    }
    return std::all_of(tris.begin(), tris.end(), touches);
}

// Every structural promise of a tree. Flatness is held to the smoothing
// angle, or to the widest patch angle where that is narrower.
void expectSoundTree(const PatchInput& in, const PatchTree& tree, double patchSize, double cosine) {
    const double size = patchSize > 0 ? patchSize : 0;
    const double flatCos = std::cos(2 * std::min(kWidestPatchAngle * M_PI / 180, std::acos(cosine)));
    ASSERT_EQ(tree.order.size(), in.areas.size());
    // Every triangle is its leaf's, and so order is a permutation.
    for (int t = 0; t < static_cast<int>(in.areas.size()); ++t)
        ASSERT_EQ(tree.order[tree.nodes.at(tree.leafOf.at(t)).first], t);
    int next = 0;
    for (int root : tree.roots) {
        const PatchNode& node = tree.nodes[root];
        EXPECT_TRUE(node.parent == -1 && node.first == next) << "roots do not cover the order in sequence";
        next = node.first + node.count;
        const std::vector<int> tris(tree.order.begin() + node.first, tree.order.begin() + next);
        if (tris.size() == 1) continue;
        for (double Vec3::*a : {&Vec3::x, &Vec3::y, &Vec3::z}) {
            const auto [lo, hi] = std::minmax_element(tris.begin(), tris.end(), [&](int s, int t) {
                return in.centroids[s].*a < in.centroids[t].*a;
            });
            EXPECT_LE(in.centroids[*hi].*a - in.centroids[*lo].*a, size * (1 + 1e-9)) << "root " << root;
        }
        for (int t : tris) {  // each within the angle of one seed, so within twice of each other
            EXPECT_GT(in.areas[t], 0.0) << "degenerate " << t << " joins root " << root;
            EXPECT_GE(in.normals[t].dot(in.normals[tris[0]]), flatCos) << t << " bends root " << root;
        }
    }
    EXPECT_EQ(next, static_cast<int>(in.areas.size()));
    for (int i = 0; i < static_cast<int>(tree.nodes.size()); ++i) {
        const PatchNode& node = tree.nodes[i];
        const auto begin = tree.order.begin() + node.first;
        EXPECT_TRUE(connected(in, {begin, begin + node.count})) << "node " << i << " falls apart";
        EXPECT_TRUE(node.childCount == 0 ? node.count == 1 : node.childCount >= 2) << "node " << i;
        int at = node.first;
        for (int c = node.firstChild; c < node.firstChild + node.childCount; ++c) {
            EXPECT_TRUE(tree.nodes[c].parent == i && tree.nodes[c].first == at) << "child " << c;
            at += tree.nodes[c].count;
        }
        EXPECT_TRUE(node.childCount == 0 || at == node.first + node.count) << "node " << i << " split";
    }
}

TEST(Patches, GroupingKeepsItsPromisesOnEveryShapeAndOnDamagedInput) {
    // An odd-sized, finely meshed wall (slab widths do not fall on cells); a
    // floor with a wall on its edge and a piece beside it across a gap; a U,
    // whose arms part when cut across; a half cylinder of 0.5-degree facets.
    const auto square = grid(Vec3(), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4);
    std::vector<Corners> fold = square, u = grid(Vec3(), Vec3(7, 0, 0), Vec3(0, 2, 0), 7, 2);
    for (const auto& part : {grid(Vec3(), Vec3(0, 4, 0), Vec3(0, 0, 4), 4, 4),
                             grid(Vec3(4.5, 0, 0), Vec3(4, 0, 0), Vec3(0, 4, 0), 4, 4)})
        fold.insert(fold.end(), part.begin(), part.end());
    for (const auto& arm : {grid(Vec3(0, 2, 0), Vec3(2, 0, 0), Vec3(0, 11, 0), 2, 11),
                            grid(Vec3(5, 2, 0), Vec3(2, 0, 0), Vec3(0, 11, 0), 2, 11)})
        u.insert(u.end(), arm.begin(), arm.end());
    std::vector<Corners> cylinder = grid(Vec3(), Vec3(M_PI, 0, 0), Vec3(0, 1, 0), 360, 1);
    for (Corners& c : cylinder)
        for (Vec3& p : c) p = Vec3(50 * std::cos(p.x), 50 * std::sin(p.x), p.y);
    // Damaged: zero area, welded to the grid in its middle; a single point;
    // and at the end, coordinates that are not numbers and vertex indices
    // out of range.
    std::vector<Corners> damaged = square;
    damaged.insert(damaged.begin() + 10, Corners{Vec3(0, 0, 0), Vec3(1, 1, 0), Vec3(2, 2, 0)});
    damaged.push_back({Vec3(1, 1, 0), Vec3(1, 1, 0), Vec3(1, 1, 0)});
    const struct {
        const char* what;
        std::vector<Corners> tris;
        double size, cosine;
        size_t minRoots, maxRoots;
        double minArea;  // of every root: compact, not in splinters
    } cases[] = {
        {"equal squares", grid(Vec3(), Vec3(12, 0, 0), Vec3(0, 12, 0), 12, 12), 3, kCos2, 16, 16, 9},
        {"odd wall", grid(Vec3(), Vec3(10.3, 0, 0), Vec3(0, 0, 7.1), 41, 29), 0.8, kCos2, 1, 999, 0.22},
        {"fold and gap", fold, 100, kCos2, 3, 3, 16},
        {"U whole", u, INFINITY, kCos2, 1, 1, 0},
        {"U in pieces", u, 4, kCos2, 2, 999, 0},
        {"curve, 2 degrees", cylinder, INFINITY, kCos2, 45, 999, 0},  // 180 in caps of 2 + 2
        {"curve, 80 degrees capped", cylinder, INFINITY, std::cos(80 * M_PI / 180), 3, 999, 0},
        {"curve, no angle", cylinder, INFINITY, NAN, 3, 999, 0},
        {"size 0", square, 0, kCos2, 32, 32, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene;
        const PatchInput in = patchInputOf(scene.objects[fixture::addObject(scene, c.tris)]);
        const PatchTree tree = buildPatchTree(in, c.size, c.cosine);
        expectSoundTree(in, tree, c.size, c.cosine);
        EXPECT_TRUE(tree.roots.size() >= c.minRoots && tree.roots.size() <= c.maxRoots) << tree.roots.size();
        for (int root : tree.roots)
            EXPECT_GE(tree.nodes[root].area, c.minArea * (1 - 1e-9)) << "root " << root;
    }
    Scene scene;
    PatchInput in = patchInputOf(scene.objects[fixture::addObject(scene, damaged)]);
    in.centroids[3] = Vec3(NAN, 0, 0);
    in.areas[3] = NAN;
    in.corners[20] = {-1, 99, 1 << 30};
    expectSoundTree(in, buildPatchTree(in, 2.0, kCos2), 2.0, kCos2);
    EXPECT_TRUE(buildPatchTree(PatchInput{}, 1.0, kCos2).nodes.empty());
}

TEST(ReceiverIndex, TreeSearchesFindWhatBruteForceFinds) {
    Scene scene;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> cloud(-10.0, 10.0), edge(-0.5, 0.5);
    auto point = [&](auto& d) { return Vec3(d(random), d(random), d(random)); };
    std::vector<Corners> tris(3000);
    for (Corners& c : tris) c = at(point(cloud), point(edge), point(edge));
    fixture::addObject(scene, tris);
    const ReceiverIndex index(scene.objects);
    for (int k = 0; k < 50; ++k) {
        const NearQuery q{point(cloud), point(edge).normalized(), 0.5, 1.0 + k * 0.1, 0.01};
        std::vector<int> near, sphere, nearTruth, sphereTruth;
        index.collectNear(q, near);
        index.collectInSphere(q.centre, q.reach, sphere);
        std::sort(near.begin(), near.end());
        std::sort(sphere.begin(), sphere.end());
        for (int t = -1; t < 3001; ++t) {  // and numbers out of range
            const Box b = index.boxOf(t);
            if (index.isNear(t, q)) nearTruth.push_back(t);
            if (b.lo.x <= b.hi.x && boxDistanceSquared(q.centre, b.lo, b.hi) < q.reach * q.reach)
                sphereTruth.push_back(t);
        }
        EXPECT_EQ(near, nearTruth) << "query " << k;
        EXPECT_EQ(sphere, sphereTruth) << "query " << k;
    }
}

// A lamp of 8 triangles of 0.5 (object 0) 5 above a floor of 2 x 2 (object
// 1, scene triangles 8-39) with a wall standing on its edge x = 0, facing it
// (object 2, 40-71), each of 32 triangles of 0.125.
void addLampFloorWall(Scene& scene) {
    fixture::addObject(scene, grid(Vec3(0, 0, 5), Vec3(0, 2, 0), Vec3(2, 0, 0), 2, 2), Vec3(), Vec3(1, 1, 1));
    fixture::addObject(scene, grid(Vec3(), Vec3(2, 0, 0), Vec3(0, 2, 0), 4, 4), Vec3(0.5, 0.5, 0.5));
    fixture::addObject(scene, grid(Vec3(), Vec3(0, 2, 0), Vec3(0, 0, 2), 4, 4), Vec3(0.5, 0.5, 0.5));
}

TEST(PatchRound, ReachesEveryReceiverOnceNearOnesFromPartsAndSendsTheAreaWeightedUnshot) {
    Scene scene;
    addLampFloorWall(scene);
    // And far away, a pair of triangles.
    fixture::addObject(scene, {at(Vec3(50, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)),
                               at(Vec3(51, 0, 0), Vec3(1, 0, 0), Vec3(0, 3, 0))});
    for (SceneObject& o : scene.objects)
        for (auto& t : o.triangles) t->unshot = Vec3(0.1, 0.2, 0.3);
    const ScenePatches patches = buildScenePatches(scene.objects, 2.0, kCos2);
    const ReceiverIndex index(scene.objects);
    const PatchTree& floor = patches.trees[1];
    auto plan = [&](int object, bool firstRound, const RefinementRule& rule) {  // each object is one patch
        std::vector<PlannedShot> shots;
        planRound(scene.objects, patches, index, patches.tops.at(object), rule, firstRound, shots);
        return shots;
    };
    const std::vector<PlannedShot> shots = plan(1, true, {});
    ASSERT_TRUE(patches.tops.size() == 4 && shots.at(0).whole && shots[0].node.node == floor.roots[0]);
    std::vector<int> count(32 * 74);  // deliveries, by floor triangle x 74 + receiver
    bool footFromSingles = false;
    for (const PlannedShot& p : shots) {
        const PatchNode& node = patches.node(p.node);
        const std::set<int> listed(p.receivers.begin(), p.receivers.end());
        for (int k = node.first; k < node.first + node.count; ++k)
            for (int j = 0; j < 74; ++j)
                if (p.whole != (listed.count(j) != 0)) ++count[floor.order[k] * 74 + j];
        const Vec3 eye = shotOf(scene.objects[1], floor, node).position;
        for (int j : p.receivers) EXPECT_TRUE(p.whole || p.farPlane >= index.farthestCorner(j, eye)) << j;
        footFromSingles = footFromSingles || (!p.whole && node.count == 1 && listed.count(40) != 0);
    }
    EXPECT_EQ(count, std::vector<int>(32 * 74, 1)) << "a delivery missing or doubled";
    EXPECT_TRUE(footFromSingles) << "the wall's foot sees the floor from its triangles";
    // The lamp shoots each triangle to everything in its first round, and as
    // one patch later or without the rule.
    EXPECT_EQ(plan(0, true, {}).size(), 8u);
    for (const PlannedShot& p : plan(0, true, {}))
        EXPECT_TRUE(p.whole && p.receivers.empty() && patches.node(p.node).count == 1);
    EXPECT_EQ(plan(0, false, {}).size() + plan(0, true, {0.5, 0.02, false}).size(), 2u);
    // A floor with light in one triangle only shoots from parts that hold some.
    for (auto& t : scene.objects[1].triangles) t->unshot = Vec3();
    EXPECT_TRUE(plan(1, true, {}).empty());
    scene.objects[1].triangles[5]->unshot = Vec3(1, 0, 0);
    for (const PlannedShot& p : plan(1, true, {}))
        EXPECT_GT(patchEnergy(scene.objects[1], floor, patches.node(p.node)), 0.0);
    // A node sends its triangles' unshot light weighted by their areas.
    SceneObject& pair = scene.objects[3];  // areas 0.5 and 1.5
    pair.triangles[0]->unshot = Vec3(4, 0, -1);
    pair.triangles[1]->unshot = Vec3(0, 8, 1);
    const PatchShot shot = shotOf(pair, patches.trees[3], patches.node(patches.tops[3]));
    EXPECT_EQ((std::vector<double>{shot.area, shot.unshot.x, shot.unshot.y, shot.unshot.z}),
              (std::vector<double>{2, 1, 6, 0.5}));
}

// Hands the top face of every hemicube a form factor of 0.01 for every
// triangle but the lamp's, and notes every face asked for.
struct ScriptedCapturer : FaceCapturer {
    std::vector<FaceView> views;
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ff) override {
        views.push_back(view);
        for (size_t j = 8; j < ff.size() && view.rows == 256; ++j) ff[j] += 0.01;
    }
};

TEST(PatchSolver, StepsAreRoundsMeasuredByTheShareLeftAndLocalShotsSkipFaces) {
    Scene scene;
    scene.settings.patchSize = 2.0;
    addLampFloorWall(scene);
    ScriptedCapturer capturer;
    Solver solver(scene);
    solver.setFaceCapturer(&capturer);
    ASSERT_TRUE(solver.initSolver());
    // The lamp's round: eight whole shots, one per triangle, each giving 64
    // triangles 0.01 x 0.5 / 0.125 x 0.5 of one unit in three channels; 12
    // units were emitted.
    EXPECT_EQ(fixture::stdoutOf([&] { solver.idleStep(); }), "Convergence 0.32000\t\tStep 0\n");
    for (int step = 1; step < 6; ++step) {
        EXPECT_NEAR(solver.convergenceMeasure, fixture::unshotEnergy(scene) / 12.0, 1e-12);
        fixture::stdoutOf([&] { solver.idleStep(); });
    }
    // Whole shots capture all five faces to the capturer's own far plane;
    // the wall stands on one side of every floor part that shoots at it, so
    // a local shot's faces looking away from it (or along it) are left out.
    const PatchRounds& rounds = *solver.patchRounds();
    long long wholeFaces = 0, localFaces = 0;
    for (const FaceView& v : capturer.views) ++(v.farPlane > 0.0 ? localFaces : wholeFaces);
    EXPECT_EQ(wholeFaces, 5 * rounds.wholeShots());
    EXPECT_TRUE(localFaces >= rounds.localShots() && localFaces < 5 * rounds.localShots()) << localFaces;

    // With patch_emitters the lamp's first round is one whole shot, as any
    // patch's: the same light leaves it.
    Scene again;
    again.settings.patchSize = 2.0;
    again.settings.patchEmitters = true;
    addLampFloorWall(again);
    ScriptedCapturer second;
    Solver patchLamp(again);
    patchLamp.setFaceCapturer(&second);
    ASSERT_TRUE(patchLamp.initSolver());
    fixture::stdoutOf([&] { patchLamp.idleStep(); });
    EXPECT_EQ(patchLamp.patchRounds()->wholeShots(), 1);
    EXPECT_NEAR(fixture::unshotEnergy(again), 12.0 * 0.32, 1e-9);
}

}  // namespace
