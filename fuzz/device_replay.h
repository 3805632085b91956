#pragma once
// A link to a controller whose every byte comes from a recording: the simulated bridge is
// made silent, so the only bytes the link reads are the ones injected. Waits are cut to
// nothing, since whatever will ever arrive is queued from the start.

#include "core/device/arm_link.h"
#include "core/device/device_list.h"
#include "simulator/simulator.h"

#include <chrono>
#include <cstddef>
#include <cstdint>

// The scenario of the silent bridge the replays run against.
inline constexpr const char* REPLAY_SCENARIO = "fault=silent_bridge";

// The operations a replay drives, in the order one input runs them.
enum class ReplayStep : std::uint8_t {
    Message,
    Acknowledge,
    Version,
    GetMc,
    GetDefaultMc,
    GetApp,
    GetDefaultApp,
    SetMc,
    SetApp,
};
inline constexpr std::size_t REPLAY_STEPS = 9;

struct ReplayLink {
    ReplayLink() : handle(openSilent()), link(handle) {
        link.setReplyTimeout(0);
        link.setQuietWindow(std::chrono::milliseconds(0));
    }

    SimulatedDevice& device() { return *simulatedDeviceOf(handle); }
    std::uint32_t queued() {
        std::uint32_t rx = 0;
        handle.queued(rx);
        return rx;
    }

    DeviceHandle handle;
    ArmLink link;

private:
    static DeviceHandle openSilent() {
        const std::shared_ptr<DeviceBackend> backend = makeSimulatedBackend(REPLAY_SCENARIO);
        return openDevice(*backend, enumerateDevices(*backend).at(0));
    }
};
