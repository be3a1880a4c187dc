#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "radiosity/item_code.h"
#include "scene/vec3.h"

// One hemicube face seen from the current shooter: draw the item buffer,
// read the face back and add each pixel's weight to the form-factor
// accumulator of the triangle it shows. The eye is the shooter's centroid
// moved 1/1000 along its normal (ShooterState); the view direction and up
// vector come from hemicubeCentre and hemicubeUp, which the solver sets
// before every call. rowCount is the number of rows summed from the face's
// top edge: N for the top face, H for a side face (the half above the
// shooter's tangent plane). Tests inject their own implementation.
struct FaceCapturer {
    virtual ~FaceCapturer() = default;
    virtual void captureFace(const double* weights, int rowCount) = 0;
};

// The hemicube view of the next capture.
extern Vec3 hemicubeCentre;  // look-at centre
extern Vec3 hemicubeUp;      // up vector

// The decoding table that matches the compiled item buffer.
extern ItemLookup itemLookup;

// Compiles display list 2, the item buffer: it clears colour and depth to
// black, then draws every triangle flat in its item colour. Also rebuilds
// itemLookup. Returns an empty string, or a message when the scene exceeds
// the colour code's limits (the excess is not drawn; the caller should
// refuse such a scene). Needs a current GL context.
std::string buildItemBuffer();

enum class CaptureMode {
    Fast,     // top face whole; side faces drawn and read as their upper N x H half; RGBA read-back
    Literal,  // every face drawn N x N and read back whole as RGB
};

// Captures faces off-screen, into an N x N framebuffer object with an RGBA8
// colour and a 24-bit depth buffer, with depth test and back-face culling on.
// The previous framebuffer bindings, viewport, matrices and the enable, pixel
// store and shading state are restored after each capture, so whatever the
// window draws is untouched. Needs a current GL context for its whole life.
class HemicubeCapturer : public FaceCapturer {
  public:
    explicit HemicubeCapturer(CaptureMode mode = CaptureMode::Fast);
    ~HemicubeCapturer() override;
    HemicubeCapturer(const HemicubeCapturer&) = delete;
    HemicubeCapturer& operator=(const HemicubeCapturer&) = delete;

    // False (with a reason) when the off-screen target could not be made.
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }

    CaptureMode mode() const { return mode_; }
    void setMode(CaptureMode mode) { mode_ = mode; }

    void captureFace(const double* weights, int rowCount) override;

  private:
    bool ensureTarget(int size);
    void releaseTarget();

    CaptureMode mode_ = CaptureMode::Fast;
    unsigned int framebuffer_ = 0;
    unsigned int colourBuffer_ = 0;
    unsigned int depthBuffer_ = 0;
    int size_ = 0;
    std::vector<std::uint8_t> pixels_;  // N * N * 4 bytes, reused by every capture
    std::string error_;
};
