// Choosing one of several controllers by its serial number.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

class CliSeveralDevices : public CliExtras {
protected:
    const std::string stateA = dir.file("a.state");
    const std::string stateB = dir.file("b.state");

    CliResult runTwo(const std::vector<std::string>& arguments) const {
        return runCli(arguments,
                      {{"VARKO5_SIMULATOR", "devices=2;serial=SNA,SNB;state=" + stateA + "," + stateB},
                       {"XDG_DATA_HOME", dataHome.string()}});
    }
};

TEST_F(CliSeveralDevices, SerialNumberChoosesTheDeviceForEveryFlow) {
    ASSERT_TRUE(saveSimState(stateB, modifiedRecords()));
    const std::string lpfp = fewKeysLpfp();

    CliResult result = runTwo({"--lpfp_config", lpfp, "--serial", "SNB"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.errLines.at(0), "Device Number : 1");
    EXPECT_EQ(result.errLines.at(1), "       Serial Number: SNB");
    EXPECT_EQ(stored(stateB).app.controller_id, 7);
    EXPECT_FALSE(fs::exists(stateA));
    const auto backups = filesIn(defaultBackups);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].filename().string().rfind("SNB-", 0), 0u);

    const std::string mcPath = write("unit.mc.xml", mcXml(defaults()));
    result = runTwo({"--serial", "SNA", "--mc_config", mcPath, "--no_backup"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_EQ(result.lines.at(0), "Device Number : 0");
    EXPECT_TRUE(fs::exists(stateA));

    result = runTwo({"--serial", "SNB", "--getConfig"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.at(0), "Device Number : 1");
    EXPECT_THAT(result.out, HasSubstr("    <controller_id>7</controller_id>\n"));

    result = runTwo({"--serial", "SNB", "--test"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.at(0), "[info] Devices found: 2");
    EXPECT_EQ(result.lines.at(2), "Device Number : 1");
    EXPECT_EQ(result.lines.at(3), "       Serial Number: SNB");

    result = runTwo({"--serial", "SNB", "--changed"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.lines, "APPConfiguration controller_id: " +
                                           std::to_string(defaults().app.controller_id) + " -> 7"));
}

TEST_F(CliSeveralDevices, WithoutSerialNumberTheOriginalRefusalStands) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const std::string multiple =
        "[error] Multiple FTDI devices detected. Please connect only one device at a time when configuring";
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--getConfig"},
                                                      {"--lpfp_config", lpfp},
                                                      {"--saveLpfp", dir.file("x.lpfp")}}) {
        const CliResult result = runTwo(arguments);
        EXPECT_EQ(result.status, 1) << arguments[0];
        // The original flows log on standard output, the added ones on standard error.
        const bool original = arguments[0] == "--getConfig";
        EXPECT_THAT(original ? result.lines : result.errLines, ElementsAreArray(Lines{multiple}))
            << arguments[0];
        EXPECT_TRUE(original || result.out.empty()) << arguments[0];
    }
    EXPECT_EQ(runTwo({"--changed"}).status, 2);
    EXPECT_FALSE(fs::exists(stateA));
    EXPECT_FALSE(fs::exists(stateB));
}

TEST_F(CliSeveralDevices, UnknownSerialNumberIsRefusedAndNothingIsSent) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const std::string unknown = "[error] No device with serial number SNC (connected: SNA, SNB)";
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--getConfig"},
                                                      {"--lpfp_config", lpfp},
                                                      {"--test"},
                                                      {"--saveLpfp", dir.file("x.lpfp")}}) {
        std::vector<std::string> withSerial = arguments;
        withSerial.insert(withSerial.end(), {"--serial", "SNC"});
        const CliResult result = runTwo(withSerial);
        EXPECT_EQ(result.status, 1) << arguments[0];
        const bool original = arguments[0] == "--getConfig" || arguments[0] == "--test";
        EXPECT_TRUE(contains(original ? result.lines : result.errLines, unknown))
            << arguments[0] << result.out;
    }
    const CliResult diff = runTwo({"--changed", "--serial", "SNC"});
    EXPECT_EQ(diff.status, 2);
    EXPECT_EQ(diff.out, "");
    EXPECT_THAT(diff.errLines, ElementsAreArray(Lines{unknown}));
    EXPECT_FALSE(fs::exists(stateA));
    EXPECT_FALSE(fs::exists(stateB));
    EXPECT_FALSE(fs::exists(dir.file("x.lpfp")));
}
