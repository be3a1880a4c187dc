#include "view/result_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "scene/scene.h"

namespace {

// Widens printf's exponent ("e-05", "e+06") to a sign and at least three
// digits ("e-005", "e+006"); exponents of three digits are already so.
std::string widenExponent(const char* text) {
    std::string s(text);
    const std::size_t e = s.find('e');
    if (e == std::string::npos || e + 2 > s.size()) return s;
    std::string digits = s.substr(e + 2);
    while (digits.size() < 3) digits.insert(digits.begin(), '0');
    return s.substr(0, e + 2) + digits;
}

void appendLine(std::string& out, const std::string& line) {
    out += line;
    out += "\r\n";
}

std::string errorText(int err) {
    return std::strerror(err);
}

}  // namespace

std::string formatReal(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // %.6g already picks the fixed or the exponential form from the exponent
    // after rounding to six digits (999999.7 gives 1e+06); only the exponent's
    // width differs from the result file's convention.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return widenExponent(buffer);
}

std::string formatInt(long long value) {
    return std::to_string(value);
}

std::string formatResult(const SceneObject& object) {
    std::string out;
    appendLine(out, formatInt(object.vertexCount()));
    for (const auto& v : object.vertices) {
        appendLine(out, formatReal(v->position.x) + ' ' + formatReal(v->position.y) + ' ' +
                            formatReal(v->position.z));
    }
    appendLine(out, formatInt(object.triangleCount()));
    for (const auto& t : object.triangles) {
        std::string line;
        for (int i = 0; i < 3; ++i) line += formatInt(t->cornerIndices[i]) + ' ';
        line +=
            formatReal(t->radiosity.x) + ' ' + formatReal(t->radiosity.y) + ' ' + formatReal(t->radiosity.z);
        appendLine(out, line);
    }
    return out;
}

std::string resultPath(const SceneObject& object, const std::string& dir) {
    const std::string file = object.name + ".6d";
    if (dir.empty() || (!file.empty() && file[0] == '/')) return file;
    return dir.back() == '/' ? dir + file : dir + '/' + file;
}

int ResultFileOps::create(const std::string& path, int* fd) {
    // 0666 before the umask: the same permissions a plain fopen would give.
    *fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return *fd < 0 ? errno : 0;
}

int ResultFileOps::write(int fd, const char* data, std::size_t size) {
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

int ResultFileOps::sync(int fd) {
    return ::fsync(fd) != 0 ? errno : 0;
}

int ResultFileOps::close(int fd) {
    return ::close(fd) != 0 ? errno : 0;
}

int ResultFileOps::rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) != 0 ? errno : 0;
}

int ResultFileOps::remove(const std::string& path) {
    return ::unlink(path.c_str()) != 0 ? errno : 0;
}

SaveStatus saveResult(const SceneObject& object, const std::string& dir, ResultFileOps* ops) {
    ResultFileOps systemOps;
    if (ops == nullptr) ops = &systemOps;

    SaveStatus status;
    status.path = resultPath(object, dir);
    const auto fail = [&status](int err) {
        status.ok = false;
        status.reason = errorText(err);
        std::printf("Cannot save %s: %s\n", status.path.c_str(), status.reason.c_str());
        std::fflush(stdout);  // seen at once even when standard output is a file or pipe
        return status;
    };

    // A NUL byte (from a binary name line) would cut the path short and
    // replace some other file, such as the triangle file itself.
    if (status.path.find('\0') != std::string::npos) return fail(EINVAL);

    // A temporary file in the same directory, so the final rename stays on
    // one file system and replaces the old result in one step.
    std::string tmp;
    int fd = -1;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        tmp = status.path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
        err = ops->create(tmp, &fd);
    }
    if (err != 0) return fail(err);

    const std::string text = formatResult(object);
    err = ops->write(fd, text.data(), text.size());
    if (err == 0) err = ops->sync(fd);
    // Close even after a failed write, and keep the first error.
    const int closeErr = ops->close(fd);
    if (err == 0) err = closeErr;
    if (err == 0) err = ops->rename(tmp, status.path);
    if (err != 0) {
        ops->remove(tmp);
        return fail(err);
    }
    return status;
}
