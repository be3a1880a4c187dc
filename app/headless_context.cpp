#include "app/headless_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Displays are shared per process; only the last context may terminate one.
// Contexts are made and destroyed on several threads (capture workers), so
// the count, and the initialisation and termination it guards, are taken
// under one lock.
int liveDisplays = 0;
std::mutex& displayMutex() {
    static std::mutex mutex;
    return mutex;
}

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) return false;
    const size_t len = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += len) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[len] == '\0' || p[len] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

std::string eglErrorText() {
    const EGLint e = eglGetError();
    switch (e) {
        case EGL_SUCCESS:
            return "no EGL error";
        case EGL_NOT_INITIALIZED:
            return "EGL_NOT_INITIALIZED";
        case EGL_BAD_ACCESS:
            return "EGL_BAD_ACCESS";
        case EGL_BAD_ALLOC:
            return "EGL_BAD_ALLOC";
        case EGL_BAD_ATTRIBUTE:
            return "EGL_BAD_ATTRIBUTE";
        case EGL_BAD_CONFIG:
            return "EGL_BAD_CONFIG";
        case EGL_BAD_CONTEXT:
            return "EGL_BAD_CONTEXT";
        case EGL_BAD_DISPLAY:
            return "EGL_BAD_DISPLAY";
        case EGL_BAD_MATCH:
            return "EGL_BAD_MATCH";
        case EGL_BAD_PARAMETER:
            return "EGL_BAD_PARAMETER";
        default: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "EGL error 0x%04X", static_cast<unsigned>(e));
            return buf;
        }
    }
}

}  // namespace

void HeadlessContext::fail(const std::string& what) {
    error_ = "Cannot create a headless OpenGL context: " + what;
}

HeadlessContext::HeadlessContext() {
    const std::lock_guard<std::mutex> lock(displayMutex());
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        fail("EGL has no surfaceless platform (EGL_MESA_platform_surfaceless)");
        return;
    }
    EGLDisplay display = EGL_NO_DISPLAY;
    auto getPlatformDisplayExt =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplayExt != nullptr) {
        display = getPlatformDisplayExt(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    } else if (auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYPROC>(
                   eglGetProcAddress("eglGetPlatformDisplay"))) {
        display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
    if (display == EGL_NO_DISPLAY) {
        fail("no surfaceless EGL display (" + eglErrorText() + ")");
        return;
    }
    display_ = display;
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        fail("eglInitialize failed (" + eglErrorText() + ")");
        return;
    }
    initialised_ = true;
    ++liveDisplays;
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
        fail("the EGL display cannot make a context current without a surface");
        return;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        fail("desktop OpenGL is not available through EGL (" + eglErrorText() + ")");
        return;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_DEPTH_SIZE,
                                       24,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configCount) || configCount < 1) {
        fail("no EGL configuration for OpenGL with 8-bit colour and a 24-bit depth buffer (" +
             eglErrorText() + ")");
        return;
    }
    // No version or profile requested: that gives the compatibility profile,
    // with display lists and immediate mode.
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) {
        fail("eglCreateContext failed (" + eglErrorText() + ")");
        return;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        const std::string reason = eglErrorText();
        eglDestroyContext(display, context);
        fail("eglMakeCurrent failed (" + reason + ")");
        return;
    }
    context_ = context;
}

HeadlessContext::~HeadlessContext() {
    if (display_ == nullptr) return;
    const std::lock_guard<std::mutex> lock(displayMutex());
    auto display = static_cast<EGLDisplay>(display_);
    if (context_ != nullptr) {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, static_cast<EGLContext>(context_));
    }
    if (initialised_ && --liveDisplays == 0) eglTerminate(display);
}
