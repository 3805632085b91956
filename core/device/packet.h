#pragma once
// The two wire layers: the controller packet (start, length, payload, CRC-16/XMODEM, end) and
// the bridge frame (0xC3, type, length, payload, XOR checksum) that carries it.

#include "core/device/protocol.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// "messageType::REQUEST", "messageType::ARM_MESSAGE", or empty for any other value.
std::string_view messageTypeName(std::uint8_t type);

constexpr std::size_t ARM_BUFFER_SIZE = 1024;
constexpr std::size_t MAX_FRAME_PAYLOAD = protocol::MAX_FRAME_PAYLOAD;

std::uint16_t crc16(const std::uint8_t* data, std::size_t length);
// Controller packet around payload; out needs length + 6 bytes. Returns the bytes written.
std::size_t generateARM_Message(const std::uint8_t* payload, std::size_t length, std::uint8_t* out);
// Bridge frame around payload; returns length + 5. Throws std::runtime_error
// "Payload bytes must be <= 495" when length exceeds 495.
std::size_t generateVarko5Message(messageType type, const std::uint8_t* payload, std::size_t length,
                                  std::uint8_t* out);
