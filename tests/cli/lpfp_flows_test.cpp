// Applying and saving LPFP files.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST_F(CliExtras, ApplyingAnLpfpFileLaysItOverTheDefaultsAndVerifiesBothRecords) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string lpfp = fewKeysLpfp();
    const CliResult result = run({"--lpfp_config", lpfp, "--no_backup"});
    EXPECT_EQ(result.status, 0) << result.err;
    Lines steps;
    for (const auto& line : result.errLines) {
        if (line.rfind("[info] ", 0) == 0 || line.rfind("[error] ", 0) == 0) {
            steps.push_back(line);
        }
    }
    EXPECT_THAT(steps, ElementsAreArray(Lines{
                           "[info] Getting Default APP Configuration",
                           "[info] Configuration updated from LPFP file " + lpfp + ". 2 parameters set",
                           "[info] PAYLOAD SIZE: 425",
                           "[info] Configuration sent to device",
                           "[info] Getting APP Configuration",
                           "[info] Validating Updated APP",
                           "[info] APP Configuration Validated",
                           "[info] Configuration sent to device",
                           "[info] Getting MC Configuration",
                           "[info] Validating Updated MC",
                           "[info] MC Configuration Validated",
                           "[info] Configuration updated successfully",
                       }));
    SimRecords expected = defaults();
    expected.app.controller_id = 7;
    expected.mc.l_current_max = 44.0f;
    expected = {onTheWire(expected.app), onTheWire(expected.mc)};
    // si_motor_poles and the hysteresis went back to their defaults.
    EXPECT_EQ(appXml(stored()), appXml(expected));
    EXPECT_EQ(mcXml(stored()), mcXml(expected));
}

TEST_F(CliExtras, ARefusedApplicationRecordDoesNotStopTheMotorRecord) {
    const std::string lpfp = fewKeysLpfp();
    for (const char* fault : {"fault=set_refused;fault_on=16", "fault=change_on_write;fault_on=16"}) {
        fs::remove(statePath);
        const CliResult result = run({"--lpfp_config", lpfp, "--no_backup"}, fault);
        EXPECT_EQ(result.status, 1) << fault;
        EXPECT_TRUE(contains(result.errLines, "[info] MC Configuration Validated")) << fault << result.err;
        EXPECT_TRUE(contains(result.errLines, "[error] Configuration Validation Failed.")) << fault;
        EXPECT_FALSE(contains(result.errLines, "[info] Configuration updated successfully")) << fault;
        EXPECT_FLOAT_EQ(stored().mc.l_current_max, 44.0f) << fault;
    }
    const CliResult refused = run({"--lpfp_config", lpfp, "--no_backup"}, "fault=set_refused;fault_on=16");
    EXPECT_TRUE(contains(refused.errLines, "[error] Failed to set APPConfig"));
    const CliResult changed =
        run({"--lpfp_config", lpfp, "--no_backup"}, "fault=change_on_write;fault_on=16");
    EXPECT_TRUE(contains(changed.errLines, "[error] App Configuration validation FAILED"));

    // A refused motor record fails the run after a verified application record.
    fs::remove(statePath);
    const CliResult mcRefused = run({"--lpfp_config", lpfp, "--no_backup"}, "fault=set_refused;fault_on=13");
    EXPECT_EQ(mcRefused.status, 1);
    EXPECT_TRUE(contains(mcRefused.errLines, "[info] APP Configuration Validated"));
    EXPECT_TRUE(contains(mcRefused.errLines, "[error] Failed to set MCConfig"));
    EXPECT_EQ(stored().app.controller_id, 7);
}

TEST_F(CliExtras, DamagedOrMissingLpfpFilesAreRefusedBeforeAnyDeviceIsListed) {
    const std::string good = readFileBytes(writeLpfp("good.lpfp", defaults()));
    std::string flipped = good;
    flipped[0] = flipped[0] == 'A' ? 'B' : 'A';
    const std::string checksum = write("checksum.lpfp", flipped);
    flipped[0] = '*';
    const std::string decoding = write("decoding.lpfp", flipped);
    const std::string empty = write("empty.lpfp", "FFFF");
    const std::string missing = dir.file("missing.lpfp");
    const std::vector<std::pair<std::string, std::string>> cases{
        {checksum, "[error] " + checksum + ": Checksum Fail"},
        {decoding, "[error] " + decoding + ": Decoding Failed."},
        {empty, "[error] " + empty + ": Invalid Configuration File"},
        {missing, "[error] Cannot read file " + missing},
    };
    for (const auto& [path, message] : cases) {
        const CliResult result = run({"--lpfp_config", path}, UNTOUCHABLE);
        EXPECT_EQ(result.status, 1) << path;
        EXPECT_THAT(result.errLines, ElementsAreArray(Lines{message})) << path;
    }
    EXPECT_FALSE(fs::exists(statePath));
    EXPECT_FALSE(fs::exists(dataHome));
}

TEST_F(CliExtras, ApplyingNeedsFirmware52AndNothingIsWrittenOtherwise) {
    const std::string lpfp = writeLpfp("target.lpfp", modifiedRecords());
    const CliResult result = run({"--lpfp_config", lpfp}, "fw=5.3");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.errLines,
                         "[error] This application only works with FW version 5.2. Curent Version: 5.3"));
    EXPECT_FALSE(fs::exists(statePath));
    EXPECT_FALSE(fs::exists(dataHome));
}

TEST_F(CliExtras, SilentControllerEndsTheApplyWithTheTimeoutMessage) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const CliResult result =
        run({"--lpfp_config", lpfp, "--no_backup"}, "fault=silent_controller;fault_on=16");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.errLines, "[error] ARM timed out. It may not be powered."));
    EXPECT_FALSE(fs::exists(statePath));
}

TEST_F(CliExtras, SavingTheCurrentOrDefaultConfigurationAsLpfp) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string current = dir.file("current.lpfp");
    const std::string factory = dir.file("factory.lpfp");
    const CliResult saved = run({"--saveLpfp", current});
    EXPECT_EQ(saved.status, 0);
    EXPECT_EQ(saved.errLines.back(), "LPFP Configuration saved to: " + current);
    const CliResult savedDefaults = run({"--getDefaults", "--saveLpfp", factory});
    EXPECT_EQ(savedDefaults.status, 0);
    EXPECT_EQ(savedDefaults.errLines.back(), "Default LPFP Configuration saved to: " + factory);

    for (const auto& [path, records] :
         {std::pair{current, modifiedRecords()}, std::pair{factory, defaults()}}) {
        LpfpConfiguration pair;
        std::uint64_t keys = 0;
        ASSERT_TRUE(readLpfpFile(pair, path, keys)) << path;
        EXPECT_EQ(appConfigToXml(pair.app), appXml(records)) << path;
        EXPECT_EQ(mcConfigToXml(pair.mc), mcXml(records)) << path;
    }

    const CliResult unwritable = run({"--saveLpfp", dir.file("no/such/folder/x.lpfp")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(starting(unwritable.errLines, "[error] --saveLpfp: Cannot write file ").size(), 1u)
        << unwritable.err;
}
