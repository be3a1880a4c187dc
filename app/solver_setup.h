#pragma once

#include <memory>
#include <string>

#include "radiosity/hemicube.h"
#include "radiosity/item_buffer.h"
#include "radiosity/solver.h"

struct Scene;

// What solving a scene on the current GL context takes: the item buffer, the
// off-screen capturer that draws it and the solver that uses the capturer.
// Made by prepareSolver; lives as long as the solve (and the context).
struct SolverSetup {
    ItemBuffer items;
    std::unique_ptr<HemicubeCapturer> capturer;
    std::unique_ptr<Solver> solver;
};

// The fixed GL state every drawing of the scene relies on: back faces culled
// (counter-clockwise fronts) and depth testing, never switched off.
void enableSceneDrawing();

// What the viewer and the batch tool do between a current GL context and the
// first shooting step: the fixed GL state, the resolution against the GL
// limits, the off-screen capturer, the solver with its weight tables, and the
// item buffer. Returns an empty string, or the reason the scene cannot be
// solved (without the file name, which the caller adds); the solver is made
// whenever the capturer could be.
std::string prepareSolver(Scene& scene, SolverSetup& setup);
