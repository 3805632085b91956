#include "core/ops/device_choice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

DeviceInfoNode node(const char* serial) {
    DeviceInfoNode n{};
    std::strncpy(n.serialNumber, serial, sizeof n.serialNumber);
    return n;
}

const char* const MULTIPLE =
    "Multiple FTDI devices detected. Please connect only one device at a time when configuring";

TEST(DeviceChoice, WithoutSerialNumberOnlyASingleDeviceIsChosen) {
    EXPECT_EQ(chooseDevice({node("A")}, "").index, 0);
    EXPECT_TRUE(chooseDevice({node("A")}, "").error.empty());

    const auto none = chooseDevice({}, "");
    EXPECT_EQ(none.index, -1);
    EXPECT_EQ(none.error, "No VARKO 5 devices found");

    const auto several = chooseDevice({node("A"), node("B")}, "");
    EXPECT_EQ(several.index, -1);
    EXPECT_EQ(several.error, MULTIPLE);
}

TEST(DeviceChoice, SerialNumberPicksItsDeviceAmongSeveral) {
    const std::vector<DeviceInfoNode> devices{node("FT1"), node("FT2"), node("FT3")};
    EXPECT_EQ(chooseDevice(devices, "FT2").index, 1);
    EXPECT_EQ(chooseDevice(devices, "FT3").index, 2);
    EXPECT_EQ(chooseDevice({node("ONLY")}, "ONLY").index, 0);
}

TEST(DeviceChoice, UnknownSerialNumberIsRefusedByName) {
    const auto unknown = chooseDevice({node("FT1"), node("FT2")}, "FT");
    EXPECT_EQ(unknown.index, -1);
    EXPECT_EQ(unknown.error, "No device with serial number FT (connected: FT1, FT2)");
    const auto nothing = chooseDevice({}, "FT1");
    EXPECT_EQ(nothing.error, "No device with serial number FT1 (no device connected)");
}

TEST(DeviceChoice, SerialNumberFillingTheWholeFieldIsRead) {
    DeviceInfoNode full{};
    std::memcpy(full.serialNumber, "0123456789ABCDEF", 16); // no terminating NUL
    std::memcpy(full.description, "X", 2);
    EXPECT_EQ(serialNumberOf(full), "0123456789ABCDEF");
    EXPECT_EQ(chooseDevice({node("A"), full}, "0123456789ABCDEF").index, 1);
}

} // namespace
