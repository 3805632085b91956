#pragma once
// The simulated bridge and controller. The in-process backend of the platform layer and the
// lpfp_sim program both serve it, so a scenario behaves the same across a function call and
// across a pseudo-terminal.
//
// A scenario is a string of semicolon-separated key=value pairs; list values are separated by
// commas, one entry per device, and the last entry repeats for further devices:
//   devices=N            number of listed devices (default 1, 0 allowed)
//   serial=S1,S2         serial numbers (default VK5SIM0001, VK5SIM0002, ...)
//   description=D1,D2    descriptions (default "Varko 5 Bridge (simulated)")
//   chipid=X1,X2         chip identifiers, hex (0x...) or decimal
//   fw=5.2,5.1           firmware version of each controller (default 5.2)
//   latency=MS           delay before a controller reply becomes readable (default 0)
//   state=P1,P2          files holding the current records: loaded at open when present,
//                        written after every accepted set; without one the records live in
//                        memory for the process
//   pending=N            N junk bytes waiting in the receive queue when the device is opened
//   fault=F1,F2          faults (see SimFault), restricted by
//   fault_on=13,16       the command numbers they apply to (default all)
//   fault_device=N       the device index they apply to (default all)
//   list_error=N         building the device list fails with status N
//   open_error=1         opening any device fails

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

enum class SimFault : std::uint8_t {
    SilentBridge,     // "silent_bridge": a frame gets neither acknowledge nor reply
    SilentController, // "silent_controller": acknowledge SUCCESS, then no reply
    AckFailed,        // "ack_failed": 3C EE 11
    AckBadChecksum,   // "ack_bad_checksum": 3C BB 44
    AckGarbled,       // "ack_garbled": 3C 07 07
    BadCrc,           // "bad_crc": the reply's CRC is wrong
    TruncatedReply,   // "truncated_reply": the reply stops before the length its head declares
    ShortReply,       // "short_reply": a well-formed reply carrying half the payload
    WrongSignature,   // "wrong_signature": a get reply carries the other record's payload
    SetRefused,       // "set_refused": a set reply starts with another byte, nothing stored
    ChangeOnWrite,    // "change_on_write": a stored record gets one field altered by 1.0
    StrayBytes,       // "stray_bytes": junk bytes queued before the acknowledge
    HugeLength,       // "huge_length": the reply head declares 65535 payload bytes
    ShortVersion,     // "short_version": a version reply of 20 bytes
    OddStart,         // "odd_start": the reply starts with 0x05 instead of 2 or 3
};

struct SimScenario {
    std::string text; // as given; identifies the scenario's in-memory records
    int devices = 1;
    std::vector<std::string> serials;
    std::vector<std::string> descriptions;
    std::vector<std::uint32_t> chipIds;
    std::vector<std::pair<int, int>> firmware;
    std::vector<std::string> statePaths;
    std::uint32_t latencyMs = 0;
    std::uint32_t pendingBytes = 0;
    std::vector<SimFault> faults;
    std::vector<int> faultCommands; // empty: every command
    int faultDevice = -1;           // -1: every device
    std::uint32_t listError = 0;
    bool openError = false;
};

// Throws std::invalid_argument naming the offending key or value.
SimScenario parseSimScenario(const std::string& text);

struct SimDeviceSettings {
    std::string serial;
    std::string description;
    std::uint32_t chipId = 0;
    int fwMajor = 5;
    int fwMinor = 2;
    std::string statePath;
};
SimDeviceSettings simDeviceSettings(const SimScenario& scenario, int index);

// The records a fresh simulated controller holds, current and default alike. Every value
// survives the wire encoding unchanged.
MCConfiguration simulatorDefaultMcConfig();
APPConfiguration simulatorDefaultAppConfig();
// The text the bridge sends in answer to the status query.
std::string simulatorStatusText(const SimDeviceSettings& settings);

struct SimRecords {
    APPConfiguration app = simulatorDefaultAppConfig();
    MCConfiguration mc = simulatorDefaultMcConfig();
};

// The current records of one device of one scenario, shared by every open in this process.
std::shared_ptr<SimRecords> simulatorSharedRecords(const std::string& scenarioText, int index);
// Forget every scenario's in-memory records (tests start afresh with it).
void simulatorForgetRecords();

// State files: a short header, then both payloads. False when the file is missing or damaged.
bool loadSimState(const std::string& path, SimRecords& records);
bool saveSimState(const std::string& path, const SimRecords& records);

// One simulated bridge with its controller. The host's bytes go in through receive(); the
// answers wait in an outgoing queue, each byte readable from its due time on.
class SimulatedDevice {
public:
    using Clock = std::chrono::steady_clock;

    SimulatedDevice(SimScenario scenario, int index, std::shared_ptr<SimRecords> records);

    void receive(const std::uint8_t* data, std::size_t length);
    // Bytes that are due now.
    std::size_t readable() const;
    // Bytes queued but not yet due, and the time the first of them falls due.
    bool hasPending() const;
    Clock::time_point nextDue() const;
    std::size_t take(std::uint8_t* out, std::size_t count);

    // Put bytes straight into the outgoing queue, readable at once.
    void inject(const std::uint8_t* data, std::size_t length);
    // Everything the host has written so far.
    const std::vector<std::uint8_t>& received() const { return log_; }
    const SimRecords& records() const { return *records_; }
    const SimScenario& scenario() const { return scenario_; }
    int index() const { return index_; }
    const SimDeviceSettings& settings() const { return settings_; }

private:
    struct Chunk {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    void processInput();
    void handleFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t length);
    void handleCommand(const std::uint8_t* payload, std::size_t length);
    bool faultActive(SimFault fault, int command) const;
    void send(std::vector<std::uint8_t> bytes, std::uint32_t delayMs = 0);
    void sendAck(std::uint8_t second, std::uint8_t third) { send({0x3C, second, third}); }
    void sendReply(int command, const std::vector<std::uint8_t>& payload);

    SimScenario scenario_;
    int index_;
    SimDeviceSettings settings_;
    std::shared_ptr<SimRecords> records_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> log_;
    std::deque<Chunk> output_;
    std::size_t outputOffset_ = 0; // bytes of output_.front() already taken
};

// The simulated device behind a handle opened by the in-process backend; nullptr for a
// handle of the serial-port backend.
struct PlatformDevice;
SimulatedDevice* simulatedDeviceOf(PlatformDevice* handle);
