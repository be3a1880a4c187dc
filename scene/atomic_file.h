#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

// Every file the programs write (result files, pictures, triangle files,
// scene.ini, exports) goes through AtomicFile: the bytes go to a temporary
// file with a unique name in the target's folder, which is synced, closed and
// renamed over the target only when every step succeeded. A reader therefore
// sees either the previous file or the complete new one, never a truncated
// one; on any failure the previous file stays as it was and no temporary file
// is left behind.

// The system calls a save goes through. The default is the operating system;
// tests put in one that fails a chosen step. Each returns 0 on success, or an
// errno value.
struct FileOps {
    virtual ~FileOps() = default;
    // Creates `path` exclusively (it must not exist) for writing; sets *fd.
    virtual int create(const std::string& path, int* fd);
    // Writes all of `size` bytes.
    virtual int write(int fd, const char* data, std::size_t size);
    virtual int sync(int fd);
    virtual int close(int fd);
    virtual int rename(const std::string& from, const std::string& to);
    virtual int remove(const std::string& path);
};

// One file being written. Write through stream() or write(), then call
// commit(); a file destroyed without a successful commit() leaves the target
// untouched and removes its temporary file.
class AtomicFile {
  public:
    // Creates the temporary file at once; a failure shows in error() and in
    // commit(). `ops` (not owned) must outlive the object; nullptr: the system.
    explicit AtomicFile(std::string path, FileOps* ops = nullptr);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Text or binary output; no conversion of line ends.
    std::ostream& stream();
    void write(const void* data, std::size_t size);

    // Empty while every step so far succeeded, otherwise the reason of the
    // first failure (strerror text).
    std::string error() const;

    // Flushes, syncs, closes and renames the temporary file over the target.
    // Returns an empty string on success, otherwise the reason; the previous
    // file is then unchanged. Only the first call does anything.
    std::string commit();

    const std::string& path() const { return path_; }
    // The temporary file's name (empty when it could not be created).
    const std::string& temporaryPath() const { return temporary_; }

  private:
    class Buffer;
    void discard();

    std::string path_;
    std::string temporary_;
    FileOps* ops_;
    int fd_ = -1;
    int error_ = 0;  // errno of the first failure
    bool finished_ = false;
    std::unique_ptr<Buffer> buffer_;
    std::unique_ptr<std::ostream> stream_;
};

// Writes a whole file through AtomicFile: `fill` writes the content. Returns
// an empty string on success, otherwise the reason.
std::string writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& fill,
                                FileOps* ops = nullptr);
std::string writeFileAtomically(const std::string& path, const std::string& bytes, FileOps* ops = nullptr);
