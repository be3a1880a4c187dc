#include "view/result_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>

#include "scene/scene.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// The object "tri": one triangle over (0,0,0), (1,0,0), (0,1,0) with the
// radiosity (0.5, 0.25, 0.00001).
SceneObject makeTri(const std::string& name = "tri") {
    SceneObject o;
    o.name = name;
    o.vertices.push_back(std::make_unique<Vertex>(Vec3(0, 0, 0)));
    o.vertices.push_back(std::make_unique<Vertex>(Vec3(1, 0, 0)));
    o.vertices.push_back(std::make_unique<Vertex>(Vec3(0, 1, 0)));
    auto t = std::make_unique<Triangle>();
    t->setCorners(o.vertices[0].get(), o.vertices[1].get(), o.vertices[2].get(), 0, 1, 2);
    t->radiosity = Vec3(0.5, 0.25, 0.00001);
    o.triangles.push_back(std::move(t));
    return o;
}

const char* const kTriText = "3\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n1\r\n0 1 2 0.5 0.25 1e-005\r\n";

// A fresh directory per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "lumetra-save-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    int entries() const { return static_cast<int>(std::distance(fs::directory_iterator(path_), {})); }

private:
    fs::path path_;
};

// File operations that fail one chosen step with a chosen error.
struct FailingOps : ResultFileOps {
    enum Step { Create, Write, Sync, Close, Rename } failAt = Write;
    int error = ENOSPC;
    std::size_t bytesBeforeFailure = 5;  // a write failure after a partial write
    int create(const std::string& path, int* fd) override {
        return failAt == Create ? error : ResultFileOps::create(path, fd);
    }
    int write(int fd, const char* data, std::size_t size) override {
        if (failAt != Write) return ResultFileOps::write(fd, data, size);
        ResultFileOps::write(fd, data, std::min(size, bytesBeforeFailure));
        return error;
    }
    int sync(int fd) override { return failAt == Sync ? error : ResultFileOps::sync(fd); }
    int close(int fd) override {
        const int r = ResultFileOps::close(fd);
        return failAt == Close ? error : r;
    }
    int rename(const std::string& from, const std::string& to) override {
        return failAt == Rename ? error : ResultFileOps::rename(from, to);
    }
};

}  // namespace

TEST(FormatReal, WritesSixSignificantDigitsWithThreeDigitExponents) {
    EXPECT_EQ(formatReal(0.0), "0");
    EXPECT_EQ(formatReal(1.0), "1");
    EXPECT_EQ(formatReal(0.5), "0.5");
    EXPECT_EQ(formatReal(2.0 / 3.0), "0.666667");
    EXPECT_EQ(formatReal(0.0001), "0.0001");
    EXPECT_EQ(formatReal(0.00001234), "1.234e-005");
    EXPECT_EQ(formatReal(123456.0), "123456");
    EXPECT_EQ(formatReal(1234567.0), "1.23457e+006");
    EXPECT_EQ(formatReal(-2.5), "-2.5");
    EXPECT_EQ(formatReal(12.3456789), "12.3457");
    EXPECT_EQ(formatReal(1e-300), "1e-300");
    EXPECT_EQ(formatReal(-1.5e+123), "-1.5e+123");
    EXPECT_EQ(formatReal(std::numeric_limits<double>::max()), "1.79769e+308");
    EXPECT_EQ(formatReal(std::numeric_limits<double>::denorm_min()), "4.94066e-324");
}

TEST(FormatReal, ChoosesTheFormFromTheExponentAfterRounding) {
    EXPECT_EQ(formatReal(999999.7), "1e+006");
    EXPECT_EQ(formatReal(999999.4), "999999");
    EXPECT_EQ(formatReal(0.00009999996), "0.0001");
    EXPECT_EQ(formatReal(0.00009999949), "9.99995e-005");
    EXPECT_EQ(formatReal(100000.0), "100000");
    EXPECT_EQ(formatReal(1000000.0), "1e+006");
}

TEST(FormatReal, WritesNonFiniteValuesPlainly) {
    EXPECT_EQ(formatReal(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(formatReal(-std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(formatReal(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(formatReal(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(formatInt(0), "0");
    EXPECT_EQ(formatInt(-17), "-17");
    EXPECT_EQ(formatInt(2147483647), "2147483647");
}

TEST(FormatResult, LaysOutVerticesThenTrianglesWithCrLf) {
    EXPECT_EQ(formatResult(makeTri()), kTriText);

    SceneObject empty;
    EXPECT_EQ(formatResult(empty), "0\r\n0\r\n");

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
    TempDir dir;
    const SaveStatus s = saveResult(makeTri(), dir.path().string());
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(s.path, (dir.path() / "tri.6d").string());
    EXPECT_EQ(readFile(dir.path() / "tri.6d"), kTriText);
    EXPECT_EQ(dir.entries(), 1);

    // Saving again replaces the file; an empty name writes ".6d".
    SceneObject empty;
    EXPECT_TRUE(saveResult(makeTri(), dir.path().string()).ok);
    EXPECT_TRUE(saveResult(empty, dir.path().string()).ok);
    EXPECT_EQ(readFile(dir.path() / "tri.6d"), kTriText);
    EXPECT_EQ(readFile(dir.path() / ".6d"), "0\r\n0\r\n");
    EXPECT_EQ(dir.entries(), 2);
}

TEST(SaveResult, HandlesDirectoryPartsAndLongNames) {
    TempDir dir;
    fs::create_directory(dir.path() / "sub");
    EXPECT_TRUE(saveResult(makeTri("sub/room"), dir.path().string()).ok);
    EXPECT_EQ(readFile(dir.path() / "sub" / "room.6d"), kTriText);

    // An absolute name ignores the directory given.
    const std::string absolute = (dir.path() / "sub" / "abs").string();
    EXPECT_TRUE(saveResult(makeTri(absolute), "/nonexistent-dir").ok);
    EXPECT_EQ(readFile(absolute + ".6d"), kTriText);

    // The longest name a triangle file can give is not cut short.
    const std::string longName(127, 'n');
    EXPECT_TRUE(saveResult(makeTri(longName), dir.path().string()).ok);
    EXPECT_EQ(readFile(dir.path() / (longName + ".6d")), kTriText);
}

TEST(SaveResult, ReportsAMissingDirectoryAndGoesOn) {
    TempDir dir;
    const std::string missing = (dir.path() / "missing").string();
    testing::internal::CaptureStdout();
    const SaveStatus s = saveResult(makeTri("room"), missing);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(out, "Cannot save " + missing + "/room.6d: No such file or directory\n");
    EXPECT_EQ(s.reason, "No such file or directory");
    EXPECT_EQ(dir.entries(), 0);
}

TEST(SaveResult, FailureAtAnyStepKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const fs::path target = dir.path() / "tri.6d";
    const std::string old = "old result\r\n";
    for (auto step : {FailingOps::Create, FailingOps::Write, FailingOps::Sync, FailingOps::Close,
                      FailingOps::Rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        writeFile(target, old);
        FailingOps ops;
        ops.failAt = step;
        testing::internal::CaptureStdout();
        const SaveStatus s = saveResult(makeTri(), dir.path().string(), &ops);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(out, "Cannot save " + target.string() + ": No space left on device\n");
        EXPECT_EQ(readFile(target), old);
        EXPECT_EQ(dir.entries(), 1);
    }
}

TEST(SaveResult, RefusesToReplaceADirectory) {
    TempDir dir;
    fs::create_directory(dir.path() / "tri.6d");
    testing::internal::CaptureStdout();
    const SaveStatus s = saveResult(makeTri(), dir.path().string());
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(s.ok);
    EXPECT_TRUE(fs::is_directory(dir.path() / "tri.6d"));
    EXPECT_EQ(dir.entries(), 1);
}

TEST(SaveResult, ReadOnlyDirectoryIsReported) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    TempDir dir;
    writeFile(dir.path() / "tri.6d", "old\r\n");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    testing::internal::CaptureStdout();
    const SaveStatus s = saveResult(makeTri(), dir.path().string());
    const std::string out = testing::internal::GetCapturedStdout();
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(out.find("Permission denied"), std::string::npos);
    EXPECT_EQ(readFile(dir.path() / "tri.6d"), "old\r\n");
}
