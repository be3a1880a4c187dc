#pragma once

#include <vector>

struct SceneObject;

// Form factors from one shooter to every triangle of a scene, one double per
// triangle, indexed by the triangle's place in the scene: the objects in
// array order and, within each, the triangles in stored order (the order
// every pass over the scene visits them in). A capture adds each face's
// weights into the array of the shot it belongs to, so several shots can be
// captured at once, each into its own array; the receive pass reads and
// clears it.
using FormFactors = std::vector<double>;

// The number of triangles of all objects: the size of a FormFactors array.
int sceneTriangleCount(const std::vector<SceneObject>& objects);

// Index of each object's first triangle in that order (the counts of the
// objects before it, summed).
std::vector<int> firstTriangleIndices(const std::vector<SceneObject>& objects);
