#include "core/device/packet.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes armMessage(const Bytes& payload) {
    Bytes out(payload.size() + 6, 0xEE);
    out.resize(generateARM_Message(payload.data(), payload.size(), out.data()));
    return out;
}

Bytes frame(messageType type, const Bytes& payload) {
    Bytes out(payload.size() + 5, 0xEE);
    EXPECT_EQ(generateVarko5Message(type, payload.data(), payload.size(), out.data()), payload.size() + 5);
    return out;
}

TEST(Crc16, CheckValuesAndTableEntries) {
    const std::string check = "123456789";
    EXPECT_EQ(crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x31C3);
    EXPECT_EQ(crc16(nullptr, 0), 0);
    const std::uint8_t one = 1, two = 2, sixteen = 16, zero = 0;
    EXPECT_EQ(crc16(&one, 1), 0x1021);
    EXPECT_EQ(crc16(&two, 1), 0x2042);
    EXPECT_EQ(crc16(&sixteen, 1), 0x1231);
    EXPECT_EQ(crc16(&zero, 1), 0x0000);
}

TEST(ControllerPacket, FixedRequestsOfTheCommandsWithoutData) {
    EXPECT_EQ(armMessage({0}), (Bytes{0x02, 0x01, 0x00, 0x00, 0x00, 0x03}));
    EXPECT_EQ(armMessage({14}), (Bytes{0x02, 0x01, 0x0E, 0xE1, 0xCE, 0x03}));
    EXPECT_EQ(armMessage({15}), (Bytes{0x02, 0x01, 0x0F, 0xF1, 0xEF, 0x03}));
    EXPECT_EQ(armMessage({17}), (Bytes{0x02, 0x01, 0x11, 0x02, 0x10, 0x03}));
    EXPECT_EQ(armMessage({18}), (Bytes{0x02, 0x01, 0x12, 0x32, 0x73, 0x03}));
}

TEST(ControllerPacket, ShortFormUpTo255LongFormFrom256) {
    Bytes payload(255);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7);
    Bytes out = armMessage(payload);
    ASSERT_EQ(out.size(), 260u);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(out[1], 255);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), out.begin() + 2));
    const std::uint16_t crc = crc16(payload.data(), payload.size());
    EXPECT_EQ(out[257], crc >> 8);
    EXPECT_EQ(out[258], crc & 0xFF);
    EXPECT_EQ(out[259], 3);

    payload.push_back(0x5A);
    out = armMessage(payload);
    ASSERT_EQ(out.size(), 262u);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 0x01);
    EXPECT_EQ(out[2], 0x00);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), out.begin() + 3));
    const std::uint16_t longCrc = crc16(payload.data(), payload.size());
    EXPECT_EQ(out[259], longCrc >> 8);
    EXPECT_EQ(out[260], longCrc & 0xFF);
    EXPECT_EQ(out[261], 3);
}

TEST(BridgeFrame, ExamplesAndChecksums) {
    EXPECT_EQ(frame(messageType::ARM_MESSAGE, armMessage({0})),
              (Bytes{0xC3, 0x07, 0x00, 0x06, 0x02, 0x01, 0x00, 0x00, 0x00, 0x03, 0xC2}));
    EXPECT_EQ(frame(messageType::REQUEST, {0xC2}), (Bytes{0xC3, 0x05, 0x00, 0x01, 0xC2, 0x05}));
    // The start byte takes part in the checksum.
    EXPECT_EQ(frame(messageType::ARM_MESSAGE, {}), (Bytes{0xC3, 0x07, 0x00, 0x00, 0xC4}));
    EXPECT_EQ(frame(messageType::ARM_MESSAGE, armMessage({14})).back(), 0xE3);
    EXPECT_EQ(frame(messageType::ARM_MESSAGE, armMessage({15})).back(), 0xD3);
    EXPECT_EQ(frame(messageType::ARM_MESSAGE, armMessage({17})).back(), 0xC1);
    EXPECT_EQ(frame(messageType::ARM_MESSAGE, armMessage({18})).back(), 0x91);
}

TEST(BridgeFrame, PayloadLimitIs495) {
    Bytes payload(495);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i);
    const Bytes out = frame(messageType::ARM_MESSAGE, payload);
    ASSERT_EQ(out.size(), 500u);
    EXPECT_EQ(out[2], 0x01);
    EXPECT_EQ(out[3], 0xEF);
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < 499; ++i)
        x = static_cast<std::uint8_t>(x ^ out[i]);
    EXPECT_EQ(out[499], x);

    payload.push_back(0);
    Bytes untouched(501, 0xEE);
    try {
        generateVarko5Message(messageType::ARM_MESSAGE, payload.data(), payload.size(), untouched.data());
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Payload bytes must be <= 495");
    }
    EXPECT_EQ(untouched, Bytes(501, 0xEE));
}

TEST(MessageType, LogNames) {
    EXPECT_EQ(messageTypeName(5), "messageType::REQUEST");
    EXPECT_EQ(messageTypeName(7), "messageType::ARM_MESSAGE");
    EXPECT_EQ(messageTypeName(6), "");
}

} // namespace
