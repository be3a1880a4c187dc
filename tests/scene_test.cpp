// Triangle geometry and the vertex welding of the triangle reader.

#include "scene/scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace {

SceneObject load(const std::string& text) {
    SceneObject o;
    std::istringstream in(text);
    o.loadTriangles(in);
    return o;
}

}  // namespace

TEST(TriangleGeometry, NormalAreaCentroidFollowCornerOrder) {
    const SceneObject ccw = load("t\n0 0 0 1 0 0 0 1 0\n"), cw = load("t\n0 0 0 0 1 0 1 0 0\n");
    const Triangle& t = *ccw.triangles[0];
    EXPECT_TRUE(t.normal.z == 1.0 && t.area == 0.5 && cw.triangles[0]->normal.z == -1.0);
    EXPECT_DOUBLE_EQ(t.centroid.x, 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(t.centroid.y, 1.0 / 3.0);
    // A degenerate triangle gets a zero normal, not NaN; a sliver whose normal
    // components square to below the smallest double still gets a unit normal.
    const SceneObject lineObject =
        load("line\n0 0 0 1 1 1 2 2 2\n");  // kept alive while its triangle is read
    const Triangle& line = *lineObject.triangles[0];
    EXPECT_TRUE(line.area == 0.0 && line.normal.x == 0.0 && line.normal.y == 0.0 && line.normal.z == 0.0);
    EXPECT_EQ(load("t\n0 0 0 1 0 0 2 1e-200 0\n").triangles[0]->normal.z, 1.0);
}

TEST(Welding, BucketsOfTheKeyRule) {
    // The keys 1000, 2000, 3000 combined; the 32-bit pattern of -1000,
    // unsigned, mod 1000; truncation toward zero (not rounding).
    const double cases[][4] = {
        {1, 2, 3, 968}, {-1, 0, 0, 296}, {-0.0004, 0, 0, 0}, {0.9996, 0, 0, 999}, {1.0003, 0, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(weldBucket(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1];
    // Out of the 64-bit range, infinite or NaN coordinates give key 0; the
    // key keeps the low 32 bits (5e9 wraps).
    for (double x : {1e300, -1e300, 9.3e15, std::nan("")}) EXPECT_EQ(weldKey(x), 0) << x;
    EXPECT_EQ(weldKey(5e6), static_cast<int>(static_cast<unsigned>(5000000000ULL & 0xffffffffULL)));
}

TEST(Welding, CornersWeldWithinStrictToleranceInOneBucketOnly) {
    SceneObject o;
    o.weldTable.assign(kWeldBuckets, {});
    Triangle t;
    // (x, y, z, expected index): welds keep the first position; 1.0003 is
    // 0.0007 from 0.9996 but in another bucket; (0.0015, 0.0005) differs from
    // (0.0005, 0.0015) by exactly 0.001, and so does 0.0005 from -0.0005
    // along each axis alone, in one bucket (both truncate to key 0).
    const double corners[][4] = {{0.0004, 0, 0, 0},       {-0.0004, 0, 0, 0},     {0.5, 0, 0, 1},
                                 {0.5005, 0, 0, 1},       {0.9996, 0, 0, 2},      {1.0003, 0, 0, 3},
                                 {0.0005, 0.0015, 0, 4},  {0.0015, 0.0005, 0, 5}, {-0.0005, 0.7, 0, 6},
                                 {0.0005, 0.7, 0, 7},     {0.7, -0.0005, 0, 8},   {0.7, 0.0005, 0, 9},
                                 {0.3, 0.3, -0.0005, 10}, {0.3, 0.3, 0.0005, 11}};
    for (const auto& c : corners) {
        EXPECT_EQ(o.findOrAddVertex(c[0], c[1], c[2], &t), static_cast<int>(c[3]))
            << c[0] << " " << c[1] << " " << c[2];
    }
    EXPECT_TRUE(o.vertices[0]->position.x == 0.0004 && o.vertices[0]->triangleList.size() == 2u);
    SceneObject p;  // no table yet: made on first use
    EXPECT_EQ(p.findOrAddVertex(0.0009, 0.0011, 0, &t), 0);
    EXPECT_EQ(p.findOrAddVertex(0.0011, 0.0009, 0, &t), 0);  // same bucket 1, within 0.001
    EXPECT_EQ(p.findOrAddVertex(0.0011, 0.0011, 0, &t), 1);  // bucket 0: a vertex of its own
    // All in bucket 0; a corner close to both of two vertices takes the older.
    SceneObject q;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(q.findOrAddVertex(k & 1, k >> 1, 0, &t), k);
    EXPECT_EQ(q.findOrAddVertex(1, 1, 0, &t), 3);
}

TEST(Welding, SharedVerticesListTheirTrianglesInFileOrder) {
    const SceneObject o = load("floor\n0 0 0 1 0 0 0 1 0\n1 0 0 1 1 0 0 1 0\n");
    ASSERT_EQ(o.vertexCount(), 4);
    EXPECT_EQ(o.triangles[1]->cornerIndices, (decltype(o.triangles[1]->cornerIndices){1, 3, 2}));
    EXPECT_EQ(o.vertices[1]->triangleList,
              (std::vector<Triangle*>{o.triangles[0].get(), o.triangles[1].get()}));
    EXPECT_TRUE(o.weldTable.empty());  // freed at the end of the load
    // A triangle whose two corners weld together is listed twice there.
    const SceneObject sliver = load("s\n0 0 0 0.0001 0 0 0 1 0\n");
    EXPECT_EQ(sliver.vertexCount(), 2);
    EXPECT_EQ(sliver.vertices[0]->triangleList.size(), 2u);
}
