#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Render and solver settings written to the [settings] section. Besides
// the basic keys, a converted model gets the solver's faster convergence and
// display keys: stop at 1 % unshot energy with overshooting and several
// shooters per step, show the light not yet shot as ambient light, and
// display through the sRGB curve.
struct IniSettings {
    int resolution = 256;
    double brightness = 1.0;
    int step = 10;
    double nearPlane = 0.1;
    double farPlane = 40.0;
    int smoothAngle = 2;  // degrees
    double stopAt = 0.01;
    bool overshoot = true;
    int ambient = 2;  // the light not yet shot, spread over the area lit so far
    std::string display = "srgb";
    int shooters = 4;
    double patchSize = 0.0;      // scene units; 0 = not written (each triangle shoots alone)
    bool patchEmitters = false;  // written (as 1) only when set, with patch_size
};

// The viewing camera of the [camera] section; fov is vertical, in degrees.
struct IniCamera {
    Vec3 pos{0.0, -20.0, 0.0};
    Vec3 lookAt{0.0, 0.0, 0.0};
    Vec3 up{0.0, 0.0, 1.0};
    double fov = 45.0;
};

// One [object_i] section. file is written as given (relative to the folder
// of the configuration file).
struct IniObject {
    std::string file;
    std::size_t triangles = 0;
    MeshMaterial material;
};

// Frames an axis-aligned box: looks at its centre from outside, along a
// horizontal direction (+z when y or x is up, -y when z is up), far enough for
// the box's bounding sphere to fit the field of view. upAxis is 0, 1 or 2 for
// x, y or z. Also chooses near and far planes that suit the box: the near
// plane is small because the hemicube uses it too.
void frameBox(const Vec3& boxMin, const Vec3& boxMax, int upAxis, IniCamera& camera, IniSettings& settings);

// Places the camera at eye looking towards lookAt (which must differ from
// eye), with up made perpendicular to the view (another axis when up is
// along it), and chooses near and far planes that hold the whole box.
void aimCamera(const Vec3& eye, const Vec3& lookAt, const Vec3& up, const Vec3& boxMin, const Vec3& boxMax,
               IniCamera& camera, IniSettings& settings);

// Writes the whole configuration: a comment header (each line of comment
// gets a leading "; "), [settings], [camera] and one [object_i] per object.
void writeSceneIni(std::ostream& out, const std::string& comment, const IniSettings& settings,
                   const IniCamera& camera, const std::vector<IniObject>& objects);
