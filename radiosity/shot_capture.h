#pragma once

#include <array>
#include <vector>

#include "radiosity/face_capturer.h"
#include "radiosity/form_factors.h"

// What a step asks of the graphics side, free of GL: the hemicubes of its
// shooters, each captured into its own form-factor array. The solver builds
// the shots (frames, faces, tables) in a fixed order; whoever captures them
// may do so in any order or at once, since a shot only ever adds into its
// own array and every face is summed the same way wherever it is drawn.

// One face of a shot: the view and the quarter table of its weights; a face
// without weights is left out (it could show nothing the shot serves).
struct FaceShot {
    FaceView view;
    const std::vector<double>* weights = nullptr;
};

// The five faces of one shooter's hemicube, top face first, and the array
// they add into (one entry per triangle of the scene).
struct HemicubeShot {
    std::array<FaceShot, 5> faces;
    FormFactors* formFactors = nullptr;
};

// Captures every shot of a step; returns when all are in their arrays.
class ShotCapture {
  public:
    virtual ~ShotCapture() = default;
    virtual void captureShots(const std::vector<HemicubeShot>& shots) = 0;
};

// The faces of one shot through one capturer, in order.
void captureShot(FaceCapturer& capturer, const HemicubeShot& shot);

// Every shot in turn through one capturer, on the calling thread.
class SerialShotCapture : public ShotCapture {
  public:
    explicit SerialShotCapture(FaceCapturer& capturer) : capturer_(&capturer) {}
    void captureShots(const std::vector<HemicubeShot>& shots) override;

  private:
    FaceCapturer* capturer_;
};
