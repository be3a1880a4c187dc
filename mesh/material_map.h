#pragma once

#include <array>
#include <string>
#include <vector>

#include "mesh/mesh_types.h"

// Maps a model's colours (0..1 floats) to the renderer's integer colours
// (value / 255): value = round(colour * 255).
//
// Reflectance is clamped to 0..255, because a reflectance above 1 makes a
// surface give back more light than it receives and the solution diverges.
// Emission is only kept from going negative: it is unbounded, and values
// above 255 are how a lamp brighter than white is written.
// Not-a-number channels become 0. Every change is reported in warnings as a
// sentence naming the material.
MeshMaterial mapMaterial(const std::string& materialName, const std::array<double, 3>& diffuse,
                         const std::array<double, 3>& emissive, std::vector<std::string>& warnings);

// The material given to meshes that have none: 0.75 grey, no emission.
MeshMaterial defaultMaterial();
