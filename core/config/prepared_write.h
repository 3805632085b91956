#pragma once
// One file's write made ready by the platform's own file code (file_io.cpp on Linux,
// file_io_win.cpp on Windows): checked and, where the target is replaced by a new file, written
// in full beside it. Nothing the target's readers can see changes until commit(); a write
// dropped before it leaves nothing behind. writeFileAtomically and writeFilesAtomically
// (file_io.h) are built on it, the same on every platform.

#include <memory>
#include <string>
#include <string_view>

class PreparedWrite {
public:
    PreparedWrite() = default;
    virtual ~PreparedWrite() = default;
    PreparedWrite(const PreparedWrite&) = delete;
    PreparedWrite& operator=(const PreparedWrite&) = delete;

    // Makes the prepared content durable before anything is put in place (a crash after
    // commit must find the whole new file under the name). Throws as commit.
    virtual void sync() = 0;
    // Puts the content in place. Throws std::runtime_error "Cannot write file <path>: <reason>".
    virtual void commit() = 0;
};

// Throws std::runtime_error "Cannot write file <path>: <reason>" when the write cannot be made
// ready; the target is untouched then.
std::unique_ptr<PreparedWrite> prepareWrite(const std::string& path, std::string_view content);
