#include "view/corner_colours.h"

#include "scene/scene.h"

Vec3 cornerColour(const Vertex& vertex, const Triangle& triangle, double smoothThreshold) {
    Vec3 sum = triangle.radiosity;
    int count = 1;
    for (const Triangle* other : vertex.triangleList) {
        if (other == &triangle) continue;
        if (other->normal.dot(triangle.normal) > smoothThreshold) {
            ++count;
            sum.x += other->radiosity.x;
            sum.y += other->radiosity.y;
            sum.z += other->radiosity.z;
        }
    }
    const double n = static_cast<double>(count);
    sum.x /= n;
    sum.y /= n;
    sum.z /= n;
    return sum;
}
