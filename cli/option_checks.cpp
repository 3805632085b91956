#include "cli/option_checks.h"

#include "core/ops/backup.h"

#ifdef _WIN32
#include "core/windows/wide_text.h"

#include <windows.h>

#include <string>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string folderOf(const std::string& path) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos && path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2) + ".";
#else
    const std::size_t slash = path.rfind('/');
#endif
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string cannotWrite(const std::string& path, const std::string& reason) {
    return "Cannot write file " + path + ": " + reason;
}

#ifdef _WIN32
// Paths are UTF-8; the wide APIs take every character.
fs::path nativePath(const std::string& path) {
    return fs::path(wideFromUtf8(path));
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const bool same = fs::equivalent(nativePath(a), nativePath(b), error);
    if (!error)
        return same;
    error.clear();
    const fs::path left = fs::weakly_canonical(fs::absolute(nativePath(a), error), error);
    const fs::path right = fs::weakly_canonical(fs::absolute(nativePath(b), error), error);
    return !error && left == right;
}

std::string windowsReason(DWORD error) {
    return errnoText(errnoOf(error));
}

// A new file made in folder and gone again when its handle closes: the folder takes new files.
std::optional<std::string> folderTakesFiles(const std::string& folder) {
    for (unsigned attempt = 0;; ++attempt) {
        const std::string probe =
            folder + "\\.lpfp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        const HANDLE file = CreateFileW(wideFromUtf8(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return std::nullopt;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt >= 100)
            return windowsReason(error);
    }
}

// Why path cannot be written as the run will write it; nothing when it can.
std::optional<std::string> unwritable(const std::string& path) {
    const std::wstring wide = wideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND)
            return cannotWrite(path, windowsReason(error));
        // Not there yet: create it; it goes again when its handle closes.
        const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return cannotWrite(path, windowsReason(GetLastError()));
        CloseHandle(file);
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return cannotWrite(path, errnoText(EISDIR));
    const HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return cannotWrite(path, windowsReason(GetLastError()));
    CloseHandle(file);
    // The file is replaced by a new one written beside it.
    if (auto reason = folderTakesFiles(folderOf(path)))
        return cannotWrite(path, *reason);
    return std::nullopt;
}
#else
bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    std::error_code error;
    const fs::path left = fs::weakly_canonical(fs::absolute(a, error), error);
    const fs::path right = fs::weakly_canonical(fs::absolute(b, error), error);
    return !error && left == right;
}

// Descriptors of this process and the like: written where they stand, nothing to create.
bool openFileLink(const std::string& path) {
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/"})
        if (path.rfind(prefix, 0) == 0)
            return true;
    return path == "/dev/stdout" || path == "/dev/stderr";
}

// A new entry in folder, removed again: the folder takes new files.
std::optional<std::string> folderTakesFiles(const std::string& folder) {
    std::string probe = folder + "/.lpfp-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return std::string(std::strerror(errno));
    ::close(fd);
    ::unlink(probe.c_str());
    return std::nullopt;
}

// Why path cannot be written as the run will write it; nothing when it can.
std::optional<std::string> unwritable(const std::string& path) {
    if (openFileLink(path))
        return ::access(path.c_str(), W_OK) == 0 ? std::nullopt
                                                 : std::optional(cannotWrite(path, std::strerror(errno)));
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT)
            return cannotWrite(path, std::strerror(errno));
        // Not there yet: create it, and remove it again.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0)
            return cannotWrite(path, std::strerror(errno));
        ::close(fd);
        ::unlink(path.c_str());
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode))
        return cannotWrite(path, std::strerror(EISDIR));
    // The device that refuses every write is known without writing to it.
    if (S_ISCHR(info.st_mode) && major(info.st_rdev) == 1 && minor(info.st_rdev) == 7)
        return cannotWrite(path, std::strerror(ENOSPC));
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
        // Opening a pipe would end it for its reader; its permission is all that can be asked.
        return ::access(path.c_str(), W_OK) == 0 ? std::nullopt
                                                 : std::optional(cannotWrite(path, std::strerror(errno)));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return cannotWrite(path, std::strerror(errno));
    ::close(fd);
    // A regular file is replaced by a new one written beside it.
    if (S_ISREG(info.st_mode) && info.st_nlink == 1)
        if (auto reason = folderTakesFiles(folderOf(path)))
            return cannotWrite(path, *reason);
    return std::nullopt;
}

#endif

// Why folder cannot hold new files, created when missing; nothing when it can. Nothing is
// created here: the nearest folder that exists must take new entries.
std::optional<std::string> unwritableFolder(const std::string& folder) {
#ifdef _WIN32
    fs::path existing = fs::absolute(nativePath(folder));
    const auto text = [](const fs::path& path) { return utf8FromWide(path.wstring()); };
#else
    fs::path existing = fs::absolute(folder);
    const auto text = [](const fs::path& path) { return path.string(); };
#endif
    std::error_code error;
    while (!fs::exists(existing, error) && existing.has_parent_path() && existing != existing.parent_path())
        existing = existing.parent_path();
    if (!fs::is_directory(existing, error))
        return "Cannot write to folder " + folder + ": " + text(existing) + " is not a folder";
    if (auto reason = folderTakesFiles(text(existing)))
        return "Cannot write to folder " + folder + ": " + *reason;
    return std::nullopt;
}

} // namespace

std::optional<OptionProblem> checkPaths(const CommandLineOptions& options, const FlowRow& flow,
                                        bool several) {
    const FlowPaths named = flow.paths != nullptr ? flow.paths(options) : FlowPaths{};
    const std::vector<NamedPath>& inputs = named.inputs;
    const std::vector<NamedPath>& outputs = named.outputs;

    const std::string& json = options.jsonPath;
    if (!json.empty() && json != "-") {
        for (const std::vector<NamedPath>* list : {&inputs, &outputs})
            for (const NamedPath& file : *list)
                if (!file.path.empty() && sameFile(json, file.path))
                    return OptionProblem{"--json " + json + " names the same file as " + file.option + " " +
                                             file.path + (list == &inputs ? ", an input" : ", an output") +
                                             " of this run",
                                         false};
        if (auto reason = unwritable(json))
            return OptionProblem{"--json: " + *reason, false};
    }

    // Among several devices every output name gets the device's serial number: its folder is
    // what can be checked beforehand.
    for (const NamedPath& output : outputs) {
        if (output.path.empty())
            continue;
        const auto reason = several ? unwritableFolder(folderOf(output.path)) : unwritable(output.path);
        if (reason)
            return OptionProblem{output.option + ": " + *reason};
    }

    if (named.backup && !options.noBackup) {
        try {
            if (auto reason = unwritableFolder(backupFolder(options.backupDir).string()))
                return OptionProblem{"Backup failed, nothing was sent: " + *reason};
        } catch (const std::exception& error) {
            return OptionProblem{std::string("Backup failed, nothing was sent: ") + error.what()};
        }
    }
    return std::nullopt;
}
