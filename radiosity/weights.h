#pragma once

#include <vector>

// Hemicube delta form factors: the share of the energy leaving the shooter
// that passes through each pixel of a hemicube face. The cube has half-width
// 1, its faces are N = 2H pixels square, and the weights are symmetric about
// both centre lines of a face, so each table holds one quarter of a face:
// H x H doubles, entry (i, j) at i * H + j. Row and column 0 are the outer
// edge of the face, index H - 1 lies next to its centre line.
//
// For the side faces, row 0 is the top edge (towards the shooter's normal)
// and row H - 1 lies just above the shooter's tangent plane.

// The value of pi the weights are computed with (kept at this precision so
// tables are reproducible across builds).
constexpr double kWeightPi = 3.1415927;

// The tables for faces of half size h: the top face, and each of the four
// side faces' upper half; h * h entries each, none for h <= 0.
std::vector<double> buildTopTable(int h);
std::vector<double> buildSideTable(int h);

// The two weights of one entry at half size h (no tables involved).
double topWeight(int h, int i, int j);
double sideWeight(int h, int i, int j);
