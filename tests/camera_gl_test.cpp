// The camera the viewer prints draws, without rotations, the picture the
// viewer shows with them (headless, through the batch's picture path).

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "app/headless_context.h"
#include "scene/scene.h"
#include "scene_fixture.h"
#include "view/camera.h"
#include "view/picture.h"
#include "view/shading.h"
#include "view/view_state.h"

namespace {

constexpr int kSize = 128;

// An open box (floor, back and side walls) whose triangles' radiosities vary
// smoothly with position, seen from -y, so a picture has gradients, edges
// between walls and a silhouette against the black background.
void buildBox(Scene& scene) {
    using fixture::grid;
    std::vector<fixture::Corners> tris;
    for (const auto& wall : {grid(Vec3(-4, -4, -4), Vec3(8, 0, 0), Vec3(0, 8, 0), 6, 6),
                             grid(Vec3(-4, 4, -4), Vec3(8, 0, 0), Vec3(0, 0, 8), 6, 6),
                             grid(Vec3(-4, -4, -4), Vec3(0, 8, 0), Vec3(0, 0, 8), 6, 6),
                             grid(Vec3(4, 4, -4), Vec3(0, -8, 0), Vec3(0, 0, 8), 6, 6)}) {
        tris.insert(tris.end(), wall.begin(), wall.end());
    }
    fixture::addObject(scene, tris);
    for (auto& t : scene.objects[0].triangles) {
        const Vec3& c = t->centroid;
        t->radiosity = Vec3(0.2 + 0.02 * (c.x + 4), 0.15 + 0.015 * (c.z + 4), 0.1 + 0.02 * (c.y + 4));
    }
    scene.settings.nearPlane = 0.5;
}

}  // namespace

TEST(PrintedCamera, DrawsTheViewersPictureWithoutRotations) {
    HeadlessContext context;
    if (!context.ok()) GTEST_SKIP() << context.error();
    Scene shown;
    shown.cameraPos = Vec3(1, -14, 2);
    shown.cameraLookAt = Vec3(0.5, 0, -0.5);
    buildBox(shown);
    glEnable(GL_DEPTH_TEST);
    buildShadedList(shown);

    const struct {
        float x, z;
        int dolly;
    } views[] = {{0, 0, 2},    {-10, 20, 0},   {30, -40, 3}, {-20, 370, -2}, {17, -33, 1},
                 {-40, 90, 4}, {45, -180, -6}, {8, 123, 5},  {-33, -270, 0}, {1, 1, 1}};
    for (const auto& v : views) {
        SCOPED_TRACE(testing::Message() << "angles " << v.x << ", " << v.z << ", dolly " << v.dolly);
        ViewState view;
        view.viewAngleX = v.x;
        view.viewAngleZ = v.z;
        view.dollySteps = v.dolly;
        const Picture viewer = renderPicture(shown, view, kSize, false);
        // The printed camera, as the configuration reader takes it back.
        Scene printed;
        const Camera c = sceneCamera(shown, view);
        const std::string line = cameraSetOptions(c, shown.settings.fov);
        auto read = [&](const char* key) {
            const std::size_t at = line.find(std::string(key) + "=");
            return std::atof(line.c_str() + at + std::string(key).size() + 1);
        };
        printed.cameraPos = Vec3(read("pos_x"), read("pos_y"), read("pos_z"));
        printed.cameraLookAt = Vec3(read("lookat_x"), read("lookat_y"), read("lookat_z"));
        printed.cameraUp = Vec3(read("up_x"), read("up_y"), read("up_z"));
        printed.settings = shown.settings;
        const Picture batch = renderPicture(printed, ViewState{}, kSize, false);
        ASSERT_TRUE(viewer.error.empty() && batch.error.empty());

        // Within one 8-bit level everywhere, edges and silhouette included.
        int maxDiff = 0, lit = 0;
        for (std::size_t i = 0; i < viewer.rgb.size(); ++i) {
            maxDiff = std::max(maxDiff, std::abs(viewer.rgb[i] - batch.rgb[i]));
            lit += viewer.rgb[i] > 0;
        }
        EXPECT_GT(lit, kSize * kSize / 4);  // the box fills a good part of the picture
        EXPECT_LE(maxDiff, 1);
    }
    glDeleteLists(kShadedList, 1);
}
