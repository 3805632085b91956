#pragma once
// The bytes both ends of the line agree on: frame and packet markers, the bridge's frame types
// and acknowledges, its status query, and the controller's command numbers. The host's link
// and the simulated bridge and controller both take them from here, so the two cannot drift.

#include <array>
#include <cstddef>
#include <cstdint>

// The type byte of a bridge frame.
enum class messageType : std::uint8_t { REQUEST = 5, ARM_MESSAGE = 7 };

namespace protocol {

// Bridge frame: start, type, length (2 bytes), payload, XOR of everything before it.
constexpr std::uint8_t FRAME_START = 0xC3;
constexpr std::size_t FRAME_OVERHEAD = 5;
constexpr std::size_t MAX_FRAME_PAYLOAD = 495;

// Controller packet: start (short or long form), length, payload, CRC-16 (2 bytes), end.
constexpr std::uint8_t PACKET_SHORT = 2; // one length byte, payloads of up to 255 bytes
constexpr std::uint8_t PACKET_LONG = 3;  // two length bytes
constexpr std::uint8_t PACKET_END = 3;

// The one request the bridge itself answers (with free text): its status.
constexpr std::uint8_t STATUS_QUERY = 0xC2;

// The bridge's three-byte answer to every ARM_MESSAGE frame.
constexpr std::uint32_t ACK_SIZE = 3;
constexpr std::uint8_t ACK_START = 0x3C;
using Acknowledge = std::array<std::uint8_t, ACK_SIZE>;
// Accepted: the frame's type and its complement.
constexpr Acknowledge ackSuccess(std::uint8_t type) {
    return {ACK_START, type, static_cast<std::uint8_t>(~type)};
}
constexpr Acknowledge ACK_FAILED = {ACK_START, 0xEE, 0x11};
constexpr Acknowledge ACK_BAD_CHECKSUM = {ACK_START, 0xBB, 0x44};

// Command numbers: the first payload byte of a controller packet, request and reply alike.
constexpr std::uint8_t CMD_FW_VERSION = 0;
constexpr std::uint8_t CMD_SET_MC = 13;
constexpr std::uint8_t CMD_GET_MC = 14;
constexpr std::uint8_t CMD_GET_DEFAULT_MC = 15;
constexpr std::uint8_t CMD_SET_APP = 16;
constexpr std::uint8_t CMD_GET_APP = 17;
constexpr std::uint8_t CMD_GET_DEFAULT_APP = 18;

constexpr bool isKnownCommand(int command) {
    return command == CMD_FW_VERSION || (command >= CMD_SET_MC && command <= CMD_GET_DEFAULT_APP);
}

// The two lengths a version reply may have.
constexpr std::uint32_t VERSION_REPLY_SHORT = 19;
constexpr std::uint32_t VERSION_REPLY_LONG = 22;

} // namespace protocol
