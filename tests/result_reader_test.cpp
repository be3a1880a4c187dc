// Result files read back: everything the writer writes, refused damage with
// its line, and the match against the scene's objects. Loading a results
// folder, and a file missing from it, run end to end in batch_test.cpp
// and e2e/viewer_e2e.py.

#include "view/result_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "scene/scene.h"
#include "scene_fixture.h"
#include "view/result_writer.h"

namespace {

// Two triangles sharing an edge, as the triangle reader welds them.
SceneObject makeQuad(const std::string& name = "quad") {
    SceneObject o;
    std::istringstream in(name + "\n0 0 0 1 0 0 1 1 0\n0 0 0 1 1 0 0 1 0.123456789\n");
    o.loadTriangles(in);
    return o;
}

ResultProblem readText(const std::string& text, ResultFile& file) {
    std::istringstream in(text);
    return readResult(in, file);
}

}  // namespace

TEST(ResultReader, ReadsEverythingTheWriterWritesAndWritesItBackIdentically) {
    const double inf = std::numeric_limits<double>::infinity();
    SceneObject quad = makeQuad();
    quad.triangles[0]->radiosity = Vec3(0.00001234, 1234567.0, -2.5);  // three-digit exponents
    quad.triangles[1]->radiosity = Vec3(std::nan(""), inf, -inf);      // not finite
    const std::string text = formatResult(quad);
    ASSERT_NE(text.find("1.234e-005 1.23457e+006 -2.5\r\n"), std::string::npos);
    ASSERT_NE(text.find("nan inf -inf\r\n"), std::string::npos);

    for (const bool crlf : {true, false}) {
        std::string input = text;
        if (!crlf) {
            for (std::size_t at; (at = input.find('\r')) != std::string::npos;) input.erase(at, 1);
        }
        ResultFile file;
        const ResultProblem p = readText(input, file);
        ASSERT_TRUE(p.ok()) << p.line << ": " << p.message;
        ASSERT_EQ(file.positions.size(), 4u);
        ASSERT_EQ(file.triangles.size(), 2u);
        EXPECT_EQ(file.positions[3].z, 0.123457);  // six digits, as written
        EXPECT_EQ(file.triangles[1].corners, (std::array<int, 3>{0, 2, 3}));
        EXPECT_EQ(file.triangles[0].radiosity.x, 1.234e-5);
        EXPECT_TRUE(std::isnan(file.triangles[1].radiosity.x));
        EXPECT_EQ(file.triangles[1].radiosity.z, -inf);
        ASSERT_TRUE(matchResult(file, quad).ok());

        // Loaded into a fresh object of the same scene and saved again: the
        // same bytes (six digits read and rounded again stay the same).
        SceneObject again = makeQuad();
        applyResult(file, again);
        EXPECT_EQ(formatResult(again), text);
    }
}

TEST(ResultReader, RefusesDamagedFilesNamingTheLine) {
    const struct {
        const char* text;
        int line;
        const char* message;
    } cases[] = {
        {"", 1, "ends where the vertex count"},
        {"x\r\n", 1, "\"x\" is not a whole number"},
        {"999999\r\n", 1, "from 0 to 196605"},
        {"1\r\n0 0\r\n", 2, "needs 3 fields, found 2"},
        {"1\r\n0 0 +1\r\n", 2, "\"+1\" is not a number"},
        {"1\r\n0 0 1e999\r\n", 2, "not a number"},  // beyond a double: never written
        {"1\r\n0 0 0\r\n", 3, "ends where the triangle count"},
        {"1\r\n0 0 0\r\n65536\r\n", 3, "from 0 to 65535"},
        {"1\r\n0 0 0\r\n1\r\n", 4, "ends where a triangle line"},
        {"1\r\n0 0 0\r\n1\r\n0 0 1 0.5 0.5 0.5\r\n", 4,
         "corner \"1\" is not the index of one of the 1 vertices"},
        {"1\r\n0 0 0\r\n1\r\n0 0 0 0.5 0.5 0.5\r\n\r\nmore\r\n", 6, "text after the last triangle line"},
    };
    for (const auto& c : cases) {
        ResultFile file;
        const ResultProblem p = readText(c.text, file);
        EXPECT_EQ(p.line, c.line) << c.text;
        EXPECT_NE(p.message.find(c.message), std::string::npos) << c.text << " -> " << p.message;
    }
    // Blank lines after the end and tabs between fields are forgiven.
    ResultFile file;
    EXPECT_TRUE(readText("1\n0\t0  0\n1\n0 0 0 0.5 0.5 0.5\n\n\r\n", file).ok());
}

TEST(ResultReader, MatchesOnlyTheResultOfItsOwnObject) {
    const SceneObject quad = makeQuad();
    const std::string text = formatResult(quad);
    auto problemWith = [&](const std::string& changed) {
        ResultFile file;
        ResultProblem p = readText(changed, file);
        if (p.ok()) p = matchResult(file, quad);
        return p;
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    ASSERT_TRUE(problemWith(text).ok());
    SceneObject single;
    std::istringstream in("quad\n0 0 0 1 0 0 1 1 0\n");
    single.loadTriangles(in);
    // The same vertices with the last triangle left out.
    const std::string fewer = replaced("\r\n2\r\n", "\r\n1\r\n").substr(0, text.rfind("0 2 3"));
    const struct {
        std::string text;
        int line;
        const char* message;
    } cases[] = {
        {formatResult(single), 1, "3 vertices, the scene's object 4"},
        {replaced("0 1 0.123457", "0 1 0.123456"), 5,
         "vertex 3 is at 0 1 0.123456, in the scene at 0 1 0.123457"},
        {fewer, 6, "1 triangles, the scene's object 2"},
        {replaced("0 2 3", "0 3 2"), 8, "triangle 1 has other corners"},
    };
    for (const auto& c : cases) {
        const ResultProblem p = problemWith(c.text);
        EXPECT_EQ(p.line, c.line) << c.text;
        EXPECT_NE(p.message.find(c.message), std::string::npos) << p.message;
    }
}
