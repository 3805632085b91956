#include "simulator/device.h"

#include "core/config/config_codec.h"
#include "core/device/packet.h"
#include "core/device/protocol.h"

#include <csignal>
#ifndef _WIN32
#include <signal.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

std::string simulatorStatusText(const SimDeviceSettings& settings) {
    return "Varko 5 bridge " + settings.serial + ": ready, controller powered\r\n";
}

void sleepUntil(std::chrono::steady_clock::time_point t) {
    while (std::chrono::steady_clock::now() < t)
        std::this_thread::sleep_until(t);
}

SimulatedDevice::SimulatedDevice(SimScenario scenario, int index, std::shared_ptr<SimRecords> records)
    : scenario_(std::move(scenario)), index_(index), settings_(simDeviceSettings(scenario_, index)),
      records_(records ? std::move(records) : std::make_shared<SimRecords>()) {
    if (scenario_.baud != 0)
        byteTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
            (10ull * 1000000000ull + scenario_.baud / 2) / scenario_.baud)); // 8N1: 10 bits a byte
    latencyTimer_ = std::chrono::milliseconds(scenario_.latencyTimerMs);
    if (!settings_.statePath.empty())
        loadSimState(settings_.statePath, *records_);
    if (scenario_.pendingBytes > 0) {
        std::vector<std::uint8_t> junk(scenario_.pendingBytes);
        for (std::size_t i = 0; i < junk.size(); ++i)
            junk[i] = static_cast<std::uint8_t>(0xA5u ^ (i & 0xFFu));
        send(junk);
    }
}

void SimulatedDevice::receive(const std::uint8_t* data, std::size_t length) {
    if (length == 0)
        return;
    // On a paced line the bytes reach the bridge one after the other from now (or from the
    // end of what is still arriving); what the bridge answers cannot start before the last.
    const auto now = Clock::now();
    inputFreeAt_ = std::max(now, inputFreeAt_) + byteTime_ * static_cast<long>(length);
    log_.insert(log_.end(), data, data + length);
    input_.insert(input_.end(), data, data + length);
    processInput();
}

SimulatedDevice::Clock::time_point SimulatedDevice::handedOver(Clock::time_point arrival) const {
    if (latencyTimer_.count() == 0 || arrival <= epoch_)
        return arrival;
    // The bridge hands over what it holds at each tick of its latency timer.
    const auto ticks = (arrival - epoch_ + latencyTimer_ - Clock::duration(1)) / latencyTimer_;
    return epoch_ + latencyTimer_ * ticks;
}

// How many bytes of a chunk have arrived by time t (before hand-over).
std::size_t SimulatedDevice::arrivedBy(const Chunk& chunk, Clock::time_point t) {
    if (t < chunk.start)
        return 0;
    if (chunk.interval.count() == 0)
        return chunk.bytes.size();
    const auto n = static_cast<std::size_t>((t - chunk.start) / chunk.interval);
    return std::min(n, chunk.bytes.size());
}

SimulatedDevice::Clock::time_point SimulatedDevice::arrivalOf(const Chunk& chunk, std::size_t index) {
    return chunk.start + chunk.interval * static_cast<long>(index + 1);
}

std::size_t SimulatedDevice::readableAt(Clock::time_point now) const {
    // A byte is readable once the latency timer has handed it over; the last tick at or
    // before now is when that last happened.
    Clock::time_point t = now;
    if (latencyTimer_.count() != 0 && now > epoch_)
        t = epoch_ + latencyTimer_ * ((now - epoch_) / latencyTimer_);
    std::size_t count = 0;
    bool first = true;
    for (const Chunk& chunk : output_) {
        const std::size_t arrived = arrivedBy(chunk, t);
        count += arrived - (first ? std::min(arrived, outputOffset_) : 0);
        first = false;
        if (arrived < chunk.bytes.size())
            break;
    }
    return count;
}

std::size_t SimulatedDevice::readable() const {
    return readableAt(Clock::now());
}

std::size_t SimulatedDevice::queuedTotal() const {
    std::size_t total = 0;
    for (const Chunk& chunk : output_)
        total += chunk.bytes.size();
    return total - outputOffset_;
}

bool SimulatedDevice::hasPending() const {
    return queuedTotal() > readable();
}

std::optional<SimulatedDevice::Clock::time_point> SimulatedDevice::dueTime(std::size_t count) const {
    if (count == 0)
        return Clock::now();
    std::size_t skip = outputOffset_;
    for (const Chunk& chunk : output_) {
        const std::size_t available = chunk.bytes.size() - skip;
        if (count <= available)
            return handedOver(arrivalOf(chunk, skip + count - 1));
        count -= available;
        skip = 0;
    }
    return std::nullopt;
}

SimulatedDevice::Clock::time_point SimulatedDevice::nextDue() const {
    return dueTime(readable() + 1).value_or(Clock::now());
}

std::size_t SimulatedDevice::take(std::uint8_t* out, std::size_t count) {
    std::size_t taken = 0;
    std::size_t ready = readable();
    while (taken < count && ready > 0 && !output_.empty()) {
        Chunk& chunk = output_.front();
        const std::size_t n = std::min({count - taken, chunk.bytes.size() - outputOffset_, ready});
        std::memcpy(out + taken, chunk.bytes.data() + outputOffset_, n);
        taken += n;
        ready -= n;
        outputOffset_ += n;
        if (outputOffset_ == chunk.bytes.size()) {
            output_.pop_front();
            outputOffset_ = 0;
        }
    }
    sent_ += taken;
    return taken;
}

void SimulatedDevice::inject(const std::uint8_t* data, std::size_t length) {
    queue(data, length, Clock::now(), false);
}

void SimulatedDevice::setFaults(std::vector<SimFault> faults, std::vector<int> commands) {
    scenario_.faults = std::move(faults);
    scenario_.faultCommands = std::move(commands);
}

void SimulatedDevice::send(const std::uint8_t* data, std::size_t length, std::uint32_t delayMs) {
    // An answer starts once the frame it answers has arrived whole, after the delay.
    const auto earliest = std::max(Clock::now(), inputFreeAt_) + std::chrono::milliseconds(delayMs);
    queue(data, length, earliest, true);
}

void SimulatedDevice::queue(const std::uint8_t* data, std::size_t length, Clock::time_point earliest,
                            bool paced) {
    if (length == 0)
        return;
    // Bytes leave in order: nothing overtakes what is already queued or on the line.
    Clock::time_point start = earliest;
    if (!output_.empty())
        start = std::max(start, arrivalOf(output_.back(), output_.back().bytes.size() - 1));
    const Clock::duration interval = paced ? byteTime_ : Clock::duration::zero();
    if (interval.count() == 0 && !output_.empty() && output_.back().interval.count() == 0 &&
        output_.back().start == start) {
        output_.back().bytes.insert(output_.back().bytes.end(), data, data + length);
        return;
    }
    Chunk& chunk = output_.emplace_back();
    chunk.start = start;
    chunk.interval = interval;
    chunk.bytes.assign(data, data + length);
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
        const auto start = std::find(input_.begin(), input_.end(), std::uint8_t{protocol::FRAME_START});
        input_.erase(input_.begin(), start);
        if (input_.size() < 4)
            return;
        const std::size_t length = (static_cast<std::size_t>(input_[2]) << 8) | input_[3];
        if (length > protocol::MAX_FRAME_PAYLOAD) {
            sendAck(protocol::ACK_FAILED);
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
                sendAck(protocol::ACK_BAD_CHECKSUM);
            continue;
        }
        handleFrame(frame[1], frame.data() + 4, length);
    }
}

void SimulatedDevice::handleFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t length) {
    if (type == static_cast<std::uint8_t>(messageType::REQUEST)) {
        if (faultActive(SimFault::SilentBridge, -1))
            return;
        if (length == 1 && payload[0] == protocol::STATUS_QUERY) {
            const std::string text = simulatorStatusText(settings_);
            send(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
        } else {
            sendAck(protocol::ACK_FAILED);
        }
        return;
    }
    if (type != static_cast<std::uint8_t>(messageType::ARM_MESSAGE)) {
        sendAck(protocol::ACK_FAILED);
        return;
    }
    // The bridge hands on only a well-formed controller packet.
    std::size_t head = 0;
    std::size_t packetLength = 0;
    if (length >= 2 && payload[0] == protocol::PACKET_SHORT) {
        head = 2;
        packetLength = payload[1];
    } else if (length >= 3 && payload[0] == protocol::PACKET_LONG) {
        head = 3;
        packetLength = (static_cast<std::size_t>(payload[1]) << 8) | payload[2];
    }
    const bool wellFormed =
        head != 0 && packetLength >= 1 && length == head + packetLength + 3 &&
        payload[length - 1] == protocol::PACKET_END &&
        crc16(payload + head, packetLength) ==
            ((static_cast<unsigned>(payload[head + packetLength]) << 8) | payload[head + packetLength + 1]);
    const int command = wellFormed ? payload[head] : -1;
    const bool known = protocol::isKnownCommand(command);
    if (faultActive(SimFault::SilentBridge, command))
        return;
    if (!wellFormed || !known) {
        sendAck(protocol::ACK_FAILED);
        return;
    }
    if (faultActive(SimFault::StrayBytes, command))
        send({0x55, 0xAA, 0x00, 0xFF, 0x13});
    if (faultActive(SimFault::AckFailed, command)) {
        sendAck(protocol::ACK_FAILED);
        return;
    }
    if (faultActive(SimFault::AckBadChecksum, command)) {
        sendAck(protocol::ACK_BAD_CHECKSUM);
        return;
    }
    if (faultActive(SimFault::AckGarbled, command)) {
        sendAck({protocol::ACK_START, type, type});
        return;
    }
    sendAck(protocol::ackSuccess(type));
    if (faultActive(SimFault::SilentController, command))
        return;
    signalOn(command);
    handleCommand(payload + head, packetLength);
}

// The hosting program gets its signal before the command is answered, and has taken it (it is
// no longer pending) by the time the answer goes out: what it does about it is decided here.
void SimulatedDevice::signalOn(int command) {
    if (signalsSent_ >= scenario_.signalCommands.size() || scenario_.signalCommands[signalsSent_] != command)
        return;
    if (scenario_.faultDevice >= 0 && scenario_.faultDevice != index_)
        return;
    ++signalsSent_;
#ifdef _WIN32
    // Windows has no pending signals: raise runs the program's handler before it returns.
    std::raise(scenario_.signalNumber);
#else
    ::kill(::getpid(), scenario_.signalNumber);
    sigset_t pending;
    do {
        std::this_thread::yield();
        sigemptyset(&pending);
        sigpending(&pending);
    } while (sigismember(&pending, scenario_.signalNumber) == 1);
#endif
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
    case protocol::CMD_FW_VERSION: {
        const std::size_t size = faultActive(SimFault::ShortVersion, command) ? 20 : 22;
        reply.push_back(static_cast<std::uint8_t>(settings_.fwMajor));
        reply.push_back(static_cast<std::uint8_t>(settings_.fwMinor));
        const char hardware[] = "VK5";
        reply.insert(reply.end(), hardware, hardware + sizeof hardware);
        for (std::uint32_t i = 0; reply.size() < size; ++i)
            reply.push_back(static_cast<std::uint8_t>((settings_.chipId >> ((i % 4) * 8)) ^ i));
        break;
    }
    case protocol::CMD_GET_MC:
    case protocol::CMD_GET_DEFAULT_MC: {
        const bool current = command == protocol::CMD_GET_MC;
        const MCConfiguration mc = current ? records_->mc : simulatorDefaultMcConfig();
        if (otherRecord)
            appendApp(current ? records_->app : simulatorDefaultAppConfig());
        else
            appendMc(mc);
        break;
    }
    case protocol::CMD_GET_APP:
    case protocol::CMD_GET_DEFAULT_APP: {
        const bool current = command == protocol::CMD_GET_APP;
        const APPConfiguration app = current ? records_->app : simulatorDefaultAppConfig();
        if (otherRecord)
            appendMc(current ? records_->mc : simulatorDefaultMcConfig());
        else
            appendApp(app);
        break;
    }
    case protocol::CMD_SET_MC:
    case protocol::CMD_SET_APP: {
        const bool isMc = command == protocol::CMD_SET_MC;
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
        packet[0] = protocol::PACKET_LONG;
        packet[1] = 0xFF;
        packet[2] = 0xFF;
    }
    if (faultActive(SimFault::TruncatedReply, command))
        packet.resize(packet.size() / 2);
    ++replies_;
    send(packet, scenario_.latencyMs);
}
