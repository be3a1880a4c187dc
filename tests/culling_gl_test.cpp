// The capture paths on a real (headless) OpenGL context: drawing only the
// groups a face can see, leaving out groups hidden behind nearer ones, and
// drawing single triangles for faces with a near far plane must leave every
// pixel as drawing everything does, and the fast path must match the literal
// one.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "app/headless_context.h"
#include "radiosity/hemicube.h"
#include "radiosity/item_buffer.h"
#include "radiosity/solver.h"
#include "radiosity/weights.h"
#include "scene_fixture.h"

namespace {

class CulledCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
        settings.N = 128;
        settings.H = 64;
        settings.nearPlane = 0.01;
    }
    HemicubeCapturer capturer() {
        return HemicubeCapturer(items, settings.N, settings.nearPlane, settings.farPlane);
    }

    // A closed 4 x 4 x 4 room of finely cut walls (many groups each), a
    // cluster of tilted panels, and two coincident triangles.
    void buildScene() {
        const double s = 2.0;
        const Vec3 x(2 * s, 0, 0), y(0, 2 * s, 0), z(0, 0, 2 * s), lo(-s, -s, -s);
        const Vec3 origins[6] = {lo, Vec3(-s, -s, s), lo, Vec3(-s, s, -s), lo, Vec3(s, -s, -s)};
        const Vec3 du[6] = {x, y, z, x, y, z}, dv[6] = {y, x, x, z, z, y};
        for (int w = 0; w < 6; ++w)
            fixture::addObject(scene, fixture::grid(origins[w], du[w], dv[w], 12, 12));
        const fixture::Corners twice = {Vec3(-1.5, 1.0, 1.2), Vec3(-0.5, 1.6, 1.2), Vec3(-0.6, 0.4, 1.2)};
        fixture::addObject(scene, {{Vec3(0.3, -0.7, 0.4), Vec3(1.1, 0.2, 0.9), Vec3(-0.2, 0.5, 1.3)},
                                   {Vec3(-1.0, -0.4, 0.2), Vec3(-0.1, -1.2, 0.8), Vec3(-0.6, 0.3, 0.1)},
                                   {Vec3(0.9, 0.8, -1.5), Vec3(0.2, 1.3, -0.6), Vec3(1.4, 1.1, -0.7)},
                                   // The same triangle twice, facing down: equal depths everywhere,
                                   // so the one drawn first must keep every pixel, in both paths.
                                   twice,
                                   twice});
    }

    // Rooms in a row along x, 3 x 3 x 3 each, with finely cut walls (most
    // faces see far more triangles than the hidden-group pass needs), and
    // doorways in the walls between them; a coincident pair of triangles in
    // two objects, one far in item order from the other.
    void buildRooms() {
        const fixture::Corners twice = {Vec3(1.0, 1.0, 2.9), Vec3(2.0, 1.0, 2.9), Vec3(1.5, 2.0, 2.9)};
        fixture::addObject(scene, {twice});
        const Vec3 x(12, 0, 0), y(0, 3, 0), z(0, 0, 3);
        fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), x, y, 64, 16));  // floor, facing up
        fixture::addObject(scene, fixture::grid(Vec3(0, 0, 3), y, x, 16, 64));  // ceiling
        fixture::addObject(scene, fixture::grid(Vec3(0, 0, 0), z, x, 16, 64));  // side walls, facing in
        fixture::addObject(scene, fixture::grid(Vec3(0, 3, 0), x, z, 64, 16));
        for (int wall = 0; wall <= 4; ++wall) {
            // Both sides of each cross wall, with a 1 x 2 doorway at y 1..2 in the inner ones.
            const double wx = 3.0 * wall;
            std::vector<fixture::Corners> sides;
            for (int side = 0; side < 2; ++side) {
                const Vec3 o(wx, 0, 0);
                const bool inner = wall > 0 && wall < 4;
                auto piece = [&](const Vec3& lo, const Vec3& du, const Vec3& dv, int nu, int nv) {
                    const std::vector<fixture::Corners> g =
                        side == 0 ? fixture::grid(lo, du, dv, nu, nv) : fixture::grid(lo, dv, du, nv, nu);
                    sides.insert(sides.end(), g.begin(), g.end());
                };
                const Vec3 dy(0, 1, 0), dz(0, 0, 3), dz1(0, 0, 1);
                if (!inner) {
                    piece(o, dy * 3.0, dz, 12, 12);
                } else {
                    piece(o, dy, dz, 4, 12);                   // beside the doorway
                    piece(o + dy * 2.0, dy, dz, 4, 12);        // on its other side
                    piece(o + dy + dz1 * 2.0, dy, dz1, 4, 4);  // above it
                }
            }
            fixture::addObject(scene, sides);
        }
        fixture::addObject(scene, {twice});
    }

    // The five faces of a step from shooter position p and normal n, captured
    // with the given options; returns every triangle's form factor. A far
    // plane above 0 is every face's own, as a local shot's.
    std::vector<double> captureStep(const CaptureOptions& options, const Vec3& p, const Vec3& n,
                                    CaptureStats* stats = nullptr, double farPlane = 0.0) {
        HemicubeCapturer cap = capturer();
        cap.setOptions(options);
        const Vec3 eye = p + n / 1000.0;
        // Any unit vector across n.
        const Vec3 u = n.cross(std::fabs(n.x) < 0.9 ? Vec3(1, 0, 0) : Vec3(0, 1, 0)).normalized();
        const Vec3 v = n.cross(u);
        const Vec3 ups[5] = {u, n, n, n, n};
        const Vec3 dirs[5] = {n, u, u * -1.0, v, v * -1.0};
        std::vector<double> ffs = fixture::zeroFormFactors(scene);
        for (int f = 0; f < 5; ++f) {
            cap.captureFace({eye, p + dirs[f], ups[f], f == 0 ? settings.N : settings.H, farPlane},
                            f == 0 ? topTable : sideTable, ffs);
        }
        if (stats) *stats = cap.stats();
        return ffs;
    }

    struct Shooter {
        Vec3 p, n;
    };
    static std::vector<Shooter> shooters() {
        const Vec3 tilted = Vec3(0.3, -0.5, 0.8).normalized();
        return {{Vec3(0.1, -0.2, -2.0), Vec3(0, 0, 1)},
                {Vec3(1.99999, 0.4, -0.3), Vec3(-1, 0, 0)},
                {Vec3(-0.3, 0.2, -0.4), tilted},
                {Vec3(1.7, 1.6, 1.99999), Vec3(0, 0, -1)}};
    }

    Scene scene;
    Settings& settings = scene.settings;
    const std::vector<double> topTable = buildTopTable(64);
    const std::vector<double> sideTable = buildSideTable(64);
    ItemBuffer items;
    HeadlessContext gl;
};

// Culling may leave out much of the scene but no pixel it shows: with and
// without groups the same pixels are summed the same way. The fast path
// (culled groups, half side faces, RGBA) against the literal path (display
// list 2, full faces, RGB): a pixel can only change hands where a triangle
// edge crosses it, so every triangle agrees to a few pixels' weight; in a
// closed room every pixel counts, so both totals are the whole hemicube's.
TEST_F(CulledCapture, CullingChangesNoPixelAndFastPathMatchesTheFullFaces) {
    buildScene();
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    ASSERT_GT(items.itemGroups.groups.size(), 30u);
    CaptureOptions culled, whole;  // the fast path, and display list 2 on the same half faces
    whole.cullGroups = false;
    const CaptureOptions literal = captureOptionsFor(CaptureMode::Literal);
    CaptureOptions culledFull = literal;
    culledFull.cullGroups = true;  // groups on the literal path's full faces
    const double pixel = *std::max_element(topTable.begin(), topTable.end());
    const double all = 4 * std::accumulate(topTable.begin(), topTable.end(), 0.0) +
                       8 * std::accumulate(sideTable.begin(), sideTable.end(), 0.0);
    for (const Shooter& s : shooters()) {
        CaptureStats stats;
        const std::vector<double> a = captureStep(culled, s.p, s.n, &stats), b = captureStep(whole, s.p, s.n);
        const std::vector<double> c = captureStep(culledFull, s.p, s.n), d = captureStep(literal, s.p, s.n);
        EXPECT_LT(stats.trianglesDrawn, stats.trianglesTotal * 2 / 3);
        EXPECT_EQ(a, b);
        EXPECT_EQ(c, d);
        // The first of two coincident triangles keeps what they show.
        EXPECT_TRUE(a.back() == 0.0 && d.back() == 0.0);
        for (size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], d[k], 3 * pixel) << "triangle " << k;
        EXPECT_NEAR(std::accumulate(a.begin(), a.end(), 0.0), all, 1e-9);
        EXPECT_NEAR(std::accumulate(d.begin(), d.end(), 0.0), all, 1e-9);
    }
}

// Leaving out the groups hidden behind the nearest ones, and drawing single
// triangles where a face has its own far plane, change no pixel either: the
// same form factors to the last bit as drawing every group in the frustum,
// from shooters on the floor, a wall beside a doorway, a cross wall and in
// mid-air, with and without far planes, while leaving groups out and drawing
// fewer triangles in the faces with a far plane.
TEST_F(CulledCapture, HiddenGroupsAndFarPlanesChangeNoPixel) {
    buildRooms();
    settings.farPlane = 40.0;
    ASSERT_EQ(buildItemBuffer(scene.objects, items), "");
    CaptureOptions all, groupsOnly;
    groupsOnly.cullHidden = groupsOnly.cullTriangles = false;
    const std::vector<Shooter> shots = {
        {Vec3(0.0, 0.5, 1.5), Vec3(1, 0, 0)},  // down the row of rooms
        {Vec3(1.5, 1.5, 0.0), Vec3(0, 0, 1)},  {Vec3(4.5, 0.0, 1.5), Vec3(0, 1, 0)},
        {Vec3(6.0, 1.5, 1.2), Vec3(-1, 0, 0)}, {Vec3(7.3, 2.1, 1.7), Vec3(0.6, -0.3, 0.7).normalized()},
        {Vec3(10.5, 1.5, 3.0), Vec3(0, 0, -1)}};
    long long hidden = 0, nearDrawn = 0, nearGroupsDrawn = 0;
    double nearTotal = 0.0;
    for (const Shooter& s : shots) {
        for (const double farPlane : {0.0, 0.8, 2.5}) {
            CaptureStats a, b;
            const std::vector<double> culled = captureStep(all, s.p, s.n, &a, farPlane);
            const std::vector<double> reference = captureStep(groupsOnly, s.p, s.n, &b, farPlane);
            EXPECT_EQ(culled, reference)
                << "shooter at " << s.p.x << " " << s.p.y << " " << s.p.z << ", far plane " << farPlane;
            const double total = std::accumulate(culled.begin(), culled.end(), 0.0);
            if (farPlane == 0.0) {
                EXPECT_GT(total, 0.9);  // rooms are closed but for the doorways
            }
            nearTotal += farPlane > 0.0 ? total : 0.0;
            hidden += a.groupsHidden;
            if (farPlane > 0.0) {
                nearDrawn += a.trianglesDrawn;
                nearGroupsDrawn += b.trianglesDrawn;
            }
        }
    }
    EXPECT_GT(nearTotal, 0.0);
    EXPECT_GT(hidden, 100);
    EXPECT_LT(nearDrawn, nearGroupsDrawn);
}

}  // namespace
