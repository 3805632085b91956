#pragma once
// Numbers in and out of a byte buffer in the byte order and formats of the controller's
// configuration payloads. Every value wider than a byte is big-endian. Each operation works
// at a running index that the caller keeps and advances it past the bytes it handled. The
// caller owns the buffer and its size: nothing here checks bounds.

#include <cstdint>

void appendUint8(std::uint8_t* buffer, std::uint8_t value, std::int32_t& index);
void appendInt16(std::uint8_t* buffer, std::int16_t value, std::int32_t& index);
void appendUint16(std::uint8_t* buffer, std::uint16_t value, std::int32_t& index);
void appendInt32(std::uint8_t* buffer, std::int32_t value, std::int32_t& index);
void appendUint32(std::uint8_t* buffer, std::uint32_t value, std::int32_t& index);
// value x scale, truncated toward zero, low 16 bits. A product outside the 32-bit range
// saturates before it is cut to 16 bits; a NaN product is written as 0.
void appendFloat16(std::uint8_t* buffer, float value, float scale, std::int32_t& index);
// IEEE-754 single precision built from frexp; magnitudes below 1.5e-38 become 0. An infinity
// is written as its IEEE pattern and a NaN as the quiet NaN 7F C0 00 00.
void appendFloat32Packed(std::uint8_t* buffer, float value, std::int32_t& index);

std::uint8_t readUint8(const std::uint8_t* buffer, std::int32_t& index);
std::int16_t readInt16(const std::uint8_t* buffer, std::int32_t& index);
std::uint16_t readUint16(const std::uint8_t* buffer, std::int32_t& index);
std::int32_t readInt32(const std::uint8_t* buffer, std::int32_t& index);
std::uint32_t readUint32(const std::uint8_t* buffer, std::int32_t& index);
float readFloat16(const std::uint8_t* buffer, float scale, std::int32_t& index);
float readFloat32Packed(const std::uint8_t* buffer, std::int32_t& index);
