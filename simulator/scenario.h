#pragma once
// The scenario of the simulated bridge and controller: how many devices, what they are called,
// what they answer and which faults they show. The in-process backend and lpfp_sim both read
// it, so a scenario behaves the same across a function call and across a pseudo-terminal.
//
// A scenario is a string of semicolon-separated key=value pairs; list values are separated by
// commas, one entry per device, and the last entry repeats for further devices:
//   devices=N            number of listed devices (default 1, 0 allowed)
//   serial=S1,S2         serial numbers (default VK5SIM0001, VK5SIM0002, ...)
//   description=D1,D2    descriptions (default "Varko 5 Bridge (simulated)")
//   chipid=X1,X2         chip identifiers, hex (0x...) or decimal
//   fw=5.2,5.1           firmware version of each controller (default 5.2)
//   latency=MS           delay before a controller reply becomes readable (default 0)
//   baud=N               paces every byte, both ways, at N baud 8N1 (10 bits a byte); the
//                        bridge answers a frame once its last byte has arrived
//   latency_timer=MS     the bridge hands received bytes to the host every MS milliseconds,
//                        all that arrived since the last hand-over, as an FTDI bridge does
//                        (default 0: each byte as it arrives)
//   state=P1,P2          files holding the current records: loaded at open when present,
//                        written after every accepted set; without one the records live in
//                        memory for the process
//   pending=N            N junk bytes waiting in the receive queue when the device is opened
//   fault=F1,F2          faults (see SimFault), restricted by
//   fault_on=13,16       the command numbers they apply to (default all)
//   fault_device=N       the device index they apply to (default all)
//   signal_on=16,17      the hosting process sends itself a signal when the controller gets
//                        the first of these commands, then again at the next one after it,
//                        and so on; each is taken by the program before the command is
//                        answered, so a test can interrupt a run at a known point. Restricted
//                        by fault_device. Only for programs that handle the signal (lpfp_cli)
//   signal=int|term      which signal signal_on sends (default int)
//   list_error=N         building the device list fails with status N
//   open_error=1         opening any device fails

#include <cstdint>
#include <string>
#include <utility>
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
    std::uint32_t baud = 0;           // 0: bytes are not paced
    std::uint32_t latencyTimerMs = 0; // 0: received bytes are handed over at once
    std::uint32_t pendingBytes = 0;
    std::vector<SimFault> faults;
    std::vector<int> faultCommands; // empty: every command
    int faultDevice = -1;           // -1: every device
    std::vector<int> signalCommands;
    int signalNumber = 2; // SIGINT (the number is the same on every system this runs on)
    std::uint32_t listError = 0;
    bool openError = false;
};

// Throws std::invalid_argument naming the offending key or value.
SimScenario parseSimScenario(const std::string& text);

// One line of help for a scenario key or a fault name, as lpfp_sim --help lists them.
struct SimScenarioHelp {
    const char* name;    // "latency_timer", "silent_bridge"
    const char* value;   // the value's form ("MS"); empty for a fault name
    const char* meaning; // one line, without a final full stop
};
// Every key parseSimScenario takes, in the order of the list at the top of this file; a key
// outside it is refused.
const std::vector<SimScenarioHelp>& simScenarioKeys();
// Every fault name "fault=" takes.
const std::vector<SimScenarioHelp>& simFaultNames();

// What one device of a scenario is.
struct SimDeviceSettings {
    std::string serial;
    std::string description;
    std::uint32_t chipId = 0;
    int fwMajor = 5;
    int fwMinor = 2;
    std::string statePath;
};
SimDeviceSettings simDeviceSettings(const SimScenario& scenario, int index);
