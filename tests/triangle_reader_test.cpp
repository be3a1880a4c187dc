// The triangle reader on strings: layouts, number forms, capacity. Bad
// files and their messages are in the hardening tables.

#include <gtest/gtest.h>

#include <sstream>

#include "scene/scene.h"

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
