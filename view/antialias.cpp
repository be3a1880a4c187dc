#include "view/antialias.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "scene/scene.h"
#include "view/camera.h"
#include "view/commands.h"

const float kJitter[8][2] = {
    {-0.334818f, 0.435331f}, {0.286438f, -0.393495f},  {0.459462f, 0.141540f}, {-0.414498f, -0.192829f},
    {-0.183790f, 0.082102f}, {-0.079263f, -0.317383f}, {0.102254f, 0.299133f}, {0.164216f, -0.054399f},
};

namespace {

// Full-precision pi for the projection, so it matches gluPerspective.
constexpr double kPi = 3.141592653589793;

// One pass: the shifted projection, the camera, the user's rotation (undone
// again afterwards) and the scene.
void drawPass(int list, int pass, const Scene& scene, const ViewState& view) {
    const Settings& settings = scene.settings;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    jitteredPerspective(settings.fov, 1.0, settings.nearPlane, settings.farPlane, kJitter[pass][0],
                        kJitter[pass][1], 0.0, 0.0, 1.0);
    loadCamera(dolliedCamera(scene, view));
    glPushMatrix();
    glRotatef(view.viewAngleX, 1.0f, 0.0f, 0.0f);
    glRotatef(view.viewAngleZ, 0.0f, 0.0f, 1.0f);
    glCallList(static_cast<GLuint>(list));
    glPopMatrix();
}

bool hasAccumulationBuffer() {
    GLint drawFramebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    if (drawFramebuffer != 0) return false;  // accumulation only works on the window's buffers
    GLint bits = 0;
    glGetIntegerv(GL_ACCUM_RED_BITS, &bits);
    return bits > 0;
}

void drawWithAccumulationBuffer(int list, const Scene& scene, const ViewState& view) {
    glClear(GL_ACCUM_BUFFER_BIT);
    for (int pass = 0; pass < kJitterPasses; ++pass) {
        drawPass(list, pass, scene, view);
        glAccum(GL_ACCUM, kPassWeight);
    }
    glAccum(GL_RETURN, 1.0f);
}

// Without an accumulation buffer: read every pass back as floats, sum the
// weighted passes here and draw the average back over the viewport.
void drawWithReadBack(int list, const Scene& scene, const ViewState& view) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[2];
    const int height = viewport[3];
    if (width <= 0 || height <= 0) return;

    // Read the buffer being drawn to, with plain packing into client memory.
    GLint drawBuffer = 0, readBuffer = 0, packBuffer = 0, unpackBuffer = 0;
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glGetIntegerv(GL_READ_BUFFER, &readBuffer);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer);
    glReadBuffer(static_cast<GLenum>(drawBuffer));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);

    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    std::vector<float> sum(count, 0.0f);
    std::vector<float> pixels(count, 0.0f);
    for (int pass = 0; pass < kJitterPasses; ++pass) {
        drawPass(list, pass, scene, view);
        glReadPixels(viewport[0], viewport[1], width, height, GL_RGBA, GL_FLOAT, pixels.data());
        for (std::size_t i = 0; i < count; ++i) sum[i] += kPassWeight * pixels[i];
    }

    // Put the average back exactly over the viewport, untouched by depth,
    // blending or any other per-fragment state of the scene.
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_PIXEL_MODE_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_SCISSOR_TEST);
    glPixelZoom(1.0f, 1.0f);
    glWindowPos2i(viewport[0], viewport[1]);
    glDrawPixels(width, height, GL_RGBA, GL_FLOAT, sum.data());
    glPopAttrib();

    glPopClientAttrib();
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(packBuffer));
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer));
    glReadBuffer(static_cast<GLenum>(readBuffer));
}

}  // namespace

Frustum perspectiveFrustum(double fieldOfView, double aspect, double nearPlane, double farPlane) {
    const double half = ((fieldOfView * kPi) / 180.0) / 2.0;
    Frustum f;
    f.top = nearPlane / (std::cos(half) / std::sin(half));
    f.bottom = -f.top;
    f.right = f.top * aspect;
    f.left = -f.right;
    f.nearPlane = nearPlane;
    f.farPlane = farPlane;
    return f;
}

Frustum shiftFrustum(const Frustum& f, int width, int height, double subpixelX, double subpixelY,
                     double eyeOffsetX, double eyeOffsetY, double focusDistance) {
    // Moving the window left by a fraction of a pixel moves the picture right.
    const double pixelX = width > 0 ? subpixelX * (f.right - f.left) / width : 0.0;
    const double pixelY = height > 0 ? subpixelY * (f.top - f.bottom) / height : 0.0;
    const double dx = -(pixelX + eyeOffsetX * f.nearPlane / focusDistance);
    const double dy = -(pixelY + eyeOffsetY * f.nearPlane / focusDistance);
    Frustum s = f;
    s.left += dx;
    s.right += dx;
    s.bottom += dy;
    s.top += dy;
    return s;
}

void jitteredPerspective(double fieldOfView, double aspect, double nearPlane, double farPlane,
                         double subpixelX, double subpixelY, double eyeOffsetX, double eyeOffsetY,
                         double focusDistance) {
    const Frustum f = perspectiveFrustum(fieldOfView, aspect, nearPlane, farPlane);
    jitteredFrustum(f.left, f.right, f.bottom, f.top, f.nearPlane, f.farPlane, subpixelX, subpixelY,
                    eyeOffsetX, eyeOffsetY, focusDistance);
}

void jitteredFrustum(double left, double right, double bottom, double top, double nearPlane, double farPlane,
                     double subpixelX, double subpixelY, double eyeOffsetX, double eyeOffsetY,
                     double focusDistance) {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const Frustum s = shiftFrustum(Frustum{left, right, bottom, top, nearPlane, farPlane}, viewport[2],
                                   viewport[3], subpixelX, subpixelY, eyeOffsetX, eyeOffsetY, focusDistance);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(s.left, s.right, s.bottom, s.top, s.nearPlane, s.farPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void loadCamera(const Camera& camera) {
    const Vec3& pos = camera.eye;
    const Vec3& at = camera.lookAt;
    const Vec3& up = camera.up;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(pos.x, pos.y, pos.z, at.x, at.y, at.z, up.x, up.y, up.z);
}

void drawAntialiased(int list, const Scene& scene, const ViewState& view) {
    // Nothing can be drawn without a complete framebuffer (a context that
    // has no window yet); leave it without provoking GL errors.
    if (glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return;
    if (hasAccumulationBuffer()) {
        drawWithAccumulationBuffer(list, scene, view);
    } else {
        drawWithReadBack(list, scene, view);
    }
    glFlush();
}
