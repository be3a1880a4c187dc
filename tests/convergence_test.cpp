// The stop measure, overshooting and the ambient term, with a capturer that hands out the form factors of an
// ideal enclosure instead of the GL hemicube.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "radiosity/solver.h"
#include "scene/scene.h"
#include "scene_fixture.h"

namespace {

using fixture::Corners;

using fixture::Enclosure;

// An n x n grid of squares (2 n^2 triangles of equal area) in the plane z = 0.
std::vector<Corners> sheet(int n) {
    return fixture::grid(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), n, n);
}

class Convergence : public ::testing::Test {
  protected:
    Convergence() {
        settings.N = 8;
        settings.H = 4;
        settings.step = 1000000;
    }
    // A solver over the scene as it is now, with an enclosure of form factor f.
    Solver& start(double f) {
        solver = std::make_unique<Solver>(scene);
        enclosure = std::make_unique<Enclosure>(scene, f);
        solver->setFaceCapturer(enclosure.get());
        EXPECT_TRUE(solver->initSolver());
        return *solver;
    }
    // Energy still held: every triangle's, and the next shooters' held in the
    // shooter states, over the emitted energy.
    double shareLeft() const {
        double left = 0;
        for (const ShooterState& s : solver->shooters) left += s.unshot.sum() * s.area;
        for (const SceneObject& o : scene.objects)
            for (const auto& t : o.triangles)
                left += (std::fabs(t->unshot.x) + std::fabs(t->unshot.y) + std::fabs(t->unshot.z)) * t->area;
        return left / solver->totalInitialEnergy;
    }

    Scene scene;
    Settings& settings = scene.settings;
    std::unique_ptr<Solver> solver;
    std::unique_ptr<Enclosure> enclosure;
};

TEST_F(Convergence, MeasureIsTheShareLeftOnAnyMeshAndFallsEveryStep) {
    // A lamp over a floor, cut coarsely and finely: the measure starts at 1
    // and is the share of the light left after every step, whatever the cut,
    // so a fine mesh stops where a coarse one does. (The largest single
    // triangle's energy would stop a fine mesh far earlier.) A measure that
    // is not a number ends a run as diverged: see batch_test.cpp.
    for (const int cut : {1, 3, 12}) {
        SCOPED_TRACE("cut " + std::to_string(cut));
        fixture::clearScene(scene);
        fixture::addObject(scene, sheet(cut), Vec3(0.6, 0.5, 0.4), Vec3(1.0, 0.8, 0.5));
        fixture::addObject(scene, sheet(cut), Vec3(0.7, 0.2, 0.9));
        const int triangles = 4 * cut * cut;
        start(1.0 / (triangles - 1));
        EXPECT_EQ(solver->convergenceMeasure, 1.0);
        double previous = 1.0;
        for (int k = 0; k < 300; ++k) {
            fixture::stdoutOf([&] { solver->idleStep(); });
            const double measure = solver->convergenceMeasure;
            EXPECT_NEAR(measure, shareLeft(), 1e-12) << "step " << k;
            ASSERT_LT(measure, previous) << "step " << k;
            previous = measure;
        }
    }
}

TEST_F(Convergence, OvershootingReachesTheSameAnswerInFewerSteps) {
    const Vec3 emission(0.2, 0.4, 0.1), rho(0.5, 0.25, 0.9);
    fixture::addObject(scene, sheet(4), rho, emission);
    const int triangles = 32;
    settings.stopAt = 1e-9;
    int plain = 0;
    // Plain, overshooting, and four shooters a step: the same answer.
    for (const auto& [overshoot, shooters] :
         std::vector<std::pair<bool, int>>{{false, 1}, {true, 1}, {false, 4}}) {
        SCOPED_TRACE(std::string(overshoot ? "overshoot" : "plain") + ", shooters " +
                     std::to_string(shooters));
        settings.overshoot = overshoot;
        settings.shooters = shooters;
        start(1.0 / (triangles - 1));
        double lowest = 0.0;
        int k = 0;
        StepOutcome outcome;
        fixture::stdoutOf([&] {
            for (; !outcome.converged && k < 100000; ++k) {
                outcome = solver->idleStep();
                for (const auto& t : scene.objects[0].triangles)
                    lowest = std::min({lowest, t->unshot.x, t->unshot.y, t->unshot.z});
            }
        });
        EXPECT_TRUE(outcome.converged && !outcome.diverged);
        for (const auto& t : scene.objects[0].triangles) {
            EXPECT_NEAR(t->radiosity.x, emission.x / (1 - rho.x), 1e-8);
            EXPECT_NEAR(t->radiosity.y, emission.y / (1 - rho.y), 1e-8);
            EXPECT_NEAR(t->radiosity.z, emission.z / (1 - rho.z), 1e-7);
        }
        if (overshoot) {
            EXPECT_LT(lowest, 0.0);  // shot ahead: some unshot went negative
            EXPECT_LT(k, plain * 2 / 3) << "plain shooting took " << plain;
        } else {
            EXPECT_EQ(lowest, 0.0);
            if (shooters == 1) plain = k;
        }
    }
}

TEST_F(Convergence, ADebtIsPaidBackWithoutANewEstimate) {
    // A shooter sending negative red (a debt from an earlier overshoot)
    // sends it as it is and owes nothing new in red; its green and blue,
    // positive, are overshot as ever. Owing a fresh estimate for the debt
    // would leave the shooter as deep in debt as before, chosen again and
    // again while the solve stands still.
    fixture::addObject(scene, sheet(2), Vec3(0.9, 0.9, 0.9), Vec3(1.0, 1.0, 1.0));
    settings.overshoot = true;
    start(1.0 / 7);
    ShooterState& shooter = solver->shooters.front();
    shooter.unshot = Vec3(-0.5, 0.5, 0.5);
    const Triangle& t = *scene.objects[0].triangles[static_cast<size_t>(shooter.triangleIndex)];
    fixture::stdoutOf([&] { solver->shootStep(); });
    EXPECT_EQ(t.unshot.x, 0.0);
    EXPECT_LT(t.unshot.y, 0.0);
    EXPECT_EQ(t.unshot.y, t.unshot.z);
}

TEST_F(Convergence, AmbientIsTheMeanUnshotTimesTheReflectionSeries) {
    // Areas 2 (emitting, rho 0.2) and 0.5 (rho 0.7): mean rho 0.3 in red.
    const Corners big = {Vec3(0, 0, 0), Vec3(2, 0, 0), Vec3(0, 2, 0)};
    const Corners small = {Vec3(5, 0, 0), Vec3(6, 0, 0), Vec3(5, 1, 0)};
    fixture::addObject(scene, {big}, Vec3(0.2, 1.0, 1.0), Vec3(1.0, 0.5, 0.0));
    fixture::addObject(scene, {small}, Vec3(0.7, 1.0, 1.0));
    EXPECT_EQ(Solver(scene).ambientTerm().sum(), 0.0);  // nothing before initSolver
    start(0.0);
    // The emitter's light is all unshot (held in the shooter state).
    Vec3 a = solver->ambientTerm();
    EXPECT_DOUBLE_EQ(a.x, (1.0 * 2 / 2.5) / (1 - 0.3));
    EXPECT_DOUBLE_EQ(a.y, (0.5 * 2 / 2.5) / (1 - 0.99));  // white walls: the series is capped
    EXPECT_EQ(a.z, 0.0);
    // Negative unshot radiosity (owed after overshooting) is no light.
    fixture::tri(scene, 1, 0).unshot = Vec3(0, 0, -4);
    EXPECT_EQ(solver->ambientTerm().z, 0.0);
    fixture::tri(scene, 1, 0).unshot = Vec3(0, 0, 4);
    EXPECT_DOUBLE_EQ(solver->ambientTerm().z, (4 * 0.5 / 2.5) / (1 - 0.99));
    // ambient = 2: the emitter's light as before, over the whole area; light
    // reflected onto the small triangle, which nothing has lit yet, over the
    // lit area only (the emitter's: area 2, rho 0.2); once it is lit, over
    // both.
    scene.settings.ambient = 2;
    fixture::tri(scene, 1, 0).unshot = Vec3();
    const double emitted = (1.0 * 2 / 2.5) / (1 - 0.3);
    EXPECT_DOUBLE_EQ(solver->ambientTerm().x, emitted);
    fixture::tri(scene, 1, 0).unshot = Vec3(4, 0, 0);
    EXPECT_DOUBLE_EQ(solver->ambientTerm().x, emitted + (4 * 0.5 / 2.0) / (1 - 0.2));
    fixture::tri(scene, 1, 0).radiosity = Vec3(0, 1e-9, 0);
    EXPECT_DOUBLE_EQ(solver->ambientTerm().x, emitted + (4 * 0.5 / 2.5) / (1 - 0.3));
}

}  // namespace
