#include "simulator/backend.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace {

// One simulated bridge as an open port. Reads wait for bytes that are on their way (a reply
// still inside its latency) but never for bytes that will not come.
class SimulatedPort final : public DevicePort {
public:
    explicit SimulatedPort(std::unique_ptr<SimulatedDevice> device) : device_(std::move(device)) {}

    SimulatedDevice& device() { return *device_; }

    std::string name() const override { return "simulated device " + std::to_string(device_->index()); }

    DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t /*writeMs*/) override {
        readTimeoutMs_ = readMs;
        return STATUS_OK;
    }

    DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) override {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs_);
        // Waits for bytes that are on their way, never for bytes that will not come.
        const std::size_t coming = std::min<std::size_t>(count, device_->queuedTotal());
        if (const auto due = device_->dueTime(coming))
            sleepUntil(std::min(*due, deadline));
        received = static_cast<std::uint32_t>(device_->take(buffer, count));
        return STATUS_OK;
    }

    DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                            std::uint32_t& received) override {
        // Nothing can arrive but what the device has queued: sleep until the count-th byte of
        // it is due, or to the deadline when it will never come.
        const auto due = device_->dueTime(count);
        sleepUntil(due ? std::min(*due, deadline) : deadline);
        received = static_cast<std::uint32_t>(device_->readable());
        return STATUS_OK;
    }

    DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override {
        device_->receive(data, count);
        written = count;
        return STATUS_OK;
    }

    DeviceStatus queued(std::uint32_t& received) override {
        received = static_cast<std::uint32_t>(device_->readable());
        return STATUS_OK;
    }

    LineTiming timing() const override {
        return LineTiming{device_->scenario().baud, device_->scenario().latencyTimerMs};
    }

    DeviceStatus chipId(std::uint32_t& id) override {
        id = device_->settings().chipId;
        return STATUS_OK;
    }

private:
    std::unique_ptr<SimulatedDevice> device_;
    // The vendor driver's default until the program sets its own.
    std::uint32_t readTimeoutMs_ = 5000;
};

class SimulatedBackend final : public DeviceBackend {
public:
    explicit SimulatedBackend(std::string text) : text_(std::move(text)) {
        try {
            scenario_ = parseSimScenario(text_);
        } catch (const std::invalid_argument& error) {
            error_ = error.what();
        }
    }

    std::string name() const override { return "simulator"; }

    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        nodes.clear();
        if (!readable())
            return STATUS_INVALID_PARAMETER;
        if (scenario_->listError != 0)
            return scenario_->listError;
        for (int index = 0; index < scenario_->devices; ++index) {
            const SimDeviceSettings settings = simDeviceSettings(*scenario_, index);
            nodes.push_back(makeDeviceInfoNode(settings.serial, settings.description, 0x04036001u,
                                               static_cast<std::uint32_t>(0x11 + index)));
        }
        return STATUS_OK;
    }

    // By serial number, as the vendor's driver opens a device.
    OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) override {
        if (!scenario_)
            return {STATUS_INVALID_PARAMETER, "VARKO5_SIMULATOR: " + error_};
        // The refusal of a driver that says no more than its status.
        if (scenario_->openError)
            return {STATUS_DEVICE_NOT_OPENED, {}};
        const std::string serial = serialNumberOf(node);
        int index = 0;
        while (index < scenario_->devices && simDeviceSettings(*scenario_, index).serial != serial)
            ++index;
        if (index >= scenario_->devices)
            return {STATUS_DEVICE_NOT_FOUND, {}};
        auto device =
            std::make_unique<SimulatedDevice>(*scenario_, index, simulatorSharedRecords(text_, index));
        port = std::make_unique<SimulatedPort>(std::move(device));
        return {};
    }

private:
    bool readable() const {
        if (scenario_)
            return true;
        spdlog::error("VARKO5_SIMULATOR: {}", error_);
        return false;
    }

    std::string text_;
    std::optional<SimScenario> scenario_;
    std::string error_;
};

} // namespace

std::shared_ptr<DeviceBackend> makeSimulatedBackend(const std::string& scenarioText) {
    return std::make_shared<SimulatedBackend>(scenarioText);
}

SimulatedDevice* simulatedDeviceOf(const DeviceHandle& handle) {
    auto* port = dynamic_cast<SimulatedPort*>(handle.port());
    return port != nullptr ? &port->device() : nullptr;
}
