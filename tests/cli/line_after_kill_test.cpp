// The line a run leaves behind: a run killed in the middle of an exchange leaves its answers on
// their way, and the next run, started at once on the same port, must read through them; and a
// port named twice is refused before anything is opened.

#include "tests/support/cli_process.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include <sys/types.h>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

#ifdef LPFP_SIM_PATH
TEST(LineAfterKill, TheRunAfterAKilledOneSucceedsEveryTime) {
    TempDir dir;
    // The controller takes its time, so that a kill lands while answers are on their way.
    SimulatorOnTerminal sim(LPFP_SIM_PATH, "latency=15");
    const std::map<std::string, std::string> env = {{"VARKO5_PORTS", sim.path()}};
    for (int run = 0; run < 50; ++run) {
        SCOPED_TRACE(run);
        CliChild killed = startCli({"--getConfig", "-o", dir.file("killed")}, env);
        // Spread over the run: before the port is opened, in the version query, in the reads.
        std::this_thread::sleep_for(std::chrono::milliseconds((run % 10) * 5));
        ::kill(killed.pid, SIGKILL);
        finishCli(killed);
        const CliResult next = runCli({"--getConfig", "-o", dir.file("next")}, env);
        ASSERT_EQ(next.status, 0) << next.out << next.err;
        EXPECT_TRUE(fs::exists(dir.file("next.app.xml")));
    }
}
#endif

TEST(LineAfterKill, StrayBytesBeforeTheFirstAcknowledgesAreReadThrough) {
    TempDir dir;
    const CliResult r = runCli({"--getConfig", "-o", dir.file("out")},
                               {{"VARKO5_SIMULATOR", "fault=stray_bytes;fault_on=0,17"}});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir.file("out.mc.xml")));
}

#ifndef _WIN32
// What the port itself said when it would not open reaches the console and the JSON result;
// the fixed text and the status stay.
TEST(PortList, APortThatWillNotOpenIsRefusedWithItsOwnReason) {
    TempDir dir;
    const std::string file = dir.file("ttyFAKE0"); // no terminal
    writeFileBytes(file, "");
    const std::string folder = dir.file("ttyFAKE1");
    fs::create_directory(folder);
    const std::pair<std::string, std::string> cases[] = {{file, "not a terminal device"},
                                                         {folder, std::strerror(EISDIR)}};
    for (const auto& [port, why] : cases) {
        SCOPED_TRACE(port);
        const std::string reason = "Cannot open serial port " + port + ": " + why;
        const std::string report = dir.file("r.json");
        const CliResult r = runCli({"--test", "--json", report}, {{"VARKO5_PORTS", port}});
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.out, HasSubstr("[error] " + reason + "\n"));
        EXPECT_THAT(r.out, HasSubstr("[critical] ERROR: Failed to open device\n"));
        EXPECT_EQ(r.out.find(reason), r.out.rfind(reason)) << "said once";
        const nlohmann::json document = nlohmann::json::parse(readFileBytes(report));
        EXPECT_EQ(document["status"], 1);
        EXPECT_EQ(document["error"], reason);
    }
}
#endif

TEST(PortList, APortListedTwiceIsRefusedWithItsNameBeforeAnythingIsOpened) {
    TempDir dir;
#ifdef _WIN32
    // Windows names one port in several spellings; none of them exists here.
    const std::string port = "COM9";
    const std::string alias = "\\\\.\\com9";
    const std::string separator = ";";
#else
    // A second name of the same device file.
    const std::string port = dir.file("ttyFAKE0");
    writeFileBytes(port, "");
    const std::string alias = dir.file("bridge");
    fs::create_symlink(port, alias);
    const std::string separator = ":";
#endif
    for (const std::string& second : {port, alias}) {
        const std::string ports = port + separator + second;
        SCOPED_TRACE(ports);
        const CliResult r = runCli({"--getConfig", "-o", dir.file("out")}, {{"VARKO5_PORTS", ports}});
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.out, HasSubstr("VARKO5_PORTS lists the port "));
        EXPECT_THAT(r.out, HasSubstr(second));
        EXPECT_THAT(r.out, HasSubstr(" twice"));
        EXPECT_FALSE(fs::exists(dir.file("out.app.xml")));
    }
}

} // namespace
