// Writes the seed corpus of fuzz_device: what a simulated controller sends in answer to the
// requests of each run of operations, healthy and with some of its faults.
//   fuzz_device_seeds <folder>
// The requests are taken from a link talking to a silent bridge, then played to a simulated
// controller of the given scenario, whose answer becomes the seed.
#include "fuzz/device_replay.h"

#include "core/device/packet.h"

#include <spdlog/spdlog.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes the link writes for one operation (nothing for a bare receive or acknowledge).
Bytes requestOf(ReplayStep step) {
    ReplayLink replay;
    try {
        switch (step) {
        case ReplayStep::Message:
        case ReplayStep::Acknowledge:
            break;
        case ReplayStep::Version:
            replay.link.ARM_getVersion();
            break;
        case ReplayStep::GetMc:
            replay.link.ARM_getMCConfig();
            break;
        case ReplayStep::GetDefaultMc:
            replay.link.ARM_getDefaultMCConfig();
            break;
        case ReplayStep::GetApp:
            replay.link.ARM_getAppConfig();
            break;
        case ReplayStep::GetDefaultApp:
            replay.link.ARM_getDefaultAppConfig();
            break;
        case ReplayStep::SetMc:
            replay.link.ARM_setMCConfig(simulatorDefaultMcConfig());
            break;
        case ReplayStep::SetApp:
            replay.link.ARM_setAppConfig(simulatorDefaultAppConfig());
            break;
        }
    } catch (const timeout_exception&) {
    } catch (const std::runtime_error&) {
    }
    return replay.device().received();
}

// What a controller of the scenario sends for the requests.
Bytes answer(const std::string& scenario, const Bytes& requests) {
    SimulatedDevice device(parseSimScenario(scenario), 0, nullptr);
    device.receive(requests.data(), requests.size());
    Bytes out(device.readable());
    out.resize(device.take(out.data(), out.size()));
    return out;
}

void writeSeed(const std::string& path, std::uint8_t selector, const Bytes& stream) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.put(static_cast<char>(selector));
    out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

const char* const STEP_NAMES[REPLAY_STEPS] = {"message",        "ack",     "version",         "get_mc",
                                              "get_default_mc", "get_app", "get_default_app", "set_mc",
                                              "set_app"};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_device_seeds <folder>\n";
        return 2;
    }
    spdlog::set_level(spdlog::level::off);
    const std::string folder = argv[1];
    const Bytes versionPacket = [] {
        const Bytes requests = requestOf(ReplayStep::Version);
        const Bytes reply = answer("", requests);
        return Bytes(reply.begin() + 3, reply.end()); // without the acknowledge
    }();
    try {
        // A bare receive: one version reply packet, in a buffer large enough and in one too small.
        writeSeed(folder + "/message", 0x70, versionPacket);
        writeSeed(folder + "/message_small", 0x30, versionPacket);
        // Each operation followed by the next two of the cycle, healthy.
        for (std::size_t first = 1; first < REPLAY_STEPS; ++first) {
            Bytes requests;
            for (std::size_t i = 0; i < 3; ++i) {
                const Bytes r = requestOf(static_cast<ReplayStep>((first + i) % REPLAY_STEPS));
                requests.insert(requests.end(), r.begin(), r.end());
            }
            Bytes stream = answer("", requests);
            if (first == 1) // the acknowledge step writes nothing: give it one to read
                stream.insert(stream.begin(), {0x3C, 0x07, 0xF8});
            writeSeed(folder + "/" + STEP_NAMES[first], static_cast<std::uint8_t>(0x70 | first), stream);
        }
        // Single operations against a faulty controller.
        const char* const faults[] = {"ack_failed",  "ack_bad_checksum", "ack_garbled", "bad_crc",
                                      "short_reply", "wrong_signature",  "set_refused", "stray_bytes",
                                      "huge_length", "short_version",    "odd_start",   "truncated_reply"};
        for (const char* fault : faults) {
            for (const std::size_t step : {std::size_t{2}, std::size_t{3}, std::size_t{8}}) {
                const Bytes stream =
                    answer(std::string("fault=") + fault, requestOf(static_cast<ReplayStep>(step)));
                writeSeed(folder + "/" + STEP_NAMES[step] + "_" + fault,
                          static_cast<std::uint8_t>(0x70 | step), stream);
            }
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
