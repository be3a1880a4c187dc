#include "view/picture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include "radiosity/gl_bindings.h"
#include "radiosity/offscreen_target.h"
#include "scene/scene.h"
#include "view/antialias.h"
#include "view/camera.h"
#include "view/commands.h"
#include "view/shading.h"

void drawShadedScene(const Scene& scene, const ViewState& view) {
    const Settings& settings = scene.settings;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(settings.fov, 1.0, settings.nearPlane, settings.farPlane);
    loadCamera(dolliedCamera(scene, view));
    glRotatef(view.viewAngleX, 1.0f, 0.0f, 0.0f);
    glRotatef(view.viewAngleZ, 0.0f, 0.0f, 1.0f);
    glCallList(kShadedList);
}

namespace {

// GL's colour clamps off while an HDR picture is drawn and read back, and as
// they were afterwards.
class ColourClampsOff {
  public:
    ColourClampsOff() {
        for (int i = 0; i < 3; ++i) {
            glGetIntegerv(kTargets[i], &saved_[i]);
            glClampColor(kTargets[i], GL_FALSE);
        }
    }
    ~ColourClampsOff() {
        for (int i = 0; i < 3; ++i) glClampColor(kTargets[i], static_cast<GLenum>(saved_[i]));
    }
    ColourClampsOff(const ColourClampsOff&) = delete;
    ColourClampsOff& operator=(const ColourClampsOff&) = delete;

  private:
    static constexpr GLenum kTargets[3] = {GL_CLAMP_VERTEX_COLOR, GL_CLAMP_FRAGMENT_COLOR,
                                           GL_CLAMP_READ_COLOR};
    GLint saved_[3] = {GL_TRUE, GL_FIXED_ONLY, GL_FIXED_ONLY};
};

// Draws the scene into `target` (size × size) and reads it back as RGBA of
// `type` into `rgba`, bottom row first; the caller's bindings and viewport
// stay as they were.
void drawAndRead(const OffscreenTarget& target, const Scene& scene, const ViewState& view, bool antialiased,
                 GLenum type, void* rgba) {
    const int size = target.size();
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
    glReadPixels(0, 0, size, size, GL_RGBA, type, rgba);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

// GL's rows run bottom-up; pictures are stored top row first, RGB.
template <class T>
std::vector<T> topRowFirstRgb(const std::vector<T>& rgba, int size) {
    const std::size_t n = static_cast<std::size_t>(size);
    std::vector<T> rgb(n * n * 3);
    for (std::size_t row = 0; row < n; ++row) {
        const T* src = rgba.data() + (n - 1 - row) * n * 4;
        T* dst = rgb.data() + row * n * 3;
        for (std::size_t x = 0; x < n; ++x) {
            dst[3 * x] = src[4 * x];
            dst[3 * x + 1] = src[4 * x + 1];
            dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return rgb;
}

}  // namespace

Picture renderPicture(const Scene& scene, const ViewState& view, int size, bool antialiased) {
    Picture picture;
    OffscreenTarget target;
    picture.error = target.create(size);
    if (!picture.error.empty()) return picture;
    std::vector<std::uint8_t> rgba(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    drawAndRead(target, scene, view, antialiased, GL_UNSIGNED_BYTE, rgba.data());
    picture.size = size;
    picture.rgb = topRowFirstRgb(rgba, size);
    return picture;
}

HdrPicture renderHdrPicture(const Scene& scene, const ViewState& view, int size, bool antialiased) {
    HdrPicture picture;
    OffscreenTarget target;
    picture.error = target.create(size, OffscreenTarget::Colour::Rgba32f);
    if (!picture.error.empty()) return picture;
    std::vector<float> rgba(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    {
        const ColourClampsOff unclamped;
        drawAndRead(target, scene, view, antialiased, GL_FLOAT, rgba.data());
    }
    picture.size = size;
    picture.rgb = topRowFirstRgb(rgba, size);
    return picture;
}
