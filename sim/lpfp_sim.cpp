// lpfp_sim: serves the simulated Varko 5 bridge and controller on a pseudo-terminal, so the
// serial-port backend can talk to it across real file descriptors from another process.
//
//   lpfp_sim [SCENARIO]
//   lpfp_sim --help | -h | --version
//
// SCENARIO has the form of VARKO5_SIMULATOR (which is used when no argument is given). The
// first line on standard output is the terminal's path. The program runs until it is killed
// or, when its standard input is a pipe or a terminal, until that input is closed.

#include "simulator/pty_server.h"
#include "simulator/scenario.h"
#include "varko5_version.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Whether the end of standard input should end the program: only a pipe or a terminal can
// be closed on purpose (/dev/null is at its end from the start).
bool watchStdin() {
    struct stat info {};
    if (::fstat(STDIN_FILENO, &info) != 0)
        return false;
    return S_ISFIFO(info.st_mode) || ::isatty(STDIN_FILENO) != 0;
}

constexpr int EXIT_BAD_SCENARIO = 2;

// "  key=VALUE   meaning", the names padded to one column.
void printHelpRows(const std::vector<SimScenarioHelp>& rows) {
    std::size_t width = 0;
    for (const SimScenarioHelp& row : rows)
        width =
            std::max(width, std::strlen(row.name) + (*row.value != '\0' ? std::strlen(row.value) + 1 : 0));
    for (const SimScenarioHelp& row : rows) {
        std::string name = row.name;
        if (*row.value != '\0')
            name += std::string("=") + row.value;
        std::printf("  %-*s  %s\n", static_cast<int>(width), name.c_str(), row.meaning);
    }
}

void printHelp() {
    std::printf("Usage: lpfp_sim [SCENARIO]\n"
                "       lpfp_sim --help | -h | --version\n"
                "\n"
                "Serves the simulated Varko 5 bridge and controller (device 0 of SCENARIO) on a\n"
                "new pseudo-terminal and prints the terminal's path as the first line on standard\n"
                "output; give it to lpfp_cli or lpfp_loader in VARKO5_PORTS. Runs until it is\n"
                "killed or, when standard input is a pipe or a terminal, until that is closed.\n"
                "\n"
                "SCENARIO is a list of key=value pairs separated by ';' (list values separated by\n"
                "',', one entry per device, the last repeating); without it VARKO5_SIMULATOR is\n"
                "read. Example: lpfp_sim 'fw=5.2;state=/tmp/vk5.state;baud=9600'\n"
                "\n"
                "Scenario keys:\n");
    printHelpRows(simScenarioKeys());
    std::printf("\nFaults (fault=F1,F2):\n");
    printHelpRows(simFaultNames());
    std::printf("\n"
                "Exit status: 0 when its input was closed; 1 when no pseudo-terminal could be\n"
                "made or the terminal failed; 2 for a command line or scenario it cannot read.\n");
}

int run(const std::string& text) {
    SimScenario scenario;
    try {
        scenario = parseSimScenario(text);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "lpfp_sim: %s; try 'lpfp_sim --help'\n", error.what());
        return EXIT_BAD_SCENARIO;
    }
    try {
        PtyServer server(scenario);
        std::printf("%s\n", server.path().c_str());
        std::fflush(stdout);
        return server.serve(watchStdin() ? STDIN_FILENO : -1);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "lpfp_sim: %s\n", error.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "-?") {
            printHelp();
            return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
        }
        if (argument == "--version") {
            std::printf("lpfp_sim %s\n", VARKO5_VERSION);
            return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
        }
    }
    // A scenario never begins with '-' (its keys are words), so such an argument is an option
    // this program does not have.
    for (const std::string& argument : arguments) {
        if (!argument.empty() && argument[0] == '-') {
            std::fprintf(stderr, "lpfp_sim: unknown option '%s'; try 'lpfp_sim --help'\n", argument.c_str());
            return EXIT_BAD_SCENARIO;
        }
    }
    if (arguments.size() > 1) {
        std::fprintf(stderr, "lpfp_sim: one scenario argument expected, got %zu; try 'lpfp_sim --help'\n",
                     arguments.size());
        return EXIT_BAD_SCENARIO;
    }
    std::string text;
    if (!arguments.empty()) {
        text = arguments[0];
    } else if (const char* env = std::getenv("VARKO5_SIMULATOR"); env != nullptr) {
        text = env;
    }
    return run(text);
}
