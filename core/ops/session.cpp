#include "core/ops/session.h"

#include "core/device/timeouts.h"
#include "core/ops/device_choice.h"

#include <utility>

namespace {

constexpr std::uint8_t BRIDGE_STATUS_QUERY = protocol::STATUS_QUERY;
constexpr std::uint32_t STATUS_REPLY_CAPACITY = 10240;

} // namespace

ControllerSession::ControllerSession(DeviceBackend& backend, const DeviceInfoNode& node, int index)
    : ControllerSession(openDevice(backend, node), node, index) {}

ControllerSession::ControllerSession(DeviceHandle handle, const DeviceInfoNode& node, int index)
    : handle_(std::move(handle)), node_(node), index_(index), link_(handle_) {
    prepare();
}

void ControllerSession::prepare() {
    chipId_ = readChipId(handle_);
    setDeviceTimeouts(handle_, timeouts::READ_MS, timeouts::WRITE_MS);
    link_.flush();
}

const FirmwareVersion& ControllerSession::identify() {
    version_ = link_.ARM_getVersion();
    return version_;
}

std::string ControllerSession::serial() const {
    return serialNumberOf(node_);
}

std::string ControllerSession::description() const {
    return descriptionOf(node_);
}

bool ControllerSession::supportsWriting(const FirmwareVersion& version) {
    return version.valid && version.major == 5 && version.minor == 2;
}

APPConfiguration readAppRecord(ControllerSession& session, RecordSet set) {
    return set == RecordSet::Default ? session.link().ARM_getDefaultAppConfig()
                                     : session.link().ARM_getAppConfig();
}

MCConfiguration readMcRecord(ControllerSession& session, RecordSet set) {
    return set == RecordSet::Default ? session.link().ARM_getDefaultMCConfig()
                                     : session.link().ARM_getMCConfig();
}

LpfpConfiguration readRecords(ControllerSession& session, RecordSet set) {
    LpfpConfiguration pair;
    pair.app = readAppRecord(session, set);
    pair.mc = readMcRecord(session, set);
    return pair;
}

std::string queryBridgeStatus(ControllerSession& session) {
    const std::uint8_t query = BRIDGE_STATUS_QUERY;
    session.link().sendMessage(messageType::REQUEST, &query, 1);
    std::string reply(STATUS_REPLY_CAPACITY, '\0');
    const std::uint32_t received = session.link().readUntilQuiet(
        reinterpret_cast<std::uint8_t*>(reply.data()), STATUS_REPLY_CAPACITY, timeouts::READ_MS);
    reply.resize(received);
    return reply;
}
