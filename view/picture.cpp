#include "view/picture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include "radiosity/offscreen_target.h"
#include "scene/settings.h"
#include "view/antialias.h"
#include "view/commands.h"
#include "view/shading.h"

void drawShadedScene() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(settings.fov, 1.0, settings.nearPlane, settings.farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(cameraPos.x, cameraPos.y, cameraPos.z, cameraLookAt.x, cameraLookAt.y, cameraLookAt.z,
              cameraUp.x, cameraUp.y, cameraUp.z);
    glRotatef(viewAngleX, 1.0f, 0.0f, 0.0f);
    glRotatef(viewAngleZ, 0.0f, 0.0f, 1.0f);
    glCallList(kShadedList);
}

Picture renderPicture(int size, bool antialiased) {
    Picture picture;
    OffscreenTarget target;
    picture.error = target.create(size);
    if (!picture.error.empty()) return picture;
    GLint viewport[4];
    GLint previous = 0;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer());
    glViewport(0, 0, size, size);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    if (antialiased) {
        drawAntialiased(kShadedList);
    } else {
        drawShadedScene();
    }
    glFinish();

    std::vector<std::uint8_t> rgba(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));

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
