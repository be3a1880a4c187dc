#include "radiosity/item_buffer.h"

#include <GL/gl.h>

#include "scene/scene.h"

std::string buildItemBuffer(const std::vector<SceneObject>& objects, ItemBuffer& items) {
    items.itemLookup = buildItemLookup(objects);
    glNewList(ItemBuffer::kList, GL_COMPILE);
    // The list clears the frame itself, so a capture is one list call.
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glBegin(GL_TRIANGLES);
    // Only what the colour code can name is drawn (the lookup has the same
    // bounds); a scene beyond the limits is reported below.
    const ItemLookup& lookup = items.itemLookup;
    for (size_t o = 0; o < lookup.objects.size(); ++o) {
        const std::vector<Triangle*>& tris = lookup.objects[o];
        for (size_t t = 0; t < tris.size(); ++t) {
            const ItemColour c = itemColour(static_cast<int>(o), static_cast<int>(t));
            // i / 255 as a float comes back from an 8-bit channel as the byte i.
            glColor3f(c.red / 255.0f, c.green / 255.0f, c.blue / 255.0f);
            for (const Vertex* v : tris[t]->corners) {
                glVertex3f(static_cast<float>(v->position.x), static_cast<float>(v->position.y),
                           static_cast<float>(v->position.z));
            }
        }
    }
    glEnd();
    glEndList();
    const unsigned generation = items.itemGroups.generation + 1;
    items.itemGroups = buildItemGroups(lookup);
    items.itemGroups.generation = generation;
    return itemCodeProblem(objects);
}
