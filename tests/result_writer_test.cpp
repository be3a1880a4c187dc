// The result format byte for byte, and where results are saved. Every failing
// step of a save is in atomic_file_test.cpp; a save on a full disk, its
// message and the old file kept, in e2e/worst_inputs.sh.

#include "view/result_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "scene_fixture.h"

using fixture::Scratch;

namespace {

// The object "tri": one triangle over (0,0,0), (1,0,0), (0,1,0) with the
// radiosity (0.5, 0.25, 0.00001).
SceneObject makeTri(const std::string& name = "tri") {
    SceneObject o;
    o.name = name;
    for (const Vec3& p : {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)})
        o.vertices.push_back(std::make_unique<Vertex>(p));
    auto t = std::make_unique<Triangle>();
    t->setCorners(o.vertices[0].get(), o.vertices[1].get(), o.vertices[2].get(), 0, 1, 2);
    t->radiosity = Vec3(0.5, 0.25, 0.00001);
    o.triangles.push_back(std::move(t));
    return o;
}

const char* const kTriText = "3\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n1\r\n0 1 2 0.5 0.25 1e-005\r\n";

}  // namespace

TEST(FormatReal, SixSignificantDigitsThreeDigitExponentsFormAfterRounding) {
    using L = std::numeric_limits<double>;
    const std::pair<double, const char*> cases[] = {{0.0, "0"},
                                                    {2.0 / 3.0, "0.666667"},
                                                    {0.0001, "0.0001"},
                                                    {0.00001234, "1.234e-005"},
                                                    {1234567.0, "1.23457e+006"},
                                                    {12.3456789, "12.3457"},
                                                    {-1.5e+123, "-1.5e+123"},
                                                    {L::max(), "1.79769e+308"},
                                                    {L::denorm_min(), "4.94066e-324"},
                                                    // The form follows the exponent after rounding.
                                                    {999999.7, "1e+006"},
                                                    {0.00009999996, "0.0001"},
                                                    {0.00009999949, "9.99995e-005"},
                                                    // Non-finite values plainly.
                                                    {L::quiet_NaN(), "nan"},
                                                    {L::infinity(), "inf"},
                                                    {-L::infinity(), "-inf"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(formatReal(value), text) << value;
    }
    EXPECT_EQ(formatInt(-17), "-17");
}

TEST(FormatResult, LaysOutVerticesThenTrianglesWithCrLf) {
    EXPECT_EQ(formatResult(makeTri()), kTriText);
    EXPECT_EQ(formatResult(SceneObject()), "0\r\n0\r\n");
    // A vertex shared by two triangles is listed once and named by one index.
    SceneObject quad = makeTri("quad");
    quad.vertices.push_back(std::make_unique<Vertex>(Vec3(1, 1, -0.25)));
    auto t = std::make_unique<Triangle>();
    t->setCorners(quad.vertices[1].get(), quad.vertices[3].get(), quad.vertices[2].get(), 1, 3, 2);
    t->radiosity = Vec3(1234567.0, 0.0, 2.0 / 3.0);
    quad.triangles.push_back(std::move(t));
    EXPECT_EQ(formatResult(quad),
              "4\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n1 1 -0.25\r\n2\r\n0 1 2 0.5 0.25 1e-005\r\n"
              "1 3 2 1.23457e+006 0 0.666667\r\n");
}

TEST(SaveResult, WritesTheFileNamedAfterTheObject) {
    Scratch dir;
    const std::string where = dir.path.string();
    const SaveStatus s = saveResult(makeTri(), where);
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.path, dir.at("tri.6d"));
    // Saving again replaces the file; an empty name writes ".6d".
    EXPECT_TRUE(saveResult(makeTri(), where).ok);
    EXPECT_TRUE(saveResult(SceneObject(), where).ok);
    EXPECT_EQ(dir.read("tri.6d"), kTriText);
    EXPECT_EQ(dir.read(".6d"), "0\r\n0\r\n");
    EXPECT_EQ(dir.entries(), 2);
    // A directory part in the name; an absolute name ignores the directory
    // given; the longest name a triangle file can give is not cut short.
    std::filesystem::create_directory(dir.path / "sub");
    EXPECT_TRUE(saveResult(makeTri("sub/room"), where).ok);
    EXPECT_EQ(dir.read("sub/room.6d"), kTriText);
    EXPECT_TRUE(saveResult(makeTri(dir.at("sub/abs")), "/nonexistent-dir").ok);
    EXPECT_EQ(dir.read("sub/abs.6d"), kTriText);
    EXPECT_TRUE(saveResult(makeTri(std::string(127, 'n')), where).ok);
    EXPECT_EQ(dir.read(std::string(127, 'n') + ".6d"), kTriText);
}
