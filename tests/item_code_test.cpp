// Item colours and the decoding of a read-back face into accumulators.

#include "radiosity/item_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "scene_fixture.h"

namespace {

using fixture::Corners;

// Objects 0..2 with 1, 2 and 300 triangles (only their records matter), an
// 8 x 8 face image, all background, and a 4 x 4 table whose entry k weighs
// k + 1, so a triangle's sum tells which entries it was given.
class ItemDecode : public ::testing::Test {
  protected:
    void SetUp() override {
        const Corners tri = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
        for (int count : {1, 2, 300}) fixture::addObject(scene, std::vector<Corners>(count, tri));
        for (int k = 0; k < 16; ++k) w[k] = k + 1;
    }
    void set(int row, int col, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = &image[static_cast<size_t>((row * 8 + col) * bpp)];
        p[0] = r, p[1] = g, p[2] = b, p[bpp - 1] = bpp == 4 ? 255 : b;
    }
    void sum(int firstRow, int rows) {
        sumFaceWeights(FaceRows{image.data() + firstRow * 8 * bpp, 8, bpp, firstRow, rows}, w, 4,
                       buildItemLookup(scene.objects));
    }
    double ff(int o, int t) { return fixture::tri(scene, o, t).formFactor; }
    Scene scene;
    double w[16];
    int bpp = 4;
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(8 * 8 * 4);
};

TEST_F(ItemDecode, PixelsGoToTheirTrianglesAndStrangeCodesToNone) {
    set(0, 0, 2, 1, 44);  // object 2, triangle 299: table entry (0, 0) -> 1
    set(7, 5, 2, 1, 0);   // code 256: triangle 255, entry (0, 2) -> 3
    set(3, 4, 0, 0, 1);   // object 0, triangle 0: entry (3, 3) -> 16
    set(2, 2, 9, 0, 0);   // green = blue = 0: background whatever the red byte
    set(1, 0, 3, 0, 1);   // no object 3
    set(1, 1, 255, 255, 255);
    set(1, 2, 1, 0, 3);  // object 1 has two triangles: code 3 is past the end
    set(0, 4, 1, 0, 2);  // object 1, triangle 1, entry (0, 3) -> 4
    sum(0, 8);
    EXPECT_TRUE(ff(2, 299) == 1.0 && ff(2, 255) == 3.0 && ff(0, 0) == 16.0 && ff(1, 1) == 4.0);
    const std::vector<double> all = fixture::takeFormFactors(scene);
    EXPECT_EQ(std::accumulate(all.begin(), all.end(), 0.0), 24.0);
}

TEST_F(ItemDecode, SideFaceRowsMapToTableFromTopEdge) {
    // Column 0 of rows 4..7 (the upper half) shows object 0's triangle: rows
    // 4, 5, 6, 7 take table rows 3, 2, 1, 0 -> entries 13, 9, 5, 1. Only the
    // upper half is handed over, as the half-face capture reads it.
    for (bpp = 3; bpp <= 4; ++bpp) {
        image.assign(image.size(), 0);
        for (int r = 0; r < 8; ++r) set(r, 0, 0, 0, 1);
        sum(4, 4);
        EXPECT_EQ(fixture::takeFormFactors(scene)[0], 13.0 + 9.0 + 5.0 + 1.0) << bpp << " bytes per pixel";
    }
}

TEST_F(ItemDecode, ReportsScenesBeyondTheCode) {
    EXPECT_EQ(itemCodeProblem(scene.objects), "");
    const Corners tri = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    fixture::addObject(scene, std::vector<Corners>(kMaxItemTriangles + 1, tri), Vec3(), Vec3(), "huge");
    EXPECT_TRUE(fixture::contains(itemCodeProblem(scene.objects), "huge has 65536 triangles"));
    // Decoding never reaches past what the code can name.
    EXPECT_EQ(buildItemLookup(scene.objects).objects[3].size(), static_cast<size_t>(kMaxItemTriangles));
}

}  // namespace
