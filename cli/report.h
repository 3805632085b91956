#pragma once
// What lpfp_cli shows of a controller and of an operation's progress: the device block, the
// chip identifier and version lines on standard output, progress through the logger.

#include "core/ops/apply.h"
#include "core/ops/session.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

void printDeviceBlock(const DeviceInfoNode& node, int index);
void printVersion(const FirmwareVersion& version);

// The device list; a list that cannot be built throws DeviceSetupError.
std::vector<DeviceInfoNode> listDevices();

// The device a flow works on: chosen from the list by its serial number (the only one listed
// when empty), or already chosen from a list by the caller.
struct DeviceTarget {
    std::string serial;
    bool listed = false; // node and index are the caller's choice
    DeviceInfoNode node{};
    int index = -1;
};

// Lists the devices, chooses the target's and opens it. Nothing, with the reason logged, when
// no device can be chosen. With report the device block is printed before the device is opened
// and the chip identifier line after. List and open failures throw DeviceSetupError.
std::unique_ptr<ControllerSession> openChosenDevice(const DeviceTarget& target, bool report);
// The same for the device at a known list index.
std::unique_ptr<ControllerSession> openListedDevice(const DeviceInfoNode& node, int index);

// Asks the controller for its version. False, with the reason logged, when it gives none or
// (forWriting) when it is not the firmware configurations are written to. With report the
// version lines are printed.
bool checkVersion(ControllerSession& session, bool report, bool forWriting);

// The lines each apply shows, in the words its flow has always used.
enum class ApplyWording { XmlFiles, LpfpFile };
ProgressFn applyProgressPrinter(ApplyWording wording);

// The refusal of an input for its values, one error line per key after a heading; nothing when
// there are no violations.
void printValueRefusal(const std::string& path, const std::vector<ValueViolation>& violations);

// "<record> <key>: <left> -> <right>", one line per difference.
void printDifferences(std::ostream& out, const std::vector<FieldDifference>& differences);
