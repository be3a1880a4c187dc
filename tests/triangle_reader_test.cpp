#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
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
    Loaded b = read(std::string("floor\n") + kTwo);
    EXPECT_EQ(b.object.triangleCount(), 2);
    Loaded c = read("floor\n0 0\n0 1\t0 0\n\n 0 1 0");
    EXPECT_EQ(c.object.triangleCount(), 1);

    // CRLF: the carriage return is part of the line end, not of the name.
    Loaded d = read("wall\r\n0 0 0 1 0 0 0 1 0\r\n");
    EXPECT_EQ(d.object.name, "wall");
    EXPECT_EQ(d.object.triangleCount(), 1);

    // Names keep blanks; an empty file gives an empty name and no triangles.
    EXPECT_EQ(read(" my  box \n").object.name, " my  box ");
    Loaded e = read("");
    EXPECT_EQ(e.object.name, "");
    EXPECT_EQ(e.object.triangleCount(), 0);
    EXPECT_TRUE(e.report.opened);
}

TEST(TriangleReader, LongNameLineIsCutAndTheRestIsNumbers) {
    const std::string name127(127, 'n');
    Loaded exact = read(name127 + "\n0 0 0 1 0 0 0 1 0");
    EXPECT_EQ(exact.object.name, name127);
    EXPECT_EQ(exact.object.triangleCount(), 1);

    // The 128th character starts the number list.
    Loaded longer = read(std::string(127, 'a') + "0 0 0 1 0 0 0 1 0\n");
    EXPECT_EQ(longer.object.name, std::string(127, 'a'));
    EXPECT_EQ(longer.object.triangleCount(), 1);
}

TEST(TriangleReader, ListEndsAtFailureAndDropsIncompleteTriangle) {
    Loaded thirteen = read("x\n0 0 0 1 0 0 0 1 0 5 5 5 5");
    EXPECT_EQ(thirteen.object.triangleCount(), 1);
    EXPECT_EQ(thirteen.object.vertexCount(), 3);  // no vertex for dropped numbers
    EXPECT_NE(thirteen.report.problem.find("4 numbers left over"), std::string::npos);

    Loaded letter = read(std::string("x\n") + kTwo + "\nq 1 2 3 4 5 6 7 8 9\n");
    EXPECT_EQ(letter.object.triangleCount(), 2);
    EXPECT_NE(letter.report.problem.find("'q' is not a number"), std::string::npos);
    EXPECT_EQ(letter.report.problemLine, 3);

    // Exponents, signs and points read as numbers; a bare exponent letter does not.
    Loaded forms = read("x\n+0 -0 .0 1e0 0. 0 0 1E+0 -0e-3\n1e 0 0 0 0 0 0 0 0");
    EXPECT_EQ(forms.object.triangleCount(), 1);
    EXPECT_EQ(forms.object.vertices[1]->position.x, 1.0);
}

TEST(TriangleReader, NonFiniteAndOverflowingCoordinatesEndTheListWithAMessage) {
    for (const char* bad : {"nan", "inf", "-inf", "1e400"}) {
        Loaded l = read(std::string("x\n0 0 0 1 0 0 0 1 0\n0 0 ") + bad + " 1 0 0 0 1 0\n");
        EXPECT_EQ(l.object.triangleCount(), 1) << bad;
        EXPECT_NE(l.report.problem.find(bad), std::string::npos) << l.report.problem;
        EXPECT_EQ(l.report.problemLine, 3) << bad;
    }
    // Underflow is as good as zero.
    Loaded tiny = read("x\n1e-400 0 0 1 0 0 0 1 0");
    EXPECT_EQ(tiny.object.triangleCount(), 1);
}

TEST(TriangleReader, BinaryGarbageReadsAsNoTriangles) {
    std::string garbage("\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe", 13);
    Loaded l = read(garbage + "\n\x01\x02\x03 9 9 9");
    EXPECT_EQ(l.object.triangleCount(), 0);
    EXPECT_FALSE(l.report.problem.empty());
}

TEST(TriangleReader, FilesThatCannotBeOpenedLeaveTheObjectUnchanged) {
    SceneObject o;
    LoadReport r;
    EXPECT_EQ(o.loadTriangleFile("", &r), 0);
    EXPECT_EQ(o.loadTriangleFile("/no/such/file.tri", &r), 0);
    EXPECT_NE(r.problem.find("No such file"), std::string::npos);
    EXPECT_EQ(o.loadTriangleFile(std::filesystem::temp_directory_path().string(), &r), 0);
    EXPECT_NE(r.problem.find("directory"), std::string::npos);
    EXPECT_EQ(o.name, "");
    EXPECT_EQ(o.triangleCount(), 0);

    const auto path = std::filesystem::temp_directory_path() / "lumetra_reader_test.tri";
    std::ofstream(path) << "disk\n0 0 0 1 0 0 0 1 0\n";
    EXPECT_EQ(o.loadTriangleFile(path.string(), &r), 1);
    EXPECT_EQ(o.name, "disk");
    std::filesystem::remove(path);
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
