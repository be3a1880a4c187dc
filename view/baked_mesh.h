#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scene/vec3.h"

struct SceneObject;

using Float3 = std::array<float, 3>;

// One object of the solved scene as exports write it: triangles in stored
// order and corner order, each corner with the smoothed corner colour
// (linear, unbounded; no brightness, exposure, ambient term or clamp). A
// vertex is shared only by corners at the same welded vertex with the same
// colour (as single-precision floats, bit for bit), so creases keep their
// two colours.
struct BakedMesh {
    std::string name;
    Vec3 reflectance;  // the object's configured reflectance (0..1)
    Vec3 emission;     // its configured emission, unbounded
    std::vector<Float3> positions;
    std::vector<Float3> colours;  // one per position
    std::vector<std::array<std::uint32_t, 3>> triangles;
};

// Bakes one object with the given smoothing threshold (the cosine of
// "smooth_angle").
BakedMesh bakeObject(const SceneObject& object, double smoothThreshold);

// Every object in order.
std::vector<BakedMesh> bakeScene(const std::vector<SceneObject>& objects, double smoothThreshold);
