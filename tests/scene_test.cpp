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
    EXPECT_EQ(t.normal.z, 1.0);
    EXPECT_EQ(t.area, 0.5);
    EXPECT_DOUBLE_EQ(t.centroid.x, 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(t.centroid.y, 1.0 / 3.0);
    EXPECT_EQ(cw.triangles[0]->normal.z, -1.0);
    EXPECT_EQ(cw.triangles[0]->area, 0.5);
    // A degenerate triangle gets a zero normal, not NaN.
    const SceneObject degenerate = load("line\n0 0 0 1 1 1 2 2 2\n");
    const Triangle& line = *degenerate.triangles[0];
    EXPECT_EQ(line.area, 0.0);
    EXPECT_TRUE(line.normal.x == 0.0 && line.normal.y == 0.0 && line.normal.z == 0.0);
    // A sliver whose normal components square to below the smallest double
    // still gets a unit normal (it has no area, so it never shoots).
    EXPECT_EQ(load("t\n0 0 0 1 0 0 2 1e-200 0\n").triangles[0]->normal.z, 1.0);
}

TEST(Welding, BucketsOfTheKeyRule) {
    const struct {
        double x, y, z;
        int bucket;
    } cases[] = {{1, 2, 3, 968} /* the keys 1000, 2000, 3000 combined */,
                 {-1, 0, 0, 296} /* 32-bit pattern of -1000, unsigned, mod 1000 */,
                 {-0.0004, 0, 0, 0} /* truncation toward zero */,
                 {0.9996, 0, 0, 999},
                 {1.0003, 0, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(weldBucket(c.x, c.y, c.z), c.bucket) << c.x << " " << c.y << " " << c.z;
    }
    // Out of the 64-bit range, infinite or NaN coordinates give key 0
    // (9.3e18 is past 2^63); the key keeps the low 32 bits (5e9 wraps).
    for (double x : {1e300, -1e300, 9.3e15, std::nan("")}) {
        EXPECT_EQ(weldKey(x), 0) << x;
    }
    EXPECT_EQ(weldKey(5e6), static_cast<int>(static_cast<unsigned>(5000000000ULL & 0xffffffffULL)));
}

TEST(Welding, CornersWeldWithinStrictToleranceInOneBucketOnly) {
    SceneObject o;
    o.weldTable.assign(kWeldBuckets, {});
    Triangle t;
    // Pairs of (x, y, expected index): welds keep the first position;
    // 1.0003 is 0.0007 from 0.9996 but in another bucket; (0.0015, 0.0005)
    // differs from (0.0005, 0.0015) by exactly 0.001, and so does x = 0.0005
    // from -0.0005 in one bucket (both truncate to key 0).
    const double corners[][3] = {{0.0004, 0, 0},    {-0.0004, 0, 0}, {0.5, 0, 1},         {0.5005, 0, 1},
                                 {0.9996, 0, 2},    {1.0003, 0, 3},  {0.0005, 0.0015, 4}, {0.0015, 0.0005, 5},
                                 {-0.0005, 0.7, 6}, {0.0005, 0.7, 7}};
    for (const auto& c : corners) {
        EXPECT_EQ(o.findOrAddVertex(c[0], c[1], 0, &t), static_cast<int>(c[2])) << c[0] << " " << c[1];
    }
    EXPECT_EQ(o.vertices[0]->position.x, 0.0004);
    EXPECT_EQ(o.vertices[0]->triangleList.size(), 2u);
    SceneObject p;
    EXPECT_EQ(p.findOrAddVertex(0.0009, 0.0011, 0, &t), 0);
    EXPECT_EQ(p.findOrAddVertex(0.0011, 0.0009, 0, &t), 0);  // same bucket 1, within 0.001
    EXPECT_EQ(p.findOrAddVertex(0.0011, 0.0011, 0, &t), 1);  // bucket 0: a vertex of its own
    // All in bucket 0; a corner close to both of two vertices takes the older.
    SceneObject q;
    q.weldTable.assign(kWeldBuckets, {});
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(q.findOrAddVertex(k & 1, k >> 1, 0, &t), k);
    }
    EXPECT_EQ(q.weldTable[0].size(), 4u);
    EXPECT_EQ(q.findOrAddVertex(1, 1, 0, &t), 3);
    q.freeWeldTable();
    EXPECT_TRUE(q.weldTable.empty());
}

TEST(Welding, SharedVerticesListTheirTrianglesInFileOrder) {
    const SceneObject o = load("floor\n0 0 0 1 0 0 0 1 0\n1 0 0 1 1 0 0 1 0\n");
    ASSERT_EQ(o.triangleCount(), 2);
    EXPECT_EQ(o.vertexCount(), 4);
    EXPECT_EQ(o.triangles[1]->cornerIndices, (decltype(o.triangles[1]->cornerIndices){1, 3, 2}));
    const Vertex& shared = *o.vertices[1];
    ASSERT_EQ(shared.triangleList.size(), 2u);
    EXPECT_EQ(shared.triangleList[0], o.triangles[0].get());
    EXPECT_EQ(shared.triangleList[1], o.triangles[1].get());
    EXPECT_TRUE(o.weldTable.empty());  // freed at the end of the load
    // A triangle whose two corners weld together is listed twice there.
    const SceneObject sliver = load("s\n0 0 0 0.0001 0 0 0 1 0\n");
    EXPECT_EQ(sliver.vertexCount(), 2);
    EXPECT_EQ(sliver.vertices[0]->triangleList.size(), 2u);
}
