// Arbitrary device output through packet receive, the acknowledge and every controller
// command. The first input byte picks the first operation (low nibble) and the receive buffer
// size for a bare packet receive (high nibble); the rest is everything the device sends.
// Operations then follow in a fixed cycle while unread bytes remain. Each must end in a
// result, std::runtime_error or timeout_exception.
#include "fuzz/device_replay.h"
#include "fuzz/harness.h"

#include "core/device/packet.h"

#include <spdlog/spdlog.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::size_t CAPACITIES[] = {1, 3, 4, 9, 25, 256, 464, ARM_BUFFER_SIZE};

void check(bool condition) {
    if (!condition)
        std::abort();
}

void receive(ArmLink& link, std::size_t capacity) {
    // Exactly capacity bytes on the heap, so a write past the end is caught.
    std::vector<std::uint8_t> buffer(capacity);
    const std::uint32_t length = link.getARM_Message(buffer.data(), buffer.size());
    if (length == 0)
        return;
    // A length is only returned for a packet that fitted, CRC included, and passed its check.
    check(length + 3 <= capacity);
    check(crc16(buffer.data(), length) == ((buffer[length] << 8) | buffer[length + 1]));
}

// Runs one operation; true when a command reported success (a valid version, a record, a
// set accepted), which it may only do after the bridge acknowledged its request.
bool run(ArmLink& link, ReplayStep step, std::size_t capacity) {
    static const MCConfiguration mc = simulatorDefaultMcConfig();
    static const APPConfiguration app = simulatorDefaultAppConfig();
    switch (step) {
    case ReplayStep::Message:
        receive(link, capacity);
        return false;
    case ReplayStep::Acknowledge: {
        const ResponseType response = link.acknowledge(static_cast<std::uint8_t>(messageType::ARM_MESSAGE));
        check(static_cast<unsigned>(response) <= static_cast<unsigned>(ResponseType::TIMED_OUT));
        return false;
    }
    case ReplayStep::Version: {
        const FirmwareVersion version = link.ARM_getVersion();
        if (version.valid)
            check(version.major >= 0 && version.major <= 255 && version.minor >= 0 && version.minor <= 255);
        else
            check(version.major == 0 && version.minor == 0);
        return version.valid;
    }
    case ReplayStep::GetMc:
        (void)link.ARM_getMCConfig();
        return true;
    case ReplayStep::GetDefaultMc:
        (void)link.ARM_getDefaultMCConfig();
        return true;
    case ReplayStep::GetApp:
        (void)link.ARM_getAppConfig();
        return true;
    case ReplayStep::GetDefaultApp:
        (void)link.ARM_getDefaultAppConfig();
        return true;
    case ReplayStep::SetMc:
        return link.ARM_setMCConfig(mc);
    case ReplayStep::SetApp:
        return link.ARM_setAppConfig(app);
    }
    return false;
}

} // namespace

void fuzzDevice(const std::uint8_t* data, std::size_t size) {
    spdlog::set_level(spdlog::level::off);
    if (size == 0)
        return;
    const std::size_t first = (data[0] & 0x0Fu) % REPLAY_STEPS;
    const std::size_t capacity = CAPACITIES[(data[0] >> 4) & 0x07u];
    const std::uint8_t* stream = data + 1;
    const std::size_t streamSize = size - 1;
    ReplayLink replay;
    replay.device().inject(stream, streamSize);
    for (std::size_t i = 0; i < REPLAY_STEPS; ++i) {
        const auto step = static_cast<ReplayStep>((first + i) % REPLAY_STEPS);
        const std::size_t start = streamSize - replay.queued();
        try {
            if (run(replay.link, step, capacity))
                check(start + 3 <= streamSize && stream[start] == 0x3C && stream[start + 1] == 0x07 &&
                      stream[start + 2] == 0xF8);
        } catch (const timeout_exception&) {
        } catch (const std::runtime_error&) {
        }
        if (replay.queued() == 0)
            break;
    }
}
