#include "view/shading.h"

#include <GL/gl.h>

#include "radiosity/solver.h"
#include "scene/scene.h"
#include "view/corner_colours.h"
#include "view/display_transform.h"

Vec3 litCornerColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings,
                     const Vec3& added) {
    const Vec3 c = cornerColour(vertex, triangle, settings.smoothThreshold);
    // Adding nothing leaves every bit (a -0 channel too) as it was.
    if (added.x != 0.0 || added.y != 0.0 || added.z != 0.0) return c + added;
    return c;
}

Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings,
                  const Vec3& added) {
    return displayColour(litCornerColour(vertex, triangle, settings, added), displayTransformOf(settings));
}

Vec3 displayedAmbient(const Scene& scene, const Solver& solver) {
    return scene.settings.ambient ? solver.ambientTerm() : Vec3();
}

void buildShadedList(const Scene& scene, const Vec3& ambient, ListColours colours) {
    const DisplayTransform transform = displayTransformOf(scene.settings);
    glNewList(kShadedList, GL_COMPILE);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    for (const SceneObject& obj : scene.objects) {
        const Vec3& rho = obj.reflectance;
        const Vec3 reflected(rho.x * ambient.x, rho.y * ambient.y, rho.z * ambient.z);
        for (const auto& t : obj.triangles) {
            Vec3 corner[3];
            for (int k = 0; k < 3; ++k) {
                const Vec3 c = litCornerColour(*t->corners[k], *t, scene.settings, reflected);
                corner[k] = colours == ListColours::Display ? displayColour(c, transform)
                                                            : exposedColour(c, transform);
            }
            for (int k = 0; k < 3; ++k) {
                const Vec3& c = corner[k];
                const Vec3& p = t->corners[k]->position;
                glColor3f(static_cast<float>(c.x), static_cast<float>(c.y), static_cast<float>(c.z));
                glVertex3f(static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z));
            }
        }
    }
    glEnd();
    glEndList();
}
