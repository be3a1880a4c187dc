#pragma once

#include <string>

// An off-screen framebuffer of size x size pixels: RGBA8 colour (8 bits a
// channel, so item colours i/255 read back as the bytes i) or, for HDR
// pictures, 32-bit float colour; and a 24-bit depth buffer. Used for the
// hemicube faces and for pictures without a window. Needs a current GL
// context for its whole life.
class OffscreenTarget {
  public:
    enum class Colour { Rgba8, Rgba32f };

    OffscreenTarget() = default;
    ~OffscreenTarget() { release(); }
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    // Makes (or remakes) the target; the previous framebuffer and
    // renderbuffer bindings are kept. Returns an empty string or the reason.
    std::string create(int size, Colour colour = Colour::Rgba8);
    void release();

    bool ready() const { return framebuffer_ != 0; }
    int size() const { return size_; }
    unsigned int framebuffer() const { return framebuffer_; }

  private:
    unsigned int framebuffer_ = 0;
    unsigned int colour_ = 0;
    unsigned int depth_ = 0;
    int size_ = 0;
};
