// Files written in one step: the bytes as given, the previous file kept on
// any failure, no temporary file left behind, several writers at once (a
// reader sees the old file whole until the rename: a failure at any step
// before it leaves the old file).

#include "scene/atomic_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "scene_fixture.h"

using fixture::Scratch;

namespace {

// System calls that fail one chosen step with ENOSPC.
struct FailingOps : FileOps {
    enum Step { Create, Write, Sync, Close, Rename } failAt = Write;
    int create(const std::string& path, int* fd) override {
        return failAt == Create ? ENOSPC : FileOps::create(path, fd);
    }
    int write(int fd, const char* data, std::size_t size) override {
        if (failAt != Write) return FileOps::write(fd, data, size);
        FileOps::write(fd, data, std::min<std::size_t>(size, 5));  // a partial write first
        return ENOSPC;
    }
    int sync(int fd) override { return failAt == Sync ? ENOSPC : FileOps::sync(fd); }
    int close(int fd) override {
        const int r = FileOps::close(fd);
        return failAt == Close ? ENOSPC : r;
    }
    int rename(const std::string& from, const std::string& to) override {
        return failAt == Rename ? ENOSPC : FileOps::rename(from, to);
    }
};

}  // namespace

TEST(AtomicFile, WritesTheBytesExactlyAndReplacesTheOldFile) {
    Scratch dir;
    const std::string target = dir.write("out.bin", "old");
    // Every byte value, then a block larger than the write buffer.
    std::string bytes = "\r\n\n\r";
    for (int i = 0; i < 200256; ++i) bytes += static_cast<char>(i < 256 ? i : (i * 7919) & 0xFF);
    // Through the stream, in small pieces and one large one.
    EXPECT_EQ(writeFileAtomically(target,
                                  [&](std::ostream& out) {
                                      out << "text\r\n" << 42 << '\n';
                                      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                                  }),
              "");
    EXPECT_EQ(dir.read("out.bin"), "text\r\n42\n" + bytes);
    // Through a whole string; an empty file too.
    EXPECT_EQ(writeFileAtomically(target, bytes), "");
    EXPECT_EQ(dir.read("out.bin"), bytes);
    EXPECT_EQ(writeFileAtomically(target, std::string()), "");
    EXPECT_EQ(dir.read("out.bin"), "");
    // A relative path (no folder part) and a new file.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    EXPECT_EQ(writeFileAtomically("new.txt", std::string("new\n")), "");
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(dir.read("new.txt") == "new\n" && dir.entries() == 2);
}

TEST(AtomicFile, FailureAtAnyStepKeepsTheOldFileAndLeavesNoTemporary) {
    Scratch dir;
    const std::string target = dir.write("out.txt", "old content\n");
    auto unchanged = [&] { return dir.read("out.txt") == "old content\n" && dir.entries() == 1; };
    for (auto step :
         {FailingOps::Create, FailingOps::Write, FailingOps::Sync, FailingOps::Close, FailingOps::Rename}) {
        FailingOps ops;
        ops.failAt = step;
        EXPECT_EQ(writeFileAtomically(target, std::string("new content that is longer\n"), &ops),
                  "No space left on device");
        EXPECT_TRUE(unchanged()) << step;
    }
    // A writer that gives up (an exception) or a file never committed.
    EXPECT_THROW(
        writeFileAtomically(target, [](std::ostream& out) { out << "half", throw std::runtime_error("x"); }),
        std::runtime_error);
    {
        AtomicFile file(target);
        file.stream() << "never committed";
        EXPECT_TRUE(std::filesystem::exists(file.temporaryPath()));
    }
    EXPECT_TRUE(unchanged());
}

TEST(AtomicFile, BadTargetsFailWithTheReasonAndTouchNothingElse) {
    Scratch dir;
    const std::string victim = dir.write("scene.tri", "keep\n");
    std::filesystem::create_directory(dir.path / "folder");
    EXPECT_EQ(writeFileAtomically(victim + std::string("\0.6d", 4), std::string("x")), "Invalid argument");
    EXPECT_EQ(writeFileAtomically(dir.at("missing/out.txt"), std::string("x")), "No such file or directory");
    EXPECT_EQ(writeFileAtomically(dir.at("folder"), std::string("x")), "Is a directory");
    // A name near the file system's limit of 255 bytes still gets a temporary.
    EXPECT_EQ(writeFileAtomically(dir.at(std::string(250, 'n')), std::string("long\n")), "");
    EXPECT_TRUE(dir.read("scene.tri") == "keep\n" && dir.read(std::string(250, 'n')) == "long\n");
    EXPECT_EQ(dir.entries(), 3);
}

TEST(AtomicFile, ConcurrentWritersUseUniqueTemporaries) {
    Scratch dir;
    const std::string target = dir.at("shared.txt");
    // Many files open on one target at once: each its own temporary, beside it.
    std::vector<std::unique_ptr<AtomicFile>> files;
    std::set<std::string> names;
    for (int i = 0; i < 64; ++i) {
        files.push_back(std::make_unique<AtomicFile>(target));
        names.insert(files.back()->temporaryPath());
        EXPECT_EQ(std::filesystem::path(files.back()->temporaryPath()).parent_path(), dir.path);
        files.back()->stream() << "writer " << i << '\n';
    }
    EXPECT_EQ(names.size(), files.size());
    for (auto& f : files) EXPECT_EQ(f->commit(), "");
    EXPECT_EQ(dir.read("shared.txt"), "writer 63\n");
    EXPECT_EQ(dir.entries(), 1);
}
