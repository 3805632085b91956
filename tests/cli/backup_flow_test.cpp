// The backup taken before every write.

#include "tests/cli/cli_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

TEST_F(CliExtras, SettingTakesABackupFirstAndOtherwiseReportsAsBefore) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    SimRecords wanted = defaults();
    wanted.mc.si_battery_cells = 14;
    const std::string mcPath = write("unit.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(wanted));

    const CliResult result = run({"--mc_config", mcPath});
    EXPECT_EQ(result.status, 0) << result.out;
    const auto backups = filesIn(defaultBackups);
    ASSERT_EQ(backups.size(), 1u);
    // std::regex: GoogleTest's own regex on Windows knows no {n}.
    EXPECT_TRUE(
        std::regex_match(backups[0].filename().string(), std::regex("VK5SIM0001-[0-9]{8}-[0-9]{6}\\.lpfp")))
        << backups[0].filename().string();
    // The backup line comes after the version lines, before anything is sent.
    const Lines expectedTail{"Backup saved to: " + backups[0].string(),
                             "[info] Getting Default MC Configuration",
                             "[info] Configuration updated from XML file " + mcPath + ". 157 parameters set",
                             "[info] Configuration sent to device",
                             "[info] Getting MC Configuration",
                             "[info] MC Configuration Validated"};
    ASSERT_GE(result.lines.size(), expectedTail.size());
    EXPECT_THAT(Lines(result.lines.end() - static_cast<long>(expectedTail.size()), result.lines.end()),
                ElementsAreArray(expectedTail));
    EXPECT_EQ(result.lines[result.lines.size() - expectedTail.size() - 1], "Minor: 2");

    LpfpConfiguration backup;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(backup, backups[0].string(), keys));
    EXPECT_EQ(appConfigToXml(backup.app), appXml(modifiedRecords()));
    EXPECT_EQ(mcConfigToXml(backup.mc), mcXml(modifiedRecords()));
    EXPECT_EQ(stored().mc.si_battery_cells, 14);
}

TEST_F(CliExtras, NoBackupLeavesTheOriginalOutputUntouched) {
    const std::string mcPath = write("unit.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const CliResult result = run({"--mc_config", mcPath, "--no_backup"});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(starting(result.lines, "Backup").empty());
    EXPECT_FALSE(fs::exists(dataHome));
    EXPECT_EQ(result.lines.size(), 11u + 5u); // device block, chip, version, then the five steps
}

TEST_F(CliExtras, UnwritableBackupFolderMeansNothingIsSent) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string blocker = write("blocker", "not a folder");
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const std::string mcPath = write("unit.mc.xml", std::string(XML_DECLARATION) + "\n" + mcXml(defaults()));
    const std::vector<std::vector<std::string>> commands{
        {"--lpfp_config", lpfp, "--backup_dir", blocker + "/backups"},
        {"--mc_config", mcPath, "--backup_dir", blocker},
    };
    for (const auto& arguments : commands) {
        const CliResult result = run(arguments);
        EXPECT_EQ(result.status, 1) << arguments[0];
        // The original apply logs on standard output, the LPFP apply on standard error.
        const Lines& log = arguments[0] == "--mc_config" ? result.lines : result.errLines;
        EXPECT_EQ(starting(log, "[error] Backup failed, nothing was sent: ").size(), 1u)
            << result.out << result.err;
        EXPECT_TRUE(starting(log, "[info] Configuration sent").empty());
        EXPECT_EQ(appXml(stored()), appXml(modifiedRecords()));
        EXPECT_EQ(mcXml(stored()), mcXml(modifiedRecords()));
    }

#ifndef _WIN32
    // Without any data directory there is no default folder either (Windows always names its
    // own).
    const CliResult homeless = runCli(
        {"--lpfp_config", lpfp}, {{"VARKO5_SIMULATOR", scenario("")}, {"XDG_DATA_HOME", ""}, {"HOME", ""}});
    EXPECT_EQ(homeless.status, 1);
    EXPECT_EQ(starting(homeless.errLines, "[error] Backup failed, nothing was sent: ").size(), 1u);
    EXPECT_EQ(mcXml(stored()), mcXml(modifiedRecords()));
#endif
}

TEST_F(CliExtras, BackupThatCannotBeReadFromTheControllerMeansNothingIsSent) {
    ASSERT_TRUE(saveSimState(statePath, modifiedRecords()));
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const CliResult result = run({"--lpfp_config", lpfp}, "fault=wrong_signature;fault_on=17");
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.errLines,
                         "[error] Backup failed, nothing was sent: Reply from controller does not "
                         "carry the application configuration signature"))
        << result.err;
    EXPECT_TRUE(filesIn(defaultBackups).empty());
    EXPECT_EQ(appXml(stored()), appXml(modifiedRecords()));
    EXPECT_EQ(mcXml(stored()), mcXml(modifiedRecords()));
}

TEST_F(CliExtras, BackupsGoToTheGivenFolderOrUnderHomeWithUniqueNames) {
    const std::string lpfp = writeLpfp("target.lpfp", defaults());
    const fs::path given = dir.path() / "given" / "deeper";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(run({"--lpfp_config", lpfp, "--backup_dir", given.string()}).status, 0);
    }
    const auto files = filesIn(given);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_NE(files[0], files[1]);
    EXPECT_FALSE(fs::exists(dataHome));

#ifdef _WIN32
    // Windows keeps them in the user's local application data.
    const CliResult result =
        runCli({"--lpfp_config", lpfp, "--serial", "VK5SIM0001"},
               {{"VARKO5_SIMULATOR", scenario("")}, {"LOCALAPPDATA", dir.path().string()}});
    EXPECT_EQ(result.status, 0) << result.err;
    const auto homeFiles = filesIn(dir.path() / "varko5" / "backups");
#else
    // XDG_DATA_HOME unset: under HOME.
    const CliResult result =
        runCli({"--lpfp_config", lpfp, "--serial", "VK5SIM0001"},
               {{"VARKO5_SIMULATOR", scenario("")}, {"XDG_DATA_HOME", ""}, {"HOME", dir.path().string()}});
    EXPECT_EQ(result.status, 0);
    const auto homeFiles = filesIn(dir.path() / ".local" / "share" / "varko5" / "backups");
#endif
    ASSERT_EQ(homeFiles.size(), 1u);
    EXPECT_TRUE(contains(result.errLines, "Backup saved to: " + homeFiles[0].string()));
}
