#pragma once

#include <chrono>
#include <string>
#include <vector>

// One row of lumetra-bench: a generated room solved for some steps through
// the fast capture path, each step followed at once by its floor (the same
// draws and read-backs, nothing decoded) and by the literal path (display
// list 2 on full faces, RGB read-back, pixel sums) on the same five faces.
// Needs a current GL context; makes its own scene.

struct BenchRow {
    std::string error;  // empty, or why the scene could not be measured
    int triangles = 0;
    int n = 0;
    int steps = 0;
    double meanMs = 0.0;  // one step as the idle callback runs it
    double medianMs = 0.0;
    double captureMs = 0.0;     // its five faces' clear, draw and read-back (mean)
    double sumMs = 0.0;         // its decoding and summing (mean)
    double receiveMs = 0.0;     // the rest: the receive-and-select pass (mean)
    double listMs = 0.0;        // one rebuild of display list 1 (median of 3)
    double floorMs = 0.0;       // median
    double literalMs = 0.0;     // median, with the step's receive pass
    double drawnShare = 0.0;    // share of the triangles sent to be drawn per face
    double maxDiff = 0.0;       // largest per-triangle |F(step path) - F(full faces)|, first steps
    double samplingDiff = 0.0;  // the same for full faces at N against 2N: the hemicube's own error
};

BenchRow measureBenchScene(int targetTriangles, int n, int steps);

// Small timing helpers shared by the benchmark's parts.
using BenchClock = std::chrono::steady_clock;
double msSince(BenchClock::time_point start);
double medianOf(std::vector<double> values);
