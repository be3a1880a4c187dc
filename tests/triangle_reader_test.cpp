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

Loaded read(const std::string& text) {
    Loaded l;
    std::istringstream in(text);
    l.report = l.object.loadTriangles(in);
    return l;
}

const char* kTwo = "0 0 0 1 0 0 0 1 0 1 0 0 1 1 0 0 1 0";

}  // namespace

TEST(TriangleReader, NameLineAndNumberLayouts) {
    Loaded a = read(std::string("floor\n") + kTwo + "\n");
    EXPECT_EQ(a.object.name, "floor");
    EXPECT_EQ(a.object.triangleCount(), 2);
    EXPECT_EQ(a.object.vertexCount(), 4);
    EXPECT_TRUE(a.report.problem.empty());
    // No line end after the last number, numbers spread over odd lines, tabs.
    EXPECT_EQ(read(std::string("floor\n") + kTwo).object.triangleCount(), 2);
    EXPECT_EQ(read("floor\n0 0\n0 1\t0 0\n\n 0 1 0").object.triangleCount(), 1);
    EXPECT_EQ(read(" my  box \n").object.name, " my  box ");  // names keep blanks
    // A name of exactly 127 characters: the line end is not a number.
    const Loaded exact = read(std::string(127, 'n') + "\n0 0 0 1 0 0 0 1 0\nq");
    EXPECT_EQ(exact.object.name, std::string(127, 'n'));
    EXPECT_EQ(exact.object.triangleCount(), 1);
    EXPECT_EQ(exact.report.problemLine, 3);
}

TEST(TriangleReader, NumberFormsAndIncompleteTriangles) {
    // Exponents, signs and points read as numbers; a bare exponent letter does not.
    Loaded forms = read("x\n+0 -0 .0 1e0 0. 0 0 1E+0 -0e-3\n1e 0 0 0 0 0 0 0 0");
    EXPECT_EQ(forms.object.triangleCount(), 1);
    EXPECT_EQ(forms.object.vertices[1]->position.x, 1.0);
    EXPECT_EQ(forms.report.problemLine, 3);
    // Numbers of an incomplete triangle make no vertex.
    Loaded thirteen = read("x\n0 0 0 1 0 0 0 1 0 5 5 5 5");
    EXPECT_EQ(thirteen.object.triangleCount(), 1);
    EXPECT_EQ(thirteen.object.vertexCount(), 3);
    EXPECT_NE(thirteen.report.problem.find("4 numbers left over"), std::string::npos);
}

TEST(TriangleReader, GrowsPastTheConfiguredCapacity) {
    SceneObject o;
    o.reserveTriangles(1);
    std::istringstream in(std::string("x\n") + kTwo + " 5 5 5 6 5 5 5 6 5");
    o.loadTriangles(in);
    EXPECT_EQ(o.triangleCount(), 3);
    SceneObject huge;
    huge.reserveTriangles(2000000000LL);  // capped, must not exhaust memory
    huge.reserveTriangles(-5);
    EXPECT_EQ(huge.triangleCount(), 0);
}

TEST(TriangleReader, EveryBadFileGivesItsOutcomeAndMessage) {
    fixture::Scratch dir;
    std::filesystem::create_directory(dir.path / "folder.tri");
    struct Case {
        std::string label;
        std::string text;
        int loaded;  // loadTriangleFile's result
        int triangles;
        std::string problem;  // part of the report's problem; empty: none
        int line;             // the problem's line
        int degenerate;
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
        if (c.problem.empty()) {
            EXPECT_EQ(report.problem, "");
        } else {
            EXPECT_TRUE(fixture::contains(report.problem, c.problem)) << report.problem;
        }
        EXPECT_EQ(report.problemLine, c.line) << report.problem;
        EXPECT_EQ(report.degenerate, c.degenerate);
        for (const auto& t : object.triangles) {
            EXPECT_TRUE(std::isfinite(t->area) && std::isfinite(t->centroid.x) &&
                        std::isfinite(t->centroid.y));
        }
        if (c.label == "long_name") {
            EXPECT_EQ(object.name, std::string(127, 'N'));
        }
        if (!c.loaded) {
            EXPECT_EQ(object.name, "");
        }
    }
}
