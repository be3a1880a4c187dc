// The triangle reader: layouts, number forms, capacity, and every bad file
// with its outcome and its message, which names the line.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "scene/scene.h"
#include "scene_fixture.h"

namespace {

struct Loaded {
    SceneObject object;
    LoadReport report;
};

Loaded read(const std::string& text, long long capacity = 0) {
    Loaded l;
    l.object.reserveTriangles(capacity);
    std::istringstream in(text);
    l.report = l.object.loadTriangles(in);
    return l;
}

}  // namespace

TEST(TriangleReader, LayoutsNumberFormsAndCapacity) {
    const std::string two = "0 0 0 1 0 0 0 1 0 1 0 0 1 1 0 0 1 0";
    const Loaded a = read("floor\n" + two + "\n");
    EXPECT_TRUE(a.object.name == "floor" && a.object.triangleCount() == 2 && a.object.vertexCount() == 4);
    EXPECT_TRUE(a.report.problem.empty());
    // No line end after the last number, numbers spread over odd lines, tabs;
    // names keep blanks; past the configured capacity the arrays grow.
    EXPECT_EQ(read("floor\n" + two).object.triangleCount(), 2);
    EXPECT_EQ(read("floor\n0 0\n0 1\t0 0\n\n 0 1 0").object.triangleCount(), 1);
    EXPECT_EQ(read(" my  box \n").object.name, " my  box ");
    EXPECT_EQ(read("x\n" + two + " 5 5 5 6 5 5 5 6 5", 1).object.triangleCount(), 3);
    // A huge or negative capacity is capped: it must not exhaust memory.
    EXPECT_EQ(read("x\n", 2000000000LL).object.triangleCount() + read("x\n", -5).object.triangleCount(), 0);
    // A name of exactly 127 characters: the line end is not a number.
    const Loaded exact = read(std::string(127, 'n') + "\n0 0 0 1 0 0 0 1 0\nq");
    EXPECT_TRUE(exact.object.name == std::string(127, 'n') && exact.object.triangleCount() == 1);
    EXPECT_EQ(exact.report.problemLine, 3);
    // Exponents, signs and points read as numbers; a bare exponent letter does not.
    const Loaded forms = read("x\n+0 -0 .0 1e0 0. 0 0 1E+0 -0e-3\n1e 0 0 0 0 0 0 0 0");
    EXPECT_TRUE(forms.object.triangleCount() == 1 && forms.object.vertices[1]->position.x == 1.0);
    EXPECT_EQ(forms.report.problemLine, 3);
    // Numbers of an incomplete triangle make no vertex.
    const Loaded thirteen = read("x\n0 0 0 1 0 0 0 1 0 5 5 5 5");
    EXPECT_TRUE(thirteen.object.triangleCount() == 1 && thirteen.object.vertexCount() == 3);
    EXPECT_TRUE(fixture::contains(thirteen.report.problem, "4 numbers left over"));
}

TEST(TriangleReader, EveryBadFileGivesItsOutcomeAndMessage) {
    fixture::Scratch dir;
    std::filesystem::create_directory(dir.path / "folder.tri");
    struct Case {
        std::string label, text;
        int loaded, triangles;  // loadTriangleFile's result, and what it read
        std::string problem;    // part of the report's problem; empty: none
        int line, degenerate;
    };
    const std::vector<Case> cases = {
        {"", "", 0, 0, "no file given", 0, 0},
        {"missing", "", 0, 0, "No such file or directory", 0, 0},
        {"folder.tri", "", 0, 0, "is a directory", 0, 0},
        {"empty", "", 1, 0, "", 0, 0},
        {"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01", 20), 1, 0, "is not a number", 2, 0},
        {"crlf", "wall\r\n0 0 0 1 0 0 0 1 0\r\n0 0 0\r\n", 1, 1, "3 numbers left over", 3, 0},
        {"nan", "x\n0 0 0 1 0 0 0 1 0\nnan 0 0 1 0 0 0 1 0\n", 1, 1, "'nan' is not a number", 3, 0},
        {"overflow", "x\n\n\n0 0 1e400 1 0 0 0 1 0\n", 1, 0, "'1e400' is too large for a coordinate", 4, 0},
        {"underflow", "x\n1e-400 0 0 1 0 0 0 1 0", 1, 1, "", 0, 0},  // as good as zero
        // Finite doubles that GL's single precision cannot hold.
        {"float_edge", "x\n0 0 0 3.4e38 0 0 0 3.4e38 0\n0 0 0 1 0 0 0 3.5e38 0\n", 1, 1,
         "'3.5e38' is too large", 3, 0},
        {"long_name", std::string(200, 'N') + "\n0 0 0 1 0 0 0 1 0\n", 1, 0, "'NNNNNNNN", 1, 0},
        {"degenerate", "x\n0 0 0 1 0 0 2 0 0\n0 0 0 0.0001 0 0 0 0.0001 0\n5 5 5 5 5 5 5 5 5\n", 1, 3, "", 0,
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = c.label.empty() ? "" : dir.at(c.label);
        if (c.loaded) path = dir.write(c.label + ".tri", c.text);
        SceneObject object;
        LoadReport report;
        EXPECT_EQ(object.loadTriangleFile(path, &report), c.loaded);
        EXPECT_EQ(object.triangleCount(), c.triangles);
        EXPECT_TRUE(c.problem.empty() ? report.problem.empty() : fixture::contains(report.problem, c.problem))
            << report.problem;
        EXPECT_TRUE(report.problemLine == c.line && report.degenerate == c.degenerate) << report.problem;
        for (const auto& t : object.triangles)
            EXPECT_TRUE(std::isfinite(t->area) && std::isfinite(t->centroid.y));
        EXPECT_EQ(object.name, c.label == "long_name" ? std::string(127, 'N') : c.loaded ? object.name : "");
    }
}
