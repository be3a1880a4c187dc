#include "radiosity/item_code.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "scene_fixture.h"

namespace {

using fixture::Corners;

// A face image of n x n pixels, all background, to paint item colours into.
struct Image {
    int n;
    int bpp;
    std::vector<std::uint8_t> bytes;
    Image(int n_, int bpp_) : n(n_), bpp(bpp_), bytes(static_cast<size_t>(n_ * n_ * bpp_), 0) {}
    void set(int row, int col, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = &bytes[static_cast<size_t>((row * n + col) * bpp)];
        p[0] = r;
        p[1] = g;
        p[2] = b;
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

// Entry k weighs k + 1, so a triangle's sum tells which entries it was given.
std::vector<double> indexWeights(int h) {
    std::vector<double> w(static_cast<size_t>(h * h));
    for (int k = 0; k < h * h; ++k) w[static_cast<size_t>(k)] = k + 1;
    return w;
}

// Objects 0..2, object 2 with 300 triangles (all tiny and far away; only
// their records matter here).
void threeObjects() {
    const Corners tri = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    fixture::addObject({tri});
    fixture::addObject({tri, tri});
    fixture::addObject(std::vector<Corners>(300, tri));
}

TEST(ItemCode, ColourBytes) {
    const ItemColour c = itemColour(2, 299);
    EXPECT_EQ(c.red, 2);
    EXPECT_EQ(c.green, 1);
    EXPECT_EQ(c.blue, 44);
    const ItemColour first = itemColour(0, 0);
    EXPECT_EQ(first.red, 0);
    EXPECT_EQ(first.green, 0);
    EXPECT_EQ(first.blue, 1);  // never the black background
    const ItemColour c256 = itemColour(7, 255);
    EXPECT_EQ(c256.green, 1);
    EXPECT_EQ(c256.blue, 0);
    const ItemColour last = itemColour(255, kMaxItemTriangles - 1);
    EXPECT_EQ(last.red, 255);
    EXPECT_EQ(last.green, 255);
    EXPECT_EQ(last.blue, 255);
}

TEST(ItemCode, MirrorRuleFoldsOntoOneQuarter) {
    const int expected[] = {0, 1, 2, 3, 3, 2, 1, 0};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(mirrorIndex(k, 4), expected[k]) << "k = " << k;
}

TEST(ItemCode, DecodesPixelsIntoAccumulators) {
    fixture::SceneGuard guard;
    threeObjects();
    const ItemLookup lookup = buildItemLookup();
    const int n = 8;
    const int h = 4;
    const std::vector<double> w = indexWeights(h);
    Image img(n, 4);
    img.set(0, 0, 2, 1, 44);  // object 2, triangle 299: table entry (0, 0) -> 1
    img.set(7, 5, 2, 1, 0);   // code 256: triangle 255, entry (0, 2) -> 3
    img.set(3, 4, 0, 0, 1);   // object 0, triangle 0: entry (3, 3) -> 16
    img.set(2, 2, 9, 0, 0);   // green = blue = 0: background whatever the red byte
    sumFaceWeights(img.rows(0, n), w.data(), h, lookup);
    EXPECT_EQ(objects[2].triangles[299]->formFactor, 1.0);
    EXPECT_EQ(objects[2].triangles[255]->formFactor, 3.0);
    EXPECT_EQ(objects[0].triangles[0]->formFactor, 16.0);
    double total = 0;
    for (const SceneObject& o : objects)
        for (const auto& t : o.triangles) total += t->formFactor;
    EXPECT_EQ(total, 20.0);
}

TEST(ItemCode, SkipsCodesOutsideTheScene) {
    fixture::SceneGuard guard;
    threeObjects();
    const ItemLookup lookup = buildItemLookup();
    const std::vector<double> w = indexWeights(4);
    Image img(8, 3);
    img.set(0, 0, 3, 0, 1);  // no object 3
    img.set(0, 1, 255, 255, 255);
    img.set(0, 2, 1, 0, 3);  // object 1 has two triangles: code 3 is past the end
    img.set(0, 3, 0, 0, 2);  // object 0 has one
    img.set(0, 4, 1, 0, 2);  // the one valid pixel: object 1, triangle 1, entry (0, 3) -> 4
    sumFaceWeights(img.rows(0, 8), w.data(), 4, lookup);
    EXPECT_EQ(objects[1].triangles[1]->formFactor, 4.0);
    EXPECT_EQ(objects[1].triangles[0]->formFactor, 0.0);
    EXPECT_EQ(objects[0].triangles[0]->formFactor, 0.0);
}

TEST(ItemCode, SideFaceRowsMapToTableFromTopEdge) {
    fixture::SceneGuard guard;
    threeObjects();
    const ItemLookup lookup = buildItemLookup();
    const int n = 8;
    const int h = 4;
    const std::vector<double> w = indexWeights(h);
    // Column 0 of rows 4..7 (the upper half) shows object 0's triangle: rows
    // 4, 5, 6, 7 take table rows 3, 2, 1, 0 -> entries 13, 9, 5, 1.
    for (int bpp : {3, 4}) {
        Image img(n, bpp);
        for (int r = 0; r < n; ++r) img.set(r, 0, 0, 0, 1);
        objects[0].triangles[0]->formFactor = 0;
        // Only the upper half is handed over, as the half-face capture reads it.
        sumFaceWeights(img.rows(h, h), w.data(), h, lookup);
        EXPECT_EQ(objects[0].triangles[0]->formFactor, 13.0 + 9.0 + 5.0 + 1.0) << bpp << " bytes per pixel";
    }
}

TEST(ItemCode, ReportsScenesBeyondTheCode) {
    fixture::SceneGuard guard;
    threeObjects();
    EXPECT_EQ(itemCodeProblem(), "");
    const Corners tri = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
    fixture::addObject(std::vector<Corners>(kMaxItemTriangles + 1, tri), Vec3(), Vec3(), "huge");
    EXPECT_NE(itemCodeProblem().find("huge has 65536 triangles"), std::string::npos) << itemCodeProblem();
    // Decoding never reaches past what the code can name.
    EXPECT_EQ(buildItemLookup().objects[3].size(), static_cast<size_t>(kMaxItemTriangles));
}

}  // namespace
