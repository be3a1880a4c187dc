// Item colours and the decoding of a read-back face into accumulators.

#include "radiosity/item_code.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "scene_fixture.h"

namespace {

using fixture::Corners;

// A face image of n x n pixels, all background, to paint item colours into.
struct Image {
    int n, bpp;
    std::vector<std::uint8_t> bytes;
    Image(int n_, int bpp_) : n(n_), bpp(bpp_), bytes(static_cast<size_t>(n_ * n_ * bpp_), 0) {}
    void set(int row, int col, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = &bytes[static_cast<size_t>((row * n + col) * bpp)];
        p[0] = r, p[1] = g, p[2] = b;
        if (bpp == 4) p[3] = 255;
    }
    FaceRows rows(int firstRow, int count) const {
        FaceRows f;
        f.data = bytes.data() + static_cast<size_t>(firstRow * n * bpp);
        f.width = n;
        f.bytesPerPixel = bpp;
        f.firstRow = firstRow;
        f.rowCount = count;
        return f;
    }
};

// An h x h table whose entry k weighs k + 1, so a triangle's sum tells
// which entries it was given.
std::vector<double> indexWeights(int h) {
    std::vector<double> w(static_cast<size_t>(h * h));
    for (int k = 0; k < h * h; ++k) w[static_cast<size_t>(k)] = k + 1;
    return w;
}

// Objects 0..2 with 1, 2 and 300 triangles (only their records matter).
class ItemDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        const Corners tri = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
        fixture::addObject(scene, {tri});
        fixture::addObject(scene, {tri, tri});
        fixture::addObject(scene, std::vector<Corners>(300, tri));
    }
    // Objects 0, 1, 2 start at scene indices 0, 1, 3.
    double ff(int o, int t) const { return ffs[static_cast<size_t>((o == 0 ? 0 : o == 1 ? 1 : 3) + t)]; }
    std::vector<double> ffs = std::vector<double>(303, 0.0);
    Scene scene;
    const std::vector<double> w = indexWeights(4);
};

TEST_F(ItemDecode, PixelsGoToTheirTrianglesAndStrangeCodesToNone) {
    Image img(8, 4);
    img.set(0, 0, 2, 1, 44);  // object 2, triangle 299: table entry (0, 0) -> 1
    img.set(7, 5, 2, 1, 0);   // code 256: triangle 255, entry (0, 2) -> 3
    img.set(3, 4, 0, 0, 1);   // object 0, triangle 0: entry (3, 3) -> 16
    img.set(2, 2, 9, 0, 0);   // green = blue = 0: background whatever the red byte
    img.set(1, 0, 3, 0, 1);   // no object 3
    img.set(1, 1, 255, 255, 255);
    img.set(1, 2, 1, 0, 3);  // object 1 has two triangles: code 3 is past the end
    img.set(0, 4, 1, 0, 2);  // object 1, triangle 1, entry (0, 3) -> 4
    sumFaceWeights(img.rows(0, 8), w.data(), 4, buildItemLookup(scene.objects), ffs.data());
    EXPECT_EQ(ff(2, 299), 1.0);
    EXPECT_EQ(ff(2, 255), 3.0);
    EXPECT_EQ(ff(0, 0), 16.0);
    EXPECT_EQ(ff(1, 1), 4.0);
    double total = 0;
    for (const double f : ffs) total += f;
    EXPECT_EQ(total, 24.0);
}

TEST_F(ItemDecode, ReportsScenesBeyondTheCode) {
    EXPECT_EQ(itemCodeProblem(scene.objects), "");
    const Corners tri = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    fixture::addObject(scene, std::vector<Corners>(kMaxItemTriangles + 1, tri), Vec3(), Vec3(), "huge");
    EXPECT_NE(itemCodeProblem(scene.objects).find("huge has 65536 triangles"), std::string::npos)
        << itemCodeProblem(scene.objects);
    // Decoding never reaches past what the code can name, and scene indices
    // count every triangle.
    const ItemLookup lookup = buildItemLookup(scene.objects);
    EXPECT_EQ(lookup.objects[3].size(), static_cast<size_t>(kMaxItemTriangles));
    EXPECT_EQ(lookup.first, (std::vector<int>{0, 1, 3, 303}));
    EXPECT_EQ(lookup.triangleCount, 303 + kMaxItemTriangles + 1);
    EXPECT_EQ(lookup.indexOf(2, 300), 302);
    EXPECT_EQ(lookup.indexOf(3, kMaxItemTriangles), 303 + kMaxItemTriangles - 1);
    EXPECT_EQ(lookup.indexOf(4, 1), -1);
}

}  // namespace
