#pragma once
// How a flow of lpfp_cli comes to its device: the device list, the choice by serial number,
// the open, and the firmware check. A failure is logged and kept in the flow's result.

#include "cli/flow_result.h"
#include "core/ops/cancellation.h"
#include "core/ops/config_source.h"
#include "core/ops/recording.h"
#include "core/ops/session.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// The backend's device list; a list that cannot be built throws DeviceSetupError.
std::vector<DeviceInfoNode> listDevices(DeviceBackend& backend);

// The device a flow works on: chosen from the backend's list by its serial number (the only
// one listed when empty), or already chosen from a list by the caller. Either way the choice
// is settled into the listed node, and the device is opened by what identifies it.
struct DeviceTarget {
    std::shared_ptr<DeviceBackend> backend;
    std::string serial;
    bool listed = false; // node and index are the caller's choice
    DeviceInfoNode node{};
    int index = -1;
    // Asked between exchanges: once requested, the flow stops at its next safe point (never
    // between a set and its read-back) and writes no output files.
    Cancellation cancel;
    // Where the flow records what it does to the controller; null when the run does not record.
    const Recording* recording = nullptr;
    // How the flow reads its input files (each at most once in a run, see InputsReadOnce);
    // empty: read directly.
    InputReader read;
};

// Lists the devices, chooses the target's and opens it, and notes the device in result. Nothing,
// with the reason logged and kept in result, when no device can be chosen. With blockOut the
// device block is printed there before the device is opened and the chip identifier line
// after. List and open failures throw DeviceSetupError.
std::unique_ptr<ControllerSession> openChosenDevice(const DeviceTarget& target, FlowResult& result,
                                                    std::ostream* blockOut);

// Asks the controller for its version. False, with the reason logged and kept in result, when
// it gives none or (forWriting) when it is not the firmware configurations are written to. With
// versionOut the version lines are printed there.
bool checkVersion(ControllerSession& session, FlowResult& result, std::ostream* versionOut, bool forWriting);
