#pragma once

// The viewer's state: the user's rotation of the scene, the drag anchor and
// the camera's dolly. All zero at start.
struct ViewState {
    // Degrees, never wrapped into a range.
    float viewAngleX = 0.0f;  // about the x axis
    float viewAngleZ = 0.0f;  // about the z axis
    // GLUT window coordinates of the last button press (origin top-left, y
    // down) and the angles as they were at that press.
    int dragStartX = 0;
    int dragStartY = 0;
    float dragAngleX = 0.0f;
    float dragAngleZ = 0.0f;
    // Dolly steps taken towards the look-at point, less those taken away
    // from it (view/camera.h). Counted rather than applied to the camera, so
    // opposite steps give back the very same eye.
    int dollySteps = 0;
};
