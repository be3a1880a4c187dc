#include "radiosity/weights.h"

#include <cstddef>

namespace {

// Pixel-centre coordinate of index k on a face of half size h: (h - 0.5) / h at
// the outer edge, 0.5 / h next to the centre line.
double centreCoordinate(int h, int k) {
    return (h - (k + 0.5)) / h;
}

// pi * (x^2 + y^2 + 1)^2 * h^2: the denominator shared by both weights. The
// pixel area 1 / h^2 is folded in here.
double denominator(int h, int i, int j) {
    const double y = centreCoordinate(h, i);
    const double x = centreCoordinate(h, j);
    const double s = x * x + y * y + 1.0;
    return kWeightPi * (s * s) * h * h;
}

template <typename Weight>
std::vector<double> fillTable(int h, Weight weight) {
    h = h > 0 ? h : 0;
    std::vector<double> table(static_cast<size_t>(h) * static_cast<size_t>(h), 0.0);
    size_t k = 0;
    for (int i = 0; i < h; ++i) {
        for (int j = 0; j < h; ++j) table[k++] = weight(h, i, j);
    }
    return table;
}

}  // namespace

// Top face: dA / (pi (x^2 + y^2 + 1)^2).
double topWeight(int h, int i, int j) {
    return 1.0 / denominator(h, i, j);
}

// Side face: z dA / (pi (x^2 + z^2 + 1)^2), z being the height above the
// tangent plane (the row coordinate).
double sideWeight(int h, int i, int j) {
    return centreCoordinate(h, i) / denominator(h, i, j);
}

std::vector<double> buildTopTable(int h) {
    return fillTable(h, topWeight);
}

std::vector<double> buildSideTable(int h) {
    return fillTable(h, sideWeight);
}
