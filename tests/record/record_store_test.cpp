// The record store against a real database of each kind: entries begun and completed, the
// history, the schema's versions, what is refused without changing anything, and many writers
// at once.

#include "core/record/record_store.h"

#include "tests/support/temp_dir.h"
#ifdef VARKO5_TEST_POSTGRES
#include "tests/support/postgres_server.h"
#endif

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

RecordEntry sampleEntry(const std::string& serial,
                        const std::string& operation = operation_word::APPLY_LPFP) {
    RecordEntry entry;
    entry.startedAt = utcTimestampNow();
    entry.station = "bench-3";
    entry.operatorName = "maria";
    entry.program = "lpfp_cli";
    entry.programVersion = "1.0.0";
    entry.operation = operation;
    entry.serial = serial;
    entry.chipId = "0x00C0FFEE";
    entry.firmware = "5.2";
    entry.inputs = {stampInput("line.lpfp", "the file's bytes")};
    return entry;
}

void finish(RecordEntry& entry, const std::string& outcome) {
    entry.finishedAt = utcTimestampNow();
    entry.outcome = outcome;
    entry.backupPath = "/home/maria/.local/share/varko5/backups/" + entry.serial + ".lpfp";
    entry.records = {
        RecordedRecord{record_word::APP, outcome_word::VERIFIED, "", "0A0B", "0A0B", {}},
        RecordedRecord{record_word::MC,
                       outcome,
                       "",
                       "0C0D",
                       "0C0E",
                       {{"l_current_max", "44", "45"}, {"si_motor_poles", "20", "14"}}},
    };
}

// Runs statements straight through SQLite's C interface, as another program would.
void sqliteExec(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int status = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message != nullptr ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(status, SQLITE_OK) << text;
}

#ifdef VARKO5_TEST_POSTGRES
// One server for the whole program, each test on a database of its own.
PostgresServer* sharedServer() {
    static std::unique_ptr<PostgresServer> server;
    if (!server)
        server = std::make_unique<PostgresServer>();
    return server.get();
}
#endif

class StoreTest : public ::testing::TestWithParam<DestinationKind> {
protected:
    void SetUp() override {
        if (GetParam() == DestinationKind::SqliteFile) {
            destination = dir.file("records.db");
            return;
        }
#ifdef VARKO5_TEST_POSTGRES
        if (PostgresServer::binDir().empty())
            GTEST_SKIP() << "SKIPPED LOUDLY: the PostgreSQL server programs are not installed; run "
                            "scripts/install-deps.sh";
        static int next = 0;
        destination = sharedServer()->createDatabase("records_" + std::to_string(++next));
#else
        GTEST_SKIP() << "built without PostgreSQL";
#endif
    }

    // Statements run by another program: sqlite3's C interface, or psql.
    void rawExec(const std::string& script) const {
        if (GetParam() == DestinationKind::SqliteFile) {
            sqliteExec(destination, script);
            return;
        }
        const std::string file = dir.file("script.sql");
        writeFileBytes(file, script);
        const std::string command =
            "psql -q -v ON_ERROR_STOP=1 -d \"" + destination + "\" -f " + file + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << script;
    }

    std::unique_ptr<RecordStore> open(bool forReading = false) const {
        return std::make_unique<RecordStore>(parseDestination(destination), forReading);
    }

    TempDir dir;
    std::string destination;
};

TEST_P(StoreTest, AnEntryIsIncompleteUntilCompletedAndReadsBackWhole) {
    auto store = open();
    RecordEntry entry = sampleEntry("VK5-00123");
    entry.inputs.push_back(stampInput("odd name 'quoted'.mc.xml", "<MCConfiguration/>"));
    entry.id = store->begin(entry);
    ASSERT_GT(entry.id, 0);

    // Cut off here, the entry is there, marked incomplete, with everything known at the start.
    {
        auto other = open(true);
        const auto early = other->entry(entry.id);
        ASSERT_TRUE(early);
        EXPECT_EQ(early->outcome, outcome_word::INCOMPLETE);
        EXPECT_TRUE(early->finishedAt.empty());
        EXPECT_EQ(early->serial, "VK5-00123");
        ASSERT_EQ(early->inputs.size(), 2U);
        EXPECT_EQ(early->inputs[1].fileName, "odd name 'quoted'.mc.xml");
        EXPECT_TRUE(early->records.empty());
    }

    finish(entry, outcome_word::DIFFERS);
    entry.reason = "MC Configuration validation FAILED";
    store->complete(entry);
    const auto read = store->entry(entry.id);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->startedAt, entry.startedAt);
    EXPECT_EQ(read->finishedAt, entry.finishedAt);
    EXPECT_EQ(read->outcome, "differs");
    EXPECT_EQ(read->reason, entry.reason);
    EXPECT_EQ(read->station, "bench-3");
    EXPECT_EQ(read->operatorName, "maria");
    EXPECT_EQ(read->program, "lpfp_cli");
    EXPECT_EQ(read->programVersion, "1.0.0");
    EXPECT_EQ(read->operation, "apply-lpfp");
    EXPECT_EQ(read->chipId, "0x00C0FFEE");
    EXPECT_EQ(read->firmware, "5.2");
    EXPECT_EQ(read->backupPath, entry.backupPath);
    ASSERT_EQ(read->inputs.size(), 2U);
    EXPECT_EQ(read->inputs[0].sha256, entry.inputs[0].sha256);
    ASSERT_EQ(read->records.size(), 2U);
    EXPECT_EQ(read->records[0].record, "app");
    EXPECT_EQ(read->records[0].outcome, "verified");
    EXPECT_TRUE(read->records[0].differences.empty());
    EXPECT_EQ(read->records[1].record, "mc");
    EXPECT_EQ(read->records[1].sentHex, "0C0D");
    EXPECT_EQ(read->records[1].readBackHex, "0C0E");
    ASSERT_EQ(read->records[1].differences.size(), 2U);
    EXPECT_EQ(read->records[1].differences[1].field, "si_motor_poles");
    EXPECT_EQ(read->records[1].differences[1].sent, "20");
    EXPECT_EQ(read->records[1].differences[1].readBack, "14");

    // Completed once only; an unknown entry is not invented.
    EXPECT_THROW(store->complete(entry), RecordError);
    RecordEntry unknown = entry;
    unknown.id = entry.id + 1000;
    EXPECT_THROW(store->complete(unknown), RecordError);
    EXPECT_FALSE(store->entry(entry.id + 1000));
}

TEST_P(StoreTest, HistoryChoosesByBoundSerialAndDateOnly) {
    auto store = open();
    for (const char* serial : {"A1", "B2", "A1", "O'Brien; DROP TABLE entries; --"}) {
        RecordEntry entry = sampleEntry(serial);
        entry.id = store->begin(entry);
        finish(entry, outcome_word::VERIFIED);
        store->complete(entry);
    }
    EXPECT_EQ(store->history({}).size(), 4U);
    const auto a1 = store->history({"A1", ""});
    ASSERT_EQ(a1.size(), 2U);
    EXPECT_LT(a1[0].id, a1[1].id);
    EXPECT_EQ(store->history({"O'Brien; DROP TABLE entries; --", ""}).size(), 1U);
    EXPECT_TRUE(store->history({"A1' OR '1'='1", ""}).empty());
    EXPECT_TRUE(store->history({"%", ""}).empty());
    EXPECT_EQ(store->history({"", sinceTimestamp("2000-01-01")}).size(), 4U);
    EXPECT_TRUE(store->history({"", sinceTimestamp("2999-01-01")}).empty());
    EXPECT_EQ(store->history({"B2", sinceTimestamp("2000-01-01")}).size(), 1U);
    EXPECT_EQ(store->history({}).size(), 4U); // nothing was dropped
}

TEST_P(StoreTest, EightWritersOnTwoConnectionsLoseAndMixNothing) {
    auto first = open();
    auto second = open();
    constexpr int kThreads = 8;
    constexpr int kEach = 6;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            RecordStore& store = t % 2 == 0 ? *first : *second;
            for (int i = 0; i < kEach; ++i) {
                try {
                    RecordEntry entry = sampleEntry("UNIT-" + std::to_string(t));
                    entry.inputs = {stampInput("in-" + std::to_string(t) + "-" + std::to_string(i), "x")};
                    entry.id = store.begin(entry);
                    finish(entry, outcome_word::VERIFIED);
                    entry.records[0].sentHex = entry.serial;
                    store.complete(entry);
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    const auto all = open(true)->history({});
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kThreads * kEach));
    std::set<std::int64_t> ids;
    std::set<std::string> inputs;
    for (const RecordEntry& entry : all) {
        ids.insert(entry.id);
        EXPECT_EQ(entry.outcome, "verified");
        ASSERT_EQ(entry.inputs.size(), 1U);
        inputs.insert(entry.inputs[0].fileName);
        // The input and the payload belong to the unit the entry names.
        EXPECT_EQ(entry.inputs[0].fileName.substr(3, entry.serial.size() - 5), entry.serial.substr(5));
        ASSERT_EQ(entry.records.size(), 2U);
        EXPECT_EQ(entry.records[0].sentHex, entry.serial);
    }
    EXPECT_EQ(ids.size(), all.size());
    EXPECT_EQ(inputs.size(), all.size());
}

TEST_P(StoreTest, AnOlderSchemaIsBroughtUpAndItsEntriesKept) {
    // A record as the first version made it, with one entry in it, written by another program.
    const bool postgres = GetParam() == DestinationKind::Postgres;
    std::string script;
    for (const std::string& statement : recordSchemaStep(1, postgres))
        script += statement + ";\n";
    script +=
        "INSERT INTO entries (started_at, outcome, station, operator, program, program_version, operation, "
        "serial, chip_id, firmware) VALUES ('2026-01-01T00:00:00.000Z', 'verified', 's', 'o', 'p', '1', "
        "'apply-xml', 'OLD-1', '0x00000001', '5.2');\n";
    rawExec(script);
    auto store = open();
    const auto old = store->history({"OLD-1", ""});
    ASSERT_EQ(old.size(), 1U);
    EXPECT_EQ(old[0].startedAt, "2026-01-01T00:00:00.000Z");
    RecordEntry entry = sampleEntry("NEW-1");
    EXPECT_GT(store->begin(entry), old[0].id);
    store.reset();
    // Brought up once: the version says so, and the next opening changes nothing more.
    rawExec(
        postgres
            ? "DO $$ BEGIN IF (SELECT version FROM varko5_schema) <> 2 THEN RAISE 'not 2'; END IF; END $$;"
            : "CREATE TABLE check_version (v INTEGER CHECK (v = 2)); INSERT INTO check_version "
              "SELECT version FROM varko5_schema; DROP TABLE check_version;");
    EXPECT_EQ(open()->history({}).size(), 2U);
}

INSTANTIATE_TEST_SUITE_P(BothDatabases, StoreTest,
                         ::testing::Values(DestinationKind::SqliteFile, DestinationKind::Postgres),
                         [](const auto& param) {
                             return param.param == DestinationKind::SqliteFile ? std::string("Sqlite")
                                                                               : std::string("Postgres");
                         });

// Files the store must refuse, and leave exactly as they were.
class RefusedFileTest : public ::testing::Test {
protected:
    std::string expectRefused(const std::string& path, bool forReading = false) {
        const std::string before = readFileBytes(path);
        std::string message;
        try {
            RecordStore store(parseDestination(path), forReading);
            ADD_FAILURE() << "opened " << path;
        } catch (const RecordError& error) {
            message = error.what();
        }
        EXPECT_EQ(readFileBytes(path), before);
        EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
        return message;
    }
    TempDir dir;
};

TEST_F(RefusedFileTest, ANonDatabaseAnotherSchemaANewerSchemaAndAMissingFileAreEachNamed) {
    const std::string text = dir.file("notes.txt");
    writeFileBytes(text, "These are notes, not a database.\n");
    EXPECT_EQ(expectRefused(text), "Cannot use the record " + text + ": the file is not a database");

    const std::string other = dir.file("other.db");
    sqliteExec(other, "CREATE TABLE customers (name TEXT); INSERT INTO customers VALUES ('x');");
    EXPECT_EQ(expectRefused(other),
              "Cannot use " + other + " as a record: it holds other tables (customers)");

    const std::string newer = dir.file("newer.db");
    { RecordStore store(parseDestination(newer)); }
    sqliteExec(newer, "UPDATE varko5_schema SET version = 9");
    EXPECT_EQ(expectRefused(newer),
              "The record " + newer +
                  " has schema version 9; this program knows versions up to 2. Use a newer program.");

    const std::string missing = dir.file("missing.db");
    std::string message;
    try {
        RecordStore store(parseDestination(missing), true);
    } catch (const RecordError& error) {
        message = error.what();
    }
    EXPECT_EQ(message, "No record at " + missing + ": the file does not exist");
    EXPECT_FALSE(std::filesystem::exists(missing));

    try {
        RecordStore store(parseDestination(dir.file("no-such-folder/records.db")));
        ADD_FAILURE();
    } catch (const RecordError& error) {
        EXPECT_NE(std::string(error.what()).find("Cannot open the record"), std::string::npos)
            << error.what();
    }
    try {
        RecordStore store(parseDestination(dir.path().string()));
        ADD_FAILURE();
    } catch (const RecordError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open the record " + dir.path().string() + ": it is a folder");
    }
}

TEST_F(RefusedFileTest, AWriteThatFailsLeavesNoPartOfTheEntry) {
    const std::string path = dir.file("records.db");
    RecordStore store(parseDestination(path));
    // The inputs' table refuses its rows: the entry row written before them must go too.
    sqliteExec(
        path,
        "CREATE TRIGGER full BEFORE INSERT ON entry_inputs BEGIN SELECT RAISE(ABORT, 'disk full'); END;");
    EXPECT_THROW(store.begin(sampleEntry("X")), RecordError);
    EXPECT_TRUE(store.history({}).empty());
    sqliteExec(path, "DROP TRIGGER full");
    RecordEntry entry = sampleEntry("X");
    entry.id = store.begin(entry);
    finish(entry, outcome_word::VERIFIED);
    sqliteExec(path, "CREATE TRIGGER full BEFORE INSERT ON entry_differences BEGIN SELECT RAISE(ABORT, 'disk "
                     "full'); END;");
    EXPECT_THROW(store.complete(entry), RecordError);
    const auto kept = store.entry(entry.id);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->outcome, "incomplete");
    EXPECT_TRUE(kept->records.empty());
}

#ifdef VARKO5_TEST_POSTGRES
TEST(PostgresRecordTest, ARefusedLoginAndAServerKilledMidEntryAreClearAndLoseNothing) {
    if (PostgresServer::binDir().empty())
        GTEST_SKIP() << "SKIPPED LOUDLY: the PostgreSQL server programs are not installed";
    PostgresServer server;
    const std::string uri = server.createDatabase("line");

    try {
        RecordStore store(parseDestination(server.uri("line", "intruder")));
        ADD_FAILURE();
    } catch (const RecordError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("Cannot connect to the record postgresql:///line?host=", 0), 0U) << message;
        EXPECT_NE(message.find("\"intruder\""), std::string::npos) << message;
    }

    RecordEntry entry = sampleEntry("VK5-7");
    {
        RecordStore store(parseDestination(uri));
        entry.id = store.begin(entry);
        server.kill();
        finish(entry, outcome_word::VERIFIED);
        try {
            store.complete(entry);
            ADD_FAILURE();
        } catch (const RecordError& error) {
            EXPECT_EQ(
                std::string(error.what()).rfind("Cannot write to the record postgresql:///line?host=", 0), 0U)
                << error.what();
        }
        EXPECT_THROW(store.begin(sampleEntry("VK5-8")), RecordError);
    }
    server.start();
    RecordStore store(parseDestination(uri), true);
    const auto all = store.history({});
    ASSERT_EQ(all.size(), 1U);
    EXPECT_EQ(all[0].id, entry.id);
    EXPECT_EQ(all[0].outcome, "incomplete");
}

TEST(PostgresRecordTest, AnotherSchemaAndANewerSchemaOnTheServerAreRefused) {
    if (PostgresServer::binDir().empty())
        GTEST_SKIP() << "SKIPPED LOUDLY: the PostgreSQL server programs are not installed";
    PostgresServer* server = sharedServer();
    const std::string newer = server->createDatabase("newer");
    { RecordStore store(parseDestination(newer)); }
    const std::string command = "psql -q -d \"" + newer + "\" -c \"UPDATE varko5_schema SET version = 3\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    try {
        RecordStore store(parseDestination(newer));
        ADD_FAILURE();
    } catch (const RecordError& error) {
        EXPECT_NE(std::string(error.what()).find("has schema version 3; this program knows versions up to 2"),
                  std::string::npos)
            << error.what();
    }
    const std::string other = server->createDatabase("other");
    ASSERT_EQ(std::system(("psql -q -d \"" + other + "\" -c \"CREATE TABLE orders (id INT)\"").c_str()), 0);
    try {
        RecordStore store(parseDestination(other));
        ADD_FAILURE();
    } catch (const RecordError& error) {
        EXPECT_NE(std::string(error.what()).find("it holds other tables (orders)"), std::string::npos)
            << error.what();
    }
}
#endif

} // namespace
