#pragma once
// The command-line flows for LPFP files, configuration differences and backups. Each returns
// the process exit status and ends nothing itself; progress and errors go to the process-wide
// logger, reports to standard output.

#include "core/config/config_diff.h"

#include <ostream>
#include <string>
#include <vector>

class ArmLink;

struct BackupSettings {
    bool enabled = true;
    std::string folder; // empty: the default folder under the user's data directory
};

// Apply an LPFP file: the controller's default records are the base, the file's values are laid
// over them, both records are sent and each is verified by reading it back; a failure of the
// application record does not stop the motor record. 0 when both were verified, 1 otherwise.
int applyLpfpFlow(const std::string& lpfpPath, const std::string& serial, const BackupSettings& backup);

// Save the controller's current (or default) records as one LPFP file. 0 or 1.
int saveLpfpFlow(const std::string& lpfpPath, bool defaults, const std::string& serial);

// Without any device: an LPFP file into basename.app.xml and basename.mc.xml, and two XML
// documents into an LPFP file. 0 or 1.
int lpfpToXmlFlow(const std::string& lpfpPath, const std::string& basename);
int xmlToLpfpFlow(const std::string& appXmlPath, const std::string& mcXmlPath, const std::string& lpfpPath);

// Print every field that differs between two configuration sources (see config_source.h).
// 0 when they are the same, 1 when they differ, 2 when a source cannot be read.
int diffFlow(const std::string& left, const std::string& right, const std::string& serial);
// The controller's current configuration against its defaults, by the same code.
int changedFlow(const std::string& serial);

// Save the current records of the controller behind link as a backup and print its path.
// False, with the reason logged, when the backup cannot be taken: the caller then sends nothing.
bool backupBeforeWrite(ArmLink& link, const std::string& serial, const BackupSettings& backup);

// "<record> <key>: <left> -> <right>", one line per difference.
void printDifferences(std::ostream& out, const std::vector<FieldDifference>& differences);
