// The benchmark's scenes: closed rooms of the requested size, and triangle
// files that read back exactly.

#include "bench/bench_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "scene/scene.h"

TEST(BenchScene, ClosedRoomOfTheRequestedSize) {
    for (const int target : {1000, 60000}) {
        const BenchScene bench = makeBenchRoom(target);
        EXPECT_NEAR(bench.triangleCount(), target, 0.15 * target);
        bool lamp = false;
        double wallArea = 0;
        for (const BenchObject& o : bench.objects) {
            EXPECT_LE(o.triangles.size(), 65535u) << o.name;
            lamp |= o.name == "lamp" && o.emission.sum() > 0.0;
            for (const auto& t : o.triangles) {
                const Vec3 n = (t[1] - t[0]).cross(t[2] - t[0]), c = (t[0] + t[1] + t[2]) / 3.0;
                // Everything lies in the room; the walls face its middle, the
                // lamp faces down, box sides face out of their box.
                ASSERT_TRUE(n.length() > 0.0 && std::fabs(c.x) <= 5 && std::fabs(c.y) <= 5 && c.z >= 0 &&
                            c.z <= 6)
                    << o.name;
                if (o.name == "lamp") {
                    EXPECT_LT(n.z, 0.0);
                } else if (o.name.rfind("box", 0) != 0) {
                    EXPECT_GT(n.dot(Vec3(0, 0, 3) - c), 0.0) << o.name;
                    wallArea += n.length() / 2;
                }
            }
        }
        EXPECT_TRUE(lamp);
        EXPECT_NEAR(wallArea, 2 * 100 + 4 * 60, 1e-9);  // a closed 10 x 10 x 6 box
    }
}

TEST(BenchScene, TriangleTextReadsBackExactly) {
    const BenchObject sheet = makeBenchSheet(1001);
    std::stringstream text;
    writeTriangleFile(text, sheet);
    SceneObject object;
    const LoadReport report = object.loadTriangles(text);
    ASSERT_TRUE(report.problem.empty() && report.triangles == 1001 && object.name == "sheet")
        << report.problem;
    for (size_t t = 0; t < sheet.triangles.size(); ++t) {
        for (size_t k = 0; k < 3; ++k) {
            const Vec3& p = object.triangles[t]->corners[k]->position;
            EXPECT_TRUE(p.x == sheet.triangles[t][k].x && p.y == sheet.triangles[t][k].y) << t;
        }
    }
    // Squares share their corners: two full lines of 257 vertices, then 246
    // along the top of the second, short row (244 squares and a half).
    EXPECT_EQ(object.vertexCount(), 257 * 2 + 246);
}
