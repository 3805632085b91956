#include "core/device/arm_link.h"

#include "core/config/config_codec.h"

#include <spdlog/fmt/bin_to_hex.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t FLUSH_CHUNK = 10240;

using protocol::CMD_FW_VERSION;
using protocol::CMD_GET_APP;
using protocol::CMD_GET_DEFAULT_APP;
using protocol::CMD_GET_DEFAULT_MC;
using protocol::CMD_GET_MC;
using protocol::CMD_SET_APP;
using protocol::CMD_SET_MC;

bool tracing() {
    return spdlog::default_logger_raw()->should_log(spdlog::level::trace);
}

const char* responseName(ResponseType response) {
    switch (response) {
    case ResponseType::FAILED:
        return "ResponseType::FAILED";
    case ResponseType::SUCCESS:
        return "ResponseType::SUCCESS";
    case ResponseType::BAD_CHECKSUM:
        return "ResponseType::BAD_CHECKSUM";
    case ResponseType::TIMED_OUT:
        return "ResponseType::TIMED_OUT";
    }
    return "ResponseType::TIMED_OUT";
}

std::string ackBytesText(const protocol::Acknowledge& bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && i < bytes.size(); ++i)
        text += fmt::format("{}0x{:02X}", i == 0 ? "" : " ", bytes[i]);
    return text;
}

} // namespace

std::int32_t ArmLink::write(const std::uint8_t* data, std::uint32_t length) {
    if (tracing()) {
        spdlog::trace("BEGIN write(...,{})", length);
        spdlog::trace("Transmitting Message {0:X}", spdlog::to_hex(data, data + length));
        spdlog::trace("END write()");
    }
    std::uint32_t written = 0;
    if (handle_.write(data, length, written) != STATUS_OK)
        return -1;
    return static_cast<std::int32_t>(written);
}

std::int32_t ArmLink::read(std::uint8_t* buffer, std::uint32_t count) {
    std::uint32_t received = 0;
    const bool ok = handle_.read(buffer, count, received) == STATUS_OK;
    received = std::min(received, count);
    if (tracing()) {
        spdlog::trace("BEGIN read( , {} )", count);
        if (ok)
            spdlog::trace("   response: {0:X}", spdlog::to_hex(buffer, buffer + received));
        spdlog::trace("END read( )");
    }
    return ok ? static_cast<std::int32_t>(received) : -1;
}

std::uint32_t ArmLink::waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline) {
    std::uint32_t queued = 0;
    const DeviceStatus status = handle_.waitQueued(count, deadline, queued);
    if (status == STATUS_IO_ERROR)
        throw std::runtime_error("Lost the connection to the bridge on " + handle_.name());
    if (status != STATUS_OK) {
        // A queue that cannot be asked counts as empty: nothing is coming.
        std::this_thread::sleep_until(deadline);
        return 0;
    }
    return queued;
}

bool ArmLink::waitForBytes(std::uint32_t count, std::uint32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (waitQueued(count, deadline) < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            throw timeout_exception();
    }
    return true;
}

std::size_t ArmLink::discardUntilQuiet(std::chrono::microseconds window) {
    std::vector<std::uint8_t> scratch(FLUSH_CHUNK);
    std::size_t discarded = 0;
    std::uint32_t rx = 0;
    if (handle_.queued(rx) != STATUS_OK)
        rx = 0;
    // A bridge that never stops sending would hold the program here for good; past the limit
    // the line is left as it is, and the next exchange reads through what keeps coming.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeouts::FLUSH_LIMIT_MS);
    while (true) {
        if (std::chrono::steady_clock::now() >= limit) {
            spdlog::warn("The line did not go quiet within {} ms; {} bytes dropped", timeouts::FLUSH_LIMIT_MS,
                         discarded);
            return discarded;
        }
        while (rx != 0) {
            const std::int32_t got = read(scratch.data(), std::min(rx, FLUSH_CHUNK));
            if (got <= 0)
                return discarded;
            discarded += static_cast<std::size_t>(got);
            if (handle_.queued(rx) != STATUS_OK)
                rx = 0;
        }
        rx = waitQueued(1, std::chrono::steady_clock::now() + window);
        if (rx == 0)
            return discarded;
    }
}

void ArmLink::flush() {
    std::uint32_t rx = 0;
    if (handle_.queued(rx) != STATUS_OK)
        rx = 0;
    spdlog::debug("Flushing buffer. {} Bytes left in queue", rx);
    discardUntilQuiet(quietWindow_);
    handle_.expectLateBytes();
}

std::uint32_t ArmLink::readUntilQuiet(std::uint8_t* buffer, std::uint32_t capacity, std::uint32_t limitMs) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    std::uint32_t received = 0;
    std::uint32_t rx = waitQueued(1, limit);
    while (rx != 0 && received < capacity) {
        const std::int32_t got = read(buffer + received, std::min(rx, capacity - received));
        if (got <= 0)
            break;
        received += static_cast<std::uint32_t>(got);
        const bool lineEnded = buffer[received - 1] == '\n';
        const auto quiet = std::chrono::steady_clock::now() + quietWindow_ +
                           (lineEnded ? std::chrono::microseconds(0) : timeouts::TEXT_MARGIN);
        rx = waitQueued(1, std::min(quiet, limit));
    }
    return received;
}

// Throw away up to count bytes of a reply that cannot be received: what is queued now and
// what keeps arriving without a quiet window's pause.
void ArmLink::drain(std::size_t count) {
    std::vector<std::uint8_t> scratch(FLUSH_CHUNK);
    while (count > 0) {
        std::uint32_t rx = 0;
        if (handle_.queued(rx) != STATUS_OK)
            return;
        if (rx == 0 && waitQueued(1, std::chrono::steady_clock::now() + quietWindow_) == 0)
            return;
        if (handle_.queued(rx) != STATUS_OK || rx == 0)
            return;
        const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>({count, rx, FLUSH_CHUNK}));
        const std::int32_t got = read(scratch.data(), chunk);
        if (got <= 0)
            return;
        count -= static_cast<std::size_t>(got);
    }
}

std::uint32_t ArmLink::getARM_Message(std::uint8_t* buffer, std::size_t capacity) {
    Receipt receipt = Receipt::Intact;
    return receivePacket(buffer, capacity, receipt);
}

std::uint32_t ArmLink::receivePacket(std::uint8_t* buffer, std::size_t capacity, Receipt& receipt,
                                     std::uint32_t* declaredLength) {
    receipt = Receipt::Silent;
    spdlog::trace("getARM_Message()");
    waitForBytes(1, replyTimeoutMs_);
    if (capacity == 0 || read(buffer, 1) != 1)
        throw timeout_exception();
    receipt = Receipt::Malformed;
    const std::uint8_t first = buffer[0];
    spdlog::trace("  First Byte: {0:X}", static_cast<unsigned>(first));

    std::uint32_t length = 0;
    std::array<std::uint8_t, 2> head{};
    const bool isPacket = first == protocol::PACKET_SHORT || first == protocol::PACKET_LONG;
    if (first == protocol::PACKET_SHORT) {
        waitForBytes(1, replyTimeoutMs_);
        if (read(head.data(), 1) != 1)
            throw timeout_exception();
        length = head[0];
        spdlog::trace("  Small Payload (<256 bytes): {}", length);
    } else if (first == protocol::PACKET_LONG) {
        spdlog::trace("  Small Payload (<65535 bytes)");
        waitForBytes(2, replyTimeoutMs_);
        if (read(head.data(), 2) != 2)
            throw timeout_exception();
        length = static_cast<std::uint32_t>(head[0]) * 256u + head[1];
        spdlog::trace("  Small Payload (<65535 bytes): {}", length);
    }

    if (declaredLength != nullptr)
        *declaredLength = length;
    const std::size_t total = static_cast<std::size_t>(length) + 3;
    if (total > capacity) {
        spdlog::error("Reply of {} payload bytes does not fit the {} byte receive buffer; discarded", length,
                      capacity);
        drain(total);
        receipt = Receipt::TooLong;
        return 0;
    }

    waitForBytes(static_cast<std::uint32_t>(total), replyTimeoutMs_);
    const std::int32_t got = read(buffer, static_cast<std::uint32_t>(total));
    const std::size_t received = got > 0 ? static_cast<std::size_t>(got) : 0;
    spdlog::trace("     payload recieved");
    spdlog::trace("     payload size: {}", got);
    if (tracing())
        spdlog::trace("     payloadData {0:X}", spdlog::to_hex(buffer, buffer + received));
    if (received < total) {
        spdlog::error("Reply from controller was cut short: {} of {} bytes", received, total);
        return 0;
    }

    const std::uint16_t computed = crc16(buffer, length);
    const auto crc = static_cast<std::uint16_t>((buffer[length] << 8) | buffer[length + 1]);
    spdlog::trace("     CRC: {0:X}", crc);
    spdlog::trace("     Computed CRC: {0:X}", computed);
    if (crc != computed) {
        spdlog::error("Invalid CRC: {} != {} ", computed, crc);
        if (isPacket)
            receipt = Receipt::BadCrc;
        return 0;
    }
    spdlog::trace("CRC Validated");
    if (isPacket)
        receipt = Receipt::Intact;
    return length;
}

std::int32_t ArmLink::sendMessage(messageType type, const std::uint8_t* payload, std::size_t length) {
    spdlog::debug("Sending {}, payload size: {}", messageTypeName(static_cast<std::uint8_t>(type)), length);
    std::vector<std::uint8_t> frame(length + 5);
    const std::size_t size = generateVarko5Message(type, payload, length, frame.data());
    return write(frame.data(), static_cast<std::uint32_t>(size));
}

ResponseType ArmLink::acknowledge(std::uint8_t type) {
    AckSeen seen;
    return takeAcknowledge(type, seen);
}

ResponseType ArmLink::takeAcknowledge(std::uint8_t type, AckSeen& seen) {
    spdlog::trace("Acknowledging Message");
    if (resyncing_)
        return resynchronisedAcknowledge(type, seen);
    waitForBytes(protocol::ACK_SIZE, replyTimeoutMs_);
    const std::int32_t got = read(seen.bytes.data(), protocol::ACK_SIZE);
    seen.count = got > 0 ? static_cast<std::size_t>(got) : 0;
    if (seen.count != protocol::ACK_SIZE)
        return ResponseType::TIMED_OUT;
    return classifyAcknowledge(seen, type);
}

// Whether count bytes are queued before the deadline while the line keeps bringing more: false
// once a quiet window passes with nothing new, or at the deadline.
bool ArmLink::arriveWhileStreaming(std::uint32_t count, std::chrono::steady_clock::time_point deadline) {
    std::uint32_t seen = 0;
    while (true) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        const std::uint32_t queued = waitQueued(count, std::min(deadline, now + quietWindow_));
        if (queued >= count)
            return true;
        if (queued <= seen)
            return false;
        seen = queued;
    }
}

// The acknowledge starts with its own byte; on an unsettled line whatever comes before it is
// not this exchange's, and may still be streaming in: a controller packet (a late reply to an
// exchange that ended without it, perhaps in a program that was killed) is skipped whole, when
// it arrives whole with a valid CRC, and any other byte one at a time. What only looked like a
// packet or an acknowledge is put back and searched again from its second byte, so junk never
// swallows the answer behind it. Nothing but this exchange's acknowledge ends the search, as it
// is bound to come; at the deadline, the last three bytes that only looked like one are the
// unreadable acknowledge, and with none the exchange timed out.
ResponseType ArmLink::resynchronisedAcknowledge(std::uint8_t type, AckSeen& seen) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs_);
    std::size_t dropped = 0;
    AckSeen lookalike;
    std::vector<std::uint8_t> bytes(ARM_BUFFER_SIZE);
    seen = AckSeen{};
    const auto notFound = [&]() -> ResponseType {
        if (lookalike.count == 0)
            throw timeout_exception();
        seen = lookalike;
        return classifyAcknowledge(seen, type);
    };
    while (true) {
        // A line that never stops bringing junk still ends the search at the deadline.
        if (std::chrono::steady_clock::now() >= deadline || waitQueued(1, deadline) == 0 ||
            read(bytes.data(), 1) != 1)
            return notFound();
        const std::uint8_t first = bytes[0];
        if (first == protocol::ACK_START) {
            seen.bytes[0] = first;
            seen.count = 1;
            if (waitQueued(protocol::ACK_SIZE - 1, deadline) < protocol::ACK_SIZE - 1)
                return ResponseType::TIMED_OUT; // the deadline, with an acknowledge begun
            const std::int32_t got = read(seen.bytes.data() + 1, protocol::ACK_SIZE - 1);
            seen.count += got > 0 ? static_cast<std::size_t>(got) : 0;
            if (seen.count != protocol::ACK_SIZE)
                return ResponseType::TIMED_OUT;
            if (seen.bytes == protocol::ackSuccess(type) || seen.bytes == protocol::ACK_FAILED ||
                seen.bytes == protocol::ACK_BAD_CHECKSUM) {
                if (dropped > 0)
                    spdlog::debug("Dropped {} bytes that came before the acknowledge", dropped);
                return classifyAcknowledge(seen, type);
            }
            lookalike = seen;
            seen = AckSeen{};
            handle_.putBack(lookalike.bytes.data() + 1, protocol::ACK_SIZE - 1);
            ++dropped;
            continue;
        }
        ++dropped;
        if (first != protocol::PACKET_SHORT && first != protocol::PACKET_LONG)
            continue;
        const std::uint32_t headSize = first == protocol::PACKET_SHORT ? 1 : 2;
        std::uint32_t taken = 0; // after the first byte
        const auto takeMore = [&](std::uint32_t count) {
            if (!arriveWhileStreaming(count, deadline))
                return false;
            const std::int32_t got = read(bytes.data() + 1 + taken, count);
            taken += got > 0 ? static_cast<std::uint32_t>(got) : 0;
            return got == static_cast<std::int32_t>(count);
        };
        bool whole = takeMore(headSize);
        std::uint32_t length = 0;
        if (whole) {
            length = headSize == 1 ? bytes[1] : static_cast<std::uint32_t>(bytes[1]) * 256u + bytes[2];
            const std::uint32_t rest = length + 3; // CRC and end byte
            whole = 1 + headSize + rest <= bytes.size() && takeMore(rest);
        }
        if (whole) {
            const std::uint8_t* payload = bytes.data() + 1 + headSize;
            const auto crc = static_cast<std::uint16_t>((payload[length] << 8) | payload[length + 1]);
            whole = crc == crc16(payload, length) && payload[length + 2] == protocol::PACKET_END;
        }
        if (whole)
            dropped += taken;
        else
            handle_.putBack(bytes.data() + 1, taken);
    }
}

ResponseType ArmLink::classifyAcknowledge(const AckSeen& seen, std::uint8_t type) {
    const protocol::Acknowledge& bytes = seen.bytes;
    ResponseType response = ResponseType::TIMED_OUT;
    if (bytes == protocol::ackSuccess(type)) {
        response = ResponseType::SUCCESS;
        spdlog::trace("Acknowledge: ResponseType::SUCCESS");
    } else if (bytes == protocol::ACK_FAILED) {
        response = ResponseType::FAILED;
        spdlog::trace("Acknowledge: ResponseType::FAILED  0x3C 0xEE 0x11");
    } else if (bytes == protocol::ACK_BAD_CHECKSUM) {
        response = ResponseType::BAD_CHECKSUM;
        spdlog::error("Acknowledge: ResponseType::BAD_CHECKSUM  0x3C 0xBB 0x44");
    } else {
        // Three bytes did arrive, so nothing timed out: they are no acknowledge (stray bytes on
        // the line, or a damaged one). The value stays TIMED_OUT, which is what callers test.
        spdlog::error("Acknowledge: not recognised  {}", ackBytesText(bytes, seen.count));
    }
    return response;
}

// The controller answers a set with its command number as the first payload byte; a reply
// whose CRC is damaged is still judged by that byte when it is the command's. Anything that
// cannot be read as such an answer (no readable acknowledge, a reply that is no packet,
// declares no payload or more than fits, or stops halfway) says nothing about the record: the
// controller may well have stored it, so it is neither an acceptance nor a refusal.
SetReply ArmLink::setAnswer(std::uint8_t command, ResponseType acknowledged, AckSeen& seen,
                            std::uint8_t* buffer) {
    Reply reply;
    try {
        acknowledged = receiveOwnReply(command, acknowledged, seen, buffer, ARM_BUFFER_SIZE, reply);
    } catch (const timeout_exception&) {
        // A controller that never answered stays a time-out; one that stopped halfway did
        // answer.
        if (reply.receipt == Receipt::Silent)
            throw;
        return {SetAnswer::Unreadable, "the controller's reply was cut short"};
    }
    switch (acknowledged) {
    case ResponseType::SUCCESS:
        break;
    case ResponseType::FAILED:
    case ResponseType::BAD_CHECKSUM:
        return {SetAnswer::NotAcknowledged, responseName(acknowledged)};
    case ResponseType::TIMED_OUT:
        return {SetAnswer::Unreadable, seen.count == 0
                                           ? std::string("the bridge's acknowledge was not readable")
                                           : "the bridge's acknowledge was not readable (" +
                                                 ackBytesText(seen.bytes, seen.count) + ")"};
    }
    switch (reply.receipt) {
    case Receipt::Intact:
        handle_.setUnsettled(false);
        if (reply.declared < 1)
            return {SetAnswer::Unreadable, "the controller's reply carries no payload"};
        return {buffer[0] == command ? SetAnswer::Accepted : SetAnswer::Refused, {}};
    case Receipt::BadCrc:
        if (reply.declared >= 1 && buffer[0] == command)
            return {SetAnswer::Accepted, {}};
        return {SetAnswer::Unreadable, "the controller's reply failed its CRC check"};
    case Receipt::TooLong:
        return {SetAnswer::Unreadable, "the controller's reply is too long to be received"};
    case Receipt::Malformed:
    case Receipt::Silent:
        break;
    }
    return {SetAnswer::Unreadable, "the controller's reply is not a valid packet"};
}

ResponseType ArmLink::receiveOwnReply(std::uint8_t command, ResponseType acknowledged, AckSeen& seen,
                                      std::uint8_t* buffer, std::size_t capacity, Reply& reply) {
    for (int late = 0;; ++late) {
        if (acknowledged != ResponseType::SUCCESS)
            return acknowledged;
        reply = Reply{};
        reply.length = receivePacket(buffer, capacity, reply.receipt, &reply.declared);
        if (late >= MAX_LATE_REPLIES || !isLateReply(command, buffer, reply.length, reply.receipt))
            return acknowledged;
        // An earlier exchange's acknowledge and reply: this command's come next.
        acknowledged = takeAcknowledge(static_cast<std::uint8_t>(messageType::ARM_MESSAGE), seen);
    }
}

// Bytes of a reply that was not taken whole (a time-out, a damaged or refused reply) may still
// be arriving; read as the next acknowledge, they would fail a healthy command. So a command
// that follows a failed one starts on a quiet line. A program killed mid-exchange can leave
// its answers on their way too, later than the flush at open waits: the first exchanges on a
// device just opened read their own answers through whatever else arrives.
void ArmLink::beginExchange() {
    resyncing_ = handle_.unsettled() && !handle_.exchangeFailed();
    if (handle_.exchangeFailed()) {
        if (const std::size_t dropped = discardUntilQuiet(quietWindow_ + timeouts::DRAIN_MARGIN); dropped > 0)
            spdlog::debug("Dropped {} bytes left over from a failed exchange", dropped);
    }
    // Until its reply has been taken whole, this exchange counts as failed.
    handle_.setUnsettled(true);
}

namespace {

// Whether a reply led by other's number, length bytes long, has the shape of the answer to
// that command: a version, a whole record, or the one byte of a set's answer.
bool shapedAsReplyTo(std::uint8_t other, std::uint32_t length) {
    switch (other) {
    case protocol::CMD_FW_VERSION:
        return length == protocol::VERSION_REPLY_SHORT || length == protocol::VERSION_REPLY_LONG;
    case protocol::CMD_GET_MC:
    case protocol::CMD_GET_DEFAULT_MC:
        return length >= MC_CONFIG_PAYLOAD_SIZE + 1;
    case protocol::CMD_GET_APP:
    case protocol::CMD_GET_DEFAULT_APP:
        return length >= APP_CONFIG_PAYLOAD_SIZE + 1;
    case protocol::CMD_SET_MC:
    case protocol::CMD_SET_APP:
        return length == 1;
    default:
        return false;
    }
}

} // namespace

// A set's own answer may begin with any other number when the controller refuses the record,
// so for a set only a reply shaped as a read's answer counts as late: a one-byte answer is
// this set's, accepted or refused.
bool ArmLink::isLateReply(std::uint8_t command, const std::uint8_t* reply, std::uint32_t length,
                          Receipt receipt) const {
    if (!resyncing_ || receipt != Receipt::Intact || length < 1 || reply[0] == command ||
        !protocol::isKnownCommand(reply[0]))
        return false;
    const bool isSet = command == protocol::CMD_SET_MC || command == protocol::CMD_SET_APP;
    if (isSet && (length == 1 || !shapedAsReplyTo(reply[0], length)))
        return false;
    spdlog::debug("Dropped a late reply to command {} of an earlier exchange", reply[0]);
    return true;
}

ResponseType ArmLink::exchange(const std::uint8_t* packet, std::size_t length, AckSeen& seen) {
    std::array<std::uint8_t, ARM_BUFFER_SIZE> frame{};
    const std::size_t size = generateVarko5Message(messageType::ARM_MESSAGE, packet, length, frame.data());
    beginExchange();
    write(frame.data(), static_cast<std::uint32_t>(size));
    return takeAcknowledge(static_cast<std::uint8_t>(messageType::ARM_MESSAGE), seen);
}

FirmwareVersion ArmLink::ARM_getVersion() {
    spdlog::trace("BEGIN ARM_getVersion()");
    const std::uint8_t command = CMD_FW_VERSION;
    std::array<std::uint8_t, 8> packet{};
    const std::size_t size = generateARM_Message(&command, 1, packet.data());
    std::array<std::uint8_t, ARM_BUFFER_SIZE> buffer{};
    AckSeen seen;
    Reply reply;
    const ResponseType response = receiveOwnReply(CMD_FW_VERSION, exchange(packet.data(), size, seen), seen,
                                                  buffer.data(), buffer.size(), reply);
    if (response != ResponseType::SUCCESS) {
        spdlog::trace("END ARM_getVersion()");
        return {};
    }
    const std::uint32_t length = reply.length;
    if (length != protocol::VERSION_REPLY_SHORT && length != protocol::VERSION_REPLY_LONG) {
        spdlog::trace("getARM_Message - return value {}.  Expected 19", length);
        spdlog::trace("END ARM_getVersion()");
        return {};
    }
    spdlog::debug("COMM_FW_VERSION received");
    FirmwareVersion version;
    version.major = buffer[1];
    version.minor = buffer[2];
    version.valid = true;
    handle_.setUnsettled(false);
    spdlog::trace("END ARM_getVersion()");
    return version;
}

std::uint32_t ArmLink::readRecordReply(std::uint8_t command, std::uint8_t* buffer, std::size_t recordSize,
                                       std::uint32_t signature, const char* recordName) {
    std::array<std::uint8_t, 8> packet{};
    const std::size_t size = generateARM_Message(&command, 1, packet.data());
    AckSeen seen;
    Reply reply;
    const ResponseType response =
        receiveOwnReply(command, exchange(packet.data(), size, seen), seen, buffer, ARM_BUFFER_SIZE, reply);
    if (response == ResponseType::TIMED_OUT)
        throw std::runtime_error(std::string("Request for the ") + recordName +
                                 " got no readable acknowledge from the bridge" +
                                 (seen.count == 0 ? "" : " (" + ackBytesText(seen.bytes, seen.count) + ")"));
    if (response != ResponseType::SUCCESS)
        throw std::runtime_error(std::string("Request for the ") + recordName +
                                 " was not acknowledged by the bridge (" + responseName(response) + ")");
    const std::uint32_t length = reply.length;
    switch (reply.receipt) {
    case Receipt::Intact:
        break;
    case Receipt::BadCrc:
        throw std::runtime_error("Reply from controller failed its CRC check");
    case Receipt::TooLong:
        throw std::runtime_error("Reply from controller is too long to be received");
    case Receipt::Malformed:
    case Receipt::Silent:
        throw std::runtime_error("Reply from controller is not a valid packet");
    }
    const std::uint32_t received = length >= 5 ? (static_cast<std::uint32_t>(buffer[1]) << 24) |
                                                     (static_cast<std::uint32_t>(buffer[2]) << 16) |
                                                     (static_cast<std::uint32_t>(buffer[3]) << 8) | buffer[4]
                                               : 0;
    if (length >= 5 && received != signature)
        throw std::runtime_error(std::string("Reply from controller does not carry the ") + recordName +
                                 " signature");
    if (length < recordSize + 1)
        throw std::runtime_error("Reply from controller is too short for the " + std::string(recordName) +
                                 ": " + std::to_string(length) + " of " + std::to_string(recordSize + 1) +
                                 " bytes");
    handle_.setUnsettled(false);
    return length;
}

namespace {

template <class Record, class Decode>
Record decodeRecord(const std::uint8_t* payload, Decode decode, const char* recordName) {
    Record record{};
    if (!decode(payload, record))
        throw std::runtime_error(std::string("Reply from controller does not carry the ") + recordName +
                                 " signature");
    return record;
}

} // namespace

MCConfiguration ArmLink::ARM_getMCConfig() {
    spdlog::debug("BEGIN ARM_getMCConfig()");
    std::array<std::uint8_t, ARM_BUFFER_SIZE> reply{};
    readRecordReply(CMD_GET_MC, reply.data(), MC_CONFIG_PAYLOAD_SIZE, MC_CONFIG_SIGNATURE,
                    "motor configuration");
    return decodeRecord<MCConfiguration>(reply.data() + 1, mcConfigFromBytes, "motor configuration");
}

MCConfiguration ArmLink::ARM_getDefaultMCConfig() {
    std::array<std::uint8_t, ARM_BUFFER_SIZE> reply{};
    readRecordReply(CMD_GET_DEFAULT_MC, reply.data(), MC_CONFIG_PAYLOAD_SIZE, MC_CONFIG_SIGNATURE,
                    "motor configuration");
    return decodeRecord<MCConfiguration>(reply.data() + 1, mcConfigFromBytes, "motor configuration");
}

APPConfiguration ArmLink::ARM_getAppConfig() {
    spdlog::debug("BEGIN ARM_getAppConfig()");
    std::array<std::uint8_t, ARM_BUFFER_SIZE> reply{};
    readRecordReply(CMD_GET_APP, reply.data(), APP_CONFIG_PAYLOAD_SIZE, APP_CONFIG_SIGNATURE,
                    "application configuration");
    return decodeRecord<APPConfiguration>(reply.data() + 1, appConfigFromBytes, "application configuration");
}

APPConfiguration ArmLink::ARM_getDefaultAppConfig() {
    spdlog::debug("BEGIN ARM_getDefaultAppConfig()");
    std::array<std::uint8_t, ARM_BUFFER_SIZE> reply{};
    readRecordReply(CMD_GET_DEFAULT_APP, reply.data(), APP_CONFIG_PAYLOAD_SIZE, APP_CONFIG_SIGNATURE,
                    "application configuration");
    return decodeRecord<APPConfiguration>(reply.data() + 1, appConfigFromBytes, "application configuration");
}

bool ArmLink::ARM_setAppConfig(const APPConfiguration& record) {
    return setAppConfig(record).answer == SetAnswer::Accepted;
}

bool ArmLink::ARM_setMCConfig(const MCConfiguration& record) {
    return setMCConfig(record).answer == SetAnswer::Accepted;
}

SetReply ArmLink::setAppConfig(const APPConfiguration& record) {
    spdlog::debug("BEGIN ARM_setAppConfig()");
    std::array<std::uint8_t, ARM_BUFFER_SIZE> payload{};
    payload[0] = CMD_SET_APP;
    const std::size_t length = static_cast<std::size_t>(appConfigToBytes(payload.data() + 1, record)) + 1;
    std::array<std::uint8_t, ARM_BUFFER_SIZE> packet{};
    const std::size_t size = generateARM_Message(payload.data(), length, packet.data());
    spdlog::info("PAYLOAD SIZE: {}", size);
    AckSeen seen;
    const ResponseType acknowledged = exchange(packet.data(), size, seen);
    return setAnswer(CMD_SET_APP, acknowledged, seen, payload.data());
}

SetReply ArmLink::setMCConfig(const MCConfiguration& record) {
    spdlog::debug("BEGIN ARM_setMCConfig()");
    std::array<std::uint8_t, ARM_BUFFER_SIZE> payload{};
    payload[0] = CMD_SET_MC;
    const std::size_t length = static_cast<std::size_t>(mcConfigToBytes(payload.data() + 1, record)) + 1;
    std::array<std::uint8_t, ARM_BUFFER_SIZE> packet{};
    const std::size_t size = generateARM_Message(payload.data(), length, packet.data());
    if (tracing()) {
        spdlog::trace("Arm Message: {0:X}", spdlog::to_hex(packet.data(), packet.data() + size));
        spdlog::trace("Arm msg siz: {}", size);
    }
    std::array<std::uint8_t, ARM_BUFFER_SIZE> frame{};
    const std::size_t frameSize =
        generateVarko5Message(messageType::ARM_MESSAGE, packet.data(), size, frame.data());
    spdlog::debug("generateVarko5Message. size: {}", frameSize);
    beginExchange();
    write(frame.data(), static_cast<std::uint32_t>(frameSize));
    AckSeen seen;
    const ResponseType acknowledged =
        takeAcknowledge(static_cast<std::uint8_t>(messageType::ARM_MESSAGE), seen);
    if (acknowledged == ResponseType::SUCCESS)
        spdlog::debug("ACK SUCCESS");
    const SetReply reply = setAnswer(CMD_SET_MC, acknowledged, seen, payload.data());
    spdlog::debug(reply.answer == SetAnswer::Accepted ? "END ARM_setMCConfig() SUCCESS"
                                                      : "END ARM_setMCConfig() FAILED");
    return reply;
}
