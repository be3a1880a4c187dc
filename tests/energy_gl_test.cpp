// Whole-solver checks on a real (headless) OpenGL context: a closed room
// whose every wall emits E and reflects rho has the exact answer
// B = E / (1 - rho) everywhere.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/headless_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/item_buffer.h"
#include "radiosity/solver.h"
#include "scene_fixture.h"

namespace {

class ClosedRoom : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
        settings.N = 64;
        settings.H = 32;
        // The eye sits 1/1000 above the shooter; walls meeting it at a
        // corner must not be clipped away by the near plane.
        settings.nearPlane = 1e-4;
        settings.farPlane = 10.0;
        settings.step = 1000000;
    }

    // A cube of side 2 around the origin, normals pointing in, each wall
    // its own object cut into cells[w] x cells[w] squares.
    void buildRoom(const std::array<int, 6>& cells) {
        fixture::clearScene(scene);
        const Vec3 x(2, 0, 0), y(0, 2, 0), z(0, 0, 2), lo(-1, -1, -1);
        const Vec3 origins[6] = {lo, Vec3(-1, -1, 1), lo, Vec3(-1, 1, -1), lo, Vec3(1, -1, -1)};
        const Vec3 du[6] = {x, y, z, x, y, z}, dv[6] = {y, x, x, z, z, y};
        for (int w = 0; w < 6; ++w)
            fixture::addObject(scene, fixture::grid(origins[w], du[w], dv[w], cells[w], cells[w]), rho,
                               emission);
        for (const SceneObject& o : scene.objects)
            for (const auto& t : o.triangles) {
                ASSERT_GT(t->normal.dot(Vec3(0, 0, 0) - t->centroid), 0.0);
            }
    }

    // Runs until the measure falls below stopAt; returns the steps taken.
    int solve(double stopAt, int maxSteps) {
        settings.stopAt = stopAt;
        ItemBuffer items;
        EXPECT_EQ(buildItemBuffer(scene.objects, items), "");
        HemicubeCapturer cap(items, settings.N, settings.nearPlane, settings.farPlane);
        EXPECT_TRUE(cap.ok()) << cap.error();
        Solver solver(scene);
        solver.setFaceCapturer(&cap);
        EXPECT_TRUE(solver.initSolver());
        int steps = 0;
        while (steps < maxSteps && !solver.idleStep().converged) ++steps;
        return steps;
    }

    Vec3 rho{0.5, 0.25, 0.75};
    Vec3 emission{0.2, 0.4, 0.1};
    Scene scene;
    Settings& settings = scene.settings;
    HeadlessContext gl;
};

TEST_F(ClosedRoom, EqualAndVeryDifferentCellsReachTheExactRadiosity) {
    // Form factors are sampled from each shooter's centroid, not averaged
    // over its area, so single triangles scatter (measured 6% with equal
    // cells, the same at N = 64, 128 and 256; 28% where a neighbour of area
    // 1/8 sees a shooter of area 2). The area-weighted mean is exact to
    // 0.1-0.2%. Without the area ratio the small walls of the second room
    // end up 2 to 4 times too bright.
    const struct {
        std::array<int, 6> cells;
        double perTriangle, areaWeighted;
    } rooms[] = {{{2, 2, 2, 2, 2, 2}, 0.08, 0.003}, {{1, 4, 1, 2, 1, 4}, 0.35, 0.005}};
    const double exact[3] = {emission.x / (1 - rho.x), emission.y / (1 - rho.y), emission.z / (1 - rho.z)};
    for (const auto& room : rooms) {
        buildRoom(room.cells);
        const int steps = solve(1e-5, 20000);
        double worst = 0, weighted[3] = {0, 0, 0}, area = 0;
        for (const SceneObject& o : scene.objects) {
            for (const auto& t : o.triangles) {
                const double b[3] = {t->radiosity.x, t->radiosity.y, t->radiosity.z};
                for (int c = 0; c < 3; ++c) {
                    worst = std::max(worst, std::fabs(b[c] / exact[c] - 1.0));
                    weighted[c] += b[c] * t->area;
                }
                area += t->area;
            }
        }
        double meanWorst = 0;
        for (int c = 0; c < 3; ++c)
            meanWorst = std::max(meanWorst, std::fabs(weighted[c] / area / exact[c] - 1.0));
        std::printf("[ info ] %d steps; worst triangle off by %.4f, area-weighted mean off by %.5f\n", steps,
                    worst, meanWorst);
        EXPECT_LT(worst, room.perTriangle);
        EXPECT_LT(meanWorst, room.areaWeighted);
    }
}

}  // namespace
