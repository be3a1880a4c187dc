#include "mesh/scene_ini.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "scene/triangle_file_writer.h"

void frameBox(const Vec3& boxMin, const Vec3& boxMax, int upAxis, IniCamera& camera, IniSettings& settings) {
    const Vec3 centre{(boxMin.x + boxMax.x) * 0.5, (boxMin.y + boxMax.y) * 0.5, (boxMin.z + boxMax.z) * 0.5};
    double radius = (boxMax - boxMin).length() * 0.5;
    if (!(radius > 0.0)) radius = 1.0;
    Vec3 up{0.0, 1.0, 0.0};
    Vec3 toEye{0.0, 0.0, 1.0};
    if (upAxis == 0) {
        up = {1.0, 0.0, 0.0};
    } else if (upAxis == 2) {
        up = {0.0, 0.0, 1.0};
        toEye = {0.0, -1.0, 0.0};
    }
    const double halfFov = camera.fov * 0.5 * 3.141592653589793 / 180.0;
    const double distance = radius / std::sin(halfFov) * 1.05;
    camera.lookAt = centre;
    camera.pos = {centre.x + toEye.x * distance, centre.y + toEye.y * distance,
                  centre.z + toEye.z * distance};
    camera.up = up;
    settings.nearPlane = radius * 0.002;
    settings.farPlane = (distance + radius) * 1.1;
}

void aimCamera(const Vec3& eye, const Vec3& lookAt, const Vec3& up, const Vec3& boxMin, const Vec3& boxMax,
               IniCamera& camera, IniSettings& settings) {
    Vec3 view = lookAt - eye;
    view *= 1.0 / view.length();
    auto perpendicular = [&](const Vec3& v) {
        const double along = v.dot(view);
        return v - Vec3{view.x * along, view.y * along, view.z * along};
    };
    Vec3 u = perpendicular(up);
    if (!(u.length() > 1e-6 * up.length())) {
        // Looking along the up axis: take the axis least along the view.
        const double ax = std::fabs(view.x), ay = std::fabs(view.y), az = std::fabs(view.z);
        u = perpendicular(az <= ax && az <= ay ? Vec3{0, 0, 1} : (ay <= ax ? Vec3{0, 1, 0} : Vec3{1, 0, 0}));
    }
    u *= 1.0 / u.length();
    camera.pos = eye;
    camera.lookAt = lookAt;
    camera.up = u;
    const Vec3 centre{(boxMin.x + boxMax.x) * 0.5, (boxMin.y + boxMax.y) * 0.5, (boxMin.z + boxMax.z) * 0.5};
    double radius = (boxMax - boxMin).length() * 0.5;
    if (!(radius > 0.0)) radius = 1.0;
    settings.nearPlane = radius * 0.002;
    settings.farPlane = ((centre - eye).length() + radius) * 1.1;
}

namespace {

void key(std::ostream& out, const char* name, const std::string& value) {
    out << name << '=' << value << '\n';
}
void key(std::ostream& out, const char* name, double value) {
    key(out, name, formatNumber(value));
}
void key(std::ostream& out, const char* name, long long value) {
    key(out, name, std::to_string(value));
}

}  // namespace

void writeSceneIni(std::ostream& out, const std::string& comment, const IniSettings& settings,
                   const IniCamera& camera, const std::vector<IniObject>& objects) {
    std::istringstream lines(comment);
    for (std::string line; std::getline(lines, line);) {
        line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
        out << "; " << line << '\n';
    }
    out << "[settings]\n";
    key(out, "resolution", static_cast<long long>(settings.resolution));
    key(out, "brightness", settings.brightness);
    key(out, "step", static_cast<long long>(settings.step));
    key(out, "near", settings.nearPlane);
    key(out, "far", settings.farPlane);
    key(out, "smooth_angle", static_cast<long long>(settings.smoothAngle));
    key(out, "stop_at", settings.stopAt);
    key(out, "overshoot", static_cast<long long>(settings.overshoot ? 1 : 0));
    key(out, "ambient", static_cast<long long>(settings.ambient));
    key(out, "display", settings.display);
    key(out, "shooters", static_cast<long long>(settings.shooters));
    if (settings.patchSize > 0.0) {
        key(out, "patch_size", settings.patchSize);
        if (settings.patchEmitters) key(out, "patch_emitters", 1LL);
    }
    key(out, "objects", static_cast<long long>(objects.size()));
    out << "\n[camera]\n";
    key(out, "pos_x", camera.pos.x);
    key(out, "pos_y", camera.pos.y);
    key(out, "pos_z", camera.pos.z);
    key(out, "lookat_x", camera.lookAt.x);
    key(out, "lookat_y", camera.lookAt.y);
    key(out, "lookat_z", camera.lookAt.z);
    key(out, "up_x", camera.up.x);
    key(out, "up_y", camera.up.y);
    key(out, "up_z", camera.up.z);
    key(out, "fov", camera.fov);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const IniObject& o = objects[i];
        out << "\n[object_" << i << "]\n";
        key(out, "triangles", static_cast<long long>(o.triangles));
        key(out, "file", o.file);
        key(out, "reflectance_r", static_cast<long long>(o.material.reflectance[0]));
        key(out, "reflectance_g", static_cast<long long>(o.material.reflectance[1]));
        key(out, "reflectance_b", static_cast<long long>(o.material.reflectance[2]));
        key(out, "emission_r", static_cast<long long>(o.material.emission[0]));
        key(out, "emission_g", static_cast<long long>(o.material.emission[1]));
        key(out, "emission_b", static_cast<long long>(o.material.emission[2]));
    }
}
