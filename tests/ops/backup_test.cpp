#include "core/ops/backup.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

#ifdef _WIN32
TEST(Backup, FolderComesFromOptionThenLocalAppData) {
    ScopedEnv local("LOCALAPPDATA", "C:\\Users\\tester\\AppData\\Local");
    EXPECT_EQ(backupFolder("D:\\given"), std::filesystem::path("D:\\given"));
    EXPECT_EQ(backupFolder(""), std::filesystem::path("C:\\Users\\tester\\AppData\\Local\\varko5\\backups"));
    {
        // XDG_DATA_HOME is Linux's; Windows keeps its own place.
        ScopedEnv data("XDG_DATA_HOME", "C:\\data");
        EXPECT_EQ(backupFolder("").parent_path().parent_path(),
                  std::filesystem::path("C:\\Users\\tester\\AppData\\Local"));
    }
    // Without the variable, Windows' own folder for local application data.
    ScopedEnv none("LOCALAPPDATA", nullptr);
    const std::filesystem::path known = backupFolder("");
    EXPECT_TRUE(known.is_absolute()) << known;
    EXPECT_EQ(known.filename(), "backups");
    EXPECT_EQ(known.parent_path().filename(), "varko5");
    EXPECT_EQ(backupFolder("D:\\still"), std::filesystem::path("D:\\still"));
}
#else
TEST(Backup, FolderComesFromOptionThenDataHomeThenHome) {
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv data("XDG_DATA_HOME", "/data");
        EXPECT_EQ(backupFolder("/given/dir"), "/given/dir");
        EXPECT_EQ(backupFolder("relative"), "relative");
        EXPECT_EQ(backupFolder(""), "/data/varko5/backups");
    }
    {
        ScopedEnv data("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(backupFolder(""), "/home/tester/.local/share/varko5/backups");
    }
    {
        // A relative data directory is not usable and is ignored, as is an empty one.
        ScopedEnv data("XDG_DATA_HOME", "rel/data");
        EXPECT_EQ(backupFolder(""), "/home/tester/.local/share/varko5/backups");
        ScopedEnv empty("XDG_DATA_HOME", "");
        EXPECT_EQ(backupFolder(""), "/home/tester/.local/share/varko5/backups");
    }
    ScopedEnv noData("XDG_DATA_HOME", nullptr);
    ScopedEnv noHome("HOME", nullptr);
    EXPECT_THROW(backupFolder(""), std::runtime_error);
    EXPECT_EQ(backupFolder("/still/fine"), "/still/fine");
}
#endif

TEST(Backup, FileNameCarriesSerialNumberAndTime) {
    const std::tm t = at(2026, 3, 7, 9, 5, 2);
    EXPECT_EQ(backupFileName("FT6ABC12", t), "FT6ABC12-20260307-090502.lpfp");
    EXPECT_EQ(backupFileName("FT6ABC12", t, 2), "FT6ABC12-20260307-090502-2.lpfp");
    EXPECT_EQ(backupFileName("", t), "unknown-20260307-090502.lpfp");
    EXPECT_EQ(backupFileName("../a b/c_d-e", t), "___a_b_c_d-e-20260307-090502.lpfp");
}

TEST(Backup, WritesReadableLpfpUnderUniqueNames) {
    TempDir dir;
    const auto folder = dir.path() / "made" / "on" / "demand";
    LpfpConfiguration pair;
    pair.app.controller_id = 42;
    pair.mc.l_current_max = 61.5f;
    const std::tm t = at(2026, 12, 31, 23, 59, 59);

    const auto first = writeBackup(pair, folder, "SN1", t);
    EXPECT_EQ(first, folder / "SN1-20261231-235959.lpfp");
    const auto second = writeBackup(pair, folder, "SN1", t);
    EXPECT_EQ(second, folder / "SN1-20261231-235959-2.lpfp");

    LpfpConfiguration back;
    std::uint64_t keys = 0;
    ASSERT_TRUE(readLpfpFile(back, second.string(), keys));
    EXPECT_EQ(keys, 306u);
    EXPECT_EQ(back.app.controller_id, 42);
    EXPECT_FLOAT_EQ(back.mc.l_current_max, 61.5f);
}

TEST(Backup, UnwritableFolderThrowsAndWritesNothing) {
    TempDir dir;
    writeFileBytes(dir.file("plain"), "x");
    LpfpConfiguration pair;
    const std::tm t = at(2026, 1, 1, 0, 0, 0);
    // Below a regular file no folder can be made; a regular file is no folder either.
    EXPECT_THROW(writeBackup(pair, dir.path() / "plain" / "sub", "SN", t), std::runtime_error);
    EXPECT_THROW(writeBackup(pair, dir.path() / "plain", "SN", t), std::runtime_error);
    EXPECT_EQ(readFileBytes(dir.file("plain")), "x");
}

} // namespace
