// Writing and reading files on Windows: whole replacement, wide-character paths, the Linux
// build's messages. (The POSIX cases, with owners, modes, links, FIFOs and sockets, are in
// file_io_test.cpp.)

#include "core/config/file_io.h"
#include "core/windows/wide_text.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

template <class F> std::string failureOf(F f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no failure";
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(utf8FromPath(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FileIoWindows, AFileIsReplacedWholeAndNothingElseIsLeft) {
    TempDir dir;
    const std::string path = dir.file("conf.xml");
    writeFileAtomically(path, "first\n");
    EXPECT_EQ(readFileText(path), "first\n");
    writeFileAtomically(path, "second, longer\n");
    EXPECT_EQ(readFileText(path), "second, longer\n");
    writeFileAtomically(path, "");
    EXPECT_EQ(readFileText(path), "");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"conf.xml"});
}

TEST(FileIoWindows, LineFeedsStaySingle) {
    TempDir dir;
    const std::string path = dir.file("lines.txt");
    writeFileAtomically(path, "a\nb\r\nc\n");
    EXPECT_EQ(readFileText(path), "a\nb\r\nc\n");
    EXPECT_EQ(readInputFile(path), "a\nb\r\nc\n");
}

TEST(FileIoWindows, NamesOutsideAsciiWork) {
    TempDir dir;
    for (const std::string name :
         {"Motor \xc3\xa4\xc3\xb6\xc3\xbc.xml", "\xe6\x97\xa5\xe6\x9c\xac.lpfp",
          "\xf0\x9f\x94\xa7 emoji.app.xml", "\xd0\x9c\xd0\xbe\xd1\x82\xd0\xbe\xd1\x80"}) {
        const std::string path = dir.file(name);
        writeFileAtomically(path, name);
        EXPECT_EQ(readFileText(path), name);
        EXPECT_EQ(readInputFile(path), name);
        // The name on disk is the one given, in UTF-16.
        EXPECT_NE(GetFileAttributesW(wideFromUtf8(path).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    }
    const std::string folder = dir.file("\xc3\x9c"
                                        "bersicht");
    ASSERT_TRUE(fs::create_directory(pathFromUtf8(folder)));
    writeFileAtomically(folder + "\\x.xml", "x");
    EXPECT_EQ(readFileText(folder + "\\x.xml"), "x");
}

TEST(FileIoWindows, FailuresSayWhatLinuxSays) {
    TempDir dir;
    const std::string missing = dir.file("no-such-folder") + "\\x.xml";
    EXPECT_EQ(failureOf([&] { writeFileAtomically(missing, "x"); }),
              "Cannot write file " + missing + ": No such file or directory");
    EXPECT_EQ(failureOf([&] { writeFileAtomically(dir.path().u8string(), "x"); }),
              "Cannot write file " + dir.path().u8string() + ": Is a directory");

    const std::string readOnly = dir.file("read-only.xml");
    writeFileAtomically(readOnly, "kept");
    ASSERT_TRUE(SetFileAttributesW(wideFromUtf8(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(failureOf([&] { writeFileAtomically(readOnly, "lost"); }),
              "Cannot write file " + readOnly + ": Permission denied");
    EXPECT_EQ(readFileText(readOnly), "kept");
    SetFileAttributesW(wideFromUtf8(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);

    try {
        readInputFile(dir.file("absent.xml"));
        ADD_FAILURE() << "an absent file was read";
    } catch (const InputFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot read file " + dir.file("absent.xml") + ": No such file or directory");
        EXPECT_EQ(error.errorNumber(), ENOENT);
    }
    EXPECT_EQ(failureOf([&] { readInputFile(dir.path().u8string()); }),
              "Cannot read file " + dir.path().u8string() + ": it is a folder");
    EXPECT_EQ(failureOf([&] { readInputFile("NUL"); }), "Cannot read file NUL: it is a device, not a file");
    // Text that is not UTF-8 names no file.
    const std::string notUtf8 = dir.path().u8string() + "\\bad\xff.xml";
    EXPECT_EQ(failureOf([&] { writeFileAtomically(notUtf8, "x"); }),
              "Cannot write file " + notUtf8 + ": Invalid argument");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"read-only.xml"});
}

TEST(FileIoWindows, LongPathsWorkOrFailCleanly) {
    TempDir dir;
    // Deeper than the old 260-character limit.
    std::string folder = dir.path().u8string();
    while (folder.size() < 300) {
        folder += "\\" + std::string(40, 'd');
        std::error_code ignored;
        fs::create_directory(pathFromUtf8(folder), ignored);
    }
    const std::string path = folder + "\\conf.xml";
    const std::string failure = failureOf([&] { writeFileAtomically(path, "deep"); });
    if (failure == "no failure") {
        EXPECT_EQ(readFileText(path), "deep");
    } else {
        EXPECT_EQ(failure.rfind("Cannot write file " + path + ": ", 0), 0u) << failure;
    }
    // A single name longer than any file system allows.
    const std::string tooLong = dir.file(std::string(300, 'n') + ".xml");
    EXPECT_EQ(
        failureOf([&] { writeFileAtomically(tooLong, "x"); }).rfind("Cannot write file " + tooLong + ": ", 0),
        0u);
}

TEST(FileIoWindows, DevicesAreWrittenDirectly) {
    writeFileAtomically("NUL", "discarded");
}

TEST(FileIoWindows, PathsRoundTripThroughUtf8) {
    const std::string text = "C:\\Daten\\M\xc3\xb6tor\\\xe6\x97\xa5.xml";
    EXPECT_EQ(utf8FromPath(pathFromUtf8(text)), text);
    EXPECT_EQ(pathFromUtf8(text).wstring(), wideFromUtf8(text));
}
