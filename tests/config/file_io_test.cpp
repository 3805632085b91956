#include "core/config/file_io.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
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

struct stat statOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

constexpr uid_t kNobody = 65534;

// Runs body in a child process that has given up root for the nobody user (when it was
// root), and gives back the child's exit status.
int asAnotherUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(100);
        }
        int status = 101;
        try {
            status = body();
        } catch (...) {
            status = 102;
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 103;
}

class FileIo : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FileIo, ASymbolicLinkStaysAndItsTargetIsReplaced) {
    fs::create_directory(dir.path() / "real");
    writeFileBytes(dir.file("real/config.xml"), "old");
    fs::create_symlink("real/config.xml", dir.path() / "relative.xml");
    fs::create_symlink(dir.path() / "relative.xml", dir.path() / "chain.xml");
    fs::create_symlink(dir.path() / "real", dir.path() / "folder-link");

    writeFileAtomically(dir.file("relative.xml"), "through the link");
    EXPECT_EQ(fs::read_symlink(dir.path() / "relative.xml"), "real/config.xml");
    EXPECT_EQ(readFileBytes(dir.file("real/config.xml")), "through the link");

    writeFileAtomically(dir.file("chain.xml"), "through two links");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "chain.xml"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "relative.xml"));
    EXPECT_EQ(readFileBytes(dir.file("real/config.xml")), "through two links");

    writeFileAtomically(dir.file("folder-link/config.xml"), "through a linked folder");
    EXPECT_EQ(readFileBytes(dir.file("real/config.xml")), "through a linked folder");

    // A link to a file not yet there creates the file where the link points.
    fs::create_symlink("real/new.xml", dir.path() / "dangling.xml");
    writeFileAtomically(dir.file("dangling.xml"), "created");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling.xml"));
    EXPECT_EQ(readFileBytes(dir.file("real/new.xml")), "created");

    // A loop of links is refused by name.
    fs::create_symlink("loop-b", dir.path() / "loop-a");
    fs::create_symlink("loop-a", dir.path() / "loop-b");
    EXPECT_EQ(failureOf([&] { writeFileAtomically(dir.file("loop-a"), "x"); }),
              "Cannot write file " + dir.file("loop-a") + ": " + std::strerror(ELOOP));

    // Nothing temporary is left in either folder.
    EXPECT_EQ(namesIn(dir.path() / "real"), (std::vector<std::string>{"config.xml", "new.xml"}));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"chain.xml", "dangling.xml", "folder-link",
                                                             "loop-a", "loop-b", "real", "relative.xml"}));
}

TEST_F(FileIo, OwnerGroupAndModeAreKept) {
    const std::string path = dir.file("kept.lpfp");
    writeFileBytes(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    writeFileAtomically(path, "new");
    EXPECT_EQ(statOf(path).st_mode & 07777, 0604u);
    EXPECT_EQ(readFileBytes(path), "new");

    ASSERT_EQ(::chmod(path.c_str(), 02640), 0);
    writeFileAtomically(path, "newer");
    EXPECT_EQ(statOf(path).st_mode & 07777, 02640u);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another owner needs root";
    }
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    writeFileAtomically(path, "as root");
    const struct stat info = statOf(path);
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(info.st_gid, kNobody);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(readFileBytes(path), "as root");
}

TEST_F(FileIo, ATargetTheUserMayNotWriteIsRefused) {
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("read-only.xml");
    writeFileBytes(path, "keep");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
    }
    // The folder would let a rename through; the file itself says no.
    const std::string expected = "Cannot write file " + path + ": " + std::strerror(EACCES);
    EXPECT_EQ(
        asAnotherUser([&] { return failureOf([&] { writeFileAtomically(path, "x"); }) == expected ? 0 : 1; }),
        0);
    EXPECT_EQ(readFileBytes(path), "keep");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"read-only.xml"});
}

TEST_F(FileIo, SomeoneElsesWritableFileIsWrittenInPlaceAndKeepsItsOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to make a file of another owner";
    }
    ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
    const std::string path = dir.file("shared.xml");
    writeFileBytes(path, "a much longer old content");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    const ino_t inode = statOf(path).st_ino;
    EXPECT_EQ(asAnotherUser([&] {
                  writeFileAtomically(path, "short");
                  return 0;
              }),
              0);
    const struct stat info = statOf(path);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_ino, inode);
    EXPECT_EQ(readFileBytes(path), "short");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"shared.xml"});
}

TEST_F(FileIo, HardLinkedFilesStayOneFile) {
    const std::string path = dir.file("one.xml");
    writeFileBytes(path, "old old old");
    fs::create_hard_link(path, dir.path() / "two.xml");
    writeFileAtomically(path, "new");
    EXPECT_EQ(readFileBytes(dir.file("two.xml")), "new");
    EXPECT_EQ(statOf(path).st_ino, statOf(dir.file("two.xml")).st_ino);
}

TEST_F(FileIo, TargetsThatAreNotRegularFilesAreWrittenDirectly) {
    writeFileAtomically("/dev/null", "discarded");
    EXPECT_TRUE(S_ISCHR(statOf("/dev/null").st_mode));
    fs::create_symlink("/dev/null", dir.path() / "null-link");
    writeFileAtomically(dir.file("null-link"), "discarded");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "null-link"));

    EXPECT_EQ(failureOf([] { writeFileAtomically("/dev/full", "x"); }),
              std::string("Cannot write file /dev/full: ") + std::strerror(ENOSPC));
    EXPECT_TRUE(S_ISCHR(statOf("/dev/full").st_mode));

    // A FIFO with a reader gets the bytes; one without a reader is refused at once.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(failureOf([&] { writeFileAtomically(fifo, "x"); }),
              "Cannot write file " + fifo + ": nothing is reading from it");
    std::string received;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char chunk[256];
        ssize_t got = 0;
        while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
            received.append(chunk, static_cast<std::size_t>(got));
        }
        ::close(fd);
    });
    // The reader's open may come a moment later; until then the FIFO has no reader.
    std::string failure;
    for (int attempt = 0; attempt < 500; ++attempt) {
        failure = failureOf([&] { writeFileAtomically(fifo, "into the fifo"); });
        if (failure == "no failure") {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    reader.join();
    EXPECT_EQ(failure, "no failure");
    EXPECT_EQ(received, "into the fifo");
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));
}

TEST_F(FileIo, OurOwnDescriptorsAreWrittenWhereTheyStand) {
    // A pipe behind /dev/fd/N, as standard output is behind /dev/stdout.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    writeFileAtomically("/dev/fd/" + std::to_string(ends[1]), "into the pipe");
    writeFileAtomically("/proc/self/fd/" + std::to_string(ends[1]), " and again");
    ::close(ends[1]);
    std::string received;
    char chunk[256];
    ssize_t got = 0;
    while ((got = ::read(ends[0], chunk, sizeof chunk)) > 0) {
        received.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(ends[0]);
    EXPECT_EQ(received, "into the pipe and again");

    // A regular file opened for appending, as "program >> log" leaves standard output: the
    // file is neither replaced nor cut, the text lands after what is there.
    const std::string log = dir.file("log.txt");
    writeFileBytes(log, "earlier lines\n");
    const ino_t inode = statOf(log).st_ino;
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    fs::create_symlink("/dev/fd/" + std::to_string(fd), dir.path() / "to-descriptor");
    writeFileAtomically(dir.file("to-descriptor"), "saved text\n");
    ::close(fd);
    EXPECT_EQ(readFileBytes(log), "earlier lines\nsaved text\n");
    EXPECT_EQ(statOf(log).st_ino, inode);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"log.txt", "to-descriptor"}));
}

TEST_F(FileIo, EveryLegalFileNameWorks) {
    const std::string longest = std::string(251, 'n') + ".xml";
    ASSERT_EQ(longest.size(), 255u);
    writeFileAtomically(dir.file(longest), "first");
    writeFileAtomically(dir.file(longest), "replaced");
    EXPECT_EQ(readFileBytes(dir.file(longest)), "replaced");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{longest});

    // A name of one byte, in the current folder.
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    writeFileAtomically("x", "short");
    fs::current_path(before);
    EXPECT_EQ(readFileBytes(dir.file("x")), "short");
}

TEST_F(FileIo, InputsAreRegularFilesAndPipesAlike) {
    writeFileBytes(dir.file("plain.xml"), "plain content");
    EXPECT_EQ(readInputFile(dir.file("plain.xml")), "plain content");
    writeFileBytes(dir.file("empty.xml"), "");
    EXPECT_EQ(readInputFile(dir.file("empty.xml")), "");

    // An anonymous pipe, as "<(command)" hands it over.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], "from a pipe", 11), 11);
    ::close(ends[1]);
    EXPECT_EQ(readInputFile("/dev/fd/" + std::to_string(ends[0])), "from a pipe");
    ::close(ends[0]);

    // A FIFO whose writer comes later and writes in pieces.
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big(200000, 'b');
    std::thread writer([&] {
        // The open waits for the reader, so the writer always comes after it.
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        for (std::size_t at = 0; at < big.size(); at += 50000) {
            EXPECT_EQ(::write(fd, big.data() + at, 50000), 50000);
        }
        ::close(fd);
    });
    EXPECT_EQ(readInputFile(fifo), big);
    writer.join();
}

TEST_F(FileIo, InputsThatAreNotFilesOrPipesAreRefused) {
    const std::string prefix = "Cannot read file ";
    EXPECT_EQ(failureOf([&] { readInputFile(dir.path().string()); }),
              prefix + dir.path().string() + ": it is a folder");
    EXPECT_EQ(failureOf([&] { readInputFile("/dev/null"); }),
              prefix + "/dev/null: it is a device, not a file");
    EXPECT_EQ(failureOf([&] { readInputFile("/dev/zero"); }),
              prefix + "/dev/zero: it is a device, not a file");
    EXPECT_EQ(failureOf([&] { readInputFile(dir.file("missing")); }),
              prefix + dir.file("missing") + ": " + std::strerror(ENOENT));

    const std::string socketPath = dir.file("sock");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(failureOf([&] { readInputFile(socketPath); }),
              prefix + socketPath + ": it is a socket, not a file");
    ::close(sock);

    // Far beyond any configuration: refused rather than held in memory.
    const std::string huge = dir.file("huge.xml");
    writeFileBytes(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMaxInputBytes) + 1), 0);
    EXPECT_EQ(failureOf([&] { readInputFile(huge); }), prefix + huge + ": it holds more than 16 MiB");
    ASSERT_EQ(::truncate(huge.c_str(), static_cast<off_t>(kMaxInputBytes)), 0);
    EXPECT_EQ(readInputFile(huge).size(), kMaxInputBytes);

    // Refused as InputFileError, so callers can tell it from other failures.
    EXPECT_THROW(readInputFile("/dev/null"), InputFileError);
}

TEST_F(FileIo, SilentPipesAreGivenUp) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto shortWait = std::chrono::milliseconds(150);
    // Nobody ever opens it for writing.
    EXPECT_EQ(failureOf([&] { readInputFile(fifo, shortWait); }),
              "Cannot read file " + fifo + ": nothing arrived within 0.15 s");

    // A writer that delivers a little and then neither writes nor closes.
    const int writer = ::open(fifo.c_str(), O_RDWR); // keeps a writer without blocking
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "<MC", 3), 3);
    EXPECT_EQ(failureOf([&] { readInputFile(fifo, shortWait); }),
              "Cannot read file " + fifo + ": it stopped delivering for 0.15 s before its end");
    ::close(writer);
}

} // namespace

// Two files that belong together: both are written in full before either replaces its target,
// so one that cannot be written leaves both targets as they were and no temporary behind.
TEST_F(FileIo, APairIsWrittenWholeOrNotAtAll) {
    const std::string app = dir.file("unit.app.xml");
    const std::string mc = dir.file("unit.mc.xml");
    writeFilesAtomically({{app, "new app"}, {mc, "new mc"}});
    EXPECT_EQ(readFileText(app), "new app");
    EXPECT_EQ(readFileText(mc), "new mc");

    // The second target cannot be written: the first keeps its old content.
    const std::string blocked = dir.file("blocked.mc.xml");
    fs::create_directory(blocked);
    EXPECT_EQ(failureOf([&] {
                  writeFilesAtomically({{app, "newer app"}, {blocked, "newer mc"}});
              }),
              "Cannot write file " + blocked + ": Is a directory");
    EXPECT_EQ(readFileText(app), "new app");
    // Nor does a failure in a folder that does not exist leave anything behind.
    const std::string missing = dir.file("no such folder/unit.mc.xml");
    EXPECT_EQ(failureOf([&] {
                  writeFilesAtomically({{app, "newer app"}, {missing, "newer mc"}});
              }),
              "Cannot write file " + missing + ": No such file or directory");
    EXPECT_EQ(readFileText(app), "new app");
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"blocked.mc.xml", "unit.app.xml", "unit.mc.xml"}));

    // Targets written through (a device) take their content only once every file is ready.
    writeFilesAtomically({{app, "third app"}, {"/dev/null", "ignored"}});
    EXPECT_EQ(readFileText(app), "third app");
    EXPECT_EQ(failureOf([&] {
                  writeFilesAtomically({{"/dev/full", "x"}, {blocked, "y"}});
              }),
              "Cannot write file " + blocked + ": Is a directory");
}
