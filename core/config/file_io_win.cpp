// Writing files and reading input files on Windows, through the wide (UTF-16) APIs so that
// every path works whatever its characters. The messages are the Linux build's, word for word.

#include "core/config/file_io.h"
#include "core/config/prepared_write.h"
#include "core/windows/wide_text.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& path, int error) {
    throw std::runtime_error("Cannot write file " + path + ": " + errnoText(error));
}

[[noreturn]] void failWindows(const std::string& path, DWORD error) {
    fail(path, errnoOf(error));
}

// Closes the handle it holds when it goes away.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~FileHandle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    bool close() {
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

// Every byte to the handle; the Windows error of the first failure, 0 when all went out.
DWORD writeAll(HANDLE handle, std::string_view content) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr)) {
            return GetLastError();
        }
        data += written;
        left -= written;
    }
    return 0;
}

std::wstring widePath(const std::string& path, const std::string& forMessage, bool reading);

std::wstring folderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        // "C:name" is relative to drive C's current folder.
        return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : L".";
    }
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// Devices ("NUL", "CON", "\\.\COM3") are written directly, like Linux's /dev entries.
bool isDevice(const std::wstring& path) {
    if (path.rfind(L"\\\\.\\", 0) == 0) {
        return true;
    }
    std::wstring upper;
    for (const wchar_t c : path) {
        upper += static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c);
    }
    return upper == L"NUL" || upper == L"CON" || upper == L"CONOUT$";
}

void writeThrough(const std::string& path, const std::wstring& name, std::string_view content, bool regular) {
    FileHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                regular ? TRUNCATE_EXISTING : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        failWindows(path, GetLastError());
    }
    if (const DWORD error = writeAll(file.get(), content); error != 0) {
        failWindows(path, error);
    }
    if (regular && !FlushFileBuffers(file.get())) {
        failWindows(path, GetLastError());
    }
    if (!file.close()) {
        failWindows(path, GetLastError());
    }
}

// A new file beside the target under a unique name, removed again unless it was moved into
// place.
class TempFile {
public:
    TempFile(const std::wstring& folder, const std::string& target) {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            wchar_t name[32];
            std::swprintf(name, 32, L".lpfp-%08lx%02x",
                          static_cast<unsigned long>(GetTickCount() ^ GetCurrentProcessId()), attempt);
            path_ = folder + L"\\" + name;
            handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_HIDDEN, nullptr);
            if (handle_ != INVALID_HANDLE_VALUE) {
                return;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                failWindows(target, error);
            }
        }
        fail(target, EEXIST);
    }
    ~TempFile() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
        if (!committed_) {
            DeleteFileW(path_.c_str());
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    HANDLE handle() const { return handle_; }
    const std::wstring& path() const { return path_; }
    bool close() {
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }
    void committed() { committed_ = true; }

private:
    std::wstring path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool committed_ = false;
};

// The path in UTF-16; text that is not UTF-8 cannot name a file.
std::wstring widePath(const std::string& path, const std::string& forMessage, bool reading) {
    bool ok = true;
    std::wstring wide = wideFromUtf8(path, &ok);
    if (!ok || wide.empty() || wide.find(L'\0') != std::wstring::npos) {
        if (reading) {
            throw InputFileError("Cannot read file " + forMessage + ": " + errnoText(EINVAL), EINVAL);
        }
        fail(forMessage, wide.empty() && ok ? ENOENT : EINVAL);
    }
    return wide;
}

} // namespace

namespace {

// One file's write made ready: checked and, where the target is replaced by a new file, written
// in full beside it; commit() puts it in place. Until then the target is untouched, and a
// prepared temporary that is never committed is removed again.
class WindowsWrite final : public PreparedWrite {
public:
    WindowsWrite(const std::string& path, std::string_view content)
        : path_(path), target_(widePath(path, path, false)), content_(content) {
        if (isDevice(target_)) {
            mode_ = Mode::Device;
            return;
        }
        const DWORD attributes = GetFileAttributesW(target_.c_str());
        exists_ = attributes != INVALID_FILE_ATTRIBUTES;
        if (!exists_) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) {
                failWindows(path, error);
            }
        }
        if (exists_ && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            fail(path, EISDIR);
        }
        // A file the user may not write is refused, though the folder would let it be replaced.
        if (exists_ && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
            fail(path, EACCES);
        }
        if (exists_) {
            // Windows keeps no hard-link count in the attributes; a file with further names must
            // stay the same file, as on Linux.
            FileHandle probe(CreateFileW(target_.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            BY_HANDLE_FILE_INFORMATION info{};
            if (probe.valid() && GetFileInformationByHandle(probe.get(), &info) && info.nNumberOfLinks > 1) {
                mode_ = Mode::Through;
                return;
            }
        }
        temp_ = std::make_unique<TempFile>(folderOf(target_), path);
        if (const DWORD error = writeAll(temp_->handle(), content_); error != 0) {
            failWindows(path, error);
        }
        if (!FlushFileBuffers(temp_->handle())) {
            failWindows(path, GetLastError());
        }
        if (!temp_->close()) {
            failWindows(path, GetLastError());
        }
        SetFileAttributesW(temp_->path().c_str(), FILE_ATTRIBUTE_NORMAL);
        content_.clear();
    }

    // The temporary was flushed to disk and closed when it was prepared.
    void sync() override {}

    void commit() override {
        if (mode_ == Mode::Device) {
            if (target_ == L"CON" || target_ == L"con" || target_ == L"CONOUT$") {
                std::fflush(stdout);
            }
            writeThrough(path_, target_, content_, false);
            return;
        }
        if (mode_ == Mode::Through) {
            writeThrough(path_, target_, content_, true);
            return;
        }
        // ReplaceFileW keeps the old file's attributes and security; MoveFileExW covers a new
        // file, and a file system where replacing is not supported.
        bool moved = false;
        if (exists_) {
            moved = ReplaceFileW(target_.c_str(), temp_->path().c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
            if (!moved) {
                const DWORD error = GetLastError();
                if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
                    error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                    failWindows(path_, error);
                }
            }
        }
        if (!moved && !MoveFileExW(temp_->path().c_str(), target_.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            failWindows(path_, GetLastError());
        }
        temp_->committed();
    }

private:
    enum class Mode { Replace, Through, Device };
    std::string path_; // as given, for messages
    std::wstring target_;
    std::string content_; // for the modes that write at commit
    Mode mode_ = Mode::Replace;
    bool exists_ = false;
    std::unique_ptr<TempFile> temp_;
};

} // namespace

std::unique_ptr<PreparedWrite> prepareWrite(const std::string& path, std::string_view content) {
    return std::make_unique<WindowsWrite>(path, content);
}

namespace {

[[noreturn]] void refuseInput(const std::string& path, const std::string& reason, int errorNumber = 0) {
    throw InputFileError("Cannot read file " + path + ": " + reason, errorNumber);
}

[[noreturn]] void refuseInputWindows(const std::string& path, DWORD error) {
    const int number = errnoOf(error);
    refuseInput(path, errnoText(number), number);
}

std::string secondsText(std::chrono::milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

} // namespace

std::string readInputFile(const std::string& path, std::chrono::milliseconds idleTimeout) {
    const std::wstring name = widePath(path, path, true);
    // Look before opening: opening a device can have effects of its own.
    const bool pipeName = name.rfind(L"\\\\.\\pipe\\", 0) == 0;
    if (isDevice(name) && !pipeName) {
        refuseInput(path, "it is a device, not a file");
    }
    if (!pipeName) {
        const DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            refuseInputWindows(path, GetLastError());
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            refuseInput(path, "it is a folder");
        }
    }
    FileHandle file(CreateFileW(name.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        refuseInputWindows(path, GetLastError());
    }
    const DWORD type = GetFileType(file.get());
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
        refuseInput(path, type == FILE_TYPE_CHAR ? "it is a device, not a file"
                                                 : "it is not a regular file or a pipe");
    }
    const bool pipe = type == FILE_TYPE_PIPE;
    const auto idle = std::max(idleTimeout, std::chrono::milliseconds(0));

    std::string text;
    char chunk[65536];
    auto lastArrival = std::chrono::steady_clock::now();
    for (;;) {
        if (pipe) {
            // Waits that sleep: a pipe has no blocking read with a time limit.
            DWORD available = 0;
            if (!PeekNamedPipe(file.get(), nullptr, 0, nullptr, &available, nullptr)) {
                const DWORD error = GetLastError();
                if (error == ERROR_BROKEN_PIPE) {
                    return text;
                }
                refuseInputWindows(path, error);
            }
            if (available == 0) {
                if (std::chrono::steady_clock::now() - lastArrival >= idle) {
                    refuseInput(path, text.empty()
                                          ? "nothing arrived within " + secondsText(idleTimeout) + " s"
                                          : "it stopped delivering for " + secondsText(idleTimeout) +
                                                " s before its end");
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
        }
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) {
                return text;
            }
            refuseInputWindows(path, error);
        }
        if (got == 0) {
            return text;
        }
        lastArrival = std::chrono::steady_clock::now();
        if (text.size() + got > kMaxInputBytes) {
            refuseInput(path, "it holds more than " + std::to_string(kMaxInputBytes >> 20) + " MiB");
        }
        text.append(chunk, got);
    }
}
