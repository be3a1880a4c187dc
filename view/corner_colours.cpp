#include "view/corner_colours.h"

#include "scene/scene.h"

Vec3 cornerColour(const Vertex& vertex, const Triangle& triangle, double smoothThreshold) {
    Vec3 sum = triangle.radiosity;
    int count = 1;
    for (const Triangle* other : vertex.triangleList) {
        if (other == &triangle) continue;
        if (other->normal.dot(triangle.normal) > smoothThreshold) {
            ++count;
            sum = sum + other->radiosity;
        }
    }
    return sum / static_cast<double>(count);
}
