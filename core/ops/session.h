#pragma once
// One controller, open for work: the device chosen from the list, opened with the program's
// time-outs and an empty receive queue, and identified. Every operation runs over a session.

#include "core/device/arm_link.h"
#include "core/device/device_list.h"
#include "core/lpfp/lpfp.h"

#include <cstdint>
#include <string>
#include <vector>

class ControllerSession {
public:
    // Opens the listed device from the backend, by what identifies it, with the time-outs of
    // core/device/timeouts.h, reads its chip identifier and empties its receive queue. index is
    // its place in the list it was chosen from, for messages. Throws device_open_error
    // ("Failed to open device"), or the backend's std::runtime_error.
    ControllerSession(DeviceBackend& backend, const DeviceInfoNode& node, int index);
    // Takes a device opened elsewhere and prepares it the same way.
    ControllerSession(DeviceHandle handle, const DeviceInfoNode& node, int index);
    // The link borrows the handle this object owns, so a session stays where it was made.
    ControllerSession(const ControllerSession&) = delete;
    ControllerSession& operator=(const ControllerSession&) = delete;

    // Asks the controller for its firmware version (std::runtime_error or timeout_exception
    // when it cannot be asked) and keeps it.
    const FirmwareVersion& identify();

    const DeviceInfoNode& node() const { return node_; }
    int index() const { return index_; }
    std::string serial() const;
    std::string description() const;
    std::uint32_t chipId() const { return chipId_; }
    const FirmwareVersion& version() const { return version_; }
    // Configurations are written only to firmware 5.2.
    bool writable() const { return supportsWriting(version_); }
    static bool supportsWriting(const FirmwareVersion& version);

    ArmLink& link() { return link_; }

private:
    void prepare();

    DeviceHandle handle_;
    DeviceInfoNode node_{};
    int index_ = -1;
    std::uint32_t chipId_ = 0;
    FirmwareVersion version_{};
    ArmLink link_;
};

// Which of the two record sets of a controller an operation reads.
enum class RecordSet : std::uint8_t { Current, Default };

// Read one record, or both (application first). A record that cannot be received intact
// throws std::runtime_error; a silent controller timeout_exception.
APPConfiguration readAppRecord(ControllerSession& session, RecordSet set);
MCConfiguration readMcRecord(ControllerSession& session, RecordSet set);
LpfpConfiguration readRecords(ControllerSession& session, RecordSet set);

// Asks the bridge for its status text (a request frame holding the status query) and returns
// what arrived until the line fell quiet after it, within the read time-out; empty when
// nothing did.
std::string queryBridgeStatus(ControllerSession& session);
