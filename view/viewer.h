#pragma once

#include <chrono>

#include "view/view_state.h"

struct Scene;
class Solver;

// The interactive viewer: GLUT callbacks that adapt window events to the
// commands, and their registration. Everything runs on the GLUT thread.

// What the callbacks work on: the scene shown, its solver and the view state.
struct Viewer {
    Scene& scene;
    Solver& solver;
    ViewState view;
    // When solving began, for the line that says how it ended.
    std::chrono::steady_clock::time_point solveStart = std::chrono::steady_clock::now();
};

void displayCallback();
void keyboardCallback(unsigned char key, int x, int y);
void specialCallback(int key, int x, int y);
void mouseCallback(int button, int state, int x, int y);
void motionCallback(int x, int y);
void menuCallback(int value);
// Does nothing on purpose: the viewport keeps the size the window was created
// with, so a resize changes neither the picture's viewport nor the capture.
void reshapeCallback(int width, int height);

// The idle callback: one solver step, then the redraw it reports and the stop
// once converged, with the "Solved: ..." line (or the one for a diverged
// solution) on standard error.
void idleCallback();

// Registers every callback of the window that is current (display, keyboard,
// special, mouse, motion, idle, reshape, in that order) and attaches the
// pop-up menu "Auto", "Stop", "Step", "Anti-Alias", "Save6d" to the right
// button. The solver runs from then on. The callbacks reach the viewer
// through the one pointer kept here; it must live as long as the window.
void installViewerCallbacks(Viewer& viewer);
