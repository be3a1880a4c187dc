// Patch shooting without OpenGL: the nearness index against brute force,
// the plan of a round (every receiver gets every triangle's light exactly
// once), the light a node sends, and the solver's rounds with a scripted
// capturer.

#include "radiosity/patch_rounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "radiosity/solver.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;
using fixture::grid;

Corners at(const Vec3& c, const Vec3& u, const Vec3& v) {
    return {c, c + u, c + v};  // front side u x v
}

std::vector<int> sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(ReceiverIndex, FindsWhatLiesCloseInFrontFacingTheShooterAsBruteForceDoes) {
    Scene scene;
    const Vec3 x(0.2, 0, 0), y(0, 0.2, 0), z(0, 0, 0.2), up(0, 0, 1);
    // Near a shooter at the origin facing up: 0 above facing down, 5 a wall
    // on its plane facing it, 4 far above with a long reach. Never: 1 above
    // facing away, 2 behind the plane, 3 a coplanar neighbour, 6 the wall's
    // back, 7 degenerate.
    fixture::addObject(scene, {at(Vec3(0, 0, 1), y, x), at(Vec3(0, 0, 1.5), x, y), at(Vec3(0, 0, -0.5), x, y),
                               at(Vec3(0.3, 0, 0), x, y), at(Vec3(0, 0, 5), y, x), at(Vec3(1.5, 0, 0), z, y),
                               at(Vec3(1.5, 0, 0), y, z), at(Vec3(0, 0, 1), Vec3(), Vec3())});
    // And a cloud of 3000 small triangles far away, for the tree searches.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> cloud(90.0, 110.0), edge(-0.5, 0.5);
    auto point = [&](std::uniform_real_distribution<double>& d) {
        return Vec3(d(random), d(random), d(random));
    };
    std::vector<Corners> tris(3000);
    for (Corners& c : tris) c = at(point(cloud), point(edge), point(edge));
    fixture::addObject(scene, tris);
    const ReceiverIndex index(scene.objects);
    auto near = [&](const NearQuery& q) {
        std::vector<int> out;
        index.collectNear(q, out);
        return sorted(out);
    };
    const NearQuery wide{Vec3(), up, 1.0, 6.0, 0.02};
    EXPECT_EQ(near({Vec3(), up, 1.0, 2.0, 0.02}), (std::vector<int>{0, 5}));
    EXPECT_EQ(near(wide), (std::vector<int>{0, 4, 5}));
    EXPECT_FALSE(index.anyNear({Vec3(), up, 1.0, 0.5, 0.02}) || index.isNear(-1, wide) ||
                 index.isNear(7, wide));
    for (int k = 0; k < 50; ++k) {
        const NearQuery q{point(cloud), point(edge).normalized(), 0.5, 1.0 + k * 0.1, 0.01};
        std::vector<int> sphere, nearTruth, sphereTruth;
        index.collectInSphere(q.centre, q.reach, sphere);
        for (int t = 0; t < 3009; ++t) {  // one past the end as well
            const Box b = index.boxOf(t);
            if (index.isNear(t, q)) nearTruth.push_back(t);
            if (boxDistanceSquared(q.centre, b.lo, b.hi) < q.reach * q.reach) sphereTruth.push_back(t);
        }
        EXPECT_EQ(near(q), nearTruth) << "query " << k;
        EXPECT_EQ(index.anyNear(q), !nearTruth.empty());
        EXPECT_EQ(sorted(sphere), sphereTruth) << "query " << k;
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

TEST(PatchPlan, EveryReceiverGetsEveryTriangleOnceNearOnesFromPartsEmittersPerTriangle) {
    Scene scene;
    addLampFloorWall(scene);
    for (SceneObject& o : scene.objects)
        for (auto& t : o.triangles) t->unshot = Vec3(0.1, 0.2, 0.3);
    const ScenePatches patches = buildScenePatches(scene.objects, 2.0, scene.settings.smoothThreshold);
    const ReceiverIndex index(scene.objects);
    const PatchTree& floor = patches.trees[1];
    auto plan = [&](int object, bool firstRound, const RefinementRule& rule) {
        std::vector<PlannedShot> shots;
        planRound(scene.objects, patches, index, patches.tops[patches.topOf[object][0]], rule, firstRound,
                  shots);
        return shots;
    };
    const std::vector<PlannedShot> shots = plan(1, true, {});
    ASSERT_TRUE(floor.roots.size() == 1 && !shots.empty());
    EXPECT_TRUE(shots[0].whole && shots[0].node.node == floor.roots[0]);
    std::map<std::pair<int, int>, int> count;  // (floor triangle, receiver) -> deliveries
    bool footFromSingles = false;
    for (const PlannedShot& p : shots) {
        const PatchNode& node = patches.node(p.node);
        const std::set<int> listed(p.receivers.begin(), p.receivers.end());
        for (int k = node.first; k < node.first + node.count; ++k)
            for (int j = 0; j < 72; ++j)
                if (p.whole != (listed.count(j) != 0)) ++count[{floor.order[k], j}];
        const Vec3 eye = shotOf(scene.objects[1], floor, node).position;
        for (int j : p.receivers) EXPECT_TRUE(p.whole || p.farPlane >= index.farthestCorner(j, eye)) << j;
        footFromSingles = footFromSingles || (!p.whole && node.count == 1 && listed.count(40) != 0);
    }
    EXPECT_EQ(count.size(), 32u * 72u);
    for (const auto& [key, n] : count) EXPECT_EQ(n, 1) << "triangle " << key.first << " to " << key.second;
    EXPECT_TRUE(footFromSingles) << "the wall's foot sees the floor from its triangles";
    // The lamp shoots each triangle to everything in its first round, and as
    // one patch later or without the rule.
    const std::vector<PlannedShot> lamp = plan(0, true, {});
    ASSERT_EQ(lamp.size(), 8u);
    for (const PlannedShot& p : lamp)
        EXPECT_TRUE(p.whole && p.receivers.empty() && patches.node(p.node).count == 1);
    RefinementRule whole;
    whole.emittersPerTriangle = false;
    EXPECT_EQ(plan(0, false, {}).size() + plan(0, true, whole).size(), 2u);
    // A floor with light in one triangle only shoots from parts that hold some.
    for (auto& t : scene.objects[1].triangles) t->unshot = Vec3();
    EXPECT_TRUE(plan(1, true, {}).empty());
    scene.objects[1].triangles[5]->unshot = Vec3(1, 0, 0);
    const std::vector<PlannedShot> lit = plan(1, true, {});
    ASSERT_FALSE(lit.empty());
    for (const PlannedShot& p : lit)
        EXPECT_GT(patchEnergy(scene.objects[1], floor, patches.node(p.node)), 0.0);
}

TEST(PatchShot, SendsTheAreaWeightedUnshotFromTheCentre) {
    Scene scene;  // two triangles of areas 2 and 6
    fixture::addObject(
        scene, {at(Vec3(), Vec3(2, 0, 0), Vec3(0, 2, 0)), at(Vec3(2, 0, 0), Vec3(2, 0, 0), Vec3(0, 6, 0))});
    SceneObject& obj = scene.objects[0];
    obj.triangles[0]->unshot = Vec3(4, 0, -1);
    obj.triangles[1]->unshot = Vec3(0, 8, 1);
    const PatchTree tree = buildPatchTree(obj, 100.0, scene.settings.smoothThreshold);
    const PatchShot shot = shotOf(obj, tree, tree.nodes[tree.roots.at(0)]);
    EXPECT_EQ((std::vector<double>{shot.area, shot.unshot.x, shot.unshot.y, shot.unshot.z}),
              (std::vector<double>{8, 1, 6, 0.5}));
    EXPECT_EQ(shotOf(obj, tree, tree.nodes[tree.leafOf[1]]).position.y, obj.triangles[1]->centroid.y);
}

// Hands the top face of every 8 x 8 hemicube a form factor of 0.01 for
// every triangle but the lamp's, and notes every face asked for.
struct ScriptedCapturer : FaceCapturer {
    std::vector<FaceView> views;
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ff) override {
        views.push_back(view);
        for (size_t j = 8; j < ff.size() && view.rows == 8; ++j) ff[j] += 0.01;
    }
};

TEST(PatchSolver, StepsAreRoundsMeasuredByTheShareLeftAndLocalShotsSkipFaces) {
    Scene scene;
    scene.settings.N = 8;
    scene.settings.H = 4;
    scene.settings.patchSize = 2.0;
    addLampFloorWall(scene);
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
    long long wholeFaces = 0, localFaces = 0;
    for (const FaceView& v : capturer.views) ++(v.farPlane > 0.0 ? localFaces : wholeFaces);
    EXPECT_EQ(wholeFaces, 5 * rounds.wholeShots());
    EXPECT_TRUE(localFaces >= rounds.localShots() && localFaces < 5 * rounds.localShots()) << localFaces;
}

}  // namespace
