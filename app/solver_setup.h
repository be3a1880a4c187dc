#pragma once

#include <memory>
#include <string>

class HemicubeCapturer;

// What the viewer and the batch tool do between a current GL context and the
// first shooting step: the fixed GL state, the resolution against the GL
// limits, the off-screen capturer, the weight tables and the item buffer.
// Returns an empty string, or the reason the scene cannot be solved (without
// the file name, which the caller adds). The capturer must outlive solving.
std::string prepareSolver(std::unique_ptr<HemicubeCapturer>& capturer);
