#include "view/shading.h"

#include <GL/gl.h>

#include "scene/scene.h"
#include "view/corner_colours.h"
#include "view/display_transform.h"

Vec3 vertexColour(const Vertex& vertex, const Triangle& triangle, const Settings& settings) {
    return displayColour(cornerColour(vertex, triangle, settings.smoothThreshold),
                         displayTransformOf(settings));
}

void buildShadedList(const Scene& scene, ListColours colours) {
    const DisplayTransform transform = displayTransformOf(scene.settings);
    glNewList(kShadedList, GL_COMPILE);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    for (const SceneObject& obj : scene.objects) {
        for (const auto& t : obj.triangles) {
            Vec3 corner[3];
            for (int k = 0; k < 3; ++k) {
                const Vec3 c = cornerColour(*t->corners[k], *t, scene.settings.smoothThreshold);
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
