#include <gtest/gtest.h>

#include <sstream>

#include "scene/scene.h"

namespace {

SceneObject load(const std::string& text) {
    SceneObject o;
    std::istringstream in(text);
    o.loadTriangles(in);
    return o;
}

}  // namespace

TEST(TriangleGeometry, NormalAreaCentroidFollowCornerOrder) {
    SceneObject ccw = load("t\n0 0 0 1 0 0 0 1 0\n");
    const Triangle& t = *ccw.triangles[0];
    EXPECT_EQ(t.normal.z, 1.0);
    EXPECT_EQ(t.area, 0.5);
    EXPECT_DOUBLE_EQ(t.centroid.x, 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(t.centroid.y, 1.0 / 3.0);

    SceneObject cw = load("t\n0 0 0 0 1 0 1 0 0\n");
    EXPECT_EQ(cw.triangles[0]->normal.z, -1.0);
    EXPECT_EQ(cw.triangles[0]->area, 0.5);
}

TEST(TriangleGeometry, DegenerateTriangleGetsZeroNormalNotNan) {
    SceneObject o = load("line\n0 0 0 1 1 1 2 2 2\n");
    const Triangle& t = *o.triangles[0];
    EXPECT_EQ(t.area, 0.0);
    EXPECT_EQ(t.normal.x, 0.0);
    EXPECT_EQ(t.normal.y, 0.0);
    EXPECT_EQ(t.normal.z, 0.0);
}

TEST(Welding, BucketsOfTheKeyRule) {
    EXPECT_EQ(weldBucket(1, 2, 3), 968);
    EXPECT_EQ(weldBucket(-1, 0, 0), 296);  // 32-bit pattern of -1000, unsigned, mod 1000
    EXPECT_EQ(weldBucket(1.5, -2.25, 0.125), 863);
    EXPECT_EQ(weldBucket(0.0004, 0, 0), 0);
    EXPECT_EQ(weldBucket(-0.0004, 0, 0), 0);  // truncation toward zero
    EXPECT_EQ(weldBucket(0.5, 0, 0), 500);
    EXPECT_EQ(weldBucket(0.5005, 0, 0), 500);
    EXPECT_EQ(weldBucket(0.9996, 0, 0), 999);
    EXPECT_EQ(weldBucket(1.0003, 0, 0), 0);
    EXPECT_EQ(weldBucket(0.0005, 0.0015, 0), 1);
    EXPECT_EQ(weldBucket(0.0015, 0.0005, 0), 1);
    EXPECT_EQ(weldBucket(0.0011, 0.0011, 0), 0);
    // Out of the 64-bit range, infinite or NaN coordinates give key 0.
    EXPECT_EQ(weldKey(1e300), 0);
    EXPECT_EQ(weldKey(-1e300), 0);
    EXPECT_EQ(weldKey(9.3e15), 0);  // 9.3e18 is past 2^63
    EXPECT_EQ(weldKey(std::nan("")), 0);
    // Low 32 bits of a 64-bit key: 5e6 * 1000 = 5e9 wraps.
    EXPECT_EQ(weldKey(5e6), static_cast<int>(static_cast<unsigned>(5000000000ULL & 0xffffffffULL)));
}

TEST(Welding, CornersWeldWithinStrictToleranceInOneBucketOnly) {
    SceneObject o;
    o.weldTable.assign(kWeldBuckets, {});
    Triangle t;
    EXPECT_EQ(o.findOrAddVertex(0.0004, 0, 0, &t), 0);
    EXPECT_EQ(o.findOrAddVertex(-0.0004, 0, 0, &t), 0);  // welds; keeps the first position
    EXPECT_EQ(o.vertices[0]->position.x, 0.0004);
    EXPECT_EQ(o.findOrAddVertex(0.5, 0, 0, &t), 1);
    EXPECT_EQ(o.findOrAddVertex(0.5005, 0, 0, &t), 1);
    EXPECT_EQ(o.findOrAddVertex(0.9996, 0, 0, &t), 2);
    EXPECT_EQ(o.findOrAddVertex(1.0003, 0, 0, &t), 3);  // 0.0007 apart but another bucket
    EXPECT_EQ(o.findOrAddVertex(0.0005, 0.0015, 0, &t), 4);
    EXPECT_EQ(o.findOrAddVertex(0.0015, 0.0005, 0, &t), 5);  // x differs by exactly 0.001
    EXPECT_EQ(o.vertices[0]->triangleList.size(), 2u);

    SceneObject p;
    EXPECT_EQ(p.findOrAddVertex(0.0009, 0.0011, 0, &t), 0);
    EXPECT_EQ(p.findOrAddVertex(0.0011, 0.0009, 0, &t), 0);  // same bucket 1, within 0.001
    EXPECT_EQ(p.findOrAddVertex(0.0011, 0.0011, 0, &t), 1);  // bucket 0: a vertex of its own
}

TEST(Welding, OldestMatchInTheChainWins) {
    SceneObject o;
    o.weldTable.assign(kWeldBuckets, {});
    Triangle t;
    // All in bucket 0; a corner close to both of two vertices takes the older.
    EXPECT_EQ(o.findOrAddVertex(0, 0, 0, &t), 0);
    EXPECT_EQ(o.findOrAddVertex(1, 0, 0, &t), 1);
    EXPECT_EQ(o.findOrAddVertex(0, 1, 0, &t), 2);
    EXPECT_EQ(o.findOrAddVertex(1, 1, 0, &t), 3);
    EXPECT_EQ(o.weldTable[0].size(), 4u);
    EXPECT_EQ(o.findOrAddVertex(1, 1, 0, &t), 3);
    o.freeWeldTable();
    EXPECT_TRUE(o.weldTable.empty());
}

TEST(Welding, SharedVerticesListTheirTrianglesInFileOrder) {
    SceneObject o = load("floor\n0 0 0 1 0 0 0 1 0\n1 0 0 1 1 0 0 1 0\n");
    ASSERT_EQ(o.triangleCount(), 2);
    EXPECT_EQ(o.vertexCount(), 4);
    const Triangle& second = *o.triangles[1];
    EXPECT_EQ(second.cornerIndices[0], 1);
    EXPECT_EQ(second.cornerIndices[1], 3);
    EXPECT_EQ(second.cornerIndices[2], 2);
    const Vertex& shared = *o.vertices[1];
    ASSERT_EQ(shared.triangleList.size(), 2u);
    EXPECT_EQ(shared.triangleList[0], o.triangles[0].get());
    EXPECT_EQ(shared.triangleList[1], o.triangles[1].get());
    EXPECT_TRUE(o.weldTable.empty());  // freed at the end of the load

    // A triangle whose two corners weld together is listed twice there.
    SceneObject sliver = load("s\n0 0 0 0.0001 0 0 0 1 0\n");
    EXPECT_EQ(sliver.vertexCount(), 2);
    EXPECT_EQ(sliver.vertices[0]->triangleList.size(), 2u);
}
