#pragma once
// Copies of a controller's configuration taken before anything is written to it, kept as
// LPFP files named after the device and the time.

#include "core/lpfp/lpfp.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

struct BackupSettings {
    bool enabled = true;
    std::string folder; // empty: the default folder under the user's data directory
};

// The folder given by the user, or varko5/backups under the user's data directory
// ($XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share). Throws
// std::runtime_error when neither variable gives a directory.
std::filesystem::path backupFolder(const std::string& option);

// The serial number as part of a file name: characters other than letters, digits, '-' and '_'
// become '_', and an empty serial number is written "unknown".
std::string safeFileNamePart(const std::string& serial);

// "<serial>-YYYYMMDD-HHMMSS.lpfp"; characters of the serial number other than letters, digits,
// '-' and '_' become '_', and an empty serial number is written "unknown". A sequence number
// above 1 is added before the extension ("-2", "-3", ...).
std::string backupFileName(const std::string& serial, const std::tm& time, int sequence = 1);

// Writes pair into folder (created when missing) under a name no existing file has, and
// returns the path. Throws std::runtime_error when the folder or the file cannot be written.
std::filesystem::path writeBackup(const LpfpConfiguration& pair, const std::filesystem::path& folder,
                                  const std::string& serial, const std::tm& time);

// The local time now, for backupFileName.
std::tm localTimeNow();
