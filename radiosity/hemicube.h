#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "radiosity/item_code.h"
#include "radiosity/item_groups.h"
#include "radiosity/offscreen_target.h"
#include "radiosity/run_sum.h"
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

// The same triangles as display list 2, in the same order, cut into groups
// with bounding boxes, for captures that draw only what a face can see.
extern ItemGroups itemGroups;

// Compiles display list 2, the item buffer: it clears colour and depth to
// black, then draws every triangle flat in its item colour. Returns an empty
// string, or a message when the scene exceeds the colour code's limits (the
// excess is not drawn; the caller should refuse such a scene). Also rebuilds
// itemLookup and itemGroups. Needs a current GL context.
std::string buildItemBuffer();

enum class CaptureMode {
    Fast,     // top face whole; side faces drawn and read as their upper N x H half; RGBA read-back;
              // only the item groups inside the face's frustum are drawn
    Literal,  // display list 2 on every face, drawn N x N and read back whole as RGB
};

// The pieces of the fast path. Culling and the read-back layout change no
// pixel; a half face can differ from the full face's upper half only where
// a triangle edge crosses a pixel centre (the projections round differently).
struct CaptureOptions {
    bool halfSideFaces = true;  // a side face is drawn and read as its upper N x H half
    bool rgbaReadBack = true;   // read RGBA, the target's own layout, rather than RGB
    bool cullGroups = true;     // draw the groups the face can see instead of display list 2
    bool decode = true;         // sum the face into the accumulators; off only to time the
                                // drawing and read-back alone
};

CaptureOptions captureOptionsFor(CaptureMode mode);

// Running totals of the captures made, for measuring.
struct CaptureStats {
    long long faces = 0;
    double drawReadSeconds = 0.0;  // clear, draw and read back
    double sumSeconds = 0.0;       // decode and sum
    long long trianglesDrawn = 0;  // triangles sent to be drawn, over all culled faces
    long long trianglesTotal = 0;  // triangles the item buffer holds, over the same faces
};

// Captures faces off-screen, into an N x N framebuffer object with an RGBA8
// colour and a 24-bit depth buffer, with depth test and back-face culling on.
// With culling, the face is cleared once and then the item groups inside its
// frustum are drawn from a vertex buffer the capturer keeps (uploaded again
// whenever buildItemBuffer has run); without it, display list 2 is called.
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
    void setMode(CaptureMode mode) {
        mode_ = mode;
        options_ = captureOptionsFor(mode);
    }
    const CaptureOptions& options() const { return options_; }
    void setOptions(const CaptureOptions& options) { options_ = options; }

    const CaptureStats& stats() const { return stats_; }
    void resetStats() { stats_ = CaptureStats{}; }

    void captureFace(const double* weights, int rowCount) override;

  private:
    bool ensureTarget(int size);
    bool ensureGroups();
    void releaseGroups();
    void drawVisibleGroups(bool upperHalfOnly);

    CaptureMode mode_ = CaptureMode::Fast;
    CaptureOptions options_;
    CaptureStats stats_;
    OffscreenTarget target_;
    std::vector<std::uint8_t> pixels_;  // N * N * 4 bytes, reused by every capture
    // The item groups' vertices on the GL side, uploaded when they change.
    unsigned int groupBuffer_ = 0;
    unsigned int groupArray_ = 0;
    unsigned uploadedGeneration_ = 0;
    std::vector<int> drawFirst_;  // ranges of the groups drawn by one face
    std::vector<int> drawCount_;
    RunSummer summer_;
    unsigned summerGeneration_ = 0;  // the item buffer the summer was prepared for
    std::string error_;
};
