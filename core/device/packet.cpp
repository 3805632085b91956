#include "core/device/packet.h"

#include <array>
#include <cstring>
#include <stdexcept>

namespace {

// CRC-16/XMODEM of each single byte value, built once at compile time.
constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000u) != 0 ? ((crc << 1) ^ 0x1021u) : (crc << 1);
        table[i] = static_cast<std::uint16_t>(crc & 0xFFFFu);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

} // namespace

std::string_view messageTypeName(std::uint8_t type) {
    switch (type) {
    case static_cast<std::uint8_t>(messageType::REQUEST):
        return "messageType::REQUEST";
    case static_cast<std::uint8_t>(messageType::ARM_MESSAGE):
        return "messageType::ARM_MESSAGE";
    default:
        return {};
    }
}

std::uint16_t crc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFFu]);
    return crc;
}

std::size_t generateARM_Message(const std::uint8_t* payload, std::size_t length, std::uint8_t* out) {
    const std::uint16_t crc = crc16(payload, length);
    std::size_t index = 0;
    if (length > 255) {
        out[index++] = protocol::PACKET_LONG;
        out[index++] = static_cast<std::uint8_t>((length >> 8) & 0xFFu);
        out[index++] = static_cast<std::uint8_t>(length & 0xFFu);
    } else {
        out[index++] = protocol::PACKET_SHORT;
        out[index++] = static_cast<std::uint8_t>(length);
    }
    if (length > 0)
        std::memcpy(out + index, payload, length);
    index += length;
    out[index++] = static_cast<std::uint8_t>(crc >> 8);
    out[index++] = static_cast<std::uint8_t>(crc & 0xFFu);
    out[index++] = protocol::PACKET_END;
    return index;
}

std::size_t generateVarko5Message(messageType type, const std::uint8_t* payload, std::size_t length,
                                  std::uint8_t* out) {
    if (length > MAX_FRAME_PAYLOAD)
        throw std::runtime_error("Payload bytes must be <= 495");
    out[0] = protocol::FRAME_START;
    out[1] = static_cast<std::uint8_t>(type);
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length & 0xFFu);
    if (length > 0)
        std::memcpy(out + 4, payload, length);
    std::uint8_t checksum = 0;
    for (std::size_t i = 0; i < length + 4; ++i)
        checksum = static_cast<std::uint8_t>(checksum ^ out[i]);
    out[length + 4] = checksum;
    return length + protocol::FRAME_OVERHEAD;
}
