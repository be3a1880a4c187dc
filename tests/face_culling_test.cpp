// GL-free parts of the culled capture: the box-against-frustum decision and
// the run summing. The grouping of the item buffer is checked through the
// capture itself in culling_gl_test.cpp (culling changes no pixel).

#include "radiosity/face_culling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <random>

#include "radiosity/item_groups.h"
#include "radiosity/run_sum.h"
#include "scene_fixture.h"

namespace {

Box box(double x0, double y0, double z0, double x1, double y1, double z1) {
    return Box{Vec3(x0, y0, z0), Vec3(x1, y1, z1)};
}

TEST(FaceCulling, BoxAgainstOnePlaneAndAFacesFrustum) {
    const double nan = std::nan("");
    const Plane floor{Vec3(0, 0, 1), 0.0}, slanted{Vec3(1, 1, 0), -3.0};  // z >= 0 and x + y >= 3 are inside
    EXPECT_TRUE(boxOutsidePlane(box(-1, -1, -3, 1, 1, -1), floor));
    EXPECT_FALSE(boxOutsidePlane(box(-1, -1, -3, 1, 1, 0.0), floor));  // touches
    // Within the rounding margin of float transforms: drawn.
    EXPECT_FALSE(boxOutsidePlane(box(-1, -1, -3, 1, 1, -1e-9), floor));
    // A slanted plane: the corner farthest along the normal decides.
    EXPECT_TRUE(boxOutsidePlane(box(0, 0, 0, 1, 1, 1), slanted));
    EXPECT_FALSE(boxOutsidePlane(box(0, 0, 0, 1.5, 1.6, 1), slanted));
    EXPECT_FALSE(boxOutsidePlane(box(nan, 0, 0, 1, 1, 1), slanted));  // NaN anywhere: never culled
    EXPECT_FALSE(boxOutsidePlane(box(0, 0, 0, 1, 1, 1), Plane{Vec3(nan, 0, 0), -3.0}));

    // Eye at the origin looking along +z with +y up, near 0.1, far 40.
    const FaceFrustum full = faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0), 0.1, 40.0, false);
    const FaceFrustum upper = faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0), 0.1, 40.0, true);
    ASSERT_EQ(full.count, 6);
    const struct {
        Box b;
        bool culledFull, culledUpper;
    } cases[] = {
        {box(-0.5, 0.2, 2, 0.5, 0.4, 3), false, false},   // in front, in the view
        {box(-0.5, -0.6, 2, 0.5, -0.2, 3), false, true},  // below the centre line
        {box(2.5, -0.5, 1, 3, 0.5, 2), true, true},       // outside the 45-degree sides
        {box(-0.5, 1.5, 1, 0.5, 2, 1.2), true, true},
        {box(-1, -1, -5, 1, 1, -0.5), true, true},                // behind the eye
        {box(-0.01, -0.01, 0.02, 0.01, 0.01, 0.05), true, true},  // nearer than near
        {box(-1, -1, 41, 1, 1, 42), true, true},                  // beyond far
        {box(-1, -1, -1, 1, 1, 1), false, false},                 // around the eye: always drawn
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(boxCulled(cases[k].b, full), cases[k].culledFull) << "case " << k;
        EXPECT_EQ(boxCulled(cases[k].b, upper), cases[k].culledUpper) << "case " << k;
    }
    // A view that names no direction culls nothing.
    const Vec3 o(0, 0, 0), z(0, 0, 1), y(0, 1, 0);
    EXPECT_EQ(faceFrustum(Vec3(1, 2, 3), Vec3(1, 2, 3), z, 0.1, 40, false).count, 0);
    EXPECT_EQ(faceFrustum(o, z, Vec3(0, 0, 2), 0.1, 40, false).count, 0);
    EXPECT_EQ(faceFrustum(o, z, Vec3(0, nan, 0), 0.1, 40, true).count, 0);
    EXPECT_EQ(faceFrustum(o, z, y, 0.0, 40, true).count, 0);
    EXPECT_EQ(faceFrustum(o, z, y, 5.0, 4.0, true).count, 0);
}

// A face image of width n and the given rows, RGBA, in runs of random item
// colours: background, past the last object or triangle, any alpha.
std::vector<std::uint8_t> randomRuns(int n, int rows, std::mt19937& random) {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(n * rows * 4));
    std::uniform_int_distribution<int> runLength(1, 9), object(0, 3), code(0, 302);
    std::uint8_t px[4] = {0, 0, 0, 255};
    for (size_t p = 0, left = 0; p < bytes.size(); p += 4, --left) {
        if (left == 0) {
            left = static_cast<size_t>(runLength(random));
            const int c = code(random);
            px[0] = static_cast<std::uint8_t>(object(random));
            px[1] = static_cast<std::uint8_t>(c >> 8);
            px[2] = static_cast<std::uint8_t>(c & 255);
            px[3] = (left % 3 == 0) ? 0 : 255;
        }
        std::copy(px, px + 4, bytes.begin() + static_cast<std::ptrdiff_t>(p));
    }
    return bytes;
}

TEST(RunSum, AgreesWithThePixelByPixelSum) {
    Scene scene;
    for (int o = 0; o < 3; ++o)
        fixture::addObject(scene, fixture::grid(Vec3(0, 0, o), Vec3(1, 0, 0), Vec3(0, 1, 0), 10, 15));
    const ItemLookup lookup = buildItemLookup(scene.objects);
    std::mt19937 random(11);
    for (const int h : {1, 4, 32, 37}) {
        std::vector<double> weights(static_cast<size_t>(h * h));
        for (double& w : weights) w = std::uniform_real_distribution<double>(0.1, 2.0)(random);
        RunSummer summer;
        summer.prepare(lookup);
        // Top face, side face, then the same table changed in place: the
        // cached running sums must not be used.
        for (const int pass : {0, 1, 2}) {
            if (pass == 2) {
                for (double& w : weights) w *= 3.0;
            }
            const int firstRow = pass == 0 ? 0 : h, rows = pass == 0 ? 2 * h : h;
            const std::vector<std::uint8_t> img = randomRuns(2 * h, rows, random);
            const FaceRows face{img.data(), 2 * h, 4, firstRow, rows};
            std::vector<double> expected = fixture::zeroFormFactors(scene);
            sumFaceWeights(face, weights.data(), h, lookup, expected.data());
            std::vector<double> got = fixture::zeroFormFactors(scene);
            summer.addFace(face, weights.data(), h, lookup);
            summer.flush(got.data());
            double total = 0;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_NEAR(got[k], expected[k], 1e-12 * (1 + expected[k])) << "h " << h << " triangle " << k;
                total += expected[k];
            }
            if (pass < 2 && h > 1) {  // a face of 2 x 2 pixels may show no triangle
                EXPECT_GT(total, 0.0);
            }
        }
    }
}

}  // namespace
