// Several shooters per step (settings.shooters), with a fake capturer
// standing in for the GL hemicube: the choice of the K most energetic
// triangles, one frame each drawn in shooter order, one form-factor array
// each, and the receive passes applied in shooter order.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>

#include "radiosity/shooter_choice.h"
#include "radiosity/solver.h"
#include "scene/scene.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

std::vector<int> chosenTriangles(const ShooterChoice& choice) {
    std::vector<int> out;
    for (const ShooterCandidate& c : choice.chosen()) out.push_back(c.triangleIndex);
    return out;
}

TEST(ShooterChoice, KeepsTheMostEnergeticFirstOfEqualsPositiveOnly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double energies[] = {0.0, 2.0, -5.0, 3.0, 2.0, nan, 7.0, 3.0, 2.0};
    auto choose = [&](int count) {
        ShooterChoice choice;
        choice.reset(count);
        for (int t = 0; t < 9; ++t) choice.offer(energies[t], 0, t);
        return chosenTriangles(choice);
    };
    EXPECT_EQ(choose(1), std::vector<int>{6});
    EXPECT_EQ(choose(0), std::vector<int>{6});  // at least one
    EXPECT_EQ(choose(3), (std::vector<int>{6, 3, 7}));
    EXPECT_EQ(choose(5), (std::vector<int>{6, 3, 7, 1, 4}));
    // More room than candidates: every positive one, and no zero, negative or NaN.
    EXPECT_EQ(choose(50), (std::vector<int>{6, 3, 7, 1, 4, 8}));

    ShooterChoice none;
    none.reset(4);
    none.offer(0.0, 0, 0);
    none.offer(-1.0, 0, 1);
    EXPECT_TRUE(none.chosen().empty());
    // reset forgets what was kept.
    none.offer(1.0, 2, 3);
    none.reset(4);
    EXPECT_TRUE(none.chosen().empty());
}

// Right triangle with legs a and b at height z facing up, moved along x.
Corners flat(double a, double b, double z, double x0, bool up = true) {
    const Vec3 p0(x0, 0, z), p1(x0 + a, 0, z), p2(x0, b, z);
    return up ? Corners{p0, p1, p2} : Corners{p0, p2, p1};
}

// Records every face captured and which array it went to; hands out form
// factors on the top face of each shot.
struct RecordingCapturer : FaceCapturer {
    struct Call {
        FaceView view;
        const FormFactors* target;
    };
    std::vector<Call> calls;
    // Form factors by the eye's x coordinate: what a shot from there sees.
    std::map<double, std::vector<std::pair<int, double>>> seen;
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ffs) override {
        calls.push_back({view, &ffs});
        if (view.rows != 8) return;  // side faces see nothing here
        const auto it = seen.find(view.eye.x);
        if (it == seen.end()) return;
        for (const auto& [index, f] : it->second) ffs[static_cast<size_t>(index)] += f;
    }
};

class SeveralShooters : public ::testing::Test {
  protected:
    SeveralShooters() {
        scene.settings.N = 8;
        scene.settings.H = 4;
        scene.settings.stopAt = 0.0;
        solver = std::make_unique<Solver>(scene);
        solver->setFaceCapturer(&capturer);
    }
    Triangle& tri(int o, int t) { return fixture::tri(scene, o, t); }

    Scene scene;
    std::unique_ptr<Solver> solver;
    RecordingCapturer capturer;
};

TEST_F(SeveralShooters, TheMostEnergeticShootEachFromItsOwnFrameIntoItsOwnArray) {
    // Emitters of area 2 with energies 1, 3, 2 (scene indices 0..2) and a
    // dark receiver facing down (index 3).
    fixture::addObject(scene, {flat(2, 2, 0, 0), flat(2, 2, 0, 10), flat(2, 2, 0, 20)});
    scene.objects[0].emission = Vec3(0.5, 0, 0);
    fixture::addObject(scene, {flat(2, 2, 0, 10)}, Vec3(), Vec3(1.5, 0, 0));
    fixture::addObject(scene, {flat(2, 2, 0, 20)}, Vec3(), Vec3(1.0, 0, 0));
    fixture::addObject(scene, {flat(1, 1, 3, 0, false)}, Vec3(0.5, 0.5, 0.5));
    scene.settings.shooters = 2;
    ASSERT_TRUE(solver->initSolver());
    // Object 0 holds three triangles of energy 1; objects 1 and 2 one each.
    ASSERT_EQ(solver->shooters.size(), 2u);
    EXPECT_EQ(solver->shooters[0].objectIndex, 1);
    EXPECT_EQ(solver->shooters[1].objectIndex, 2);
    EXPECT_EQ(tri(1, 0).unshot.x, 0.0);
    EXPECT_EQ(tri(2, 0).unshot.x, 0.0);
    EXPECT_EQ(tri(0, 0).unshot.x, 0.5);  // not chosen: keeps its energy

    solver->idleStep();
    ASSERT_EQ(capturer.calls.size(), 10u);
    // Shooter 1's frame takes the first three draws (41, 18467, 6334), shooter 2's the next three.
    SolverRandom draws;
    const Vec3 n(0, 0, 1);
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE("shooter " + std::to_string(k + 1));
        const double rx = draws.next() / 32767.0, ry = draws.next() / 32767.0, rz = draws.next() / 32767.0;
        const Vec3 u = n.cross(Vec3(rx, ry, rz)).normalized();
        const Vec3 p = tri(k + 1, 0).centroid;
        for (int f = 0; f < 5; ++f) {
            const RecordingCapturer::Call& c = capturer.calls[static_cast<size_t>(5 * k + f)];
            EXPECT_TRUE(c.view.eye.x == p.x && c.view.eye.y == p.y && c.view.eye.z == p.z + 0.001);
            EXPECT_EQ(c.target, &solver->formFactors[static_cast<size_t>(k)]);
        }
        EXPECT_NEAR(capturer.calls[static_cast<size_t>(5 * k)].view.up.dot(u), 1.0, 1e-12);
    }
    EXPECT_EQ(solver->solverRandom.state, draws.state);
    EXPECT_NE(capturer.calls[0].target, capturer.calls[5].target);
}

TEST_F(SeveralShooters, ReceivePassesApplyInShooterOrderAndChooseTheNextShooters) {
    // Two emitters of area 2 (x = 0 and x = 10) and receivers of area 0.5 with
    // reflectance 0.5 in the red channel: scene indices 2, 3, 4.
    fixture::addObject(scene, {flat(2, 2, 0, 0), flat(2, 2, 0, 10)}, Vec3(), Vec3(1, 0, 0));
    fixture::addObject(scene, {flat(1, 1, 3, 0, false), flat(1, 1, 3, 5, false), flat(1, 1, 3, 7, false)},
                       Vec3(0.5, 0, 0));
    scene.settings.shooters = 3;
    ASSERT_TRUE(solver->initSolver());
    ASSERT_EQ(solver->shooters.size(), 2u);  // only two triangles emit
    const double eye0 = tri(0, 0).centroid.x, eye1 = tri(0, 1).centroid.x;
    capturer.seen[eye0] = {{2, 0.1}, {3, 0.05}};
    capturer.seen[eye1] = {{3, 0.1}, {4, 0.3}};
    solver->idleStep();
    // Shooter 1 first: receiver 3 gets 1 x (0.05 x 2 / 0.5) x 0.5, then shooter 2's share.
    const double first = 1.0 * (0.05 * 2.0 / 0.5) * 0.5;
    const double second = 1.0 * (0.1 * 2.0 / 0.5) * 0.5;
    EXPECT_EQ(tri(1, 1).radiosity.x, first + second);
    EXPECT_DOUBLE_EQ(tri(1, 0).radiosity.x, 0.2);
    EXPECT_DOUBLE_EQ(tri(1, 2).radiosity.x, 0.5);  // 0.3 x 4 capped at 1, x 0.5
    // Every array is cleared for the next step.
    for (const FormFactors& ffs : solver->formFactors)
        for (const double f : ffs) EXPECT_EQ(f, 0.0);
    // The next shooters: receivers 4 (0.5), 3 (0.3), 2 (0.2), in that order.
    ASSERT_EQ(solver->shooters.size(), 3u);
    EXPECT_EQ(solver->shooters[0].triangleIndex, 2);
    EXPECT_EQ(solver->shooters[1].triangleIndex, 1);
    EXPECT_EQ(solver->shooters[2].triangleIndex, 0);
    // The measure, taken after the last pass: all the energy the receivers
    // hold over the emitted 4.
    EXPECT_DOUBLE_EQ(solver->convergenceMeasure, (0.5 + 0.3 + 0.2) * 0.5 / 4.0);
    for (int t = 0; t < 3; ++t) EXPECT_EQ(tri(1, t).unshot.x, 0.0);
    EXPECT_DOUBLE_EQ(solver->shooters[0].unshot.x, 0.5);
}

TEST_F(SeveralShooters, AShooterLitByAnEarlierOneInTheSameStepKeepsThatLight) {
    // Shooter 2 (index 1) is seen by shooter 1: what it receives arrives
    // after its own unshot was taken, so it waits for a later step.
    fixture::addObject(scene, {flat(2, 2, 0, 0), flat(1, 1, 0, 10)}, Vec3(0.5, 0.5, 0.5), Vec3(1, 1, 1));
    scene.settings.shooters = 2;
    ASSERT_TRUE(solver->initSolver());
    capturer.seen[tri(0, 0).centroid.x] = {{1, 0.25}};
    solver->idleStep();
    const double gain = 1.0 * (0.25 * 2.0 / 0.5) * 0.5;
    EXPECT_EQ(tri(0, 1).radiosity.x, 1.0 + gain);
    ASSERT_EQ(solver->shooters.size(), 1u);
    EXPECT_EQ(solver->shooters[0].triangleIndex, 1);
    EXPECT_DOUBLE_EQ(solver->shooters[0].unshot.x, gain);
}

TEST_F(SeveralShooters, NothingLeftToShootKeepsOneShooterAndStops) {
    fixture::addObject(scene, {flat(2, 2, 0, 0), flat(2, 2, 0, 10)}, Vec3(), Vec3(1, 1, 1));
    scene.settings.shooters = 4;
    scene.settings.stopAt = 1e-9;
    ASSERT_TRUE(solver->initSolver());
    EXPECT_TRUE(solver->idleStep().converged);
    EXPECT_EQ(solver->convergenceMeasure, 0.0);
    ASSERT_EQ(solver->shooters.size(), 1u);
    EXPECT_EQ(solver->shooters[0].triangleIndex, 0);  // the last selection's first
    EXPECT_EQ(solver->shooters[0].unshot.sum(), 0.0);
    EXPECT_TRUE(solver->idleStep().converged);
}

TEST_F(SeveralShooters, TheNumberOfShootersIsBounded) {
    // Every shooter holds an array of the scene's size: a value far beyond
    // the bound keeps kMaxShooters.
    std::vector<Corners> many;
    for (int k = 0; k < kMaxShooters + 10; ++k) many.push_back(flat(1, 1, 0, 2.0 * k));
    fixture::addObject(scene, many, Vec3(), Vec3(1, 1, 1));
    scene.settings.shooters = 1000000;
    ASSERT_TRUE(solver->initSolver());
    EXPECT_EQ(solver->shooters.size(), static_cast<size_t>(kMaxShooters));
    solver->idleStep();
    EXPECT_EQ(capturer.calls.size(), 5u * kMaxShooters);
}

}  // namespace
