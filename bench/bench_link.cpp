// lpfp_bench_link: each flow of lpfp_cli against the simulated controller on a pseudo-terminal,
// its wall time next to its floor, the time the wire, the controller and the program's own
// start force:
//   - at 20 ms reply latency: the controller's replies times 20 ms;
//   - at 115200 and 9600 baud: every byte on the line both ways, 10 bits each;
//   - in every case the start-up of lpfp_cli (measured by running it with nothing to do, just
//     before each run, so that on a shared machine both see the same load).
// The run shown is the one with the median ratio.
// The quiet the link waits for before it trusts the line (at the flush when a device is opened,
// and after the bridge's status answer of --test) follows the line: a few byte times at its
// speed plus the bridge's latency timer (none on a pseudo-terminal). It is shown in a column of
// its own and is not part of the floor. Neither is writing and syncing the files a flow saves.
//
//   lpfp_bench_link [REPEATS]     (default 3; the 9600-baud runs once)
//
// It prints a report; it asserts nothing.

#include "core/device/timeouts.h"
#include "simulator/pty_server.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

struct Line {
    const char* name;
    std::string scenario;
    std::uint32_t baud;      // the host's setting, and what the simulator paces at (0: none)
    std::uint32_t latencyMs; // the controller's reply latency
    int repeats;
};

struct Flow {
    const char* name;
    std::vector<std::string> arguments;
    bool statusRead; // --test waits for the status answer to end
};

struct Run {
    double wall = 0;
    double floor = 0;  // wire + replies + start-up
    double settle = 0; // the quiet windows the flow waits for
    int status = 0;
};

// Runs lpfp_cli with the arguments against the port; its exit status.
int runCli(const std::vector<std::string>& arguments, const std::string& port, std::uint32_t baud) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("VARKO5_", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("VARKO5_PORTS=" + port);
    env.push_back("VARKO5_BAUD=" + std::to_string(baud == 0 ? 115200 : baud));
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string program = LPFP_CLI_PATH;
    std::vector<std::string> args = arguments;
    std::vector<char*> argv = {program.data()};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, LPFP_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One flow against a fresh simulated controller; the wall time and the floor of that run.
Run runOnce(const Line& line, const Flow& flow, double startup) {
    PtyServer server(parseSimScenario(line.scenario));
    int stop[2];
    if (::pipe(stop) != 0)
        throw std::runtime_error("pipe failed");
    std::thread serving([&] { server.serve(stop[0]); });
    const auto start = std::chrono::steady_clock::now();
    Run run;
    run.status = runCli(flow.arguments, server.path(), line.baud);
    run.wall = Seconds(std::chrono::steady_clock::now() - start).count();
    ::close(stop[1]);
    serving.join();
    ::close(stop[0]);

    const SimulatedDevice& device = server.device();
    const double bytes = static_cast<double>(device.received().size() + device.sentCount());
    run.floor = startup + static_cast<double>(device.replyCount()) * line.latencyMs / 1000.0 +
                (line.baud != 0 ? bytes * 10.0 / line.baud : 0.0);
    // A pseudo-terminal has no latency timer; the host runs the line at the bench's speed.
    const LineTiming timing{line.baud == 0 ? 115200u : line.baud, 0};
    const double quiet = std::chrono::duration<double>(timeouts::quietWindow(timing)).count();
    run.settle = quiet * (flow.statusRead ? 2.0 : 1.0);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const fs::path dir = fs::temp_directory_path() / ("lpfp_bench_link." + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string base = (dir / "unit").string();
    const std::string lpfp = (dir / "unit.lpfp").string();
    const std::string backups = (dir / "backups").string();

    // The documents the applies send: the controller's own defaults, saved once.
    {
        const Line setup{"setup", "", 115200, 0, 1};
        runOnce(setup, {"setup", {"--getDefaults", "-o", base}, false}, 0);
        runOnce(setup, {"setup", {"--getDefaults", "--saveLpfp", lpfp}, false}, 0);
    }

    const std::vector<Line> lines = {
        {"latency 20 ms", "latency=20", 0, 20, repeats},
        {"115200 baud", "baud=115200", 115200, 0, repeats},
        {"9600 baud", "baud=9600", 9600, 0, 1},
    };
    const std::vector<Flow> flows = {
        {"--test", {"--test"}, true},
        {"--getConfig", {"--getConfig", "-o", base + ".current"}, false},
        {"--getDefaults", {"--getDefaults", "-o", base + ".defaults"}, false},
        {"apply XML (both records, backup)",
         {"--app_config", base + ".app.xml", "--mc_config", base + ".mc.xml", "--backup_dir", backups},
         false},
        {"full update (--lpfp_config, backup)", {"--lpfp_config", lpfp, "--backup_dir", backups}, false},
    };

    // What starting the program costs by itself: it runs, parses and does nothing.
    const Line idle{"idle", "", 115200, 0, 1};
    double startup = 0;
    {
        std::vector<double> walls;
        for (int i = 0; i < 5; ++i)
            walls.push_back(runOnce(idle, {"none", {}, false}, 0).wall);
        std::sort(walls.begin(), walls.end());
        startup = walls[walls.size() / 2];
        std::printf(
            "lpfp_cli start-up without device work: %.1f ms (median of 5; every floor below takes the\n"
            "start-up measured just before its run)\n\n",
            startup * 1000.0);
    }

    std::printf("%-16s %-38s %10s %10s %9s %7s %s\n", "line", "flow", "wall ms", "floor ms", "settle ms",
                "ratio", "status");
    for (const Line& line : lines) {
        for (const Flow& flow : flows) {
            std::vector<Run> runs;
            for (int i = 0; i < line.repeats; ++i) {
                // On a shared machine the start-up swings with the load: each run's floor takes
                // the start-up measured just before it, so that both see the same load.
                const double paired = runOnce(idle, {"none", {}, false}, 0).wall;
                runs.push_back(runOnce(line, flow, paired));
            }
            std::sort(runs.begin(), runs.end(),
                      [](const Run& a, const Run& b) { return a.wall / a.floor < b.wall / b.floor; });
            const Run& median = runs[runs.size() / 2];
            std::printf("%-16s %-38s %10.1f %10.1f %9.1f %7.3f %d\n", line.name, flow.name,
                        median.wall * 1000.0, median.floor * 1000.0, median.settle * 1000.0,
                        median.wall / median.floor, median.status);
            std::fflush(stdout);
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
