#pragma once

#include <string>

// An OpenGL (compatibility profile) context without any window or X server:
// EGL on Mesa's surfaceless platform, made current on construction with no
// surface. Draw into a framebuffer object. One per thread at a time; the
// previous current context is not restored on destruction. Contexts may be
// made and destroyed on several threads at once.
class HeadlessContext {
  public:
    HeadlessContext();
    ~HeadlessContext();
    HeadlessContext(const HeadlessContext&) = delete;
    HeadlessContext& operator=(const HeadlessContext&) = delete;

    // True when the context exists and is current.
    bool ok() const { return context_ != nullptr; }
    // Why it could not be made; empty when ok().
    const std::string& error() const { return error_; }

  private:
    void fail(const std::string& what);

    void* display_ = nullptr;  // EGLDisplay
    void* context_ = nullptr;  // EGLContext
    bool initialised_ = false;
    std::string error_;
};
