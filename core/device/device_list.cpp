#include "core/device/device_list.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

template <std::size_t N> void copyText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// The device as a message names it: its serial number, and its port where it has one.
std::string deviceName(const DeviceInfoNode& node) {
    const std::string serial = serialNumberOf(node);
    if (node.port.empty())
        return serial;
    return serial.empty() ? node.port : serial + " (" + node.port + ")";
}

} // namespace

DeviceInfoNode makeDeviceInfoNode(const std::string& serial, const std::string& description, std::uint32_t id,
                                  std::uint32_t locId, const std::string& port) {
    DeviceInfoNode node;
    node.type = 5;
    node.id = id;
    node.locId = locId;
    copyText(node.serialNumber, serial);
    copyText(node.description, description);
    node.port = port;
    return node;
}

std::string serialNumberOf(const DeviceInfoNode& node) {
    return std::string(node.serialNumber, strnlen(node.serialNumber, sizeof node.serialNumber));
}

std::string descriptionOf(const DeviceInfoNode& node) {
    return std::string(node.description, strnlen(node.description, sizeof node.description));
}

std::vector<DeviceInfoNode> enumerateDevices(DeviceBackend& backend) {
    std::vector<DeviceInfoNode> nodes;
    if (const DeviceStatus status = backend.listDevices(nodes); status != STATUS_OK)
        throw std::runtime_error("Error: FT_CreateDeviceInfoList(...):  Status: " + std::to_string(status));
    return nodes;
}

DeviceHandle& DeviceHandle::operator=(DeviceHandle&& other) noexcept {
    if (this != &other) {
        port_ = std::move(other.port_);
        putBack_ = std::move(other.putBack_);
        other.putBack_.clear();
        inFlight_ = std::exchange(other.inFlight_, false);
        resyncExchanges_ = std::exchange(other.resyncExchanges_, 0);
    }
    return *this;
}

void DeviceHandle::reset() {
    port_.reset();
    putBack_.clear();
    inFlight_ = false;
    resyncExchanges_ = 0;
}

DeviceStatus DeviceHandle::read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) {
    received = 0;
    if (!port_ || (buffer == nullptr && count > 0))
        return STATUS_INVALID_HANDLE;
    const auto held = static_cast<std::uint32_t>(std::min<std::size_t>(count, putBack_.size()));
    if (held > 0) {
        std::copy_n(putBack_.begin(), held, buffer);
        putBack_.erase(putBack_.begin(), putBack_.begin() + held);
        received = held;
        if (held == count)
            return STATUS_OK;
    }
    std::uint32_t got = 0;
    const DeviceStatus status = port_->read(buffer + held, count - held, got);
    received += got;
    return status;
}

void DeviceHandle::putBack(const std::uint8_t* data, std::uint32_t count) {
    if (port_ && data != nullptr && count > 0)
        putBack_.insert(putBack_.begin(), data, data + count);
}

DeviceStatus DeviceHandle::write(const std::uint8_t* data, std::uint32_t count,
                                 std::uint32_t& written) const {
    written = 0;
    if (!port_ || (data == nullptr && count > 0))
        return STATUS_INVALID_HANDLE;
    return port_->write(data, count, written);
}

DeviceStatus DeviceHandle::queued(std::uint32_t& received) const {
    received = 0;
    if (!port_)
        return STATUS_INVALID_HANDLE;
    const DeviceStatus status = port_->queued(received);
    received += static_cast<std::uint32_t>(putBack_.size());
    return status;
}

DeviceStatus DeviceHandle::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) const {
    return port_ ? port_->setTimeouts(readMs, writeMs) : STATUS_INVALID_HANDLE;
}

DeviceStatus DeviceHandle::chipId(std::uint32_t& id) const {
    id = 0;
    return port_ ? port_->chipId(id) : STATUS_INVALID_HANDLE;
}

DeviceStatus DeviceHandle::waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                                      std::uint32_t& received) const {
    received = 0;
    if (!port_)
        return STATUS_INVALID_HANDLE;
    const auto held = static_cast<std::uint32_t>(putBack_.size());
    if (held >= count)
        return queued(received);
    const DeviceStatus status = port_->waitQueued(count - held, deadline, received);
    received += held;
    return status;
}

LineTiming DeviceHandle::timing() const {
    return port_ ? port_->timing() : LineTiming{};
}

std::string DeviceHandle::name() const {
    return port_ ? port_->name() : std::string();
}

DeviceHandle openDevice(DeviceBackend& backend, const DeviceInfoNode& node) {
    std::unique_ptr<DevicePort> port;
    OpenResult opened = backend.open(node, port);
    if (opened.status == STATUS_OK && !port)
        opened.status = STATUS_DEVICE_NOT_OPENED;
    if (opened.status == STATUS_OK)
        return DeviceHandle(std::move(port));
    const DeviceStatus status = opened.status;
    std::string reason;
    if (status == STATUS_DEVICE_NOT_FOUND)
        reason = "Device " + deviceName(node) + " is not connected";
    else if (status == STATUS_DEVICE_IN_USE)
        reason = "Device " + deviceName(node) + " is in use by another program";
    else if (!opened.reason.empty())
        // What only the backend knows: the port's own refusal, the driver call that failed.
        reason = std::move(opened.reason);
    else
        reason =
            "Device " + deviceName(node) + " could not be opened (status " + std::to_string(status) + ")";
    spdlog::error("{}", reason);
    throw device_open_error(status, reason);
}

namespace {

class UnavailableBackend final : public DeviceBackend {
public:
    UnavailableBackend(std::string name, std::string reason)
        : name_(std::move(name)), reason_(std::move(reason)) {}

    std::string name() const override { return name_; }
    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        nodes.clear();
        throw std::runtime_error(reason_);
    }
    OpenResult open(const DeviceInfoNode& /*node*/, std::unique_ptr<DevicePort>& /*port*/) override {
        throw std::runtime_error(reason_);
    }

private:
    std::string name_;
    std::string reason_;
};

} // namespace

std::shared_ptr<DeviceBackend> makeUnavailableBackend(std::string name, std::string reason) {
    return std::make_shared<UnavailableBackend>(std::move(name), std::move(reason));
}

std::uint32_t readChipId(const DeviceHandle& handle) {
    std::uint32_t chipId = 0;
    if (handle.chipId(chipId) != STATUS_OK)
        return 0;
    return chipId;
}

void setDeviceTimeouts(const DeviceHandle& handle, std::uint32_t readMs, std::uint32_t writeMs) {
    handle.setTimeouts(readMs, writeMs);
}
