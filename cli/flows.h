#pragma once
// The things lpfp_cli does, one function per flow. Each returns the process exit status of
// exit_status.h and logs its own failures; none ends the process. Each records what it did in
// the calling thread's report::activeReport(), when someone collects one.

#include "cli/report.h"
#include "core/ops/backup.h"

#include <string>

// Connection test: list the devices, show the chosen one (the first without a serial number),
// ask the bridge for its status and the controller for its firmware version.
int testDevice(const DeviceTarget& target = {});

// Save the controller's current (defaults false) or factory default records as
// "<basename>.app.xml" and "<basename>.mc.xml", or on standard output when basename is empty.
// A serial number chooses the device among several; without one the list must hold exactly one.
int getConfiguration(const std::string& basename, bool defaults, const DeviceTarget& target = {});
// Save them as one LPFP file.
int saveLpfpFlow(const std::string& lpfpPath, bool defaults, const DeviceTarget& target);

// Apply the XML documents whose paths are not empty, each laid over the controller's default
// record, and verify every write by reading the record back. Unless backup is disabled, the
// current records are saved first; when that fails nothing is sent.
int setConfiguration(const std::string& appPath, const std::string& mcPath, const DeviceTarget& target = {},
                     const BackupSettings& backup = {});
// Apply an LPFP file the same way; a failure of the application record does not stop the
// motor record.
int applyLpfpFlow(const std::string& lpfpPath, const DeviceTarget& target, const BackupSettings& backup);

// Without any device: an LPFP file into basename.app.xml and basename.mc.xml, and two XML
// documents into an LPFP file.
int lpfpToXmlFlow(const std::string& lpfpPath, const std::string& basename);
int xmlToLpfpFlow(const std::string& appXmlPath, const std::string& mcXmlPath, const std::string& lpfpPath);

// Print every field that differs between two configuration sources (see
// core/ops/config_source.h): 0 the same, 1 different, 2 a source cannot be read.
int diffFlow(const std::string& left, const std::string& right, const DeviceTarget& target);
// The controller's current configuration against its defaults.
int changedFlow(const DeviceTarget& target);
