// The viewer's dolly, the camera it prints and the new keys, without a display.

#include "view/camera.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "scene/scene.h"
#include "view/commands.h"
#include "view/view_state.h"

namespace {

// Where gluLookAt(eye, lookAt, up) puts a point: right, up and towards the
// viewer (closed form of the look-at matrix).
Vec3 seenFrom(const Camera& c, const Vec3& p) {
    const Vec3 f = (c.lookAt - c.eye).normalized();
    const Vec3 s = f.cross(c.up).normalized();
    const Vec3 u = s.cross(f);
    const Vec3 d = p - c.eye;
    return {s.dot(d), u.dot(d), -f.dot(d)};
}

// glRotatef(angle, 1, 0, 0) and glRotatef(angle, 0, 0, 1) on a point.
Vec3 turnX(const Vec3& p, double degrees) {
    const double a = degrees * M_PI / 180.0;
    return {p.x, p.y * std::cos(a) - p.z * std::sin(a), p.y * std::sin(a) + p.z * std::cos(a)};
}
Vec3 turnZ(const Vec3& p, double degrees) {
    const double a = degrees * M_PI / 180.0;
    return {p.x * std::cos(a) - p.y * std::sin(a), p.x * std::sin(a) + p.y * std::cos(a), p.z};
}

// What the viewer's picture shows of p: the camera after the rotations.
Vec3 seenByViewer(const Scene& scene, const ViewState& view, const Vec3& p) {
    return seenFrom(dolliedCamera(scene, view), turnX(turnZ(p, view.viewAngleZ), view.viewAngleX));
}

void expectSame(const Vec3& a, const Vec3& b, double tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

Scene sceneWithCamera() {
    Scene scene;
    scene.cameraPos = Vec3(3.0, -20.0, 5.0);
    scene.cameraLookAt = Vec3(1.0, 2.0, -1.0);
    scene.cameraUp = Vec3(0.0, 0.2, 1.0);
    return scene;
}

double distance(const Vec3& a, const Vec3& b) {
    return (a - b).length();
}

}  // namespace

TEST(Dolly, TakesATenthOfTheDistancePerStepAndGivesItBackExactly) {
    const Scene scene = sceneWithCamera();
    const double d = distance(scene.cameraPos, scene.cameraLookAt);
    ViewState view;
    EXPECT_TRUE(applyDolly(view, 1));
    Camera in = dolliedCamera(scene, view);
    EXPECT_NEAR(distance(in.eye, in.lookAt), 0.9 * d, 1e-12);
    // Along the same line of sight; look-at point and up untouched.
    expectSame((in.eye - in.lookAt).normalized(), (scene.cameraPos - scene.cameraLookAt).normalized(), 1e-15);
    EXPECT_TRUE(in.lookAt.x == 1.0 && in.lookAt.y == 2.0 && in.lookAt.z == -1.0 && in.up.y == 0.2);
    applyDolly(view, 1);
    EXPECT_NEAR(distance(dolliedCamera(scene, view).eye, scene.cameraLookAt), 0.81 * d, 1e-12);
    // Away: the distance grows so that one step towards undoes it.
    applyDolly(view, -3);
    EXPECT_NEAR(distance(dolliedCamera(scene, view).eye, scene.cameraLookAt), d / 0.9, 1e-12);
    // Back at no dolly the configured eye comes back bit for bit, although
    // lookAt + (pos - lookAt) is not pos here (0.1 - 0.7 + 0.7).
    applyDolly(view, 1);
    Scene tricky;
    tricky.cameraPos = Vec3(0.1, 0.1, 0.1);
    tricky.cameraLookAt = Vec3(0.7, 0.7, 0.7);
    ASSERT_NE((tricky.cameraPos - tricky.cameraLookAt + tricky.cameraLookAt).x, 0.1);
    EXPECT_EQ(dolliedCamera(tricky, view).eye.x, 0.1);
    EXPECT_EQ(dolliedCamera(scene, view).eye.y, -20.0);
}

TEST(Dolly, NeverReachesOrPassesTheLookAtPoint) {
    const Scene scene = sceneWithCamera();
    const Vec3 direction = (scene.cameraPos - scene.cameraLookAt).normalized();
    ViewState view;
    int changed = 0;
    for (int i = 0; i < 1000; ++i) changed += applyDolly(view, 1) ? 1 : 0;
    EXPECT_EQ(changed, kMaxDollySteps);
    EXPECT_FALSE(applyDolly(view, 1));
    const Camera near = dolliedCamera(scene, view);
    EXPECT_GT(distance(near.eye, near.lookAt), 0.0);
    expectSame((near.eye - near.lookAt).normalized(), direction, 1e-9);  // still on the near side
    for (int i = 0; i < 1000; ++i) applyDolly(view, -1);
    EXPECT_EQ(view.dollySteps, -kMaxDollySteps);
    EXPECT_TRUE(std::isfinite(dolliedCamera(scene, view).eye.x));
    // A count pushed past the limit in one go stops at it.
    view.dollySteps = 0;
    EXPECT_TRUE(applyDolly(view, 2147483647));
    EXPECT_EQ(view.dollySteps, kMaxDollySteps);
}

TEST(SceneCamera, ShowsWithoutRotationWhatTheRotatedViewShows) {
    const Scene scene = sceneWithCamera();
    const std::array<Vec3, 4> points = {Vec3(0, 0, 0), Vec3(1, -2, 3), Vec3(-4, 5, 0.5), Vec3(2, 2, -7)};
    const float angles[][2] = {{0, 0}, {10, -30}, {-90, 90}, {37, 400}, {185, -725}, {-13.5f, 1e3f}};
    for (const auto& a : angles) {
        for (int dolly : {0, 3, -5}) {
            ViewState view;
            view.viewAngleX = a[0];
            view.viewAngleZ = a[1];
            view.dollySteps = dolly;
            const Camera camera = sceneCamera(scene, view);
            for (const Vec3& p : points) {
                SCOPED_TRACE(testing::Message() << a[0] << " " << a[1] << " dolly " << dolly);
                expectSame(seenFrom(camera, p), seenByViewer(scene, view, p), 1e-9);
            }
        }
    }
}

TEST(CameraSetOptions, PrintsNineSignificantDigitsThatReadBack) {
    Camera c{Vec3(1.0 / 3.0, -2.5e-7, 123456789.25), Vec3(-0.0, 1e20, -7), Vec3(0, 0, 1)};
    const std::string line = cameraSetOptions(c, 47.123456789);
    EXPECT_EQ(line,
              "--set pos_x=0.333333333 --set pos_y=-2.5e-07 --set pos_z=123456789 --set lookat_x=0 "
              "--set lookat_y=1e+20 --set lookat_z=-7 --set up_x=0 --set up_y=0 --set up_z=1 "
              "--set fov=47.1234568");
    // Each value read back (as the configuration reads reals) is the float GL draws with.
    const double third = std::atof("0.333333333");
    EXPECT_EQ(static_cast<float>(third), static_cast<float>(1.0 / 3.0));
}

TEST(ExposureKeys, StepHalfAStopWithinTheLimit) {
    // Half a stop a press and back exactly is run end to end in
    // e2e/viewer_e2e.py; here the fraction and the limit.
    double exposure = 0.3;  // a configured value keeps its fraction
    stepExposure(exposure, 1);
    EXPECT_EQ(exposure, 0.8);
    exposure = kMaxKeyExposure;
    EXPECT_FALSE(stepExposure(exposure, 1));
    EXPECT_EQ(exposure, kMaxKeyExposure);
    // A configured exposure beyond the limit can only be brought back.
    exposure = -100.0;
    EXPECT_FALSE(stepExposure(exposure, -1));
    EXPECT_TRUE(stepExposure(exposure, 1));
    EXPECT_EQ(exposure, -99.5);
}
