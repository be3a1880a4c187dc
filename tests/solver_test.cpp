// Solver rules, with a fake capturer standing in for the GL hemicube.
// Scenes that cannot be solved are in the hardening tables.

#include "radiosity/solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;
using fixture::tri;

// Records every capture; the top face of each step may hand out form factors.
struct FakeCapturer : FaceCapturer {
    struct Call {
        Vec3 eye, normal, centre, up;
        const double* weights;
        int rows;
    };
    std::vector<Call> calls;
    std::function<void()> onTopFace;
    void captureFace(const double* weights, int rowCount) override {
        calls.push_back(
            {shooterState.position, shooterState.normal, hemicubeCentre, hemicubeUp, weights, rowCount});
        if (weights == topTable.data() && onTopFace) onTopFace();
    }
};

// Right triangle with legs a (along x) and b (along y) at height z, facing
// up (+z) or down; area a * b / 2 exactly.
Corners rightTriangle(double a, double b, double z, bool up = true, double x0 = 0) {
    const Vec3 p0(x0, 0, z), p1(x0 + a, 0, z), p2(x0, b, z);
    return up ? Corners{p0, p1, p2} : Corners{p0, p2, p1};
}

class Solver : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.N = 8;
        settings.H = 4;
        buildTopTable();
        buildSideTable();
        setFaceCapturer(&fake);
    }
    void TearDown() override {
        setFaceCapturer(nullptr);
        shooterState = ShooterState{};
    }
    fixture::SceneGuard guard;
    FakeCapturer fake;
};

TEST(SolverRandom, DrawsTheFixedSequence) {
    SolverRandom r;
    for (int expected : {41, 18467, 6334, 26500}) {
        EXPECT_EQ(r.next(), expected);
    }
}

TEST_F(Solver, FirstStepCapturesFiveFacesAroundARandomFrame) {
    fixture::addObject({rightTriangle(2, 1, 0)}, Vec3(), Vec3(1, 1, 1));
    ASSERT_TRUE(initSolver());
    idleStep();
    ASSERT_EQ(fake.calls.size(), 5u);
    const Vec3 p = tri(0, 0).centroid, n(0, 0, 1);
    // First frame from the draws 41, 18467, 6334: r ~ (0.001251, 0.563585, 0.193304).
    Vec3 u = n.cross(Vec3(0.001251, 0.563585, 0.193304));
    u.normalise();
    const Vec3 v = n.cross(u);
    EXPECT_NEAR(fake.calls[0].up.x, u.x, 2e-6);
    EXPECT_NEAR(fake.calls[0].up.y, u.y, 2e-6);
    EXPECT_NEAR(fake.calls[0].up.z, 0.0, 1e-15);
    const Vec3 expectUp[5] = {u, n, n, n, n};
    const Vec3 expectDir[5] = {n, u, Vec3(-u.x, -u.y, -u.z), v, Vec3(-v.x, -v.y, -v.z)};
    for (int f = 0; f < 5; ++f) {
        const FakeCapturer::Call& c = fake.calls[static_cast<size_t>(f)];
        SCOPED_TRACE("face " + std::to_string(f + 1));
        EXPECT_TRUE(c.eye.x == p.x && c.eye.y == p.y && c.normal.z == 1.0);
        EXPECT_NEAR(c.up.dot(expectUp[f]), 1.0, 1e-9);
        EXPECT_NEAR((c.centre - p).dot(expectDir[f]), 1.0, 1e-9);
        EXPECT_EQ(c.weights, f == 0 ? topTable.data() : sideTable.data());
        EXPECT_EQ(c.rows, f == 0 ? 8 : 4);
    }
}

TEST_F(Solver, ReceiversGetTheShareReciprocityGives) {
    // Shooter of area 2 emitting (1, 0.5, 0.25); receivers of area 0.5.
    fixture::addObject({rightTriangle(2, 2, 0)}, Vec3(), Vec3(1, 0.5, 0.25));
    const Vec3 rho(0.5, 0.25, 1.0);
    fixture::addObject(
        {rightTriangle(1, 1, 1, false), rightTriangle(1, 1, 1, false, 5), rightTriangle(1, 1, 1, false, 10),
         rightTriangle(1, 0, 1, false, 15), rightTriangle(1, 1, 1, false, 20)},
        rho);
    ASSERT_TRUE(initSolver());
    EXPECT_EQ(tri(0, 0).unshot.sum(), 0.0);  // its energy travels in the shooter state now
    EXPECT_EQ(shooterState.area, 2.0);
    fake.onTopFace = [&] {
        tri(1, 0).formFactor = 0.1;  // x 2 / 0.5 -> 0.4
        tri(1, 1).formFactor = 0.5;  // -> 2, capped at 1
        tri(1, 2).formFactor = 1.7;  // capped at 1 before and after the area ratio
        tri(1, 3).formFactor = 0.3;  // zero area: receives nothing
        // tri(1, 4) is seen by no face
    };
    idleStep();
    const double shares[] = {0.4, 1.0, 1.0, 0.0, 0.0};
    for (int t = 0; t < 5; ++t) {
        SCOPED_TRACE("receiver " + std::to_string(t));
        const Triangle& r = tri(1, t);
        EXPECT_DOUBLE_EQ(r.radiosity.x, 1.0 * shares[t] * rho.x);
        EXPECT_DOUBLE_EQ(r.radiosity.y, 0.5 * shares[t] * rho.y);
        EXPECT_DOUBLE_EQ(r.radiosity.z, 0.25 * shares[t] * rho.z);
        EXPECT_EQ(r.formFactor, 0.0);
        EXPECT_FALSE(std::isnan(r.unshot.x));
    }
    // Receivers 1 and 2 tie on energy; the earlier one shoots next and its
    // energy moves into the shooter state.
    EXPECT_EQ(shooterState.objectIndex, 1);
    EXPECT_EQ(shooterState.triangleIndex, 1);
    EXPECT_EQ(tri(1, 1).unshot.sum(), 0.0);
    EXPECT_DOUBLE_EQ(shooterState.unshot.x, 0.5);
    EXPECT_EQ(shooterState.area, 0.5);
    // Measure: the new shooter's energy over the emitted energy (1.75 x 2).
    EXPECT_DOUBLE_EQ(convergenceMeasure, (0.5 + 0.25 + 0.125) * 0.5 / 3.5);
    EXPECT_EQ(totalInitialEnergy, 3.5);
}

TEST_F(Solver, StopsOnlyBelowTheThreshold) {
    // Energies 2 and 1 of a total 3: after the first step the measure is 1/3.
    fixture::addObject({rightTriangle(2, 2, 0), rightTriangle(2, 1, 0, true, 5)}, Vec3(), Vec3(1, 0, 0));
    settings.stopAt = 1.0 / 3.0;
    ASSERT_TRUE(initSolver());
    EXPECT_EQ(shooterState.triangleIndex, 0);
    EXPECT_FALSE(shootStep());  // equal: keeps running
    EXPECT_EQ(convergenceMeasure, 1.0 / 3.0);
    EXPECT_EQ(shooterState.triangleIndex, 1);
    settings.stopAt = std::nextafter(1.0 / 3.0, 1.0);
    ASSERT_TRUE(initSolver());
    EXPECT_TRUE(idleStep().converged);
    // Nothing left to shoot: measure 0 stops any positive threshold, never a
    // threshold of 0 or less.
    ASSERT_TRUE(initSolver());
    settings.stopAt = 0.0;
    idleStep();
    EXPECT_FALSE(idleStep().converged);
    EXPECT_EQ(convergenceMeasure, 0.0);
    settings.stopAt = 1e-12;
    EXPECT_TRUE(idleStep().converged);
    // The last selection stays; no index runs off the scene.
    EXPECT_EQ(shooterState.objectIndex, 0);
    EXPECT_EQ(shooterState.triangleIndex, 1);
}

TEST_F(Solver, FirstOfEqualEmittersShootsFirst) {
    fixture::addObject({rightTriangle(1, 1, 3, false)}, Vec3(0.5, 0.5, 0.5));  // dark receiver
    fixture::addObject({rightTriangle(1, 1, 0)}, Vec3(), Vec3(0, 1, 0));
    fixture::addObject({rightTriangle(1, 1, 0, true, 4)}, Vec3(), Vec3(0, 1, 0));
    ASSERT_TRUE(initSolver());
    EXPECT_EQ(shooterState.objectIndex, 1);
    EXPECT_EQ(shooterState.triangleIndex, 0);
    EXPECT_EQ(tri(2, 0).unshot.y, 1.0);
}

TEST_F(Solver, PrintsAProgressLineEveryStepSteps) {
    fixture::addObject({rightTriangle(2, 2, 0), rightTriangle(2, 1, 0, true, 5)}, Vec3(), Vec3(1, 0, 0));
    ASSERT_TRUE(initSolver());
    EXPECT_EQ(fixture::stdoutOf([] { idleStep(); }), "Convergence 0.33333\t\tStep 0\n");

    fixture::clearScene();
    fixture::addObject({rightTriangle(1, 1, 0)}, Vec3(), Vec3(1, 1, 1));
    settings.stopAt = 0.0;
    auto run = [&](int step, int count) {
        settings.step = step;
        EXPECT_TRUE(initSolver());
        std::string reports;
        const std::string out = fixture::stdoutOf([&] {
            for (int k = 0; k < count; ++k) reports += idleStep().report ? 'R' : '.';
        });
        return reports + "|" + out;
    };
    EXPECT_EQ(run(2, 5),
              "R.R.R|Convergence 0.00000\t\tStep 0\nConvergence 0.00000\t\tStep 2\n"
              "Convergence 0.00000\t\tStep 4\n");
    EXPECT_EQ(stepCounter, 5);
    EXPECT_EQ(run(-3, 5).substr(0, 5), "R..R.");
    EXPECT_EQ(run(0, 3).substr(0, 3), "RRR");
    EXPECT_EQ(run(1, 1), "R|Convergence 0.00000\t\tStep 0\n");
}

}  // namespace
