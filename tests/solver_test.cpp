// The shooting solver with a fake capturer standing in for the GL hemicube:
// reciprocity, the stop rule, several shooters a step and the choice of them,
// and scenes that cannot be solved.

#include "radiosity/solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>

#include "radiosity/shooter_choice.h"
#include "scene/scene.h"
#include "scene_fixture.h"
#include "view/result_writer.h"

namespace {

using fixture::Corners;

// On a shot's top face, hands out the form factors listed for the eye's x,
// where the shooter sits: what a shot from there sees.
struct FakeCapturer : FaceCapturer {
    std::map<double, std::vector<std::pair<int, double>>> seen;
    void captureFace(const FaceView& view, const std::vector<double>&, FormFactors& ffs) override {
        const auto it = seen.find(view.eye.x);
        if (view.rows != 8 || it == seen.end()) return;  // side faces see nothing here
        for (const auto& [index, f] : it->second) ffs[static_cast<size_t>(index)] += f;
    }
};

// Right triangle with legs a (along x) and b (along y) at height z, moved
// along x, facing up (+z) or down; area a * b / 2 exactly.
Corners rightTriangle(double a, double b, double z, bool up = true, double x0 = 0) {
    const Vec3 p0(x0, 0, z), p1(x0 + a, 0, z), p2(x0, b, z);
    return up ? Corners{p0, p1, p2} : Corners{p0, p2, p1};
}

class Shooting : public ::testing::Test {
  protected:
    Shooting() {
        settings.N = 8;
        settings.H = 4;
        settings.stopAt = 0.0;
        solver = std::make_unique<Solver>(scene);
        solver->setFaceCapturer(&fake);
    }
    Triangle& tri(int o, int t) { return fixture::tri(scene, o, t); }

    Scene scene;
    Settings& settings = scene.settings;
    std::unique_ptr<Solver> solver;
    FakeCapturer fake;
};

class SeveralShooters : public Shooting {};

TEST_F(Shooting, ReceiversGetTheShareReciprocityGives) {
    // Shooter of area 2 emitting (1, 0.5, 0.25); receivers of area 0.5.
    fixture::addObject(scene, {rightTriangle(2, 2, 0)}, Vec3(), Vec3(1, 0.5, 0.25));
    const Vec3 rho(0.5, 0.25, 1.0);
    fixture::addObject(
        scene,
        {rightTriangle(1, 1, 1, false), rightTriangle(1, 1, 1, false, 5), rightTriangle(1, 1, 1, false, 10),
         rightTriangle(1, 0, 1, false, 15), rightTriangle(1, 1, 1, false, 20)},
        rho);
    ASSERT_TRUE(solver->initSolver());
    // Scene index 1 + t is receiver t: 0.1 x 2 / 0.5 -> 0.4; 0.5 -> 2, capped
    // at 1; 1.7 capped at 1 before and after the area ratio; a receiver of
    // zero area receives nothing; the last one is seen by no face.
    fake.seen[tri(0, 0).centroid.x] = {{1, 0.1}, {2, 0.5}, {3, 1.7}, {4, 0.3}};
    solver->idleStep();
    // The form factors are cleared for the next step.
    for (const double f : solver->formFactors[0]) EXPECT_EQ(f, 0.0);
    const double shares[] = {0.4, 1.0, 1.0, 0.0, 0.0};
    for (int t = 0; t < 5; ++t) {
        SCOPED_TRACE("receiver " + std::to_string(t));
        const Triangle& r = tri(1, t);
        EXPECT_DOUBLE_EQ(r.radiosity.x, 1.0 * shares[t] * rho.x);
        EXPECT_DOUBLE_EQ(r.radiosity.y, 0.5 * shares[t] * rho.y);
        EXPECT_DOUBLE_EQ(r.radiosity.z, 0.25 * shares[t] * rho.z);
        EXPECT_FALSE(std::isnan(r.unshot.x));
    }
    // Receivers 1 and 2 tie on energy; the earlier one shoots next and its
    // energy moves into the shooter state.
    EXPECT_EQ(solver->shooterState().objectIndex, 1);
    EXPECT_EQ(solver->shooterState().triangleIndex, 1);
    EXPECT_EQ(tri(1, 1).unshot.sum(), 0.0);
    EXPECT_DOUBLE_EQ(solver->shooterState().unshot.x, 0.5);
    EXPECT_EQ(solver->shooterState().area, 0.5);
    // Measure: the energy all receivers hold, the new shooter's included,
    // over the emitted energy (1.75 x 2): the share of the light not yet shot.
    const double held = (0.2 + 0.05 + 0.1) * 0.5 + 2 * (0.5 + 0.125 + 0.25) * 0.5;
    EXPECT_DOUBLE_EQ(solver->convergenceMeasure, held / 3.5);
    EXPECT_EQ(solver->totalInitialEnergy, 3.5);
}

TEST_F(Shooting, StopsOnlyBelowTheThreshold) {
    // Energies 2 and 1 of a total 3: after the first step the measure is 1/3.
    fixture::addObject(scene, {rightTriangle(2, 2, 0), rightTriangle(2, 1, 0, true, 5)}, Vec3(),
                       Vec3(1, 0, 0));
    settings.stopAt = 1.0 / 3.0;
    ASSERT_TRUE(solver->initSolver());
    EXPECT_EQ(solver->shooterState().triangleIndex, 0);
    EXPECT_FALSE(solver->shootStep());  // equal: keeps running
    EXPECT_EQ(solver->convergenceMeasure, 1.0 / 3.0);
    EXPECT_EQ(solver->shooterState().triangleIndex, 1);
    settings.stopAt = std::nextafter(1.0 / 3.0, 1.0);
    ASSERT_TRUE(solver->initSolver());
    EXPECT_TRUE(solver->idleStep().converged);
    // Nothing left to shoot: measure 0 stops any positive threshold, never a
    // threshold of 0 or less.
    ASSERT_TRUE(solver->initSolver());
    settings.stopAt = 0.0;
    solver->idleStep();
    EXPECT_FALSE(solver->idleStep().converged);
    EXPECT_EQ(solver->convergenceMeasure, 0.0);
    settings.stopAt = 1e-12;
    EXPECT_TRUE(solver->idleStep().converged);
    // The last selection stays; no index runs off the scene.
    EXPECT_EQ(solver->shooterState().objectIndex, 0);
    EXPECT_EQ(solver->shooterState().triangleIndex, 1);
}

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
    EXPECT_EQ(choose(5), (std::vector<int>{6, 3, 7, 1, 4}));
    // More room than candidates: every positive one, and no zero, negative or NaN.
    EXPECT_EQ(choose(50), (std::vector<int>{6, 3, 7, 1, 4, 8}));
}

TEST_F(SeveralShooters, ReceivePassesApplyInShooterOrderAndChooseTheNextShooters) {
    // Two emitters of area 2 (x = 0 and x = 10) and receivers of area 0.5 with
    // reflectance 0.5 in the red channel: scene indices 2, 3, 4.
    fixture::addObject(scene, {rightTriangle(2, 2, 0, true, 0), rightTriangle(2, 2, 0, true, 10)}, Vec3(),
                       Vec3(1, 0, 0));
    fixture::addObject(scene,
                       {rightTriangle(1, 1, 3, false, 0), rightTriangle(1, 1, 3, false, 5),
                        rightTriangle(1, 1, 3, false, 7)},
                       Vec3(0.5, 0, 0));
    settings.shooters = 3;
    ASSERT_TRUE(solver->initSolver());
    ASSERT_EQ(solver->shooters.size(), 2u);  // only two triangles emit
    const double eye0 = tri(0, 0).centroid.x, eye1 = tri(0, 1).centroid.x;
    fake.seen[eye0] = {{2, 0.1}, {3, 0.05}};
    fake.seen[eye1] = {{3, 0.1}, {4, 0.3}};
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
    fixture::addObject(scene, {rightTriangle(2, 2, 0, true, 0), rightTriangle(1, 1, 0, true, 10)},
                       Vec3(0.5, 0.5, 0.5), Vec3(1, 1, 1));
    settings.shooters = 2;
    ASSERT_TRUE(solver->initSolver());
    fake.seen[tri(0, 0).centroid.x] = {{1, 0.25}};
    solver->idleStep();
    const double gain = 1.0 * (0.25 * 2.0 / 0.5) * 0.5;
    EXPECT_EQ(tri(0, 1).radiosity.x, 1.0 + gain);
    ASSERT_EQ(solver->shooters.size(), 1u);
    EXPECT_EQ(solver->shooters[0].triangleIndex, 1);
    EXPECT_DOUBLE_EQ(solver->shooters[0].unshot.x, gain);
}

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

TEST(Solving, HopelessScenesAreRefusedOrConvergeWithFiniteValues) {
    const std::vector<Corners> floorTris = fixture::grid(Vec3(-1, -1, 0), Vec3(2, 0, 0), Vec3(0, 2, 0), 2, 2);
    const std::vector<Corners> ceiling = fixture::grid(Vec3(-1, -1, 2), Vec3(0, 2, 0), Vec3(2, 0, 0), 1, 1);
    const Vec3 grey(0.5, 0.5, 0.5), white(1, 1, 1);
    const double huge = 4294967295.0 / 255.0;  // emission_r = -1, read as unsigned
    // A floor of reflectance rho under a ceiling (grey, or none) emitting E;
    // solvable or refused, and converging within at most `steps` steps.
    const struct {
        const char* label;
        std::vector<Corners> ceiling;
        Vec3 rho, emission;
        bool solvable;
        int steps;
    } cases[] = {
        {"no_emitter", ceiling, grey, Vec3(), false, 1},
        {"no_triangles_at_all", {}, grey, white, false, 1},
        // After the lamp has shot once nothing is left: the floor absorbs all.
        {"all_reflectances_zero", ceiling, Vec3(), white, true, 2},
        {"emission_far_above_255", ceiling, white, Vec3(huge, huge, huge), true, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Scene scene;
        scene.settings.N = 8;
        scene.settings.H = 4;
        scene.settings.stopAt = 0.0001;
        Solver solver(scene);
        fixture::Enclosure capturer(scene, 0.05);  // all see each other
        solver.setFaceCapturer(&capturer);
        if (!c.ceiling.empty()) {
            fixture::addObject(scene, floorTris, c.rho);
            fixture::addObject(scene, c.ceiling, c.rho.sum() == 0.0 ? Vec3() : grey, c.emission);
        }
        bool ready = false;
        EXPECT_EQ(fixture::stdoutOf([&] { ready = solver.initSolver(); }),
                  c.solvable ? "" : "No triangle emits light: nothing to solve.\n");
        EXPECT_EQ(ready, c.solvable);
        int steps = 0;
        bool converged = false;
        fixture::stdoutOf([&] {
            for (; !converged && steps < 500; ++steps) converged = solver.idleStep().converged;
        });
        EXPECT_TRUE(converged && steps <= c.steps) << steps << " steps";
        EXPECT_TRUE(c.solvable || solver.stepCounter == 0);  // refused: nothing runs
        EXPECT_TRUE(std::isfinite(solver.convergenceMeasure));
        for (const SceneObject& o : scene.objects) {
            for (const auto& t : o.triangles) {
                EXPECT_TRUE(finite(t->radiosity) && finite(t->unshot) && t->radiosity.x >= 0.0);
            }
            // Saving such a scene writes numbers, never "nan" or "inf".
            const std::string text = formatResult(o);
            EXPECT_FALSE(fixture::contains(text, "nan") || fixture::contains(text, "inf")) << text;
        }
    }
}

}  // namespace
