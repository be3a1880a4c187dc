// The GL-free half of the hidden-group test: where a box can put fragments
// and how near they can be, and the depth pyramid's verdict. Both must err
// towards drawing; the capture on a real context is checked in
// culling_gl_test.cpp.

#include "radiosity/occlusion.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace {

using Matrix = std::array<double, 16>;  // column-major, as OpenGL keeps it

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix out{};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) out[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
    return out;
}

// gluLookAt and glFrustum as their manual pages define them.
Matrix lookAt(const Vec3& eye, const Vec3& centre, const Vec3& up) {
    const Vec3 f = (centre - eye).normalized();
    const Vec3 s = f.cross(up).normalized();
    const Vec3 u = s.cross(f);
    return {s.x, u.x, -f.x, 0, s.y, u.y, -f.y, 0, s.z, u.z, -f.z, 0, -s.dot(eye), -u.dot(eye), f.dot(eye), 1};
}

Matrix frustum(double l, double r, double b, double t, double n, double f) {
    return {2 * n / (r - l),
            0,
            0,
            0,
            0,
            2 * n / (t - b),
            0,
            0,
            (r + l) / (r - l),
            (t + b) / (t - b),
            -(f + n) / (f - n),
            -1,
            0,
            0,
            -2 * f * n / (f - n),
            0};
}

// Window x, y (pixels) and depth of a point through the matrix and a
// viewport of w x h pixels.
std::array<double, 3> toWindow(const Matrix& m, const Vec3& p, int w, int h) {
    double clip[4];
    for (int r = 0; r < 4; ++r) clip[r] = m[r] * p.x + m[4 + r] * p.y + m[8 + r] * p.z + m[12 + r];
    return {(clip[0] / clip[3] + 1) * 0.5 * w, (clip[1] / clip[3] + 1) * 0.5 * h,
            (clip[2] / clip[3] + 1) * 0.5};
}

// Every point of a box in view lands in its footprint's pixels, no nearer
// than its nearest depth; full faces and upper halves, boxes wholly in view,
// reaching past the face's edges or lying beside it.
TEST(Occlusion, FootprintHoldsEveryPointOfTheBox) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), size(0.01, 2.0), dist(0.5, 12.0);
    const double nearPlane = 0.05, farPlane = 30.0;
    const int n = 64;
    int inView = 0;
    for (int trial = 0; trial < 400; ++trial) {
        const bool half = trial % 2 == 1;
        const Vec3 eye(unit(rng), unit(rng), unit(rng));
        const Vec3 dir = Vec3(unit(rng), unit(rng), unit(rng)).normalized();
        const Vec3 up = dir.cross(Vec3(unit(rng), unit(rng), unit(rng))).normalized();
        const FaceProjection projection(eye, eye + dir, up, nearPlane, farPlane, n, half);
        ASSERT_TRUE(projection.valid());
        const Matrix m =
            multiply(half ? frustum(-nearPlane, nearPlane, 0, nearPlane, nearPlane, farPlane)
                          : frustum(-nearPlane, nearPlane, -nearPlane, nearPlane, nearPlane, farPlane),
                     lookAt(eye, eye + dir, up));
        const Vec3 centre = eye + dir * dist(rng) + Vec3(unit(rng), unit(rng), unit(rng)) * 3.0;
        const Vec3 half3(size(rng), size(rng), size(rng));
        const Box box{centre - half3, centre + half3};
        const FaceProjection::Footprint fp = projection.footprint(box);
        if (!fp.testable) continue;
        const int h = half ? n / 2 : n;
        for (int k = 0; k < 200; ++k) {
            const Vec3 p(centre.x + half3.x * unit(rng), centre.y + half3.y * unit(rng),
                         centre.z + half3.z * unit(rng));
            const std::array<double, 3> w = toWindow(m, p, n, h);
            const int px = static_cast<int>(std::floor(w[0])), py = static_cast<int>(std::floor(w[1]));
            if (px < 0 || px >= n || py < 0 || py >= h) continue;  // outside the viewport
            ++inView;
            EXPECT_TRUE(px >= fp.x0 && px <= fp.x1 && py >= fp.y0 && py <= fp.y1)
                << "trial " << trial << ": pixel " << px << "," << py << " outside " << fp.x0 << ".." << fp.x1
                << " x " << fp.y0 << ".." << fp.y1;
            EXPECT_GE(w[2], fp.nearestDepth - 1e-12) << "trial " << trial;
        }
    }
    EXPECT_GT(inView, 10000);
    // A box around the eye reaches the near plane: it cannot be judged.
    const FaceProjection front(Vec3(), Vec3(0, 0, -1), Vec3(0, 1, 0), nearPlane, farPlane, n, false);
    EXPECT_FALSE(front.footprint(Box{Vec3(-1, -1, -1), Vec3(1, 1, 1)}).testable);
}

// The pyramid calls a rectangle hidden only when every pixel in it is
// nearer than the depth asked about (odd sizes, random depths); on an even
// image it hides what lies behind by more than the margin, and nothing at
// the same depth.
TEST(Occlusion, PyramidHidesOnlyWhatEveryPixelCovers) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> depth(0.2f, 0.9f);
    const int w = 37, h = 23;
    std::vector<float> image(w * h);
    for (float& d : image) d = depth(rng);
    for (int k = 0; k < 40; ++k) image[static_cast<size_t>(rng() % image.size())] = 1.0f;  // background
    DepthPyramid pyramid;
    pyramid.build(image.data(), w, h);
    int hiddenSeen = 0;
    for (int trial = 0; trial < 5000; ++trial) {
        FaceProjection::Footprint fp;
        fp.testable = true;
        fp.x0 = static_cast<int>(rng() % w);
        fp.y0 = static_cast<int>(rng() % h);
        fp.x1 = fp.x0 + static_cast<int>(rng() % (trial % 3 == 0 ? 3 : 20));
        fp.y1 = fp.y0 + static_cast<int>(rng() % (trial % 3 == 0 ? 3 : 20));
        fp.x1 = std::min(fp.x1, w - 1);
        fp.y1 = std::min(fp.y1, h - 1);
        fp.nearestDepth = depth(rng) + 0.1;
        float deepest = 0.0f;
        for (int y = fp.y0; y <= fp.y1; ++y)
            for (int x = fp.x0; x <= fp.x1; ++x)
                deepest = std::max(deepest, image[static_cast<size_t>(y * w + x)]);
        if (pyramid.hides(fp)) {
            ++hiddenSeen;
            EXPECT_LT(deepest, fp.nearestDepth) << "trial " << trial;
        }
    }
    EXPECT_GT(hiddenSeen, 50);

    const std::vector<float> even(w * h, 0.5f);
    pyramid.build(even.data(), w, h);
    FaceProjection::Footprint fp;
    fp.testable = true;
    fp.x0 = 3, fp.x1 = 30, fp.y0 = 0, fp.y1 = 22;
    fp.nearestDepth = 0.501;
    EXPECT_TRUE(pyramid.hides(fp));
    fp.nearestDepth = 0.5;
    EXPECT_FALSE(pyramid.hides(fp));
    fp.testable = false;
    fp.nearestDepth = 0.9;
    EXPECT_FALSE(pyramid.hides(fp));
    fp.testable = true;
    fp.x1 = fp.x0 - 1;  // nothing of the box inside the viewport
    EXPECT_TRUE(pyramid.hides(fp));
}

}  // namespace
