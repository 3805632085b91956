#pragma once
// One command for a line of controllers: the flow runs on every selected device at once, one
// worker per device, each with its own session, backup and verification. A device that fails
// never stops the others.

#include "cli/console.h"
#include "cli/device_opening.h"
#include "cli/flow_result.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// True when the --serial value names several devices: a comma-separated list or "all".
bool namesSeveralDevices(const std::string& serialOption);

// The serial numbers of a list, in order, without repeats. Throws std::invalid_argument for an
// empty entry.
std::vector<std::string> serialList(const std::string& serialOption);

// Runs flow on each device the option names, each in its own thread, and returns one result
// per device in the order named ("all": the list's order). A named device that is not
// connected gets a result with failureStatus (2 for a comparison: trouble, not a difference)
// without running anything; so does a device whose flow threw. Each worker's report lines go to
// out, and its log lines are labelled, with the device's serial number. List failures throw
// DeviceSetupError.
using DeviceFlow = std::function<FlowResult(const DeviceTarget&, std::ostream& out)>;
std::vector<FlowResult> runOnSeveralDevices(const std::shared_ptr<DeviceBackend>& backend,
                                            const std::string& serialOption, const DeviceFlow& flow,
                                            std::ostream& out, DeviceLabels& labels, int failureStatus = 1);

// 0 only when every device succeeded, 1 otherwise; for a comparison 0 when every device is the
// same, 2 when any was in trouble, 1 otherwise.
int combinedStatus(const std::vector<FlowResult>& reports, bool comparison);

// The closing table: serial, result (INTERRUPTED for a device a stop request ended early),
// seconds, backup path.
void printSummary(std::ostream& out, const std::vector<FlowResult>& reports, bool comparison);

// Output names for one device of several: "BASE-SERIAL" for the XML base name, and
// "FILE-SERIAL.lpfp" for an LPFP file (a ".lpfp" the name already has is kept at the end).
std::string basenameForDevice(const std::string& base, const std::string& serial);
std::string lpfpNameForDevice(const std::string& file, const std::string& serial);
