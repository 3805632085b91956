#include "core/device/simulator.h"

#include "core/config/config_codec.h"
#include "core/config/config_fields.h"
#include "core/device/packet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::uint8_t kAckStart = 0x3C;
constexpr std::uint8_t kStatusQuery = 0xC2;
constexpr char kStateHeader[] = "VARKO5-SIM-STATE 1\n";
constexpr std::size_t kStateHeaderSize = sizeof kStateHeader - 1;

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(trim(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
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

SimFault parseFault(const std::string& name) {
    static const std::pair<const char*, SimFault> kNames[] = {
        {"silent_bridge", SimFault::SilentBridge},
        {"silent_controller", SimFault::SilentController},
        {"ack_failed", SimFault::AckFailed},
        {"ack_bad_checksum", SimFault::AckBadChecksum},
        {"ack_garbled", SimFault::AckGarbled},
        {"bad_crc", SimFault::BadCrc},
        {"truncated_reply", SimFault::TruncatedReply},
        {"short_reply", SimFault::ShortReply},
        {"wrong_signature", SimFault::WrongSignature},
        {"set_refused", SimFault::SetRefused},
        {"change_on_write", SimFault::ChangeOnWrite},
        {"stray_bytes", SimFault::StrayBytes},
        {"huge_length", SimFault::HugeLength},
        {"short_version", SimFault::ShortVersion},
        {"odd_start", SimFault::OddStart},
    };
    for (const auto& [text, fault] : kNames)
        if (name == text)
            return fault;
    throw std::invalid_argument("Unknown simulator fault '" + name + "'");
}

template <class T> const T* pick(const std::vector<T>& list, int index) {
    if (list.empty())
        return nullptr;
    return &list[std::min<std::size_t>(static_cast<std::size_t>(index), list.size() - 1)];
}

// Plausible values for every field of a record, each exactly representable in its wire
// encoding: packed floats are quarter steps, scaled float16 fields whole numbers (their
// scales are 10, 100 or 1000, so value x scale is whole and within 16 bits), integers small.
template <class Field, class Record> void fillPlausible(const std::vector<Field>& fields, Record& record) {
    int position = 0;
    for (const Field& field : fields) {
        ++position;
        const FieldRef ref = field.in(record);
        switch (field.type) {
        case FieldType::Float32:
            setFloat(ref, static_cast<float>(position % 23 + 1) *
                              (field.wire == WireEncoding::Float16 ? 1.0f : 0.25f));
            break;
        case FieldType::Bool:
            setInteger(ref, position % 2);
            break;
        case FieldType::Enum:
            setInteger(ref, position % 3);
            break;
        case FieldType::Int8:
            setInteger(ref, position % 7 - 1);
            break;
        default:
            setInteger(ref, position % 97 + 1);
            break;
        }
    }
}

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::pair<std::string, int>, std::shared_ptr<SimRecords>>& registry() {
    static std::map<std::pair<std::string, int>, std::shared_ptr<SimRecords>> records;
    return records;
}

} // namespace

SimScenario parseSimScenario(const std::string& text) {
    SimScenario scenario;
    scenario.text = text;
    for (const std::string& item : split(text, ';')) {
        if (item.empty())
            continue;
        const auto equals = item.find('=');
        if (equals == std::string::npos)
            throw std::invalid_argument("Scenario entry '" + item + "' lacks '='");
        const std::string key = trim(item.substr(0, equals));
        const std::string value = trim(item.substr(equals + 1));
        const std::vector<std::string> list = split(value, ',');
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

MCConfiguration simulatorDefaultMcConfig() {
    MCConfiguration record{};
    fillPlausible(mcFields(), record);
    record.l_current_max = 60.0f;
    record.l_current_min = -60.0f;
    record.l_in_current_max = 40.0f;
    record.l_in_current_min = -20.0f;
    record.l_abs_current_max = 130.0f;
    record.l_min_erpm = -100000.0f;
    record.l_max_erpm = 100000.0f;
    record.l_min_vin = 8.0f;
    record.l_max_vin = 57.0f;
    record.l_battery_cut_start = 10.0f;
    record.l_battery_cut_end = 8.0f;
    record.l_temp_fet_start = 85.0f;
    record.l_temp_fet_end = 100.0f;
    record.l_temp_motor_start = 85.0f;
    record.l_temp_motor_end = 100.0f;
    record.l_min_duty = 0.0078125f;
    record.l_max_duty = 0.9375f;
    record.l_watt_max = 1500000.0f;
    record.l_watt_min = -1500000.0f;
    record.l_current_max_scale = 1.0f;
    record.l_current_min_scale = 1.0f;
    const std::int8_t hallTable[8] = {-1, 1, 3, 2, 5, 6, 4, -1};
    std::copy(std::begin(hallTable), std::end(hallTable), std::begin(record.hall_table));
    record.foc_f_sw = 25000.0f;
    record.si_motor_poles = 14;
    record.si_battery_cells = 12;
    record.bms.t_limit_start = 45.0f;
    record.bms.t_limit_end = 65.0f;
    record.bms.soc_limit_start = 0.25f;
    record.bms.soc_limit_end = 0.125f;
    // Not carried on the wire: a controller never reports them.
    record.lo_current_max = 0.0f;
    record.lo_current_min = 0.0f;
    record.lo_in_current_max = 0.0f;
    record.lo_in_current_min = 0.0f;
    record.lo_current_motor_max_now = 0.0f;
    record.lo_current_motor_min_now = 0.0f;
    return record;
}

APPConfiguration simulatorDefaultAppConfig() {
    APPConfiguration record{};
    fillPlausible(appFields(), record);
    record.controller_id = 0;
    record.timeout_msec = 1000;
    record.timeout_brake_current = 0.0f;
    record.send_can_status_rate_hz = 50;
    record.app_to_use = 2;
    record.app_ppm_conf.hyst = 0.25f;
    record.app_ppm_conf.pulse_start = 1.0f;
    record.app_ppm_conf.pulse_end = 2.0f;
    record.app_ppm_conf.pulse_center = 1.5f;
    record.app_adc_conf.update_rate_hz = 500;
    record.imu_conf.sample_rate_hz = 1000;
    return record;
}

std::string simulatorStatusText(const SimDeviceSettings& settings) {
    return "Varko 5 bridge " + settings.serial + ": ready, controller powered\r\n";
}

std::shared_ptr<SimRecords> simulatorSharedRecords(const std::string& scenarioText, int index) {
    const std::lock_guard<std::mutex> lock(registryMutex());
    auto& slot = registry()[{scenarioText, index}];
    if (!slot)
        slot = std::make_shared<SimRecords>();
    return slot;
}

void simulatorForgetRecords() {
    const std::lock_guard<std::mutex> lock(registryMutex());
    registry().clear();
}

bool loadSimState(const std::string& path, SimRecords& records) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t expected = kStateHeaderSize + APP_CONFIG_PAYLOAD_SIZE + MC_CONFIG_PAYLOAD_SIZE;
    if (bytes.size() != expected || std::memcmp(bytes.data(), kStateHeader, kStateHeaderSize) != 0)
        return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data()) + kStateHeaderSize;
    SimRecords loaded = records;
    if (!appConfigFromBytes(data, loaded.app) ||
        !mcConfigFromBytes(data + APP_CONFIG_PAYLOAD_SIZE, loaded.mc))
        return false;
    records = loaded;
    return true;
}

bool saveSimState(const std::string& path, const SimRecords& records) {
    std::vector<std::uint8_t> bytes(kStateHeaderSize + APP_CONFIG_PAYLOAD_SIZE + MC_CONFIG_PAYLOAD_SIZE);
    std::memcpy(bytes.data(), kStateHeader, kStateHeaderSize);
    appConfigToBytes(bytes.data() + kStateHeaderSize, records.app);
    mcConfigToBytes(bytes.data() + kStateHeaderSize + APP_CONFIG_PAYLOAD_SIZE, records.mc);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

// ---------------------------------------------------------------------------------------------

SimulatedDevice::SimulatedDevice(SimScenario scenario, int index, std::shared_ptr<SimRecords> records)
    : scenario_(std::move(scenario)), index_(index), settings_(simDeviceSettings(scenario_, index)),
      records_(records ? std::move(records) : std::make_shared<SimRecords>()) {
    if (!settings_.statePath.empty())
        loadSimState(settings_.statePath, *records_);
    if (scenario_.pendingBytes > 0) {
        std::vector<std::uint8_t> junk(scenario_.pendingBytes);
        for (std::size_t i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<std::uint8_t>(0xA5u ^ (i & 0xFFu));
        send(std::move(junk));
    }
}

void SimulatedDevice::receive(const std::uint8_t* data, std::size_t length) {
    if (length == 0)
        return;
    log_.insert(log_.end(), data, data + length);
    input_.insert(input_.end(), data, data + length);
    processInput();
}

std::size_t SimulatedDevice::readable() const {
    const auto now = Clock::now();
    std::size_t count = 0;
    bool first = true;
    for (const Chunk& chunk : output_) {
        if (chunk.due > now)
            break;
        count += chunk.bytes.size() - (first ? outputOffset_ : 0);
        first = false;
    }
    return count;
}

bool SimulatedDevice::hasPending() const {
    const auto now = Clock::now();
    return std::any_of(output_.begin(), output_.end(), [now](const Chunk& chunk) { return chunk.due > now; });
}

SimulatedDevice::Clock::time_point SimulatedDevice::nextDue() const {
    const auto now = Clock::now();
    for (const Chunk& chunk : output_)
        if (chunk.due > now)
            return chunk.due;
    return now;
}

std::size_t SimulatedDevice::take(std::uint8_t* out, std::size_t count) {
    const auto now = Clock::now();
    std::size_t taken = 0;
    while (taken < count && !output_.empty() && output_.front().due <= now) {
        Chunk& chunk = output_.front();
        const std::size_t n = std::min(count - taken, chunk.bytes.size() - outputOffset_);
        std::memcpy(out + taken, chunk.bytes.data() + outputOffset_, n);
        taken += n;
        outputOffset_ += n;
        if (outputOffset_ == chunk.bytes.size()) {
            output_.pop_front();
            outputOffset_ = 0;
        }
    }
    return taken;
}

void SimulatedDevice::inject(const std::uint8_t* data, std::size_t length) {
    send(std::vector<std::uint8_t>(data, data + length));
}

void SimulatedDevice::send(std::vector<std::uint8_t> bytes, std::uint32_t delayMs) {
    if (bytes.empty())
        return;
    auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    // Bytes leave in order: nothing overtakes what is already queued.
    if (!output_.empty() && output_.back().due > due)
        due = output_.back().due;
    output_.push_back(Chunk{due, std::move(bytes)});
}

bool SimulatedDevice::faultActive(SimFault fault, int command) const {
    if (std::find(scenario_.faults.begin(), scenario_.faults.end(), fault) == scenario_.faults.end())
        return false;
    if (scenario_.faultDevice >= 0 && scenario_.faultDevice != index_)
        return false;
    if (!scenario_.faultCommands.empty() &&
        std::find(scenario_.faultCommands.begin(), scenario_.faultCommands.end(), command) ==
            scenario_.faultCommands.end())
        return false;
    return true;
}

// The bridge's side: find frames in the byte stream and answer each.
void SimulatedDevice::processInput() {
    while (!input_.empty()) {
        // Anything before a frame's start byte is noise on the line.
        const auto start = std::find(input_.begin(), input_.end(), std::uint8_t{0xC3});
        input_.erase(input_.begin(), start);
        if (input_.size() < 4)
            return;
        const std::size_t length = (static_cast<std::size_t>(input_[2]) << 8) | input_[3];
        if (length > MAX_FRAME_PAYLOAD) {
            sendAck(0xEE, 0x11);
            input_.erase(input_.begin());
            continue;
        }
        if (input_.size() < length + 5)
            return;
        std::uint8_t checksum = 0;
        for (std::size_t i = 0; i < length + 4; ++i)
            checksum = static_cast<std::uint8_t>(checksum ^ input_[i]);
        const std::vector<std::uint8_t> frame(input_.begin(), input_.begin() + static_cast<long>(length + 5));
        input_.erase(input_.begin(), input_.begin() + static_cast<long>(length + 5));
        if (checksum != frame[length + 4]) {
            if (!faultActive(SimFault::SilentBridge, -1))
                sendAck(0xBB, 0x44);
            continue;
        }
        handleFrame(frame[1], frame.data() + 4, length);
    }
}

void SimulatedDevice::handleFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t length) {
    if (type == static_cast<std::uint8_t>(messageType::REQUEST)) {
        if (faultActive(SimFault::SilentBridge, -1))
            return;
        if (length == 1 && payload[0] == kStatusQuery) {
            const std::string text = simulatorStatusText(settings_);
            send(std::vector<std::uint8_t>(text.begin(), text.end()));
        } else {
            sendAck(0xEE, 0x11);
        }
        return;
    }
    if (type != static_cast<std::uint8_t>(messageType::ARM_MESSAGE)) {
        sendAck(0xEE, 0x11);
        return;
    }
    // The bridge hands on only a well-formed controller packet.
    std::size_t head = 0;
    std::size_t packetLength = 0;
    if (length >= 2 && payload[0] == 2) {
        head = 2;
        packetLength = payload[1];
    } else if (length >= 3 && payload[0] == 3) {
        head = 3;
        packetLength = (static_cast<std::size_t>(payload[1]) << 8) | payload[2];
    }
    const bool wellFormed =
        head != 0 && packetLength >= 1 && length == head + packetLength + 3 && payload[length - 1] == 3 &&
        crc16(payload + head, packetLength) ==
            ((static_cast<unsigned>(payload[head + packetLength]) << 8) | payload[head + packetLength + 1]);
    const int command = wellFormed ? payload[head] : -1;
    const bool known = command == 0 || (command >= 13 && command <= 18);
    if (faultActive(SimFault::SilentBridge, command))
        return;
    if (!wellFormed || !known) {
        sendAck(0xEE, 0x11);
        return;
    }
    if (faultActive(SimFault::StrayBytes, command))
        send({0x55, 0xAA, 0x00, 0xFF, 0x13});
    if (faultActive(SimFault::AckFailed, command)) {
        sendAck(0xEE, 0x11);
        return;
    }
    if (faultActive(SimFault::AckBadChecksum, command)) {
        sendAck(0xBB, 0x44);
        return;
    }
    if (faultActive(SimFault::AckGarbled, command)) {
        sendAck(type, type);
        return;
    }
    sendAck(type, static_cast<std::uint8_t>(~type));
    if (faultActive(SimFault::SilentController, command))
        return;
    handleCommand(payload + head, packetLength);
}

// The controller's side: one command packet's payload in, one reply packet out.
void SimulatedDevice::handleCommand(const std::uint8_t* payload, std::size_t length) {
    const int command = payload[0];
    const bool otherRecord = faultActive(SimFault::WrongSignature, command);
    std::vector<std::uint8_t> reply{static_cast<std::uint8_t>(command)};
    std::vector<std::uint8_t> record(MC_CONFIG_PAYLOAD_SIZE);

    const auto appendApp = [&](const APPConfiguration& app) {
        const std::int32_t n = appConfigToBytes(record.data(), app);
        reply.insert(reply.end(), record.begin(), record.begin() + n);
    };
    const auto appendMc = [&](const MCConfiguration& mc) {
        const std::int32_t n = mcConfigToBytes(record.data(), mc);
        reply.insert(reply.end(), record.begin(), record.begin() + n);
    };

    switch (command) {
    case 0: {
        const std::size_t size = faultActive(SimFault::ShortVersion, command) ? 20 : 22;
        reply.push_back(static_cast<std::uint8_t>(settings_.fwMajor));
        reply.push_back(static_cast<std::uint8_t>(settings_.fwMinor));
        const char hardware[] = "VK5";
        reply.insert(reply.end(), hardware, hardware + sizeof hardware);
        for (std::uint32_t i = 0; reply.size() < size; ++i)
            reply.push_back(static_cast<std::uint8_t>((settings_.chipId >> ((i % 4) * 8)) ^ i));
        break;
    }
    case 14:
    case 15: {
        const MCConfiguration mc = command == 14 ? records_->mc : simulatorDefaultMcConfig();
        if (otherRecord)
            appendApp(command == 14 ? records_->app : simulatorDefaultAppConfig());
        else
            appendMc(mc);
        break;
    }
    case 17:
    case 18: {
        const APPConfiguration app = command == 17 ? records_->app : simulatorDefaultAppConfig();
        if (otherRecord)
            appendMc(command == 17 ? records_->mc : simulatorDefaultMcConfig());
        else
            appendApp(app);
        break;
    }
    case 13:
    case 16: {
        const bool isMc = command == 13;
        const std::size_t expected =
            1 + static_cast<std::size_t>(isMc ? MC_CONFIG_PAYLOAD_SIZE : APP_CONFIG_PAYLOAD_SIZE);
        SimRecords updated = *records_;
        const bool decoded = length == expected && (isMc ? mcConfigFromBytes(payload + 1, updated.mc)
                                                         : appConfigFromBytes(payload + 1, updated.app));
        if (!decoded || faultActive(SimFault::SetRefused, command)) {
            reply[0] = static_cast<std::uint8_t>(command + 1);
            break;
        }
        if (faultActive(SimFault::ChangeOnWrite, command)) {
            if (isMc)
                updated.mc.l_current_max += 1.0f;
            else
                updated.app.app_ppm_conf.hyst += 1.0f;
        }
        *records_ = updated;
        if (!settings_.statePath.empty())
            saveSimState(settings_.statePath, *records_);
        break;
    }
    default:
        return;
    }
    sendReply(command, reply);
}

void SimulatedDevice::sendReply(int command, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> body = payload;
    if (faultActive(SimFault::ShortReply, command))
        body.resize(std::max<std::size_t>(1, body.size() / 2));
    std::vector<std::uint8_t> packet(body.size() + 6);
    packet.resize(generateARM_Message(body.data(), body.size(), packet.data()));
    if (faultActive(SimFault::BadCrc, command))
        packet[packet.size() - 2] ^= 0x5A;
    if (faultActive(SimFault::OddStart, command))
        packet = {0x05, 0x11, 0x22, 0x33};
    if (faultActive(SimFault::HugeLength, command)) {
        packet.assign(2051, 0x00);
        packet[0] = 3;
        packet[1] = 0xFF;
        packet[2] = 0xFF;
    }
    if (faultActive(SimFault::TruncatedReply, command))
        packet.resize(packet.size() / 2);
    send(std::move(packet), scenario_.latencyMs);
}
