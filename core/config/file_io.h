#pragma once
// Whole-file text reading and writing shared by the XML and LPFP code.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Paths are held as UTF-8 text. These turn them into the library's path and back; on Windows
// the narrow conversions of std::filesystem would use the ANSI code page instead.
std::filesystem::path pathFromUtf8(const std::string& text);
std::string utf8FromPath(const std::filesystem::path& path);

// Write content to path as writing the file in place would, but never leave a half-written
// regular file behind:
// - a regular file is replaced by a complete new one, written beside it under a short
//   temporary name and renamed over it; its owner, group and mode are kept. When the owner
//   cannot be kept (someone else's file we may write) or the file has further hard links,
//   it is rewritten in place instead, as those names must keep seeing the same file;
// - a symbolic link is followed: its target is written and the link stays;
// - a target that is not a regular file (a device, a FIFO, /dev/stdout) is written directly;
// - a target the user may not write is refused, whatever the folder allows.
// Throws std::runtime_error "Cannot write file <path>: <reason>" on any failure.
void writeFileAtomically(const std::string& path, std::string_view content);

// Several files that belong together (the two documents of one configuration): every one is
// written in full beside its target first, then all are synced to disk (their writing out
// begun together, so the syncs overlap), and only then are they renamed into place, one after
// the other. A failure before the renames leaves every target as it was and no
// temporary behind. Throws as writeFileAtomically.
struct FileContent {
    std::string path;
    std::string content;
};
void writeFilesAtomically(const std::vector<FileContent>& files);

// The whole file as text. Throws InputFileError "Cannot read file <path>: <reason>" when the
// file cannot be opened (not there, not readable), so that a missing file is never taken for
// an empty, damaged one.
std::string readFileText(const std::string& path);

// An input file that cannot be used; the message names the file and says why.
class InputFileError : public std::runtime_error {
public:
    InputFileError(const std::string& message, int errorNumber)
        : std::runtime_error(message), errorNumber_(errorNumber) {}
    // The system's error number when the file could not be looked at or opened (ENOENT for
    // a file that is not there); 0 when it was refused for what it is or how it behaved.
    int errorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

// How long an input may stay silent before it is given up, and how much it may hold.
inline constexpr std::chrono::milliseconds kInputIdleTimeout{5000};
inline constexpr std::size_t kMaxInputBytes = std::size_t{16} << 20;

// kInputIdleTimeout, or the milliseconds in the environment variable VARKO5_INPUT_TIMEOUT_MS
// (for tests that check the give-up without waiting for it).
std::chrono::milliseconds inputIdleTimeout();

// The whole content of a file given as input: a regular file, or a pipe or FIFO (such as
// the "<(command)" of a shell), read to its end. Anything else (a folder, a device, a
// socket) is refused without being opened for reading. A pipe that stays silent for
// idleTimeout, whether nobody ever writes to it or its writer stops without closing it, is
// given up rather than waited for. Throws InputFileError "Cannot read file <path>: <reason>".
std::string readInputFile(const std::string& path,
                          std::chrono::milliseconds idleTimeout = inputIdleTimeout());
