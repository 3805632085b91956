// lpfp_sim: serves the simulated Varko 5 bridge and controller on a pseudo-terminal, so the
// serial-port backend can talk to it across real file descriptors from another process.
//
//   lpfp_sim [SCENARIO]
//
// SCENARIO has the form of VARKO5_SIMULATOR (which is used when no argument is given). The
// first line on standard output is the terminal's path. The program runs until it is killed
// or, when its standard input is a pipe or a terminal, until that input is closed.

#include "simulator/pty_server.h"

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

int run(const std::string& text) {
    SimScenario scenario;
    try {
        scenario = parseSimScenario(text);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "lpfp_sim: %s\n", error.what());
        return 2;
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
    std::string text;
    if (argc > 1) {
        text = argv[1];
    } else if (const char* env = std::getenv("VARKO5_SIMULATOR"); env != nullptr) {
        text = env;
    }
    return run(text);
}
