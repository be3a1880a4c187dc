#include "view/shading.h"

#include <GL/gl.h>

#include "scene/scene.h"
#include "scene/settings.h"

Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle) {
    Vec3 sum = triangle.radiosity;
    int count = 1;
    for (const Triangle* other : vertex.triangleList) {
        if (other == &triangle) continue;
        // NaN and exact equality both leave the neighbour out.
        if (other->normal.dot(triangle.normal) > settings.smoothThreshold) {
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
    sum *= settings.brightness;
    sum.clampToUnit();
    return sum;
}

void buildShadedList() {
    glNewList(kShadedList, GL_COMPILE);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    for (const SceneObject& obj : objects) {
        for (const auto& t : obj.triangles) {
            Vec3 colours[3];
            for (int k = 0; k < 3; ++k) colours[k] = vertexColour(*t->corners[k], *t);
            for (int k = 0; k < 3; ++k) {
                const Vec3& c = colours[k];
                const Vec3& p = t->corners[k]->position;
                glColor3f(static_cast<float>(c.x), static_cast<float>(c.y), static_cast<float>(c.z));
                glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
            }
        }
    }
    glEnd();
    glEndList();
}
