#include "core/config/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
    throw std::runtime_error("Cannot write file " + path + ": " + std::strerror(error));
}

// Mode for the new file: the old file's mode when it exists, else the usual 0666 less umask.
mode_t modeFor(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        return info.st_mode & 07777;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

class TempFile {
public:
    explicit TempFile(const std::string& target) : path_(target + ".tmp-XXXXXX") {
        fd_ = ::mkstemp(path_.data());
        if (fd_ < 0) {
            fail(target, errno);
        }
    }
    ~TempFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!committed_) {
            ::unlink(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void committed() { committed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool committed_ = false;
};

} // namespace

void writeFileAtomically(const std::string& path, std::string_view content) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        fail(path, EISDIR);
    }
    const mode_t mode = modeFor(path);
    TempFile temp(path);
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(temp.fd(), data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(path, errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fchmod(temp.fd(), mode) != 0 || ::fsync(temp.fd()) != 0) {
        fail(path, errno);
    }
    if (temp.close() != 0) {
        fail(path, errno);
    }
    if (::rename(temp.path().c_str(), path.c_str()) != 0) {
        fail(path, errno);
    }
    temp.committed();
}

std::string readFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
