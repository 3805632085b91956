// Production records as lpfp_cli keeps them: an entry for every write and every read asked
// for, checked with the sqlite3 program (SQLite's library on Windows) rather than our own
// code; the history as a table and as JSON; one entry back as an LPFP file; and the record
// refusing to go on without it.

#include "tests/cli/cli_fixture.h"
#include "tests/support/schema_check.h"

#include "core/record/sha256.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <set>

#ifdef _WIN32
#include <sqlite3.h>
#endif

using ::testing::HasSubstr;

namespace {

// What the sqlite3 program prints for a query, rows on lines and columns split by '|'.
#ifdef _WIN32
// A Windows program cannot run the build machine's sqlite3, so the query goes to SQLite's own
// library (still not our code) and the rows come out as the program would print them.
std::string sqlite3Query(const std::string& database, const std::string& sql) {
    sqlite3* connection = nullptr;
    std::string output;
    if (sqlite3_open_v2(database.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        output = "Error: " + std::string(sqlite3_errmsg(connection)) + "\n";
        sqlite3_close(connection);
        return output;
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(connection, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        output = "Error: " + std::string(sqlite3_errmsg(connection)) + "\n";
    } else {
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const unsigned char* text = sqlite3_column_text(statement, column);
                output += (column > 0 ? "|" : "") +
                          std::string(text != nullptr ? reinterpret_cast<const char*>(text) : "");
            }
            output += "\n";
        }
        if (step != SQLITE_DONE) {
            output += "Error: " + std::string(sqlite3_errmsg(connection)) + "\n";
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    return output;
}
#else
std::string sqlite3Query(const std::string& database, const std::string& sql) {
    const std::string command = "sqlite3 -batch -separator '|' '" + database + "' \"" + sql + "\" 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string output;
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        output += buffer;
    return output;
}
#endif

class RecordFlows : public CliExtras {
protected:
    const std::string database = dir.file("line.db");

    CliResult runRecorded(std::vector<std::string> arguments, const std::string& extra = "") const {
        arguments.insert(arguments.end(), {"--record", database});
        return run(arguments, extra);
    }
};

TEST_F(RecordFlows, AnAppliedLpfpFileLeavesOneCompleteEntryThatSqlite3Reads) {
    const std::string lpfp = fewKeysLpfp();
    const CliResult result = runRecorded({"--lpfp_config", lpfp});
    ASSERT_EQ(result.status, 0) << result.out;
    EXPECT_TRUE(contains(result.errLines, "[info] Configuration updated successfully"));

    EXPECT_EQ(sqlite3Query(database, "SELECT id, serial, chip_id, firmware, operation, outcome, program, "
                                     "finished_at IS NOT NULL FROM entries"),
              "1|VK5SIM0001|0x5A5A0001|5.2|apply-lpfp|verified|lpfp_cli|1\n");
    EXPECT_EQ(sqlite3Query(database, "SELECT file_name, sha256 FROM entry_inputs"),
              lpfp + "|" + sha256Hex(readFileBytes(lpfp)) + "\n");
    EXPECT_EQ(sqlite3Query(database,
                           "SELECT record, outcome, length(sent), sent = read_back FROM entry_records "
                           "ORDER BY record"),
              "app|verified|836|1\nmc|verified|914|1\n");
    const std::string backup = sqlite3Query(database, "SELECT backup_path FROM entries");
    ASSERT_EQ(filesIn(defaultBackups).size(), 1U);
    EXPECT_EQ(backup, filesIn(defaultBackups)[0].string() + "\n");
    // A time that sorts: UTC, ISO 8601.
    EXPECT_EQ(sqlite3Query(database, "SELECT started_at GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T*Z' "
                                     "AND started_at <= finished_at FROM entries"),
              "1\n");

    // The same file, written back out of the record, is the configuration that was sent.
    const std::string exported = dir.file("entry1.lpfp");
    const CliResult out = run({"--history-export", "1", "-o", exported, "--record", database});
    ASSERT_EQ(out.status, 0) << out.out;
    LpfpConfiguration pair;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(pair, exported, keys));
    EXPECT_EQ(appConfigToXml(pair.app), appConfigToXml(stored().app));
    EXPECT_EQ(mcConfigToXml(pair.mc), mcConfigToXml(stored().mc));
}

TEST_F(RecordFlows, OutcomesOfRefusedDifferingAndReadRecordsAreWords) {
    const std::string lpfp = fewKeysLpfp();
    EXPECT_EQ(runRecorded({"--lpfp_config", lpfp, "--no_backup"}, "fault=set_refused;fault_on=16").status, 1);
    EXPECT_EQ(runRecorded({"--lpfp_config", lpfp, "--no_backup"}, "fault=change_on_write;fault_on=13").status,
              1);
    EXPECT_EQ(runRecorded({"--saveLpfp", dir.file("saved.lpfp")}).status, 0);
    EXPECT_EQ(runRecorded({"--getDefaults", "-o", dir.file("defaults")}).status, 0);
    EXPECT_EQ(runRecorded({"--test"}).status, 0);
    EXPECT_EQ(sqlite3Query(database, "SELECT id, operation, outcome FROM entries ORDER BY id"),
              "1|apply-lpfp|refused\n2|apply-lpfp|differs\n3|save-current|read\n4|save-defaults|read\n5|test|"
              "read\n");
    EXPECT_EQ(
        sqlite3Query(database,
                     "SELECT entry_id, record, outcome FROM entry_records ORDER BY entry_id, record"),
        "1|app|refused\n1|mc|verified\n2|app|verified\n2|mc|differs\n3|app|read\n3|mc|read\n4|app|read\n"
        "4|mc|read\n");
    EXPECT_EQ(
        sqlite3Query(database, "SELECT count(*) > 0, min(record) FROM entry_differences WHERE entry_id = 2"),
        "1|mc\n");
    EXPECT_EQ(sqlite3Query(database, "SELECT output_path FROM entries WHERE id IN (3, 4) ORDER BY id"),
              dir.file("saved.lpfp") + "\n" + dir.file("defaults") + ".app.xml; " + dir.file("defaults") +
                  ".mc.xml\n");

    // The history shows every unit's entries, the differing field under its entry.
    const CliResult table = run({"--history", "all", "--record", database});
    ASSERT_EQ(table.status, 0) << table.out;
    EXPECT_THAT(table.out, HasSubstr("ID  Started (UTC)"));
    EXPECT_THAT(table.out, HasSubstr("apply-lpfp     differs"));
    EXPECT_THAT(table.out, HasSubstr("    mc "));
    EXPECT_THAT(table.out, HasSubstr("5 entries\n"));
    const CliResult none = run({"--history", "VK5SIM0001' OR '1'='1", "--record", database});
    EXPECT_EQ(none.status, 0);
    EXPECT_THAT(none.out, HasSubstr("0 entries\n"));
}

TEST_F(RecordFlows, TheHistoryAsJsonFollowsThePublishedSchema) {
    const std::string lpfp = fewKeysLpfp();
    ASSERT_EQ(runRecorded({"--lpfp_config", lpfp, "--no_backup"}, "fault=change_on_write;fault_on=13").status,
              1);
    ASSERT_EQ(runRecorded({"--test"}).status, 0);
    const CliResult result =
        run({"--history", "VK5SIM0001", "--since", "2000-01-01", "--json", "-", "--record", database});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string document = dir.file("history.json");
    writeFileBytes(document, result.out);
    const nlohmann::json parsed = nlohmann::json::parse(result.out);
    ASSERT_EQ(parsed["entries"].size(), 2U);
    EXPECT_EQ(parsed["entries"][0]["records"]["mc"]["outcome"], "differs");
    EXPECT_FALSE(parsed["entries"][0]["records"]["mc"]["differences"].empty());
    EXPECT_EQ(parsed["entries"][1]["operation"], "test");

    expectFollowsSchema(document, "records-history.schema.json");
}

TEST_F(RecordFlows, ARecordThatCannotBeWrittenStopsTheRunBeforeAnythingIsSent) {
    const std::string lpfp = fewKeysLpfp();
    const std::string notADatabase = write("notes.db", "not a database at all\n");
    for (const std::string& destination : {dir.file("missing-folder/line.db"), notADatabase,
                                           std::string("mysql://db/line"), dir.path().string()}) {
        const CliResult result = run({"--lpfp_config", lpfp, "--record", destination});
        EXPECT_EQ(result.status, 1) << destination;
        EXPECT_FALSE(fs::exists(statePath)) << destination << ": something was sent\n" << result.out;
        EXPECT_TRUE(filesIn(defaultBackups).empty()) << destination;
        EXPECT_FALSE(starting(result.errLines, "[error] ").empty()) << result.err;
    }
    EXPECT_EQ(readFileBytes(notADatabase), "not a database at all\n");

    // The variable does the same as the option.
    const CliResult fromEnvironment = runCli({"--lpfp_config", lpfp}, {{"VARKO5_SIMULATOR", scenario("")},
                                                                       {"XDG_DATA_HOME", dataHome.string()},
                                                                       {"VARKO5_RECORD", notADatabase}});
    EXPECT_EQ(fromEnvironment.status, 1);
    EXPECT_FALSE(fs::exists(statePath));
    EXPECT_TRUE(contains(fromEnvironment.errLines,
                         "[error] Cannot use the record " + notADatabase + ": the file is not a database"))
        << fromEnvironment.out;

    // A bad history request changes nothing either.
    EXPECT_EQ(runRecorded({"--test"}).status, 0);
    const std::string before = readFileBytes(database);
    EXPECT_EQ(run({"--history", "all", "--since", "last week", "--record", database}).status, 1);
    EXPECT_EQ(
        run({"--history-export", "1; DROP TABLE entries", "-o", dir.file("x.lpfp"), "--record", database})
            .status,
        1);
    EXPECT_EQ(run({"--history-export", "99", "-o", dir.file("x.lpfp"), "--record", database}).status, 1);
    EXPECT_EQ(run({"--history-export", "1", "-o", dir.file("x.lpfp"), "--record", database}).status,
              1); // a test
    EXPECT_EQ(run({"--history", "all", "--record", dir.file("nothing.db")}).status, 1);
    EXPECT_FALSE(fs::exists(dir.file("nothing.db")));
    EXPECT_FALSE(fs::exists(dir.file("x.lpfp")));
    EXPECT_EQ(sqlite3Query(database, "SELECT count(*) FROM entries"), "1\n");
}

TEST_F(RecordFlows, EightDevicesInEachOfTwoProcessesRecordEveryEntryCompleteAndApart) {
    const std::string first = fewKeysLpfp();
    const std::string second = dir.file("second.lpfp");
    fs::copy_file(first, second);
    writeFileBytes(second, readFileBytes(first)); // the same configuration, another file name
    const auto start = [&](const std::string& lpfp, const std::string& name) {
        std::string states = "state=";
        for (int i = 0; i < 8; ++i)
            states += (i ? "," : "") + dir.file(name + std::to_string(i));
        return startCli({"--serial", "all", "--lpfp_config", lpfp, "--no_backup", "--record", database},
                        {{"VARKO5_SIMULATOR", "devices=8;" + states}, {"XDG_DATA_HOME", dataHome.string()}});
    };
    CliChild a = start(first, "a");
    CliChild b = start(second, "b");
    const CliResult ra = finishCli(a);
    const CliResult rb = finishCli(b);
    ASSERT_EQ(ra.status, 0) << ra.out;
    ASSERT_EQ(rb.status, 0) << rb.out;
    EXPECT_EQ(sqlite3Query(database, "SELECT count(*), count(DISTINCT id), sum(outcome = 'verified'), "
                                     "sum(finished_at IS NULL) FROM entries"),
              "16|16|16|0\n");
    // Each unit has exactly one entry from each process, with that process's file and its own
    // two records.
    EXPECT_EQ(sqlite3Query(database, "SELECT count(*) FROM (SELECT e.serial, i.file_name FROM entries e JOIN "
                                     "entry_inputs i ON i.entry_id = e.id GROUP BY e.serial, i.file_name "
                                     "HAVING count(*) = 1)"),
              "16\n");
    EXPECT_EQ(sqlite3Query(database,
                           "SELECT count(*) FROM entries e WHERE (SELECT count(*) FROM entry_records r "
                           "WHERE r.entry_id = e.id AND r.outcome = 'verified') = 2"),
              "16\n");
    EXPECT_EQ(sqlite3Query(database, "SELECT count(DISTINCT chip_id) FROM entries"), "8\n");
}

} // namespace
