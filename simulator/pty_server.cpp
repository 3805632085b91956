#include "simulator/pty_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

PtyServer::PtyServer(const SimScenario& scenario) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    const char* name = ::ptsname(master_);
    if (name == nullptr)
        throw std::runtime_error(std::string("cannot name the pseudo-terminal: ") + std::strerror(errno));
    path_ = name;
    // Holding the terminal side open keeps the line up between the clients' opens, and
    // setting it raw here means no byte is ever echoed or translated.
    terminal_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal_ < 0)
        throw std::runtime_error("cannot open " + path_ + ": " + std::strerror(errno));
    termios settings{};
    ::tcgetattr(terminal_, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(terminal_, TCSANOW, &settings);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    device_ = std::make_unique<SimulatedDevice>(scenario, 0, std::make_shared<SimRecords>());
}

PtyServer::~PtyServer() {
    if (terminal_ >= 0)
        ::close(terminal_);
    if (master_ >= 0)
        ::close(master_);
}

int PtyServer::serve(int stopFd) {
    SimulatedDevice& device = *device_;
    std::vector<std::uint8_t> outgoing;
    std::vector<std::uint8_t> chunk(4096);
    while (true) {
        if (const std::size_t ready = device.readable(); ready > 0) {
            const std::size_t old = outgoing.size();
            outgoing.resize(old + ready);
            outgoing.resize(old + device.take(outgoing.data() + old, ready));
        }
        timespec wait{};
        const timespec* timeout = nullptr;
        if (device.hasPending()) {
            // Wake when the next byte falls due, to the microsecond: a fast line's bytes come a
            // fraction of a millisecond apart, and whole milliseconds would bunch them up.
            const auto left = std::clamp<std::chrono::nanoseconds>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(device.nextDue() -
                                                                     SimulatedDevice::Clock::now()),
                std::chrono::nanoseconds::zero(), std::chrono::seconds(60));
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
            timeout = &wait;
        }
        pollfd fds[2] = {{master_, static_cast<short>(POLLIN | (outgoing.empty() ? 0 : POLLOUT)), 0},
                         {stopFd, POLLIN, 0}};
        if (::ppoll(fds, stopFd >= 0 ? 2 : 1, timeout, nullptr) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const ssize_t n = ::read(master_, chunk.data(), chunk.size());
            if (n > 0)
                device.receive(chunk.data(), static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return 1;
        } else if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return 1;
        }
        if ((fds[0].revents & POLLOUT) != 0 && !outgoing.empty()) {
            const ssize_t n = ::write(master_, outgoing.data(), outgoing.size());
            if (n > 0)
                outgoing.erase(outgoing.begin(), outgoing.begin() + n);
        }
        if (stopFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char discard[256];
            if (::read(stopFd, discard, sizeof discard) <= 0)
                return 0;
        }
    }
}
