#include "core/config/byte_buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t bitsOf(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float floatOf(std::uint32_t bits) {
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Bytes wordBytes(std::uint32_t word) {
    return {static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
            static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
}

// Runs one writer on a buffer prefilled with a sentinel and checks that it wrote exactly the
// expected bytes at a non-zero index and advanced the index by their number.
template <class Write> Bytes written(Write write, std::size_t width) {
    std::uint8_t buffer[16];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::int32_t index = 3;
    write(buffer, index);
    EXPECT_EQ(index, 3 + static_cast<std::int32_t>(width));
    for (std::size_t i = 0; i < sizeof buffer; ++i) {
        if (i < 3 || i >= 3 + width) {
            EXPECT_EQ(buffer[i], 0xEE) << "byte " << i << " outside the value was touched";
        }
    }
    return Bytes(buffer + 3, buffer + 3 + width);
}

Bytes packed(float value) {
    return written([&](std::uint8_t* b, std::int32_t& i) { appendFloat32Packed(b, value, i); }, 4);
}

Bytes float16(float value, float scale) {
    return written([&](std::uint8_t* b, std::int32_t& i) { appendFloat16(b, value, scale, i); }, 2);
}

float readPacked(const Bytes& bytes) {
    std::int32_t index = 0;
    float value = readFloat32Packed(bytes.data(), index);
    EXPECT_EQ(index, 4);
    return value;
}

float readF16(const Bytes& bytes, float scale) {
    std::int32_t index = 0;
    float value = readFloat16(bytes.data(), scale, index);
    EXPECT_EQ(index, 2);
    return value;
}

TEST(ByteBuffer, IntegersAreBigEndianAndAdvanceTheIndex) {
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendUint8(b, 0xAB, i); }, 1), Bytes({0xAB}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendUint16(b, 0x1234, i); }, 2),
              Bytes({0x12, 0x34}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendUint16(b, 0xFFFF, i); }, 2),
              Bytes({0xFF, 0xFF}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendInt16(b, -2, i); }, 2),
              Bytes({0xFF, 0xFE}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendInt16(b, -32768, i); }, 2),
              Bytes({0x80, 0x00}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendInt16(b, 32767, i); }, 2),
              Bytes({0x7F, 0xFF}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendUint32(b, 0xC29AD144, i); }, 4),
              Bytes({0xC2, 0x9A, 0xD1, 0x44}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendInt32(b, -1, i); }, 4),
              Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(written([](std::uint8_t* b,
                         std::int32_t& i) { appendInt32(b, std::numeric_limits<std::int32_t>::min(), i); },
                      4),
              Bytes({0x80, 0x00, 0x00, 0x00}));
    EXPECT_EQ(written([](std::uint8_t* b, std::int32_t& i) { appendInt32(b, 0x7FFFFFFF, i); }, 4),
              Bytes({0x7F, 0xFF, 0xFF, 0xFF}));
}

TEST(ByteBuffer, ReadersGiveTheSameBitsSignedOrUnsigned) {
    const std::uint8_t bytes[] = {0xFF, 0xFE, 0x80, 0x00, 0x00, 0x01, 0xFF,
                                  0xFF, 0xFF, 0xFF, 0xC2, 0x9A, 0xD1, 0x44};
    std::int32_t index = 0;
    EXPECT_EQ(readInt16(bytes, index), -2);
    EXPECT_EQ(index, 2);
    index = 0;
    EXPECT_EQ(readUint16(bytes, index), 65534);
    EXPECT_EQ(readInt16(bytes, index), -32768);
    EXPECT_EQ(readUint8(bytes, index), 0x00);
    EXPECT_EQ(readUint8(bytes, index), 0x01);
    EXPECT_EQ(index, 6);
    std::int32_t signedIndex = index;
    EXPECT_EQ(readInt32(bytes, signedIndex), -1);
    EXPECT_EQ(readUint32(bytes, index), 0xFFFFFFFFu);
    EXPECT_EQ(index, 10);
    EXPECT_EQ(readUint32(bytes, index), 0xC29AD144u);
    EXPECT_EQ(index, 14);
    index = 1;
    EXPECT_EQ(readUint8(bytes, index), 0xFE);
}

TEST(ByteBuffer, ASequenceOfCallsLeavesTheIndexAtTheByteCount) {
    std::uint8_t buffer[32] = {};
    std::int32_t index = 0;
    appendUint8(buffer, 1, index);
    appendUint16(buffer, 0x0203, index);
    appendInt16(buffer, 0x0405, index);
    appendUint32(buffer, 0x06070809, index);
    appendInt32(buffer, 0x0A0B0C0D, index);
    appendFloat16(buffer, 2.5f, 100.0f, index);
    appendFloat32Packed(buffer, 1.0f, index);
    EXPECT_EQ(index, 19);
    const Bytes expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0x00, 0xFA, 0x3F, 0x80, 0x00, 0x00};
    EXPECT_EQ(Bytes(buffer, buffer + 19), expected);

    index = 0;
    EXPECT_EQ(readUint8(buffer, index), 1);
    EXPECT_EQ(readUint16(buffer, index), 0x0203);
    EXPECT_EQ(readInt16(buffer, index), 0x0405);
    EXPECT_EQ(readUint32(buffer, index), 0x06070809u);
    EXPECT_EQ(readInt32(buffer, index), 0x0A0B0C0D);
    EXPECT_EQ(readFloat16(buffer, 100.0f, index), 2.5f);
    EXPECT_EQ(readFloat32Packed(buffer, index), 1.0f);
    EXPECT_EQ(index, 19);
}

TEST(ByteBuffer, ScaledFloat16TruncatesTowardZeroAndWraps) {
    EXPECT_EQ(float16(-1.5f, 100.0f), Bytes({0xFF, 0x6A}));
    EXPECT_EQ(readF16({0xFF, 0x6A}, 100.0f), -1.5f);

    EXPECT_EQ(float16(0.0149f, 100.0f), Bytes({0x00, 0x01}));
    EXPECT_EQ(readF16({0x00, 0x01}, 100.0f), 0.01f);
    EXPECT_EQ(float16(-0.0149f, 100.0f), Bytes({0xFF, 0xFF}));

    // The single-precision product is 32766.998..., truncated to 32766.
    EXPECT_EQ(float16(32.767f, 1000.0f), Bytes({0x7F, 0xFE}));
    EXPECT_EQ(readF16({0x7F, 0xFE}, 1000.0f), 32.766f);

    // 40000 does not fit 16 bits and wraps.
    EXPECT_EQ(float16(40.0f, 1000.0f), Bytes({0x9C, 0x40}));
    EXPECT_EQ(readF16({0x9C, 0x40}, 1000.0f), -25.536f);

    EXPECT_EQ(float16(3276.7f, 10.0f), Bytes({0x7F, 0xFF}));
    EXPECT_EQ(float16(-3276.8f, 10.0f), Bytes({0x80, 0x00}));
    EXPECT_EQ(readF16({0x80, 0x00}, 10.0f), -3276.8f);
    EXPECT_EQ(readF16({0x7F, 0xFF}, 100.0f), 327.67f);
    EXPECT_EQ(float16(0.0f, 1000.0f), Bytes({0x00, 0x00}));
    EXPECT_EQ(float16(-0.0f, 1000.0f), Bytes({0x00, 0x00}));
}

TEST(ByteBuffer, ScaledFloat16OfProductsBeyond32BitsIsDefined) {
    // Out-of-range products saturate to the 32-bit limits before the low 16 bits are taken;
    // a NaN product is written as 0.
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(float16(1e30f, 1000.0f), Bytes({0xFF, 0xFF}));   // 0x7FFFFFFF
    EXPECT_EQ(float16(-1e30f, 1000.0f), Bytes({0x00, 0x00}));  // 0x80000000
    EXPECT_EQ(float16(3.0e6f, 1000.0f), Bytes({0xFF, 0xFF}));  // 3e9 > INT32_MAX
    EXPECT_EQ(float16(-3.0e6f, 1000.0f), Bytes({0x00, 0x00})); // -3e9 < INT32_MIN
    EXPECT_EQ(float16(inf, 100.0f), Bytes({0xFF, 0xFF}));
    EXPECT_EQ(float16(-inf, 100.0f), Bytes({0x00, 0x00}));
    EXPECT_EQ(float16(std::numeric_limits<float>::quiet_NaN(), 10.0f), Bytes({0x00, 0x00}));
    EXPECT_EQ(float16(-std::numeric_limits<float>::quiet_NaN(), 10.0f), Bytes({0x00, 0x00}));
    // Just inside the 32-bit range it still wraps like any other value.
    EXPECT_EQ(float16(2.0e6f, 1000.0f), Bytes({0x94, 0x00})); // 2e9 = 0x77359400
}

TEST(ByteBuffer, PackedFloat32WritesTheIeeePattern) {
    EXPECT_EQ(packed(1.0f), Bytes({0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(packed(-2.5f), Bytes({0xC0, 0x20, 0x00, 0x00}));
    EXPECT_EQ(packed(60.0f), Bytes({0x42, 0x70, 0x00, 0x00}));
    EXPECT_EQ(packed(std::numeric_limits<float>::max()), Bytes({0x7F, 0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(packed(-std::numeric_limits<float>::max()), Bytes({0xFF, 0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(packed(0.1f), Bytes({0x3D, 0xCC, 0xCC, 0xCD}));
}

TEST(ByteBuffer, PackedFloat32FlushesMagnitudesBelowTheThresholdToZero) {
    const Bytes zero = {0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(packed(0.0f), zero);
    EXPECT_EQ(packed(-0.0f), zero);
    EXPECT_EQ(packed(1e-38f), zero);
    EXPECT_EQ(packed(-1e-38f), zero);
    EXPECT_EQ(packed(std::numeric_limits<float>::min()), zero);        // smallest normal
    EXPECT_EQ(packed(std::numeric_limits<float>::denorm_min()), zero); // subnormal
    EXPECT_EQ(packed(-std::numeric_limits<float>::denorm_min()), zero);
    // The float nearest to 1.5e-38 is kept; the next smaller one is not.
    EXPECT_EQ(bitsOf(1.5e-38f), 0x00A355E6u);
    EXPECT_EQ(packed(floatOf(0x00A355E6)), Bytes({0x00, 0xA3, 0x55, 0xE6}));
    EXPECT_EQ(packed(floatOf(0x80A355E6)), Bytes({0x80, 0xA3, 0x55, 0xE6}));
    EXPECT_EQ(packed(floatOf(0x00A355E5)), zero);
    EXPECT_EQ(packed(floatOf(0x80A355E5)), zero);
}

TEST(ByteBuffer, PackedFloat32OfInfinityAndNanIsDefined) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(packed(inf), Bytes({0x7F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(packed(-inf), Bytes({0xFF, 0x80, 0x00, 0x00}));
    EXPECT_EQ(packed(std::numeric_limits<float>::quiet_NaN()), Bytes({0x7F, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(packed(floatOf(0xFFC00000)), Bytes({0x7F, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(packed(floatOf(0x7F800001)), Bytes({0x7F, 0xC0, 0x00, 0x00}));
}

TEST(ByteBuffer, PackedFloat32ReadsZerosInfinitiesAndSmallExponents) {
    float negativeZero = readPacked({0x80, 0x00, 0x00, 0x00});
    EXPECT_EQ(negativeZero, 0.0f);
    EXPECT_TRUE(std::signbit(negativeZero));
    float positiveZero = readPacked({0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(positiveZero, 0.0f);
    EXPECT_FALSE(std::signbit(positiveZero));

    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(readPacked({0x7F, 0x80, 0x00, 0x00}), inf);
    EXPECT_EQ(readPacked({0x7F, 0xC0, 0x00, 0x00}), inf); // a NaN pattern decodes to infinity
    EXPECT_EQ(readPacked({0x7F, 0xFF, 0xFF, 0xFF}), inf);
    EXPECT_EQ(readPacked({0xFF, 0x80, 0x00, 0x00}), -inf);
    EXPECT_EQ(readPacked({0xFF, 0xC0, 0x00, 0x01}), -inf);

    // Exponent 0 with a mantissa is read as if the leading bit were there, not as a subnormal:
    // (0.5 + m * 2^-24) * 2^-126, rounded to the nearest float.
    EXPECT_EQ(bitsOf(readPacked({0x00, 0x00, 0x00, 0x02})), 0x00400001u); // 2^-127 + 2^-149
    EXPECT_EQ(bitsOf(readPacked({0x00, 0x00, 0x00, 0x01})), 0x00400000u); // tie, to even
    EXPECT_EQ(bitsOf(readPacked({0x80, 0x00, 0x00, 0x02})), 0x80400001u);
    EXPECT_EQ(bitsOf(readPacked({0x00, 0x7F, 0xFF, 0xFF})), 0x00800000u); // rounds up to FLT_MIN
    EXPECT_EQ(bitsOf(readPacked({0x00, 0x40, 0x00, 0x00})), 0x00600000u); // 0.75 * 2^-126
}

TEST(ByteBuffer, PackedFloat32IsTheIeeePatternForEveryKeptMagnitude) {
    // A sweep over the normal range from the threshold up to FLT_MAX, both signs.
    const std::uint32_t first = 0x00A355E6;
    const std::uint32_t last = 0x7F7FFFFF;
    std::uint32_t bits = first;
    int checked = 0;
    while (true) {
        for (std::uint32_t sign : {0u, 0x80000000u}) {
            const float value = floatOf(bits | sign);
            const Bytes expected = wordBytes(bits | sign);
            const Bytes got = packed(value);
            ASSERT_EQ(got, expected) << std::hex << (bits | sign);
            ASSERT_EQ(bitsOf(readPacked(got)), bits | sign) << std::hex << (bits | sign);
        }
        ++checked;
        if (bits == last) {
            break;
        }
        bits = (last - bits > 200003u) ? bits + 200003u : last;
    }
    EXPECT_GT(checked, 10000);
}

} // namespace
