#include "view/shading.h"

#include <GL/gl.h>

#include "radiosity/solver.h"
#include "scene/scene.h"

Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings,
                  const Vec3& added) {
    Vec3 sum = triangle.radiosity;
    int count = 1;
    for (const Triangle* other : vertex.triangleList) {
        if (other == &triangle) continue;
        // NaN and exact equality both leave the neighbour out.
        if (other->normal.dot(triangle.normal) > settings.smoothThreshold) {
            ++count;
            sum = sum + other->radiosity;
        }
    }
    sum = sum / static_cast<double>(count);
    if (added.x != 0.0 || added.y != 0.0 || added.z != 0.0) sum = sum + added;
    sum *= settings.brightness;
    sum.clampToUnit();
    return sum;
}

Vec3 displayedAmbient(const Scene& scene, const Solver& solver) {
    return scene.settings.ambient ? solver.ambientTerm() : Vec3();
}

void buildShadedList(const Scene& scene, const Vec3& ambient) {
    glNewList(kShadedList, GL_COMPILE);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    for (const SceneObject& obj : scene.objects) {
        const Vec3& rho = obj.reflectance;
        const Vec3 reflected(rho.x * ambient.x, rho.y * ambient.y, rho.z * ambient.z);
        for (const auto& t : obj.triangles) {
            Vec3 colours[3];
            for (int k = 0; k < 3; ++k)
                colours[k] = vertexColour(*t->corners[k], *t, scene.settings, reflected);
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
