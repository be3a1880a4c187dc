#pragma once

// The GL bindings a pass that draws off-screen changes, saved when the guard
// is made and put back when it goes, on every way out: the draw and read
// framebuffers, the renderbuffer, the pixel-pack buffer, the vertex array
// and the array buffer. Attribute and matrix stacks are the pass's own
// business (glPushAttrib and glPushMatrix). Needs a current GL context.
class GlBindingGuard {
  public:
    GlBindingGuard();
    ~GlBindingGuard();
    GlBindingGuard(const GlBindingGuard&) = delete;
    GlBindingGuard& operator=(const GlBindingGuard&) = delete;

  private:
    int drawFramebuffer_ = 0;
    int readFramebuffer_ = 0;
    int renderbuffer_ = 0;
    int pixelPackBuffer_ = 0;
    int vertexArray_ = 0;
    int arrayBuffer_ = 0;
};
