// GL-free parts of the culled capture: the box-against-frustum decision, the
// grouping of the item buffer, the run summing, and the benchmark's scenes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <sstream>
#include <vector>

#include "app/bench_scene.h"
#include "radiosity/face_culling.h"
#include "radiosity/item_groups.h"
#include "radiosity/run_sum.h"
#include "scene_fixture.h"

namespace {

Box box(double x0, double y0, double z0, double x1, double y1, double z1) {
    return Box{Vec3(x0, y0, z0), Vec3(x1, y1, z1)};
}

// Eye at the origin looking along +z with +y up, near 0.1, far 40.
FaceFrustum lookingUp(bool upperHalf) {
    return faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0), 0.1, 40.0, upperHalf);
}

TEST(FaceCulling, BoxAgainstOnePlane) {
    const Plane floor{Vec3(0, 0, 1), 0.0};  // z >= 0 is inside
    EXPECT_TRUE(boxOutsidePlane(box(-1, -1, -3, 1, 1, -1), floor));
    EXPECT_FALSE(boxOutsidePlane(box(-1, -1, -3, 1, 1, 0.5), floor));  // straddles
    EXPECT_FALSE(boxOutsidePlane(box(-1, -1, -3, 1, 1, 0.0), floor));  // touches
    // Within the rounding margin of single-precision transforms: drawn.
    EXPECT_FALSE(boxOutsidePlane(box(-1, -1, -3, 1, 1, -1e-9), floor));
    // A slanted plane: the corner farthest along the normal decides.
    const Plane slanted{Vec3(1, 1, 0), -3.0};  // x + y >= 3
    EXPECT_TRUE(boxOutsidePlane(box(0, 0, 0, 1, 1, 1), slanted));
    EXPECT_FALSE(boxOutsidePlane(box(0, 0, 0, 1.5, 1.6, 1), slanted));
    // NaN anywhere: never culled.
    EXPECT_FALSE(boxOutsidePlane(box(std::nan(""), 0, 0, 1, 1, 1), slanted));
    EXPECT_FALSE(boxOutsidePlane(box(0, 0, 0, 1, 1, 1), Plane{Vec3(std::nan(""), 0, 0), -3.0}));
}

TEST(FaceCulling, FrustumOfAFace) {
    const FaceFrustum full = lookingUp(false);
    const FaceFrustum upper = lookingUp(true);
    ASSERT_EQ(full.count, 6);
    // In front of the eye, in the view: kept by both.
    EXPECT_FALSE(boxCulled(box(-0.5, 0.2, 2, 0.5, 0.4, 3), full));
    EXPECT_FALSE(boxCulled(box(-0.5, 0.2, 2, 0.5, 0.4, 3), upper));
    // Below the horizontal centre line: only the upper half drops it.
    EXPECT_FALSE(boxCulled(box(-0.5, -0.6, 2, 0.5, -0.2, 3), full));
    EXPECT_TRUE(boxCulled(box(-0.5, -0.6, 2, 0.5, -0.2, 3), upper));
    // Outside the 45-degree sides, behind the eye, nearer than near, beyond far.
    EXPECT_TRUE(boxCulled(box(2.5, -0.5, 1, 3, 0.5, 2), full));
    EXPECT_TRUE(boxCulled(box(-3, -0.5, 1, -2.5, 0.5, 2), full));
    EXPECT_TRUE(boxCulled(box(-0.5, 1.5, 1, 0.5, 2, 1.2), full));
    EXPECT_TRUE(boxCulled(box(-1, -1, -5, 1, 1, -0.5), full));
    EXPECT_TRUE(boxCulled(box(-0.01, -0.01, 0.02, 0.01, 0.01, 0.05), full));
    EXPECT_TRUE(boxCulled(box(-1, -1, 41, 1, 1, 42), full));
    // A box around the eye is always drawn.
    EXPECT_FALSE(boxCulled(box(-1, -1, -1, 1, 1, 1), upper));
    // A view that names no direction culls nothing.
    EXPECT_EQ(faceFrustum(Vec3(1, 2, 3), Vec3(1, 2, 3), Vec3(0, 0, 1), 0.1, 40, false).count, 0);
    EXPECT_EQ(faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 0, 2), 0.1, 40, false).count, 0);
    EXPECT_EQ(faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, std::nan(""), 0), 0.1, 40, true).count, 0);
    EXPECT_EQ(faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0), 0.0, 40, true).count, 0);
    EXPECT_EQ(faceFrustum(Vec3(0, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0), 5.0, 4.0, true).count, 0);
}

// Whatever the view, a culled box holds no point that the face shows: every
// point sampled in it fails one of the view's own inequalities, computed
// from the view basis directly.
TEST(FaceCulling, CulledBoxesHoldNothingTheFaceShows) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto vec = [&](double scale) { return Vec3(scale * unit(random), scale * unit(random), scale * unit(random)); };
    int culled = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const Vec3 eye = vec(3.0);
        Vec3 dir = vec(1.0);
        Vec3 up = vec(1.0);
        const bool upperHalf = trial % 2 == 0;
        const double nearPlane = 0.05, farPlane = 6.0;
        const FaceFrustum fr = faceFrustum(eye, eye + dir, up, nearPlane, farPlane, upperHalf);
        if (fr.count == 0) continue;
        const Vec3 lo = vec(5.0);
        const Vec3 size(std::fabs(unit(random)) * 2, std::fabs(unit(random)) * 2, std::fabs(unit(random)) * 2);
        const Box b{lo, lo + size};
        if (!boxCulled(b, fr)) continue;
        ++culled;
        dir.normalise();
        Vec3 s = dir.cross(up);
        s.normalise();
        const Vec3 u = s.cross(dir);
        for (int k = 0; k < 200; ++k) {
            const double fx = (unit(random) + 1) / 2, fy = (unit(random) + 1) / 2, fz = (unit(random) + 1) / 2;
            const Vec3 corner(k & 1 ? b.hi.x : b.lo.x, k & 2 ? b.hi.y : b.lo.y, k & 4 ? b.hi.z : b.lo.z);
            const Vec3 p = k < 8 ? corner : Vec3(lo.x + fx * size.x, lo.y + fy * size.y, lo.z + fz * size.z);
            const Vec3 rel = p - eye;
            const double a = rel.dot(s), bb = rel.dot(u), d = rel.dot(dir);
            const bool shown = std::fabs(a) <= d && bb <= d && (upperHalf ? bb >= 0 : bb >= -d) && d >= nearPlane &&
                               d <= farPlane;
            ASSERT_FALSE(shown) << "trial " << trial << " sample " << k;
        }
    }
    EXPECT_GT(culled, 300);  // the check did look at many culled boxes
}

TEST(ItemGroups, EveryTriangleOnceInOrderWithItsColour) {
    fixture::SceneGuard guard;
    // A grid listed row by row, and a second object with a far-away outlier.
    fixture::addObject(fixture::grid(Vec3(0, 0, 0), Vec3(8, 0, 0), Vec3(0, 8, 0), 20, 20));
    fixture::addObject({{Vec3(0, 0, 5), Vec3(1, 0, 5), Vec3(0, 1, 5)},
                        {Vec3(100, 0, 5), Vec3(101, 0, 5), Vec3(100, 1, 5)},
                        {Vec3(0, 2, 5), Vec3(1, 2, 5), Vec3(0, 3, 5)}});
    const ItemLookup lookup = buildItemLookup();
    GroupingLimits limits;
    limits.trianglesPerGroup = 50;
    limits.groupsPerBlock = 3;
    const ItemGroups g = buildItemGroups(lookup, limits);
    ASSERT_EQ(g.vertices.size(), 3u * (800 + 3));

    // The vertices are the item buffer's triangles in its order, in colour.
    size_t v = 0;
    for (size_t o = 0; o < objects.size(); ++o) {
        for (size_t t = 0; t < objects[o].triangles.size(); ++t) {
            const ItemColour c = itemColour(static_cast<int>(o), static_cast<int>(t));
            for (const Vertex* corner : objects[o].triangles[t]->corners) {
                const ItemVertex& iv = g.vertices[v++];
                EXPECT_EQ(iv.x, static_cast<float>(corner->position.x));
                EXPECT_EQ(iv.y, static_cast<float>(corner->position.y));
                EXPECT_EQ(iv.z, static_cast<float>(corner->position.z));
                EXPECT_EQ(iv.red, c.red);
                EXPECT_EQ(iv.green, c.green);
                EXPECT_EQ(iv.blue, c.blue);
                EXPECT_EQ(iv.alpha, 255);
            }
        }
    }
    // Groups tile the vertices in order, hold whole triangles of one object,
    // respect the limits and bound their vertices.
    int next = 0;
    const double spread = 0.125 * std::sqrt(8.0 * 8.0 * 2);
    for (const ItemGroup& group : g.groups) {
        EXPECT_EQ(group.firstVertex, next);
        EXPECT_EQ(group.vertexCount % 3, 0);
        EXPECT_LE(group.vertexCount, 3 * 50);
        next += group.vertexCount;
        const int firstTriangle = group.firstVertex / 3, lastTriangle = firstTriangle + group.vertexCount / 3 - 1;
        EXPECT_EQ(firstTriangle < 800, lastTriangle < 800) << "a group mixes objects";
        if (lastTriangle < 800 && group.vertexCount > 3) {
            EXPECT_LE(std::max(group.box.hi.x - group.box.lo.x, group.box.hi.y - group.box.lo.y), spread + 1e-9);
        }
        for (int k = group.firstVertex; k < group.firstVertex + group.vertexCount; ++k) {
            const ItemVertex& iv = g.vertices[static_cast<size_t>(k)];
            EXPECT_TRUE(iv.x >= group.box.lo.x && iv.x <= group.box.hi.x);
            EXPECT_TRUE(iv.y >= group.box.lo.y && iv.y <= group.box.hi.y) << iv.y << " " << group.box.lo.y << " " << group.box.hi.y << " k " << k;
            EXPECT_TRUE(iv.z >= group.box.lo.z && iv.z <= group.box.hi.z);
        }
    }
    EXPECT_EQ(next, static_cast<int>(g.vertices.size()));
    // The outlier of the second object sits in a group of its own.
    EXPECT_EQ(g.groups.back().vertexCount, 3);
    // Blocks cover the groups in order and bound them.
    int group = 0;
    for (const ItemBlock& b : g.blocks) {
        EXPECT_EQ(b.firstGroup, group);
        EXPECT_LE(b.groupCount, 3);
        for (int k = b.firstGroup; k < b.firstGroup + b.groupCount; ++k) {
            const Box& inner = g.groups[static_cast<size_t>(k)].box;
            EXPECT_TRUE(inner.lo.x >= b.box.lo.x && inner.hi.x <= b.box.hi.x);
            EXPECT_TRUE(inner.lo.z >= b.box.lo.z && inner.hi.z <= b.box.hi.z);
        }
        group += b.groupCount;
    }
    EXPECT_EQ(group, static_cast<int>(g.groups.size()));
}

// A face image of width 2h with runs of item colours, RGBA.
struct RunImage {
    int n = 0;
    int rows = 0;
    std::vector<std::uint8_t> bytes;
    FaceRows face(int firstRow) const {
        FaceRows f;
        f.data = bytes.data();
        f.width = n;
        f.bytesPerPixel = 4;
        f.firstRow = firstRow;
        f.rowCount = rows;
        return f;
    }
};

RunImage randomRuns(int n, int rows, std::mt19937& random, int objectCount, int trianglesPerObject) {
    RunImage img;
    img.n = n;
    img.rows = rows;
    img.bytes.resize(static_cast<size_t>(n * rows * 4));
    std::uniform_int_distribution<int> runLength(1, 9), object(0, objectCount), code(0, trianglesPerObject + 2);
    std::uint8_t px[4] = {0, 0, 0, 255};
    int left = 0;
    for (size_t p = 0; p < img.bytes.size(); p += 4) {
        if (left-- <= 0) {
            left = runLength(random);
            const int c = code(random);  // 0: background; beyond the object: names nothing
            px[0] = static_cast<std::uint8_t>(object(random));  // may be past the last object
            px[1] = static_cast<std::uint8_t>(c >> 8);
            px[2] = static_cast<std::uint8_t>(c & 255);
            px[3] = (left % 3 == 0) ? 0 : 255;  // alpha never matters
        }
        std::copy(px, px + 4, img.bytes.begin() + static_cast<std::ptrdiff_t>(p));
    }
    return img;
}

std::vector<double> takeFormFactors() {
    std::vector<double> out;
    for (SceneObject& o : objects) {
        for (auto& t : o.triangles) {
            out.push_back(t->formFactor);
            t->formFactor = 0.0;
        }
    }
    return out;
}

TEST(RunSum, AgreesWithThePixelByPixelSum) {
    fixture::SceneGuard guard;
    for (int o = 0; o < 3; ++o) fixture::addObject(fixture::grid(Vec3(0, 0, o), Vec3(1, 0, 0), Vec3(0, 1, 0), 10, 15));
    const ItemLookup lookup = buildItemLookup();
    std::mt19937 random(11);
    for (const int h : {1, 4, 32, 37}) {
        std::vector<double> weights(static_cast<size_t>(h * h));
        for (double& w : weights) w = std::uniform_real_distribution<double>(0.1, 2.0)(random);
        RunSummer summer;
        summer.prepare(lookup);
        for (const int firstRow : {0, h}) {
            const int rows = firstRow == 0 ? 2 * h : h;
            const RunImage img = randomRuns(2 * h, rows, random, 3, 300);
            sumFaceWeights(img.face(firstRow), weights.data(), h, lookup);
            const std::vector<double> expected = takeFormFactors();
            summer.addFace(img.face(firstRow), weights.data(), h, lookup);
            summer.flush();
            const std::vector<double> got = takeFormFactors();
            double total = 0;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_NEAR(got[k], expected[k], 1e-12 * (1 + expected[k])) << "h " << h << " triangle " << k;
                total += expected[k];
            }
            EXPECT_GT(total, 0.0);
        }
        // The same table changed in place: the cached running sums must not
        // be used.
        for (double& w : weights) w *= 3.0;
        const RunImage img = randomRuns(2 * h, h, random, 3, 300);
        sumFaceWeights(img.face(h), weights.data(), h, lookup);
        const std::vector<double> expected = takeFormFactors();
        summer.addFace(img.face(h), weights.data(), h, lookup);
        summer.flush();
        const std::vector<double> got = takeFormFactors();
        for (size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], expected[k], 1e-12 * (1 + expected[k]));
    }
}

TEST(RunSum, OtherLayoutsFallBackToThePixelSum) {
    fixture::SceneGuard guard;
    fixture::addObject(fixture::grid(Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0), 2, 2));
    const ItemLookup lookup = buildItemLookup();
    // RGB rows: triangle 2 (code 3) over a whole 4 x 4 face with h = 2.
    std::vector<std::uint8_t> rgb(4 * 4 * 3);
    for (size_t p = 0; p < rgb.size(); p += 3) rgb[p + 2] = 3;
    FaceRows rows;
    rows.data = rgb.data();
    rows.width = 4;
    rows.bytesPerPixel = 3;
    rows.rowCount = 4;
    const std::vector<double> weights = {1, 2, 3, 4};
    sumFaceRuns(rows, weights.data(), 2, lookup);
    EXPECT_DOUBLE_EQ(objects[0].triangles[2]->formFactor, 4 * (1 + 2 + 3 + 4));
}

TEST(BenchScene, ClosedRoomOfTheRequestedSize) {
    for (const int target : {1000, 10000, 60000}) {
        const BenchScene scene = makeBenchRoom(target);
        EXPECT_NEAR(scene.triangleCount(), target, 0.15 * target);
        bool lamp = false;
        for (const BenchObject& o : scene.objects) {
            EXPECT_LE(o.triangles.size(), 65535u) << o.name;
            for (const auto& t : o.triangles) {
                const Vec3 n = (t[1] - t[0]).cross(t[2] - t[0]);
                const Vec3 c((t[0].x + t[1].x + t[2].x) / 3, (t[0].y + t[1].y + t[2].y) / 3,
                             (t[0].z + t[1].z + t[2].z) / 3);
                ASSERT_GT(n.length(), 0.0) << o.name;
                // Everything lies in the room; the walls face its middle, the
                // lamp faces down, box sides face out of their box.
                EXPECT_TRUE(std::fabs(c.x) <= 5 && std::fabs(c.y) <= 5 && c.z >= 0 && c.z <= 6) << o.name;
                if (o.name == "lamp") {
                    lamp = true;
                    EXPECT_LT(n.z, 0.0);
                    EXPECT_GT(o.emission.sum(), 0.0);
                } else if (o.name.rfind("box", 0) != 0) {
                    EXPECT_GT(n.dot(Vec3(0, 0, 3) - c), 0.0) << o.name;
                }
            }
        }
        EXPECT_TRUE(lamp);
    }
    // Walls of the room: the area is that of a closed 10 x 10 x 6 box.
    double wallArea = 0;
    for (const BenchObject& o : makeBenchRoom(2000).objects) {
        if (o.name.rfind("box", 0) == 0 || o.name == "lamp") continue;
        for (const auto& t : o.triangles) wallArea += (t[1] - t[0]).cross(t[2] - t[0]).length() / 2;
    }
    EXPECT_NEAR(wallArea, 2 * 100 + 4 * 60, 1e-9);
}

TEST(BenchScene, TriangleTextReadsBackExactly) {
    const BenchObject sheet = makeBenchSheet(1001);
    ASSERT_EQ(sheet.triangles.size(), 1001u);
    std::stringstream text;
    writeTriangleFile(text, sheet);
    SceneObject object;
    const LoadReport report = object.loadTriangles(text);
    EXPECT_TRUE(report.problem.empty()) << report.problem;
    ASSERT_EQ(report.triangles, 1001);
    EXPECT_EQ(object.name, "sheet");
    for (size_t t = 0; t < sheet.triangles.size(); ++t) {
        for (int k = 0; k < 3; ++k) {
            const Vec3& p = object.triangles[t]->corners[static_cast<size_t>(k)]->position;
            EXPECT_EQ(p.x, sheet.triangles[t][static_cast<size_t>(k)].x);
            EXPECT_EQ(p.y, sheet.triangles[t][static_cast<size_t>(k)].y);
        }
    }
    // Squares share their corners: two full lines of 257 vertices, then 246
    // along the top of the second, short row (244 squares and a half).
    EXPECT_EQ(object.vertexCount(), 257 * 2 + 246);
}

}  // namespace
