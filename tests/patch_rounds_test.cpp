// Patch shooting without OpenGL: the nearness index against brute force,
// the plan of a round (every receiver gets every triangle's light exactly
// once), the light a node sends, and the solver's rounds with a fake
// capturer.

#include "radiosity/patch_rounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "radiosity/patch_shooters.h"
#include "radiosity/receiver_index.h"
#include "radiosity/solver.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

const double kCos2 = std::cos(2.0 * 3.141592653589793 / 180.0);

Corners triangleAt(const Vec3& c, const Vec3& u, const Vec3& v) {
    return {c, c + u, c + v};  // front side u x v
}

int numberOf(const Scene& scene, int object, int triangle) {
    int n = 0;
    for (int o = 0; o < object; ++o) n += scene.objects[static_cast<size_t>(o)].triangleCount();
    return n + triangle;
}

TEST(ReceiverIndex, NearMeansCloseInFrontAndTurnedTowardsTheShooter) {
    Scene scene;
    const Vec3 x(0.2, 0, 0), y(0, 0.2, 0), z(0, 0, 0.2);
    fixture::addObject(scene, {
                                  triangleAt(Vec3(0, 0, 1), y, x),     // 0 above, facing down: near
                                  triangleAt(Vec3(0, 0, 1.5), x, y),   // 1 above, facing away: no
                                  triangleAt(Vec3(0, 0, -0.5), x, y),  // 2 behind the plane: no
                                  triangleAt(Vec3(0.3, 0, 0), x, y),   // 3 coplanar neighbour: no
                                  triangleAt(Vec3(0, 0, 5), y, x),     // 4 far above: only with a long reach
                                  triangleAt(Vec3(1.5, 0, 0), z, y),   // 5 wall on the plane, facing -x: near
                                  triangleAt(Vec3(1.5, 0, 0), y, z),   // 6 its back: no
                                  {Vec3(0, 0, 1), Vec3(0, 0, 1), Vec3(0, 0, 1)},  // 7 degenerate: never
                              });
    const ReceiverIndex index(scene.objects);
    EXPECT_EQ(index.triangleCount(), 7);
    NearQuery q{Vec3(0, 0, 0), Vec3(0, 0, 1), 1.0, 2.0, 0.02};
    std::vector<int> near;
    index.collectNear(q, near);
    std::sort(near.begin(), near.end());
    EXPECT_EQ(near, (std::vector<int>{0, 5}));
    EXPECT_TRUE(index.anyNear(q));
    for (int t = 0; t < 8; ++t) EXPECT_EQ(index.isNear(t, q), t == 0 || t == 5) << t;
    q.reach = 6.0;
    near.clear();
    index.collectNear(q, near);
    std::sort(near.begin(), near.end());
    EXPECT_EQ(near, (std::vector<int>{0, 4, 5}));
    q.reach = 0.5;
    EXPECT_FALSE(index.anyNear(q));
    EXPECT_FALSE(index.isNear(-1, q));
    EXPECT_FALSE(index.isNear(99, q));
}

TEST(ReceiverIndex, TreeSearchesFindWhatBruteForceFinds) {
    Scene scene;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> at(-10.0, 10.0), edge(-0.5, 0.5);
    std::vector<Corners> tris;
    for (int k = 0; k < 3000; ++k) {
        const Vec3 c(at(random), at(random), at(random));
        tris.push_back({c, c + Vec3(edge(random), edge(random), edge(random)),
                        c + Vec3(edge(random), edge(random), edge(random))});
    }
    fixture::addObject(scene, tris);
    const ReceiverIndex index(scene.objects);
    for (int k = 0; k < 50; ++k) {
        const Vec3 n = Vec3(edge(random), edge(random), edge(random)).normalized();
        const NearQuery q{Vec3(at(random), at(random), at(random)), n, 0.5, 1.0 + k * 0.1, 0.01};
        std::vector<int> near, expected;
        index.collectNear(q, near);
        for (int t = 0; t < 3000; ++t)
            if (index.isNear(t, q)) expected.push_back(t);
        std::sort(near.begin(), near.end());
        EXPECT_EQ(near, expected) << "query " << k;
        EXPECT_EQ(index.anyNear(q), !expected.empty());

        std::vector<int> sphere, inside;
        index.collectInSphere(q.centre, q.reach, sphere);
        for (int t = 0; t < 3000; ++t) {
            const Triangle& tri = *scene.objects[0].triangles[static_cast<size_t>(t)];
            Vec3 lo = tri.corners[0]->position, hi = lo;
            for (const Vertex* v : tri.corners) {
                lo = Vec3(std::min(lo.x, v->position.x), std::min(lo.y, v->position.y),
                          std::min(lo.z, v->position.z));
                hi = Vec3(std::max(hi.x, v->position.x), std::max(hi.y, v->position.y),
                          std::max(hi.z, v->position.z));
            }
            if (tri.area > 0.0 && boxDistanceSquared(q.centre, lo, hi) < q.reach * q.reach)
                inside.push_back(t);
        }
        std::sort(sphere.begin(), sphere.end());
        EXPECT_EQ(sphere, inside) << "query " << k;
    }
}

// A floor of 4 x 4 squares of side 1 with a wall standing on its edge x = 0
// and a lamp above; one patch of the floor touches the wall.
class PatchPlan : public ::testing::Test {
  protected:
    void SetUp() override {
        floor_ = fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), Vec3(4, 0, 0), Vec3(0, 4, 0), 8, 8),
                                    Vec3(0.5, 0.5, 0.5));
        wall_ = fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), Vec3(0, 4, 0), Vec3(0, 0, 2), 8, 4),
                                   Vec3(0.5, 0.5, 0.5));
        lamp_ = fixture::addObject(scene, fixture::grid(Vec3(1, 1, 3), Vec3(0, 1, 0), Vec3(1, 0, 0), 2, 2),
                                   Vec3(), Vec3(1, 1, 1));
        for (SceneObject& o : scene.objects)
            for (auto& t : o.triangles) t->unshot = Vec3(0.1, 0.2, 0.3);
        patches = buildScenePatches(scene.objects, 2.0, kCos2);
        index = ReceiverIndex(scene.objects);
    }

    // For every receiver and every triangle of the patch, how many shots
    // carry that triangle's light to that receiver.
    std::map<std::pair<int, int>, int> deliveries(const PatchRef& top,
                                                  const std::vector<PlannedShot>& shots) {
        const PatchTree& tree = patches.trees[static_cast<size_t>(top.object)];
        int total = 0;
        for (const SceneObject& o : scene.objects) total += o.triangleCount();
        std::map<std::pair<int, int>, int> count;
        for (const PlannedShot& s : shots) {
            const PatchNode& node = patches.node(s.node);
            const std::set<int> listed(s.receivers.begin(), s.receivers.end());
            for (int k = node.first; k < node.first + node.count; ++k) {
                const int t = numberOf(scene, top.object, tree.order[static_cast<size_t>(k)]);
                for (int j = 0; j < total; ++j) {
                    if (s.whole != (listed.count(j) != 0)) ++count[{t, j}];
                }
            }
        }
        return count;
    }

    int topHolding(int object, int triangle) const {
        return patches.topOf[static_cast<size_t>(object)][static_cast<size_t>(triangle)];
    }

    Scene scene;
    ScenePatches patches;
    ReceiverIndex index;
    int floor_ = 0, wall_ = 0, lamp_ = 0;
};

TEST_F(PatchPlan, EveryReceiverGetsEveryTriangleOnceAndNearOnesFromParts) {
    int total = 0;
    for (const SceneObject& o : scene.objects) total += o.triangleCount();
    // The floor patch at the wall's foot, and one in the far corner.
    for (const int triangle : {0, 127}) {
        const PatchRef top = patches.tops[static_cast<size_t>(topHolding(floor_, triangle))];
        std::vector<PlannedShot> shots;
        planRound(scene.objects, patches, index, top, RefinementRule{}, true, shots);
        ASSERT_FALSE(shots.empty());
        EXPECT_TRUE(shots[0].whole);
        EXPECT_EQ(shots[0].node.node, top.node);
        const std::map<std::pair<int, int>, int> count = deliveries(top, shots);
        const PatchNode& root = patches.node(top);
        EXPECT_EQ(count.size(), static_cast<size_t>(root.count) * static_cast<size_t>(total));
        for (const auto& [key, n] : count)
            EXPECT_EQ(n, 1) << "triangle " << key.first << " to " << key.second;
        const PatchTree& tree = patches.trees[static_cast<size_t>(top.object)];
        for (const PlannedShot& s : shots) {
            if (s.whole) continue;
            // The capture reaches every receiver it serves.
            const PatchNode& node = patches.node(s.node);
            const Vec3 eye =
                node.count == 1
                    ? scene.objects[0]
                          .triangles[static_cast<size_t>(tree.order[static_cast<size_t>(node.first)])]
                          ->centroid
                    : node.centroid;
            for (int j : s.receivers) EXPECT_GE(s.farPlane, index.farthestCorner(j, eye));
        }
        if (triangle == 0) {
            // The wall is near: its foot sees the patch from single triangles.
            EXPECT_GT(shots.size(), 1u);
            const int foot = numberOf(scene, wall_, 0);
            bool fromSingles = false;
            for (const PlannedShot& s : shots)
                if (!s.whole && patches.node(s.node).count == 1 &&
                    std::count(s.receivers.begin(), s.receivers.end(), foot) > 0)
                    fromSingles = true;
            EXPECT_TRUE(fromSingles);
        }
    }
}

TEST_F(PatchPlan, EmittersShootTrianglesAloneAndEmptyPartsStaySilent) {
    const PatchRef lamp = patches.tops[static_cast<size_t>(topHolding(lamp_, 0))];
    std::vector<PlannedShot> shots;
    planRound(scene.objects, patches, index, lamp, RefinementRule{}, true, shots);
    ASSERT_EQ(shots.size(), 8u);
    for (const PlannedShot& s : shots) {
        EXPECT_TRUE(s.whole);
        EXPECT_TRUE(s.receivers.empty());
        EXPECT_EQ(patches.node(s.node).count, 1);
    }
    // After its first round, or without the rule, the lamp is one patch
    // shooting once.
    shots.clear();
    planRound(scene.objects, patches, index, lamp, RefinementRule{}, false, shots);
    EXPECT_EQ(shots.size(), 1u);
    RefinementRule whole;
    whole.emittersPerTriangle = false;
    shots.clear();
    planRound(scene.objects, patches, index, lamp, whole, true, shots);
    EXPECT_EQ(shots.size(), 1u);

    // A patch whose triangles hold nothing but one plans one shot from the
    // parts that hold light, never from parts that hold none.
    const PatchRef top = patches.tops[static_cast<size_t>(topHolding(floor_, 0))];
    const PatchTree& tree = patches.trees[static_cast<size_t>(floor_)];
    const PatchNode& root = patches.node(top);
    for (int k = root.first; k < root.first + root.count; ++k)
        scene.objects[static_cast<size_t>(floor_)]
            .triangles[static_cast<size_t>(tree.order[static_cast<size_t>(k)])]
            ->unshot = Vec3();
    shots.clear();
    planRound(scene.objects, patches, index, top, RefinementRule{}, true, shots);
    EXPECT_TRUE(shots.empty());
    Triangle& lit = *scene.objects[static_cast<size_t>(floor_)]
                         .triangles[static_cast<size_t>(tree.order[static_cast<size_t>(root.first)])];
    lit.unshot = Vec3(1, 0, 0);
    planRound(scene.objects, patches, index, top, RefinementRule{}, true, shots);
    ASSERT_FALSE(shots.empty());
    for (const PlannedShot& s : shots)
        EXPECT_GT(patchEnergy(scene.objects[static_cast<size_t>(floor_)], tree, patches.node(s.node)), 0.0);
}

TEST(PatchShot, SendsTheAreaWeightedUnshotFromTheCentre) {
    Scene scene;
    // Two triangles of areas 2 and 6 side by side on z = 0.
    fixture::addObject(scene, {{Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(0, 2, 0)},
                               {Vec3(2, 0, 0), Vec3(4, 0, 0), Vec3(2, 6, 0)}});
    scene.objects[0].triangles[0]->unshot = Vec3(4, 0, -1);
    scene.objects[0].triangles[1]->unshot = Vec3(0, 8, 1);
    const PatchTree tree = buildPatchTree(scene.objects[0], 100.0, kCos2);
    ASSERT_EQ(tree.roots.size(), 1u);
    const PatchNode& root = tree.nodes[0];
    const PatchShot shot = shotOf(scene.objects[0], tree, root);
    EXPECT_DOUBLE_EQ(shot.area, 8.0);
    EXPECT_DOUBLE_EQ(shot.unshot.x, 1.0);
    EXPECT_DOUBLE_EQ(shot.unshot.y, 6.0);
    EXPECT_DOUBLE_EQ(shot.unshot.z, 0.5);
    EXPECT_DOUBLE_EQ(shot.normal.z, 1.0);
    EXPECT_NEAR(shot.position.x, (2.0 * 2.0 / 3.0 + 6.0 * 8.0 / 3.0) / 8.0, 1e-12);
    const PatchShot single = shotOf(scene.objects[0], tree, tree.nodes[static_cast<size_t>(tree.leafOf[1])]);
    EXPECT_DOUBLE_EQ(single.area, 6.0);
    EXPECT_DOUBLE_EQ(single.unshot.y, 8.0);
    EXPECT_DOUBLE_EQ(single.position.y, scene.objects[0].triangles[1]->centroid.y);
    clearUnshot(scene.objects[0], tree, root);
    for (const auto& t : scene.objects[0].triangles) EXPECT_EQ(t->unshot.sum(), 0.0);
}

// Hands the top face of every capture a form factor for chosen triangles
// (their places in the scene).
struct ScriptedCapturer : FaceCapturer {
    std::vector<size_t> seen;
    double factor = 0.0;
    int captures = 0;
    std::vector<double> farPlanes;
    std::vector<FaceView> views;  // every face captured
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ff) override {
        views.push_back(view);
        if (view.rows != 8) return;  // the top face of an 8 x 8 hemicube
        ++captures;
        farPlanes.push_back(view.farPlane);
        for (size_t j : seen) ff[j] += factor;
    }
};

double shareLeft(const Scene& scene, double emitted) {
    double left = 0.0;
    for (const SceneObject& o : scene.objects)
        for (const auto& t : o.triangles)
            left += (std::fabs(t->unshot.x) + std::fabs(t->unshot.y) + std::fabs(t->unshot.z)) * t->area;
    return left / emitted;
}

TEST(PatchSolver, OneStepIsOneRoundAndTheMeasureIsTheShareLeft) {
    Scene scene;
    scene.settings.N = 8;
    scene.settings.H = 4;
    scene.settings.patchSize = 2.0;
    scene.settings.step = 1;
    scene.settings.stopAt = 0.0;
    // A lamp of 8 triangles over a floor of two patches.
    fixture::addObject(scene, fixture::grid(Vec3(0, 0, 3), Vec3(0, 2, 0), Vec3(2, 0, 0), 2, 2), Vec3(),
                       Vec3(1, 1, 1));
    fixture::addObject(scene, fixture::grid(Vec3(-2, 0, 0), Vec3(4, 0, 0), Vec3(0, 2, 0), 4, 2),
                       Vec3(0.5, 0.5, 0.5));
    ScriptedCapturer capturer;
    for (size_t j = 8; j < 24; ++j) capturer.seen.push_back(j);  // the floor
    capturer.factor = 0.01;
    Solver solver(scene);
    solver.setFaceCapturer(&capturer);
    ASSERT_TRUE(solver.initSolver());
    ASSERT_NE(solver.patchRounds(), nullptr);
    EXPECT_EQ(solver.patchRounds()->patches().tops.size(), 3u);
    const double emitted = 8 * 0.5 * 3.0;
    EXPECT_DOUBLE_EQ(shareLeft(scene, emitted), 1.0);  // nothing taken out before the first round
    const std::string out = fixture::stdoutOf([&] { solver.idleStep(); });
    EXPECT_EQ(out, "Convergence 0.08000\t\tStep 0\n");
    // The lamp's round: eight whole shots, one per triangle, each giving the
    // floor's 16 triangles 0.01 x 0.5 / 0.5 x 0.5 of one unit.
    EXPECT_EQ(capturer.captures, 8);
    EXPECT_EQ(solver.patchRounds()->wholeShots(), 8);
    EXPECT_NEAR(solver.convergenceMeasure, shareLeft(scene, emitted), 1e-15);
    EXPECT_NEAR(scene.objects[1].triangles[0]->unshot.x, 8 * 0.01 * 0.5, 1e-15);
    for (const auto& t : scene.objects[0].triangles) EXPECT_EQ(t->unshot.sum(), 0.0);
    for (int step = 1; step < 4; ++step) {
        fixture::stdoutOf([&] { solver.idleStep(); });
        EXPECT_EQ(solver.stepCounter, step + 1);
        EXPECT_NEAR(solver.convergenceMeasure, shareLeft(scene, emitted), 1e-12);
    }
    // Nothing lies near a floor patch: whole shots only, to the capturer's own far plane.
    EXPECT_EQ(solver.patchRounds()->localShots(), 0);
    for (double f : capturer.farPlanes) EXPECT_EQ(f, 0.0);
}

TEST(PatchSolver, LocalShotsCaptureOnlyFacesThatCanShowTheirReceivers) {
    Scene scene;
    scene.settings.N = 8;
    scene.settings.H = 4;
    scene.settings.patchSize = 2.0;
    scene.settings.stopAt = 0.0;
    scene.settings.nearPlane = 0.001;
    scene.settings.farPlane = 100.0;
    // A floor with a wall standing on its edge x = 0, facing it, and a lamp.
    fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(0, 2, 0), 4, 4),
                       Vec3(0.5, 0.5, 0.5));
    fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), Vec3(0, 2, 0), Vec3(0, 0, 2), 4, 4),
                       Vec3(0.5, 0.5, 0.5));
    fixture::addObject(scene, fixture::grid(Vec3(1, 1, 5), Vec3(0, 0.5, 0), Vec3(0.5, 0, 0), 1, 1), Vec3(),
                       Vec3(1, 1, 1));
    ScriptedCapturer capturer;
    for (size_t j = 0; j < 64; ++j) capturer.seen.push_back(j);  // floor and wall
    capturer.factor = 0.01;
    Solver solver(scene);
    solver.setFaceCapturer(&capturer);
    ASSERT_TRUE(solver.initSolver());
    fixture::stdoutOf([&] {
        for (int step = 0; step < 6; ++step) solver.idleStep();
    });
    const PatchRounds& rounds = *solver.patchRounds();
    ASSERT_GT(rounds.localShots(), 0);
    long long wholeFaces = 0, localFaces = 0;
    for (const FaceView& v : capturer.views) (v.farPlane > 0.0 ? localFaces : wholeFaces) += 1;
    EXPECT_EQ(wholeFaces, 5 * rounds.wholeShots());
    // The wall stands on one side of every floor part: the face looking
    // away from it (and those along it) cannot show it.
    EXPECT_LT(localFaces, 5 * rounds.localShots());
    EXPECT_GE(localFaces, rounds.localShots());
}

}  // namespace
