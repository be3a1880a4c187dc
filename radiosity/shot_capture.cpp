#include "radiosity/shot_capture.h"

#include "scene/check.h"

void captureShot(FaceCapturer& capturer, const HemicubeShot& shot) {
    CHECK(shot.formFactors != nullptr);
    for (const FaceShot& face : shot.faces) {
        if (face.weights == nullptr) continue;
        capturer.captureFace(face.view, *face.weights, *shot.formFactors);
    }
}

void SerialShotCapture::captureShots(const std::vector<HemicubeShot>& shots) {
    for (const HemicubeShot& shot : shots) captureShot(*capturer_, shot);
}
