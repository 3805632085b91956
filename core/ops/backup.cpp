#include "core/ops/backup.h"

#include "core/config/file_io.h"

#include <array>
#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
// windows.h first: the shell's header needs its types.
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#endif

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool isSafeNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

constexpr int kMaxSequence = 9999;

#ifdef _WIN32
// The user's local application data, where Windows programs keep what stays on this machine:
// as the environment names it (read as wide characters, so that a profile folder with
// characters outside the ANSI code page survives), or else as Windows itself knows it.
std::filesystem::path windowsBackupFolder() {
    if (const wchar_t* localData = _wgetenv(L"LOCALAPPDATA"); localData != nullptr && *localData != L'\0') {
        return std::filesystem::path(localData) / "varko5" / "backups";
    }
    PWSTR known = nullptr;
    const bool found = SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known));
    std::filesystem::path folder =
        found && known != nullptr ? std::filesystem::path(known) : std::filesystem::path();
    CoTaskMemFree(known);
    if (folder.empty()) {
        throw std::runtime_error("No folder for backups: LOCALAPPDATA is not set and Windows names no local "
                                 "application data folder");
    }
    return folder / "varko5" / "backups";
}
#endif

} // namespace

std::filesystem::path backupFolder(const std::string& option) {
    if (!option.empty()) {
        return pathFromUtf8(option);
    }
#ifdef _WIN32
    return windowsBackupFolder();
#endif
    const std::filesystem::path dataHome = environment("XDG_DATA_HOME");
    if (dataHome.is_absolute()) {
        return dataHome / "varko5" / "backups";
    }
    const std::string home = environment("HOME");
    if (home.empty()) {
        throw std::runtime_error("No folder for backups: neither XDG_DATA_HOME nor HOME is set");
    }
    return std::filesystem::path(home) / ".local" / "share" / "varko5" / "backups";
}

std::string safeFileNamePart(const std::string& serial) {
    std::string name;
    for (const char c : serial) {
        name += isSafeNameChar(c) ? c : '_';
    }
    return name.empty() ? "unknown" : name;
}

std::string backupFileName(const std::string& serial, const std::tm& time, int sequence) {
    std::string name = safeFileNamePart(serial);
    std::array<char, 32> stamp{};
    if (std::strftime(stamp.data(), stamp.size(), "-%Y%m%d-%H%M%S", &time) == 0) {
        stamp[0] = '\0';
    }
    name += stamp.data();
    if (sequence > 1) {
        name += "-" + std::to_string(sequence);
    }
    return name + ".lpfp";
}

std::filesystem::path writeBackup(const LpfpConfiguration& pair, const std::filesystem::path& folder,
                                  const std::string& serial, const std::tm& time) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        throw std::runtime_error("Cannot create backup folder " + utf8FromPath(folder) +
                                 (error ? ": " + error.message() : ""));
    }
    for (int sequence = 1; sequence <= kMaxSequence; ++sequence) {
        const auto path = folder / backupFileName(serial, time, sequence);
        if (!std::filesystem::exists(std::filesystem::symlink_status(path))) {
            writeLpfpFile(pair, utf8FromPath(path));
            return path;
        }
    }
    throw std::runtime_error("Too many backups of the same second in " + utf8FromPath(folder));
}

std::tm localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}
