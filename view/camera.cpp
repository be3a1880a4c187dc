#include "view/camera.h"

#include <cmath>
#include <cstdio>

#include "scene/scene.h"
#include "view/view_state.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Sine and cosine of an angle in degrees, exact at multiples of 90 degrees
// (so a quarter turn gives 0 and 1, not 6e-17): the angle is reduced to
// within 45 degrees of a multiple of 90 exactly, and the quadrant swaps them.
void sinCosDegrees(double degrees, double& s, double& c) {
    if (!std::isfinite(degrees)) {
        s = c = degrees - degrees;  // not-a-number, as sin and cos give
        return;
    }
    const double turn = std::fmod(degrees, 360.0);
    const double quadrants = std::nearbyint(turn / 90.0);
    const double rest = (turn - 90.0 * quadrants) * (kPi / 180.0);
    const double sr = std::sin(rest);
    const double cr = std::cos(rest);
    switch (((static_cast<int>(quadrants) % 4) + 4) % 4) {
        case 0:
            s = sr, c = cr;
            break;
        case 1:
            s = cr, c = -sr;
            break;
        case 2:
            s = -sr, c = -cr;
            break;
        default:
            s = -cr, c = sr;
            break;
    }
}

// Right-handed rotations by `degrees`, as glRotatef turns a point.
Vec3 rotateAboutX(const Vec3& v, double degrees) {
    double s = 0.0, c = 1.0;
    sinCosDegrees(degrees, s, c);
    return {v.x, v.y * c - v.z * s, v.y * s + v.z * c};
}

Vec3 rotateAboutZ(const Vec3& v, double degrees) {
    double s = 0.0, c = 1.0;
    sinCosDegrees(degrees, s, c);
    return {v.x * c - v.y * s, v.x * s + v.y * c, v.z};
}

// The scene's own frame from the viewer's: undoes "about z, then about x".
Vec3 unturn(const Vec3& v, const ViewState& view) {
    return rotateAboutZ(rotateAboutX(v, -static_cast<double>(view.viewAngleX)),
                        -static_cast<double>(view.viewAngleZ));
}

// Nine significant digits; a negative zero is printed as 0.
std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", v + 0.0);
    return text;
}

}  // namespace

bool applyDolly(ViewState& view, int steps) {
    long long count = static_cast<long long>(view.dollySteps) + steps;
    if (count > kMaxDollySteps) count = kMaxDollySteps;
    if (count < -kMaxDollySteps) count = -kMaxDollySteps;
    const bool changed = count != view.dollySteps;
    view.dollySteps = static_cast<int>(count);
    return changed;
}

Camera dolliedCamera(const Scene& scene, const ViewState& view) {
    Camera camera{scene.cameraPos, scene.cameraLookAt, scene.cameraUp};
    if (view.dollySteps != 0) {
        const double scale = std::pow(1.0 - kDollyShare, view.dollySteps);
        camera.eye = camera.lookAt + (scene.cameraPos - camera.lookAt) * scale;
    }
    return camera;
}

Camera sceneCamera(const Scene& scene, const ViewState& view) {
    const Camera shown = dolliedCamera(scene, view);
    return {unturn(shown.eye, view), unturn(shown.lookAt, view), unturn(shown.up, view)};
}

std::string cameraSetOptions(const Camera& camera, double fov) {
    const struct {
        const char* key;
        double value;
    } keys[] = {
        {"pos_x", camera.eye.x},       {"pos_y", camera.eye.y},
        {"pos_z", camera.eye.z},       {"lookat_x", camera.lookAt.x},
        {"lookat_y", camera.lookAt.y}, {"lookat_z", camera.lookAt.z},
        {"up_x", camera.up.x},         {"up_y", camera.up.y},
        {"up_z", camera.up.z},         {"fov", fov},
    };
    std::string line;
    for (const auto& k : keys) {
        if (!line.empty()) line += ' ';
        line += "--set " + std::string(k.key) + "=" + number(k.value);
    }
    return line;
}
