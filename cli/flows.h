#pragma once
// The things lpfp_cli does, one function per flow. Each writes its report lines to out, logs
// its progress and failures, and returns its exit status (exit_status.h) with what it did, for
// the summary and the JSON document; none ends the process. The flows that produce data (the
// differences, LPFP text for "-") write it to data, which a script reads apart from the report.

#include "cli/device_opening.h"
#include "cli/flow_result.h"
#include "core/ops/backup.h"

#include <ostream>
#include <string>

// "-" as the file of --saveLpfp or --xml_to_lpfp: standard output.
inline constexpr char STANDARD_OUTPUT[] = "-";

// Connection test: list the devices, show the chosen one (the first without a serial number),
// ask the bridge for its status and the controller for its firmware version.
FlowResult testDevice(const DeviceTarget& target, std::ostream& out);

// Save the controller's current (defaults false) or factory default records as
// "<basename>.app.xml" and "<basename>.mc.xml", or on out when basename is empty.
// A serial number chooses the device among several; without one the list must hold exactly one.
FlowResult getConfiguration(const std::string& basename, bool defaults, const DeviceTarget& target,
                            std::ostream& out);
// Save them as one LPFP file.
FlowResult saveLpfpFlow(const std::string& lpfpPath, bool defaults, const DeviceTarget& target,
                        std::ostream& out, std::ostream& data);

// Apply the XML documents whose paths are not empty, each laid over the controller's default
// record, and verify every write by reading the record back. Unless backup is disabled, the
// current records are saved first; when that fails nothing is sent.
FlowResult setConfiguration(const std::string& appPath, const std::string& mcPath, const DeviceTarget& target,
                            const BackupSettings& backup, std::ostream& out);
// Apply an LPFP file the same way; a failure of the application record does not stop the
// motor record.
FlowResult applyLpfpFlow(const std::string& lpfpPath, const DeviceTarget& target,
                         const BackupSettings& backup, std::ostream& out);

// Without any device: an LPFP file into basename.app.xml and basename.mc.xml, and two XML
// documents into an LPFP file.
FlowResult lpfpToXmlFlow(const std::string& lpfpPath, const std::string& basename, const InputReader& read,
                         std::ostream& out);
FlowResult xmlToLpfpFlow(const std::string& appXmlPath, const std::string& mcXmlPath,
                         const std::string& lpfpPath, const InputReader& read, std::ostream& out,
                         std::ostream& data);

// Print every field that differs between two configuration sources (see
// core/ops/config_source.h): 0 the same, 1 different, 2 a source cannot be read.
FlowResult diffFlow(const std::string& left, const std::string& right, const DeviceTarget& target,
                    std::ostream& data);
// The controller's current configuration against its defaults.
FlowResult changedFlow(const DeviceTarget& target, std::ostream& data);

// The production record: the entries of one controller (serial) or of all ("all"), since a
// date when one is given, as a table on data or (jsonPath not empty; "-": standard output) as a
// JSON document; and one entry's configuration written as an LPFP file (lpfpPath "-": its bytes
// on data).
FlowResult historyFlow(const std::string& destination, const std::string& serial, const std::string& since,
                       const std::string& jsonPath, std::ostream& data);
FlowResult historyExportFlow(const std::string& destination, const std::string& id,
                             const std::string& lpfpPath, std::ostream& out, std::ostream& data);
