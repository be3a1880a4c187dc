#include "radiosity/offscreen_target.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

#include "radiosity/gl_bindings.h"

void OffscreenTarget::release() {
    if (framebuffer_ != 0) glDeleteFramebuffers(1, &framebuffer_);
    if (colour_ != 0) glDeleteRenderbuffers(1, &colour_);
    if (depth_ != 0) glDeleteRenderbuffers(1, &depth_);
    framebuffer_ = colour_ = depth_ = 0;
    size_ = 0;
}

std::string OffscreenTarget::create(int size, Colour colour) {
    release();
    if (size <= 0) return "off-screen buffer size " + std::to_string(size) + " is not positive";
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (size > maxSize) {
        return "off-screen buffer size " + std::to_string(size) +
               " exceeds the largest this OpenGL allows (" + std::to_string(maxSize) + ")";
    }

    GLenum status = GL_FRAMEBUFFER_COMPLETE;
    {
        const GlBindingGuard bindings;  // the caller's bindings stay as they were
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &colour_);
        glGenRenderbuffers(1, &depth_);
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, colour == Colour::Rgba32f ? GL_RGBA32F : GL_RGBA8, size, size);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, size, size);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
        status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    }
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        release();
        char code[16];
        std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(status));
        return std::string("the off-screen buffer is incomplete (status ") + code + ")";
    }
    size_ = size;
    return {};
}
