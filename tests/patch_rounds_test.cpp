// Patch shooting without OpenGL: the nearness index against brute force,
// the plan of a round (every receiver gets every triangle's light exactly
// once), the light a node sends, and the solver's rounds with a scripted
// capturer.

#include "radiosity/patch_rounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "radiosity/solver.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;
using fixture::grid;

std::vector<int> sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ReceiverIndex, FindsWhatLiesCloseInFrontTurnedTowardsTheShooterAsBruteForceDoes) {
    Scene scene;
    const Vec3 x(0.2, 0, 0), y(0, 0.2, 0), z(0, 0, 0.2);
    auto at = [](const Vec3& c, const Vec3& u, const Vec3& v) { return Corners{c, c + u, c + v}; };
    fixture::addObject(scene, {at(Vec3(0, 0, 1), y, x),              // 0 above, facing down: near
                               at(Vec3(0, 0, 1.5), x, y),            // 1 above, facing away: no
                               at(Vec3(0, 0, -0.5), x, y),           // 2 behind the plane: no
                               at(Vec3(0.3, 0, 0), x, y),            // 3 coplanar neighbour: no
                               at(Vec3(0, 0, 5), y, x),              // 4 far above: only with a long reach
                               at(Vec3(1.5, 0, 0), z, y),            // 5 wall on the plane, facing -x: near
                               at(Vec3(1.5, 0, 0), y, z),            // 6 its back: no
                               at(Vec3(0, 0, 1), Vec3(), Vec3())});  // 7 degenerate: never
    // And a cloud of 3000 small triangles far away, for the tree searches.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> cloud(90.0, 110.0), edge(-0.5, 0.5);
    auto point = [&](auto& d) { return Vec3(d(random), d(random), d(random)); };
    std::vector<Corners> tris(3000);
    for (Corners& c : tris) {
        c[0] = point(cloud);
        c = {c[0], c[0] + point(edge), c[0] + point(edge)};
    }
    fixture::addObject(scene, tris);
    const ReceiverIndex index(scene.objects);
    EXPECT_EQ(index.triangleCount(), 3007);
    auto near = [&](const NearQuery& q) {
        std::vector<int> out;
        index.collectNear(q, out);
        return sorted(out);
    };
    EXPECT_EQ(near({Vec3(), Vec3(0, 0, 1), 1.0, 2.0, 0.02}), (std::vector<int>{0, 5}));
    const NearQuery reach6{Vec3(), Vec3(0, 0, 1), 1.0, 6.0, 0.02};
    EXPECT_EQ(near(reach6), (std::vector<int>{0, 4, 5}));
    EXPECT_FALSE(index.anyNear({Vec3(), Vec3(0, 0, 1), 1.0, 0.5, 0.02}));
    EXPECT_FALSE(index.isNear(-1, reach6) || index.isNear(7, reach6) || index.isNear(9999, reach6));
    for (int k = 0; k < 50; ++k) {
        const NearQuery q{point(cloud), point(edge).normalized(), 0.5, 1.0 + k * 0.1, 0.01};
        std::vector<int> sphere, nearTruth, sphereTruth;
        index.collectInSphere(q.centre, q.reach, sphere);
        for (int t = 0; t < 3008; ++t) {
            const Box b = index.boxOf(t);
            if (index.isNear(t, q)) nearTruth.push_back(t);
            if (boxDistanceSquared(q.centre, b.lo, b.hi) < q.reach * q.reach) sphereTruth.push_back(t);
        }
        EXPECT_EQ(near(q), nearTruth) << "query " << k;
        EXPECT_EQ(index.anyNear(q), !nearTruth.empty());
        EXPECT_EQ(sorted(sphere), sphereTruth) << "query " << k;
    }
}

TEST(PatchPlan, EveryReceiverGetsEveryTriangleOnceNearOnesFromPartsEmittersPerTriangle) {
    // A floor of 4 x 4 (object 0, triangles 0-127) with a wall standing on
    // its edge x = 0 (object 1, 128-191) and a lamp above (192-199).
    Scene scene;
    fixture::addObject(scene, grid(Vec3(), Vec3(4, 0, 0), Vec3(0, 4, 0), 8, 8), Vec3(0.5, 0.5, 0.5));
    fixture::addObject(scene, grid(Vec3(), Vec3(0, 4, 0), Vec3(0, 0, 2), 8, 4), Vec3(0.5, 0.5, 0.5));
    fixture::addObject(scene, grid(Vec3(1, 1, 3), Vec3(0, 1, 0), Vec3(1, 0, 0), 2, 2), Vec3(), Vec3(1, 1, 1));
    for (SceneObject& o : scene.objects)
        for (auto& t : o.triangles) t->unshot = Vec3(0.1, 0.2, 0.3);
    const ScenePatches patches = buildScenePatches(scene.objects, 2.0, scene.settings.smoothThreshold);
    const ReceiverIndex index(scene.objects);
    const PatchTree& floor = patches.trees[0];
    auto plan = [&](int object, int triangle, bool firstRound, const RefinementRule& rule) {
        std::vector<PlannedShot> shots;
        planRound(scene.objects, patches, index, patches.tops[patches.topOf[object][triangle]], rule,
                  firstRound, shots);
        return shots;
    };
    for (const int triangle : {0, 127}) {  // at the wall's foot, and in the far corner
        const PatchRef top = patches.tops[patches.topOf[0][triangle]];
        const std::vector<PlannedShot> shots = plan(0, triangle, true, {});
        ASSERT_FALSE(shots.empty());
        EXPECT_TRUE(shots[0].whole && shots[0].node.node == top.node);
        std::map<std::pair<int, int>, int> count;  // (patch triangle, receiver) -> deliveries
        bool footFromSingles = false;
        for (const PlannedShot& p : shots) {
            const PatchNode& node = patches.node(p.node);
            const std::set<int> listed(p.receivers.begin(), p.receivers.end());
            for (int k = node.first; k < node.first + node.count; ++k)
                for (int j = 0; j < 200; ++j)
                    if (p.whole != (listed.count(j) != 0)) ++count[{floor.order[k], j}];
            const Vec3 eye = shotOf(scene.objects[0], floor, node).position;
            for (int j : p.receivers) EXPECT_TRUE(p.whole || p.farPlane >= index.farthestCorner(j, eye)) << j;
            footFromSingles = footFromSingles || (!p.whole && node.count == 1 && listed.count(128) != 0);
        }
        EXPECT_EQ(count.size(), patches.node(top).count * 200u);
        for (const auto& [key, n] : count)
            EXPECT_EQ(n, 1) << "triangle " << key.first << " to " << key.second;
        EXPECT_TRUE(footFromSingles || triangle != 0) << "the wall's foot sees the patch from its triangles";
    }
    // The lamp shoots each triangle to everything in its first round, and as
    // one patch later or without the rule.
    const std::vector<PlannedShot> lamp = plan(2, 0, true, {});
    ASSERT_EQ(lamp.size(), 8u);
    for (const PlannedShot& p : lamp)
        EXPECT_TRUE(p.whole && p.receivers.empty() && patches.node(p.node).count == 1);
    RefinementRule whole;
    whole.emittersPerTriangle = false;
    EXPECT_EQ(plan(2, 0, false, {}).size() + plan(2, 0, true, whole).size(), 2u);
    // A patch with light in one triangle only shoots from parts that hold some.
    const PatchNode& root = patches.node(patches.tops[patches.topOf[0][0]]);
    for (int k = root.first; k < root.first + root.count; ++k)
        scene.objects[0].triangles[floor.order[k]]->unshot = Vec3();
    EXPECT_TRUE(plan(0, 0, true, {}).empty());
    scene.objects[0].triangles[floor.order[root.first]]->unshot = Vec3(1, 0, 0);
    const std::vector<PlannedShot> lit = plan(0, 0, true, {});
    ASSERT_FALSE(lit.empty());
    for (const PlannedShot& p : lit)
        EXPECT_GT(patchEnergy(scene.objects[0], floor, patches.node(p.node)), 0.0);
}

TEST(PatchShot, SendsTheAreaWeightedUnshotFromTheCentre) {
    Scene scene;  // two triangles of areas 2 and 6
    fixture::addObject(scene, {{Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(0, 2, 0)},
                               {Vec3(2, 0, 0), Vec3(4, 0, 0), Vec3(2, 6, 0)}});
    SceneObject& obj = scene.objects[0];
    obj.triangles[0]->unshot = Vec3(4, 0, -1);
    obj.triangles[1]->unshot = Vec3(0, 8, 1);
    const PatchTree tree = buildPatchTree(obj, 100.0, scene.settings.smoothThreshold);
    const PatchShot shot = shotOf(obj, tree, tree.nodes[tree.roots.at(0)]);
    EXPECT_EQ((std::vector<double>{shot.area, shot.unshot.x, shot.unshot.y, shot.unshot.z}),
              (std::vector<double>{8, 1, 6, 0.5}));
    const PatchShot single = shotOf(obj, tree, tree.nodes[tree.leafOf[1]]);
    EXPECT_EQ(single.position.x, obj.triangles[1]->centroid.x);  // as a triangle shoots
}

// Hands the top face of every 8 x 8 hemicube a form factor of 0.01 for
// every triangle but the first 8, and notes every face asked for.
struct ScriptedCapturer : FaceCapturer {
    std::vector<FaceView> views;
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ff) override {
        views.push_back(view);
        for (size_t j = 8; j < ff.size() && view.rows == 8; ++j) ff[j] += 0.01;
    }
};

TEST(PatchSolver, StepsAreRoundsMeasuredByTheShareLeftAndLocalShotsSkipFaces) {
    Scene scene;
    Settings& s = scene.settings;
    s.N = 8;
    s.H = 4;
    s.patchSize = 2.0;
    s.stopAt = 0.0;
    s.nearPlane = 0.001;
    // A lamp of 8 triangles (area 0.5) over a floor with a wall standing on
    // its edge x = 0, facing it (64 triangles of 0.125).
    fixture::addObject(scene, grid(Vec3(0, 0, 3), Vec3(0, 2, 0), Vec3(2, 0, 0), 2, 2), Vec3(), Vec3(1, 1, 1));
    fixture::addObject(scene, grid(Vec3(), Vec3(2, 0, 0), Vec3(0, 2, 0), 4, 4), Vec3(0.5, 0.5, 0.5));
    fixture::addObject(scene, grid(Vec3(), Vec3(0, 2, 0), Vec3(0, 0, 2), 4, 4), Vec3(0.5, 0.5, 0.5));
    ScriptedCapturer capturer;
    Solver solver(scene);
    solver.setFaceCapturer(&capturer);
    ASSERT_TRUE(solver.initSolver());
    ASSERT_EQ(fixture::unshotEnergy(scene), 12.0);
    // The lamp's round: eight whole shots, one per triangle, each giving 64
    // triangles 0.01 x 0.5 / 0.125 x 0.5 of one unit in three channels.
    EXPECT_EQ(fixture::stdoutOf([&] { solver.idleStep(); }), "Convergence 0.32000\t\tStep 0\n");
    const PatchRounds& rounds = *solver.patchRounds();
    EXPECT_EQ(rounds.wholeShots(), 8);
    for (int step = 1; step < 6; ++step) {
        EXPECT_NEAR(solver.convergenceMeasure, fixture::unshotEnergy(scene) / 12.0, 1e-12);
        fixture::stdoutOf([&] { solver.idleStep(); });
    }
    // Whole shots capture all five faces to the capturer's own far plane;
    // the wall stands on one side of every floor part that shoots at it, so
    // a local shot's faces looking away from it (or along it) are left out.
    ASSERT_GT(rounds.localShots(), 0);
    long long wholeFaces = 0, localFaces = 0;
    for (const FaceView& v : capturer.views) ++(v.farPlane > 0.0 ? localFaces : wholeFaces);
    EXPECT_EQ(wholeFaces, 5 * rounds.wholeShots());
    EXPECT_TRUE(localFaces >= rounds.localShots() && localFaces < 5 * rounds.localShots()) << localFaces;
}

}  // namespace
