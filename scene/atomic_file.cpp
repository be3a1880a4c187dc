#include "scene/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <streambuf>
#include <vector>

namespace {

// Longest part of the target's file name kept in the temporary name, so that
// a target name near the file system's limit (255 bytes) still gets one.
constexpr std::size_t kMaxKeptName = 160;
constexpr int kNameAttempts = 100;

// "<folder>/.<name>.<pid>.<random>.tmp": hidden, in the target's folder (the
// rename then stays on one file system), and unique even among several
// writers of the same target in one process or several.
std::string temporaryName(const std::string& path, std::mt19937& random) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%ld.%08x.tmp", static_cast<long>(::getpid()),
                  static_cast<unsigned>(random()));
    return folder + "." + name.substr(0, kMaxKeptName) + suffix;
}

// Makes a rename durable: the folder's entry is synced too. Best effort; the
// file itself is already complete and in place.
void syncFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

int FileOps::create(const std::string& path, int* fd) {
    // 0666 before the umask: the permissions a plain fopen would give.
    *fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return *fd < 0 ? errno : 0;
}

int FileOps::write(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int FileOps::sync(int fd) {
    return ::fsync(fd) != 0 ? errno : 0;
}

int FileOps::close(int fd) {
    return ::close(fd) != 0 ? errno : 0;
}

int FileOps::rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) != 0 ? errno : 0;
}

int FileOps::remove(const std::string& path) {
    return ::unlink(path.c_str()) != 0 ? errno : 0;
}

// Collects output in blocks and hands them to FileOps::write. After the first
// failure it takes no more bytes, so the stream goes bad and the reason stays
// in the file's error_.
class AtomicFile::Buffer : public std::streambuf {
  public:
    explicit Buffer(AtomicFile& file) : file_(file), block_(64 * 1024) {
        setp(block_.data(), block_.data() + block_.size());
    }

  protected:
    int_type overflow(int_type c) override {
        if (!flush()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* data, std::streamsize size) override {
        // Large pieces (a picture's rows) go straight to the file.
        if (size < static_cast<std::streamsize>(block_.size())) return std::streambuf::xsputn(data, size);
        if (!flush() || !put(data, static_cast<std::size_t>(size))) return 0;
        return size;
    }

    int sync() override { return flush() ? 0 : -1; }

  private:
    bool put(const char* data, std::size_t size) {
        if (file_.error_ != 0 || file_.fd_ < 0) return false;
        if (size == 0) return true;
        file_.error_ = file_.ops_->write(file_.fd_, data, size);
        return file_.error_ == 0;
    }

    bool flush() {
        const std::size_t size = static_cast<std::size_t>(pptr() - pbase());
        setp(block_.data(), block_.data() + block_.size());
        return put(block_.data(), size);
    }

    AtomicFile& file_;
    std::vector<char> block_;
};

AtomicFile::AtomicFile(std::string path, FileOps* ops) : path_(std::move(path)), ops_(ops) {
    static FileOps systemOps;  // stateless
    if (ops_ == nullptr) ops_ = &systemOps;
    buffer_ = std::make_unique<Buffer>(*this);
    stream_ = std::make_unique<std::ostream>(buffer_.get());

    // A NUL byte would cut the path short and replace some other file.
    if (path_.empty() || path_.find('\0') != std::string::npos) {
        error_ = path_.empty() ? ENOENT : EINVAL;
        stream_->setstate(std::ios::badbit);
        return;
    }
    std::mt19937 random(std::random_device{}());
    int err = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && err == EEXIST; ++attempt) {
        temporary_ = temporaryName(path_, random);
        err = ops_->create(temporary_, &fd_);
    }
    if (err != 0) {
        error_ = err;
        temporary_.clear();
        fd_ = -1;
        stream_->setstate(std::ios::badbit);
    }
}

AtomicFile::~AtomicFile() {
    if (!finished_) discard();
}

std::ostream& AtomicFile::stream() {
    return *stream_;
}

void AtomicFile::write(const void* data, std::size_t size) {
    stream_->write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string AtomicFile::error() const {
    return error_ == 0 ? std::string() : std::strerror(error_);
}

void AtomicFile::discard() {
    finished_ = true;
    if (fd_ >= 0) ops_->close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ops_->remove(temporary_);
}

std::string AtomicFile::commit() {
    if (finished_) return error();
    stream_->flush();
    // A stream put in a bad state by its writer, not by a failed write.
    if (error_ == 0 && stream_->bad()) error_ = EIO;
    if (error_ == 0) error_ = ops_->sync(fd_);
    if (fd_ >= 0) {
        // Close even after a failed write, and keep the first error.
        const int closeError = ops_->close(fd_);
        fd_ = -1;
        if (error_ == 0) error_ = closeError;
    }
    if (error_ == 0) error_ = ops_->rename(temporary_, path_);
    if (error_ != 0) {
        discard();
        return error();
    }
    finished_ = true;
    syncFolder(path_);
    return {};
}

std::string writeFileAtomically(const std::string& path, const std::function<void(std::ostream&)>& fill,
                                FileOps* ops) {
    AtomicFile file(path, ops);
    if (file.error().empty()) fill(file.stream());
    return file.commit();
}

std::string writeFileAtomically(const std::string& path, const std::string& bytes, FileOps* ops) {
    AtomicFile file(path, ops);
    file.write(bytes.data(), bytes.size());
    return file.commit();
}
