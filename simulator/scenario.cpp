#include "simulator/scenario.h"

#include "core/config/c_number.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.emplace_back(trimmed(std::string_view(text).substr(
            start, end == std::string::npos ? std::string::npos : end - start)));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

std::uint32_t parseNumber(const std::string& key, const std::string& value, std::uint32_t maximum) {
    const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    const std::string digits = hex ? value.substr(2) : value;
    const bool valid = !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
        return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
    });
    if (!valid || digits.size() > (hex ? 8u : 10u))
        throw std::invalid_argument("Invalid value '" + value + "' for scenario key " + key);
    const unsigned long long number = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (number > maximum)
        throw std::invalid_argument("Value '" + value + "' too large for scenario key " + key);
    return static_cast<std::uint32_t>(number);
}

struct FaultName {
    SimScenarioHelp help;
    SimFault fault;
};

const std::vector<FaultName>& faultTable() {
    static const std::vector<FaultName> table = {
        {{"silent_bridge", "", "no acknowledge, no reply"}, SimFault::SilentBridge},
        {{"silent_controller", "", "acknowledge, then no reply"}, SimFault::SilentController},
        {{"ack_failed", "", "the acknowledge is 3C EE 11"}, SimFault::AckFailed},
        {{"ack_bad_checksum", "", "the acknowledge is 3C BB 44"}, SimFault::AckBadChecksum},
        {{"ack_garbled", "", "the acknowledge is 3C 07 07"}, SimFault::AckGarbled},
        {{"bad_crc", "", "the reply's CRC is wrong"}, SimFault::BadCrc},
        {{"truncated_reply", "", "fewer bytes than the reply's head declares"}, SimFault::TruncatedReply},
        {{"short_reply", "", "a well-formed reply with half the record"}, SimFault::ShortReply},
        {{"wrong_signature", "", "a get reply carries the other record"}, SimFault::WrongSignature},
        {{"set_refused", "", "a set reply starts with another byte; nothing stored"}, SimFault::SetRefused},
        {{"change_on_write", "", "a stored record gets 1.0 added to one field"}, SimFault::ChangeOnWrite},
        {{"stray_bytes", "", "junk bytes queued before the acknowledge"}, SimFault::StrayBytes},
        {{"huge_length", "", "the reply's head declares 65535 bytes"}, SimFault::HugeLength},
        {{"short_version", "", "a version reply of 20 bytes"}, SimFault::ShortVersion},
        {{"odd_start", "", "the reply starts with 0x05"}, SimFault::OddStart},
    };
    return table;
}

SimFault parseFault(const std::string& name) {
    for (const FaultName& entry : faultTable())
        if (name == entry.help.name)
            return entry.fault;
    throw std::invalid_argument("Unknown simulator fault '" + name + "'");
}

bool isScenarioKey(const std::string& key) {
    const auto& keys = simScenarioKeys();
    return std::any_of(keys.begin(), keys.end(),
                       [&](const SimScenarioHelp& help) { return key == help.name; });
}

template <class T> const T* pick(const std::vector<T>& list, int index) {
    if (list.empty())
        return nullptr;
    return &list[std::min<std::size_t>(static_cast<std::size_t>(index), list.size() - 1)];
}

} // namespace

const std::vector<SimScenarioHelp>& simScenarioKeys() {
    static const std::vector<SimScenarioHelp> keys = {
        {"devices", "N", "number of listed devices, 0 to 64 (default 1)"},
        {"serial", "S1,S2", "serial numbers (default VK5SIM0001, VK5SIM0002, ...)"},
        {"description", "D1,D2", "descriptions (default \"Varko 5 Bridge (simulated)\")"},
        {"chipid", "X1,X2", "chip identifiers, hex (0x1234ABCD) or decimal"},
        {"fw", "5.2,5.1", "firmware version of each controller (default 5.2)"},
        {"latency", "MS", "delay before each controller reply can be read (default 0)"},
        {"baud", "N", "every byte, both ways, takes its time on an N-baud 8N1 line"},
        {"latency_timer", "MS", "the bridge hands bytes over every MS ms (1 to 255)"},
        {"state", "P1,P2", "files keeping the current records from one run to the next"},
        {"pending", "N", "N junk bytes waiting in the receive queue at open"},
        {"fault", "F1,F2", "faults to show (see below)"},
        {"fault_on", "13,16", "command numbers the faults apply to (default all)"},
        {"fault_device", "N", "device index the faults apply to (default all)"},
        {"signal_on", "16,17", "send the program a signal when these commands arrive"},
        {"signal", "int|term", "which signal signal_on sends (default int)"},
        {"list_error", "N", "building the device list fails with status N"},
        {"open_error", "1", "opening any device fails"},
    };
    return keys;
}

const std::vector<SimScenarioHelp>& simFaultNames() {
    static const std::vector<SimScenarioHelp> names = [] {
        std::vector<SimScenarioHelp> list;
        for (const FaultName& entry : faultTable())
            list.push_back(entry.help);
        return list;
    }();
    return names;
}

SimScenario parseSimScenario(const std::string& text) {
    SimScenario scenario;
    scenario.text = text;
    for (const std::string& item : split(text, ';')) {
        if (item.empty())
            continue;
        const auto equals = item.find('=');
        if (equals == std::string::npos)
            throw std::invalid_argument("Scenario entry '" + item + "' lacks '='");
        const std::string key(trimmed(std::string_view(item).substr(0, equals)));
        const std::string value(trimmed(std::string_view(item).substr(equals + 1)));
        const std::vector<std::string> list = split(value, ',');
        if (!isScenarioKey(key))
            throw std::invalid_argument("Unknown scenario key '" + key + "'");
        if (key == "devices") {
            scenario.devices = static_cast<int>(parseNumber(key, value, 64));
        } else if (key == "serial") {
            scenario.serials = list;
        } else if (key == "description") {
            scenario.descriptions = list;
        } else if (key == "chipid") {
            scenario.chipIds.clear();
            for (const auto& entry : list)
                scenario.chipIds.push_back(parseNumber(key, entry, 0xFFFFFFFFu));
        } else if (key == "fw") {
            scenario.firmware.clear();
            for (const auto& entry : list) {
                const auto dot = entry.find('.');
                if (dot == std::string::npos)
                    throw std::invalid_argument("Invalid value '" + entry + "' for scenario key fw");
                scenario.firmware.emplace_back(
                    static_cast<int>(parseNumber(key, entry.substr(0, dot), 255)),
                    static_cast<int>(parseNumber(key, entry.substr(dot + 1), 255)));
            }
        } else if (key == "latency") {
            scenario.latencyMs = parseNumber(key, value, 60000);
        } else if (key == "baud") {
            scenario.baud = parseNumber(key, value, 12000000);
        } else if (key == "latency_timer") {
            scenario.latencyTimerMs = parseNumber(key, value, 255);
        } else if (key == "pending") {
            scenario.pendingBytes = parseNumber(key, value, 1u << 20);
        } else if (key == "state") {
            scenario.statePaths = list;
        } else if (key == "fault") {
            scenario.faults.clear();
            for (const auto& entry : list)
                if (!entry.empty())
                    scenario.faults.push_back(parseFault(entry));
        } else if (key == "fault_on") {
            scenario.faultCommands.clear();
            for (const auto& entry : list)
                scenario.faultCommands.push_back(static_cast<int>(parseNumber(key, entry, 255)));
        } else if (key == "fault_device") {
            scenario.faultDevice = static_cast<int>(parseNumber(key, value, 64));
        } else if (key == "signal_on") {
            scenario.signalCommands.clear();
            for (const auto& entry : list)
                scenario.signalCommands.push_back(static_cast<int>(parseNumber(key, entry, 255)));
        } else if (key == "signal") {
            if (value == "int")
                scenario.signalNumber = SIGINT;
            else if (value == "term")
                scenario.signalNumber = SIGTERM;
            else
                throw std::invalid_argument("Invalid value '" + value + "' for scenario key signal");
        } else if (key == "list_error") {
            scenario.listError = parseNumber(key, value, 0xFFFFFFFFu);
        } else if (key == "open_error") {
            scenario.openError = parseNumber(key, value, 1) != 0;
        } else {
            throw std::invalid_argument("Unknown scenario key '" + key + "'");
        }
    }
    return scenario;
}

SimDeviceSettings simDeviceSettings(const SimScenario& scenario, int index) {
    SimDeviceSettings settings;
    if (const auto* serial = pick(scenario.serials, index)) {
        settings.serial = *serial;
    } else {
        char text[16];
        std::snprintf(text, sizeof text, "VK5SIM%04d", (index + 1) % 10000);
        settings.serial = text;
    }
    const auto* description = pick(scenario.descriptions, index);
    settings.description = description != nullptr ? *description : "Varko 5 Bridge (simulated)";
    if (const auto* chipId = pick(scenario.chipIds, index))
        settings.chipId = *chipId;
    else
        settings.chipId = 0x5A5A0000u + static_cast<std::uint32_t>(index + 1);
    if (const auto* firmware = pick(scenario.firmware, index)) {
        settings.fwMajor = firmware->first;
        settings.fwMinor = firmware->second;
    }
    if (const auto* path = pick(scenario.statePaths, index))
        settings.statePath = *path;
    return settings;
}
