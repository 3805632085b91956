#include "core/config/file_io.h"
#include "core/config/prepared_write.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>

#ifndef _WIN32 // the Windows versions of writing and input files are in file_io_win.cpp
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
    throw std::runtime_error("Cannot write file " + path + ": " + std::strerror(error));
}

[[noreturn]] void failWith(const std::string& path, const std::string& reason) {
    throw std::runtime_error("Cannot write file " + path + ": " + reason);
}

// Closes the descriptor it holds when it goes away.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Close now, reporting what close reports (a late write error shows up here).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// Every byte of content to fd; errno of the first failure, 0 when all went out.
int writeAll(int fd, std::string_view content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The device of /proc, whose fd entries (/dev/stdout, /dev/fd/N, /proc/self/fd/N) are links
// to open files rather than names: following them by their text would miss a pipe or a
// deleted file, and replacing what they name would leave the open file behind.
std::optional<dev_t> procDevice() {
    static const std::optional<dev_t> device = []() -> std::optional<dev_t> {
        struct stat info {};
        if (::stat("/proc/self", &info) != 0) {
            return std::nullopt;
        }
        return info.st_dev;
    }();
    return device;
}

struct Target {
    std::string path;      // the name to write: the final target of a chain of links
    bool openFile = false; // the chain reaches an open-file link of /proc: write through it
    int ownFd = -1;        // ... and that link is one of this process's descriptors
};

// N for "/proc/self/fd/N", "/dev/fd/N" and the like naming one of our own descriptors.
int ownDescriptor(const std::string& link) {
    const std::string prefixes[] = {"/proc/self/fd/", "/proc/thread-self/fd/", "/dev/fd/",
                                    "/proc/" + std::to_string(::getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (link.compare(0, prefix.size(), prefix) != 0 || link.size() == prefix.size() ||
            link.size() - prefix.size() > 9) {
            continue;
        }
        int fd = 0;
        for (std::size_t i = prefix.size(); i < link.size(); ++i) {
            if (link[i] < '0' || link[i] > '9') {
                return -1;
            }
            fd = fd * 10 + (link[i] - '0');
        }
        return ::fcntl(fd, F_GETFD) >= 0 ? fd : -1;
    }
    return -1;
}

Target resolveLinks(const std::string& path) {
    std::string current = path;
    // The kernel's own limit on links followed in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return {current, false};
        }
        if (procDevice() && info.st_dev == *procDevice()) {
            return {path, true, ownDescriptor(current)};
        }
        std::string link(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
        if (length < 0) {
            fail(path, errno);
        }
        link.resize(static_cast<std::size_t>(length));
        current = link.front() == '/' ? link : folderOf(current) + "/" + link;
    }
    fail(path, ELOOP);
}

// Write through the file itself: devices, FIFOs and open-file links, and regular files that
// must stay the same file. O_NONBLOCK only for the open, so that a FIFO nobody reads fails at
// once instead of waiting for a reader.
void writeThrough(const std::string& path, const std::string& name, std::string_view content) {
    FileDescriptor fd(::open(name.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        const int error = errno;
        struct stat info {};
        if (error == ENXIO && ::stat(name.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
            failWith(path, "nothing is reading from it");
        }
        fail(path, error);
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        fail(path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        fail(path, errno);
    }
    const bool regular = S_ISREG(info.st_mode);
    if (regular && ::ftruncate(fd.get(), 0) != 0) {
        fail(path, errno);
    }
    if (const int error = writeAll(fd.get(), content); error != 0) {
        fail(path, error);
    }
    if (regular && ::fsync(fd.get()) != 0) {
        fail(path, errno);
    }
    if (fd.close() != 0) {
        fail(path, errno);
    }
}

// Mode for a new file: the usual 0666 less umask.
mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A temporary file in a folder, removed again unless it was renamed into place. Its name is
// short and fixed in length so that it fits wherever the target's name fits.
class TempFile {
public:
    TempFile(const std::string& folder, const std::string& target) : path_(folder + "/.lpfp-XXXXXX") {
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

namespace {

// The new name itself is durable only once its folder is synced: until then a power cut could
// bring back the old file, or no file at all, after the write was reported done. The file is
// already in place, so a folder that cannot be synced (some file systems refuse) does not make
// the write a failure.
void syncFolderOf(const std::string& name) {
    std::string folder = std::filesystem::path(name).parent_path().string();
    if (folder.empty()) {
        folder = ".";
    }
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) {
        ::fsync(fd.get());
    }
}

// One file write made ready to take effect: for a regular file, its complete new content in a
// temporary beside it; for anything written through (a device, our own descriptor, a file that
// must stay the same file), the content to write. Nothing the target's readers can see has
// changed until commit(); a write dropped before it leaves nothing behind.
class PosixWrite final : public PreparedWrite {
public:
    PosixWrite(const std::string& path, std::string_view content) : path_(path) { prepare(content); }

    // Make a temporary's content durable before anything is renamed over a target: a crash
    // after a rename must find the whole new file under the name.
    void sync() override {
        if (mode_ != Mode::Rename) {
            return;
        }
        if (::fsync(temp_->fd()) != 0 || temp_->close() != 0) {
            fail(path_, errno);
        }
    }

    void commit() override {
        switch (mode_) {
        case Mode::OwnDescriptor:
            // Our own standard output or another descriptor: written where it stands, after
            // whatever the program has printed to it so far.
            if (ownFd_ == STDOUT_FILENO) {
                std::fflush(stdout);
            } else if (ownFd_ == STDERR_FILENO) {
                std::fflush(stderr);
            }
            if (const int error = writeAll(ownFd_, content_); error != 0) {
                fail(path_, error);
            }
            return;
        case Mode::Through:
            writeThrough(path_, name_, content_);
            return;
        case Mode::Rename:
            if (::rename(temp_->path().c_str(), name_.c_str()) != 0) {
                fail(path_, errno);
            }
            temp_->committed();
            syncFolderOf(name_);
            return;
        }
    }

private:
    enum class Mode : std::uint8_t { OwnDescriptor, Through, Rename };

    void through(const std::string& name, std::string_view content) {
        mode_ = Mode::Through;
        name_ = name;
        content_ = std::string(content);
    }

    void prepare(std::string_view content) {
        const std::string& path = path_;
        const Target target = resolveLinks(path);
        if (target.ownFd >= 0) {
            mode_ = Mode::OwnDescriptor;
            ownFd_ = target.ownFd;
            content_ = std::string(content);
            return;
        }
        if (target.openFile) {
            through(path, content);
            return;
        }
        struct stat info {};
        const bool exists = ::stat(target.path.c_str(), &info) == 0;
        if (exists && S_ISDIR(info.st_mode)) {
            fail(path, EISDIR);
        }
        if (exists && !S_ISREG(info.st_mode)) {
            through(target.path, content);
            return;
        }
        // Renaming needs only the folder's permission; writing in place needs the file's.
        if (exists && ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
            fail(path, errno);
        }
        if (exists && info.st_nlink > 1) {
            through(target.path, content);
            return;
        }

        auto temp = std::make_unique<TempFile>(folderOf(target.path), path);
        if (exists) {
            struct stat tempInfo {};
            if (::fstat(temp->fd(), &tempInfo) != 0) {
                fail(path, errno);
            }
            if (tempInfo.st_uid != info.st_uid || tempInfo.st_gid != info.st_gid) {
                if (::fchown(temp->fd(), info.st_uid, info.st_gid) != 0) {
                    if (errno != EPERM) {
                        fail(path, errno);
                    }
                    // Someone else's file that we may write: a new file would be ours.
                    through(target.path, content);
                    return;
                }
            }
        }
        // After the owner: changing the owner clears the set-user and set-group bits.
        const mode_t mode = exists ? (info.st_mode & 07777) : newFileMode();
        if (const int error = writeAll(temp->fd(), content); error != 0) {
            fail(path, error);
        }
        if (::fchmod(temp->fd(), mode) != 0) {
            fail(path, errno);
        }
#ifdef __linux__
        // Start writing the content out now, so that the files of one write go to the disk
        // together and each sync below mostly waits for what has already begun.
        ::sync_file_range(temp->fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
        mode_ = Mode::Rename;
        name_ = target.path;
        temp_ = std::move(temp);
    }

    std::string path_; // as given, for messages
    Mode mode_ = Mode::Through;
    std::string name_; // what is written through or renamed over
    int ownFd_ = -1;
    std::string content_; // for the modes that write at commit
    std::unique_ptr<TempFile> temp_;
};

} // namespace

std::unique_ptr<PreparedWrite> prepareWrite(const std::string& path, std::string_view content) {
    return std::make_unique<PosixWrite>(path, content);
}

#endif // _WIN32

void writeFileAtomically(const std::string& path, std::string_view content) {
    const std::unique_ptr<PreparedWrite> write = prepareWrite(path, content);
    write->sync();
    write->commit();
}

void writeFilesAtomically(const std::vector<FileContent>& files) {
    // Every file is made ready before the first is put in place: a failure in any of them
    // leaves all the targets as they were.
    std::vector<std::unique_ptr<PreparedWrite>> prepared;
    prepared.reserve(files.size());
    for (const FileContent& file : files) {
        prepared.push_back(prepareWrite(file.path, file.content));
    }
    // Every file is written before any is synced, and every one synced before any is renamed.
    for (const auto& write : prepared) {
        write->sync();
    }
    for (const auto& write : prepared) {
        write->commit();
    }
}

std::filesystem::path pathFromUtf8(const std::string& text) {
#ifdef _WIN32
    return std::filesystem::u8path(text);
#else
    return text;
#endif
}

std::string utf8FromPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return path.u8string();
#else
    return path.string();
#endif
}

std::string readFileText(const std::string& path) {
    // A folder is named as one before anything is opened: Linux opens a folder for reading
    // (and fails only at the read), Windows refuses to open it as if access were denied.
#ifdef _WIN32
    std::error_code error;
    if (std::filesystem::is_directory(pathFromUtf8(path), error)) {
#else
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
#endif
        throw InputFileError("Cannot read file " + path + ": it is a folder", 0);
    }
    errno = 0;
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) {
        // An empty text would be decoded as a damaged file; the user must hear that the file
        // itself could not be read.
        const int errorNumber = errno != 0 ? errno : ENOENT;
        throw InputFileError("Cannot read file " + path + ": " + std::strerror(errorNumber), errorNumber);
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::chrono::milliseconds inputIdleTimeout() {
    const char* text = std::getenv("VARKO5_INPUT_TIMEOUT_MS");
    if (text == nullptr || *text == '\0') {
        return kInputIdleTimeout;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0) {
        return kInputIdleTimeout;
    }
    return std::chrono::milliseconds(value);
}

#ifndef _WIN32

namespace {

[[noreturn]] void refuseInput(const std::string& path, const std::string& reason, int errorNumber = 0) {
    throw InputFileError("Cannot read file " + path + ": " + reason, errorNumber);
}

[[noreturn]] void refuseInput(const std::string& path, int errorNumber) {
    refuseInput(path, std::strerror(errorNumber), errorNumber);
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "it is a folder";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "it is a device, not a file";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket, not a file";
    }
    return "it is not a regular file or a pipe";
}

bool isInput(mode_t mode) {
    return S_ISREG(mode) || S_ISFIFO(mode);
}

std::string secondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

} // namespace

std::string readInputFile(const std::string& path, std::chrono::milliseconds idleTimeout) {
    // Look before opening: opening a device can have effects of its own.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        refuseInput(path, errno);
    }
    if (!isInput(info.st_mode)) {
        refuseInput(path, kindOf(info.st_mode));
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        refuseInput(path, errno);
    }
    // The name may have been replaced between the look and the open.
    if (::fstat(fd.get(), &info) != 0) {
        refuseInput(path, errno);
    }
    if (!isInput(info.st_mode)) {
        refuseInput(path, kindOf(info.st_mode));
    }
    const bool pipe = S_ISFIFO(info.st_mode);
    const int timeoutMs = static_cast<int>(std::min<std::chrono::milliseconds::rep>(
        std::max<std::chrono::milliseconds::rep>(idleTimeout.count(), 0), INT_MAX));

    std::string text;
    char chunk[65536];
    for (;;) {
        if (pipe) {
            pollfd waiting{fd.get(), POLLIN, 0};
            const int ready = ::poll(&waiting, 1, timeoutMs);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                refuseInput(path, errno);
            }
            if (ready == 0) {
                refuseInput(path, text.empty() ? "nothing arrived within " + secondsText(idleTimeout) + " s"
                                               : "it stopped delivering for " + secondsText(idleTimeout) +
                                                     " s before its end");
            }
        }
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            refuseInput(path, errno);
        }
        if (got == 0) {
            return text;
        }
        if (text.size() + static_cast<std::size_t>(got) > kMaxInputBytes) {
            refuseInput(path, "it holds more than " + std::to_string(kMaxInputBytes >> 20) + " MiB");
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

#endif // _WIN32
