// lpfp_sim: serves the simulated Varko 5 bridge and controller on a pseudo-terminal, so the
// serial-port backend can talk to it across real file descriptors from another process.
//
//   lpfp_sim [SCENARIO]
//
// SCENARIO has the form of VARKO5_SIMULATOR (which is used when no argument is given). The
// first line on standard output is the terminal's path. The program runs until it is killed
// or, when its standard input is a pipe or a terminal, until that input is closed.

#include "simulator/device.h"

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

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::fprintf(stderr, "lpfp_sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const char* name = ::ptsname(master);
    if (name == nullptr) {
        std::fprintf(stderr, "lpfp_sim: cannot name the pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string path = name;
    // Holding the terminal side open keeps the line up between the clients' opens, and
    // setting it raw here means no byte is ever echoed or translated.
    const int terminal = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) {
        std::fprintf(stderr, "lpfp_sim: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
        return 1;
    }
    termios settings{};
    ::tcgetattr(terminal, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(terminal, TCSANOW, &settings);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("%s\n", path.c_str());
    std::fflush(stdout);

    SimulatedDevice device(scenario, 0, std::make_shared<SimRecords>());
    const bool stdinWatched = watchStdin();
    std::vector<std::uint8_t> outgoing;
    std::vector<std::uint8_t> chunk(4096);

    while (true) {
        if (const std::size_t ready = device.readable(); ready > 0) {
            const std::size_t old = outgoing.size();
            outgoing.resize(old + ready);
            outgoing.resize(old + device.take(outgoing.data() + old, ready));
        }
        int timeout = -1;
        if (device.hasPending()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  device.nextDue() - SimulatedDevice::Clock::now())
                                  .count();
            timeout = static_cast<int>(std::clamp<long long>(wait + 1, 0, 60000));
        }
        pollfd fds[2] = {{master, static_cast<short>(POLLIN | (outgoing.empty() ? 0 : POLLOUT)), 0},
                         {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, stdinWatched ? 2 : 1, timeout) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = ::read(master, chunk.data(), chunk.size());
            if (n > 0)
                device.receive(chunk.data(), static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return 1;
        } else if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return 1;
        }
        if ((fds[0].revents & POLLOUT) != 0 && !outgoing.empty()) {
            const ssize_t n = ::write(master, outgoing.data(), outgoing.size());
            if (n > 0)
                outgoing.erase(outgoing.begin(), outgoing.begin() + n);
        }
        if (stdinWatched && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char discard[256];
            if (::read(STDIN_FILENO, discard, sizeof discard) <= 0)
                break;
        }
    }
    ::close(terminal);
    ::close(master);
    return 0;
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
