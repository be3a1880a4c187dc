#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "radiosity/face_capturer.h"
#include "radiosity/item_code.h"
#include "radiosity/occlusion.h"
#include "radiosity/offscreen_target.h"
#include "radiosity/run_sum.h"
#include "scene/vec3.h"

struct ItemBuffer;

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
    // With cullGroups: a face with many triangles in view leaves out the
    // groups hidden behind its nearest ones (occlusion.h).
    bool cullHidden = true;
    // With cullGroups: a face with its own far plane draws the triangles that
    // reach into it, not whole groups.
    bool cullTriangles = true;
    bool decode = true;  // sum the face into the accumulators; off only to time the
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
    long long groupsHidden = 0;    // groups in a face's frustum left out as hidden
};

// Captures faces of faceSize x faceSize pixels (N, even) off-screen, into a
// framebuffer object with an RGBA8 colour and a 24-bit depth buffer, with
// depth test and back-face culling on, between the near and far planes given.
// With culling, the face is cleared and then the item groups inside its
// frustum are drawn from a vertex buffer the capturer keeps (uploaded again
// whenever the item buffer is rebuilt); a face with many triangles in view
// first draws its nearest groups into the depth buffer alone to find the
// hidden ones, then clears again. Without culling, display list 2 is called.
// The previous framebuffer bindings, viewport, matrices and the enable, pixel
// store and shading state are restored after each capture, so whatever the
// window draws is untouched. Draws the item buffer it is given, which must
// outlive it and be built before the first capture; needs a current GL
// context for its whole life.
class HemicubeCapturer : public FaceCapturer {
  public:
    HemicubeCapturer(const ItemBuffer& items, int faceSize, double nearPlane, double farPlane,
                     CaptureMode mode = CaptureMode::Fast);
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

    int faceSize() const { return faceSize_; }

    // Stops the program (a failed check) when the table does not hold H x H
    // weights, the rows are not within the face, the item buffer was never
    // built, formFactors has not one entry per triangle of the item buffer's
    // scene or the capturer is not ok().
    void captureFace(const FaceView& view, const std::vector<double>& weights,
                     FormFactors& formFactors) override;

  private:
    // How one face is drawn and read back.
    struct FaceLayout {
        int rowCount = 0;
        bool upperHalfOnly = false;  // drawn and read as the upper N x H half
        bool culled = false;         // the visible groups instead of display list 2
    };

    // The steps of a capture, in order.
    static void backupDrawState();
    void setUpFace(const FaceView& view, const FaceLayout& layout);
    void drawFace(const FaceView& view, const FaceLayout& layout);
    FaceRows readFace(const FaceLayout& layout);
    static void restoreDrawState();
    void decodeFace(const FaceRows& rows, const std::vector<double>& weights, FormFactors& formFactors);

    double farPlaneFor(const FaceView& view) const;
    bool ensureTarget(int size);
    bool ensureGroups();
    void releaseGroups();
    void drawVisibleGroups(const FaceView& view, bool upperHalfOnly);
    bool hiddenPassPays();
    double dropHiddenGroups(const FaceProjection& projection, long long candidateTriangles);
    void drawGroups(const std::vector<int>& list);
    void drawTrianglesInside(const FaceFrustum& frustum);

    // Below this many triangles in its frustum a face draws them all: the
    // depth pass would cost more than it saves.
    static constexpr long long kHiddenCullMinTriangles = 4000;

    const ItemBuffer* items_;
    int faceSize_ = 0;
    double nearPlane_ = 0.0;
    double farPlane_ = 0.0;
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
    // Scratch of one face's culling, reused by every face.
    std::vector<int> candidates_;  // groups in the frustum, in item order
    std::vector<int> occluders_;
    std::vector<int> byDistance_;
    std::vector<char> occluder_;
    std::vector<FaceProjection::Footprint> footprints_;
    std::vector<float> depth_;
    DepthPyramid pyramid_;
    double hiddenShare_ = 1.0;  // share of the triangles the depth pass left out lately
    int facesWithoutPass_ = 0;
    std::vector<unsigned> indices_;
    RunSummer summer_;
    unsigned summerGeneration_ = 0;  // the item buffer the summer was prepared for
    std::string error_;
};
