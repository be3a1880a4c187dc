#include "view/picture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include "radiosity/gl_bindings.h"
#include "radiosity/offscreen_target.h"
#include "scene/scene.h"
#include "view/antialias.h"
#include "view/commands.h"
#include "view/shading.h"

void drawShadedScene(const Scene& scene, const ViewState& view) {
    const Settings& settings = scene.settings;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(settings.fov, 1.0, settings.nearPlane, settings.farPlane);
    loadCamera(scene);
    glRotatef(view.viewAngleX, 1.0f, 0.0f, 0.0f);
    glRotatef(view.viewAngleZ, 0.0f, 0.0f, 1.0f);
    glCallList(kShadedList);
}

Picture renderPicture(const Scene& scene, const ViewState& view, int size, bool antialiased) {
    Picture picture;
    OffscreenTarget target;
    picture.error = target.create(size);
    if (!picture.error.empty()) return picture;
    std::vector<std::uint8_t> rgba(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    {
        const GlBindingGuard bindings;
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer());
        glViewport(0, 0, size, size);
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        if (antialiased) {
            drawAntialiased(kShadedList, scene, view);
        } else {
            drawShadedScene(scene, view);
        }
        glFinish();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    }

    // GL's rows run bottom-up; pictures are stored top row first.
    picture.size = size;
    picture.rgb.resize(static_cast<size_t>(size) * static_cast<size_t>(size) * 3);
    for (int row = 0; row < size; ++row) {
        const std::uint8_t* src =
            rgba.data() + static_cast<size_t>(size - 1 - row) * static_cast<size_t>(size) * 4;
        std::uint8_t* dst = picture.rgb.data() + static_cast<size_t>(row) * static_cast<size_t>(size) * 3;
        for (int x = 0; x < size; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return picture;
}
