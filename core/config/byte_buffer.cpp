#include "core/config/byte_buffer.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// value truncated toward zero; saturates outside the 32-bit range, NaN gives 0.
std::int32_t truncateToInt32(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0f) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < -2147483648.0f) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

void appendUint8(std::uint8_t* buffer, std::uint8_t value, std::int32_t& index) {
    buffer[index++] = value;
}

void appendUint16(std::uint8_t* buffer, std::uint16_t value, std::int32_t& index) {
    buffer[index++] = static_cast<std::uint8_t>(value >> 8);
    buffer[index++] = static_cast<std::uint8_t>(value);
}

void appendInt16(std::uint8_t* buffer, std::int16_t value, std::int32_t& index) {
    appendUint16(buffer, static_cast<std::uint16_t>(value), index);
}

void appendUint32(std::uint8_t* buffer, std::uint32_t value, std::int32_t& index) {
    buffer[index++] = static_cast<std::uint8_t>(value >> 24);
    buffer[index++] = static_cast<std::uint8_t>(value >> 16);
    buffer[index++] = static_cast<std::uint8_t>(value >> 8);
    buffer[index++] = static_cast<std::uint8_t>(value);
}

void appendInt32(std::uint8_t* buffer, std::int32_t value, std::int32_t& index) {
    appendUint32(buffer, static_cast<std::uint32_t>(value), index);
}

void appendFloat16(std::uint8_t* buffer, float value, float scale, std::int32_t& index) {
    const std::int32_t n = truncateToInt32(value * scale);
    appendUint16(buffer, static_cast<std::uint16_t>(static_cast<std::uint32_t>(n) & 0xFFFFu), index);
}

void appendFloat32Packed(std::uint8_t* buffer, float value, std::int32_t& index) {
    // Infinities and NaNs have no frexp split; they keep their IEEE meaning on the wire.
    if (std::isinf(value)) {
        appendUint32(buffer, floatBits(value), index);
        return;
    }
    if (std::isnan(value)) {
        appendUint32(buffer, 0x7FC00000u, index);
        return;
    }
    double v = value;
    if (std::fabs(v) < 1.5e-38) {
        v = 0.0;
    }
    int e = 0;
    const float sig = static_cast<float>(std::frexp(v, &e));
    const float magnitude = std::fabs(sig);
    std::uint32_t m = 0;
    if (magnitude >= 0.5f) {
        e += 126;
        m = static_cast<std::uint32_t>(((magnitude - 0.5f) + (magnitude - 0.5f)) * 8388608.0f);
    } else {
        e = 0;
    }
    std::uint32_t word = ((static_cast<std::uint32_t>(e) & 0xFFu) << 23) | (m & 0x7FFFFFu);
    if (sig < 0.0f) {
        word |= 0x80000000u;
    }
    appendUint32(buffer, word, index);
}

std::uint8_t readUint8(const std::uint8_t* buffer, std::int32_t& index) {
    return buffer[index++];
}

std::uint16_t readUint16(const std::uint8_t* buffer, std::int32_t& index) {
    const auto high = static_cast<std::uint16_t>(buffer[index++]);
    const auto low = static_cast<std::uint16_t>(buffer[index++]);
    return static_cast<std::uint16_t>((high << 8) | low);
}

std::int16_t readInt16(const std::uint8_t* buffer, std::int32_t& index) {
    return static_cast<std::int16_t>(readUint16(buffer, index));
}

std::uint32_t readUint32(const std::uint8_t* buffer, std::int32_t& index) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value = (value << 8) | buffer[index++];
    }
    return value;
}

std::int32_t readInt32(const std::uint8_t* buffer, std::int32_t& index) {
    return static_cast<std::int32_t>(readUint32(buffer, index));
}

float readFloat16(const std::uint8_t* buffer, float scale, std::int32_t& index) {
    return static_cast<float>(readInt16(buffer, index)) / scale;
}

float readFloat32Packed(const std::uint8_t* buffer, std::int32_t& index) {
    const std::uint32_t word = readUint32(buffer, index);
    const int e = static_cast<int>((word >> 23) & 0xFFu);
    const std::uint32_t m = word & 0x7FFFFFu;
    const bool negative = (word & 0x80000000u) != 0;
    if (e == 0 && m == 0) {
        return negative ? -0.0f : 0.0f;
    }
    if (e == 255) {
        return negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    }
    float sig = static_cast<float>(static_cast<double>(static_cast<float>(m)) * 5.960464477539063e-08 + 0.5);
    if (negative) {
        sig = -sig;
    }
    return static_cast<float>(std::ldexp(static_cast<double>(sig), e - 126));
}
