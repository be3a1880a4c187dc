// Corner colours (average, scale, clamp, ambient) and the pictures drawn
// from the shaded display list.

#include "view/shading.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cmath>

#include "app/headless_context.h"
#include "radiosity/solver.h"
#include "scene_fixture.h"
#include "view/picture.h"
#include "view/view_state.h"

namespace {

void expectColour(const Vec3& c, double r, double g, double b) {
    EXPECT_DOUBLE_EQ(c.x, r);
    EXPECT_DOUBLE_EQ(c.y, g);
    EXPECT_DOUBLE_EQ(c.z, b);
}

// A scene with its settings at hand, and its triangles by index.
struct Shaded : ::testing::Test {
    Triangle& tri(int o, int t) { return fixture::tri(scene, o, t); }
    Vec3 colour(const Vertex& v, const Triangle& t) const { return vertexColour(v, t, scene.settings); }
    Scene scene;
    Settings& settings = scene.settings;
};

TEST_F(Shaded, AverageThenScaleThenClampKeepingTheHue) {
    // Average (0.5, 0.1, 0), scaled (1.0, 0.2, 0): not clamped further.
    // Clamping each triangle before averaging would give (0.6, ...). The
    // clamp itself is in display_transform_test.cpp.
    settings.brightness = 2.0;
    fixture::addObject(scene, {{Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)},
                               {Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(-1, 0, 0)}});
    tri(0, 0).radiosity = Vec3(0.9, 0.1, 0.0);
    tri(0, 1).radiosity = Vec3(0.1, 0.1, 0.0);
    expectColour(colour(*tri(0, 0).corners[0], tri(0, 0)), 1.0, 0.2, 0.0);
}

TEST_F(Shaded, SmoothingAngleDecidesWhichNeighboursJoin) {
    settings.brightness = 1.0;
    const Vec3 a(0, 0, 0), b(0, 1, 0);
    const double tilt = 1.0 * 3.141592653589793 / 180.0;  // 1 degree
    fixture::addObject(scene, {{a, Vec3(1, 0, 0), b},     // 0: faces +z
                               {a, b, Vec3(-1, 0, 0)},    // 1: coplanar, faces +z
                               {a, b, Vec3(0, 0, 1)},     // 2: faces +x, at 90 degrees
                               {a, b, Vec3(1, 0, 0.5)},   // 3: about 153 degrees off
                               {a, b, Vec3(-std::cos(tilt), 0, std::sin(tilt))},  // 4: 1 degree off
                               {a, b, Vec3(1, 0, 0)}});                           // 5: faces -z exactly
    ASSERT_EQ(tri(0, 2).normal.dot(tri(0, 0).normal), 0.0);
    ASSERT_EQ(tri(0, 5).normal.dot(tri(0, 0).normal), -1.0);
    // Radiosity 2^k marks who joined: the average times the count gives the
    // set (coplanar neighbours are averaged like any that join).
    for (int k = 0; k < 6; ++k) tri(0, k).radiosity = Vec3(std::ldexp(1.0, k) / 1024.0, 0, 0);
    const Vertex& shared = *tri(0, 0).corners[0];
    auto joined = [&](double degrees) {
        settings.smoothThreshold = std::cos(degrees * 3.1415927 / 180.0);  // as the configuration derives it
        int n = 1;
        for (const Triangle* u : shared.triangleList)
            if (u != &tri(0, 0) && u->normal.dot(tri(0, 0).normal) > settings.smoothThreshold) ++n;
        return static_cast<int>(std::lround(colour(shared, tri(0, 0)).x * n * 1024.0));
    };
    EXPECT_EQ(joined(0), 1);           // even a coplanar neighbour stays out
    EXPECT_EQ(joined(2), 1 | 2 | 16);  // coplanar and 1 degree off
    EXPECT_EQ(joined(89), 1 | 2 | 16);
    EXPECT_EQ(joined(90), 1 | 2 | 4 | 16);       // the threshold is a hair below 0
    EXPECT_EQ(joined(180), 1 | 2 | 4 | 8 | 16);  // exactly opposite never joins
}

TEST_F(Shaded, HdrPictureHoldsExposedColoursUnclampedAndPngTheDisplayedOnes) {
    HeadlessContext gl;
    if (!gl.ok()) GTEST_SKIP() << "no headless OpenGL: " << gl.error();
    // Two lone triangles (separate objects: no smoothing across the
    // diagonal) filling the view, seen from +z.
    scene.cameraPos = Vec3(0, 0, 2);
    scene.cameraUp = Vec3(0, 1, 0);
    settings.fov = 90.0;
    settings.brightness = 2.0;
    settings.exposure = 1.0;
    fixture::addObject(scene, {{Vec3(-4, -4, 0), Vec3(4, -4, 0), Vec3(-4, 4, 0)}});
    fixture::addObject(scene, {{Vec3(4, -4, 0), Vec3(4, 4, 0), Vec3(-4, 4, 0)}});
    tri(0, 0).radiosity = Vec3(0.75, 0.1875, -0.0625);  // x = (3, 0.75, -0.25)
    tri(1, 0).radiosity = Vec3(0.0625, 0.03125, 0.0);   // x = (0.25, 0.125, 0)
    for (const bool aa : {false, true}) {
        buildShadedList(scene, Vec3(), ListColours::Exposed);
        const HdrPicture hdr = renderHdrPicture(scene, ViewState{}, 16, aa);
        ASSERT_EQ(hdr.error, "");
        const float* lowerLeft = &hdr.rgb[(13 * 16 + 2) * 3];  // top row first
        const float* upperRight = &hdr.rgb[(2 * 16 + 13) * 3];
        EXPECT_FLOAT_EQ(lowerLeft[0], 3.0f) << aa;
        EXPECT_FLOAT_EQ(lowerLeft[1], 0.75f) << aa;
        EXPECT_FLOAT_EQ(lowerLeft[2], -0.25f) << aa;
        EXPECT_FLOAT_EQ(upperRight[0], 0.25f) << aa;
        EXPECT_FLOAT_EQ(upperRight[1], 0.125f) << aa;
    }
    // GL's clamps are as they were.
    GLint clamp = 0;
    glGetIntegerv(GL_CLAMP_VERTEX_COLOR, &clamp);
    EXPECT_EQ(clamp, GL_TRUE);
    glGetIntegerv(GL_CLAMP_READ_COLOR, &clamp);
    EXPECT_EQ(clamp, GL_FIXED_ONLY);
}

TEST_F(Shaded, AmbientAddsReflectedLightToTheCornersOnly) {
    fixture::addObject(scene, {{Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)}}, Vec3(0.5, 0.25, 1.0));
    settings.brightness = 2.0;
    tri(0, 0).radiosity = Vec3(0.1, 0.1, 0.1);
    // (0.1 + 0.5 x 0.2, 0.1 + 0.25 x 0.2, 0.1 + 1 x 0.2) x 2
    expectColour(vertexColour(*tri(0, 0).corners[0], tri(0, 0), settings, Vec3(0.1, 0.05, 0.2)), 0.4, 0.3,
                 0.6);
}

// The ambient term is shown only when the setting asks for it; the scene
// (and so every result file) is only read when the picture is built.
TEST_F(Shaded, AmbientIsShownOnlyWhenTheSettingAsksForIt) {
    fixture::addFurnace(scene, {1, 1, 1, 1, 1, 1}, Vec3(0.6, 0.6, 0.6), Vec3(0.1, 0.1, 0.1));
    fixture::Enclosure enclosure(scene, 1.0 / 11);
    Solver solver(scene);
    solver.setFaceCapturer(&enclosure);
    ASSERT_TRUE(solver.initSolver());
    EXPECT_EQ(displayedAmbient(scene, solver).sum(), 0.0);
    settings.ambient = 1;
    EXPECT_GT(solver.ambientTerm().x, 0.0);
    EXPECT_EQ(displayedAmbient(scene, solver).x, solver.ambientTerm().x);
}
}  // namespace
