// SIGINT and SIGTERM for lpfp_cli on Linux: a thread of its own takes them as they come, so no
// handler ever runs inside the work.

#include "cli/interrupt.h"
#include "cli/interrupt_common.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>
#include <thread>

namespace interrupt {
namespace {

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// The lowest of the two signals waiting for the process, or 0.
int waitingSignal() {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    for (const int number : {SIGINT, SIGTERM}) {
        if (sigismember(&pending, number) == 1)
            return number;
    }
    return 0;
}

// Waits until one of the signals is waiting. With note set, the flag is set before the signal
// is taken: whoever sees it no longer pending (the simulator's signal_on, which then answers
// the command in progress) also sees the stop request. Returns the signal taken.
int takeNext(int fd, const sigset_t& signals, bool note) {
    for (;;) {
        int number = 0;
        if (fd >= 0) {
            pollfd ready{fd, POLLIN, 0};
            if (poll(&ready, 1, -1) <= 0)
                continue;
            number = waitingSignal();
            if (note && number != 0)
                detail::noteRequest(detail::stopFlag(), number);
            signalfd_siginfo info{};
            if (read(fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info))
                continue;
            number = static_cast<int>(info.ssi_signo);
        } else if (sigwait(&signals, &number) != 0) {
            continue;
        }
        if (note)
            detail::noteRequest(detail::stopFlag(), number);
        return number;
    }
}

// No handler runs inside the work: the two signals are blocked in every thread, and this one
// takes them as they come. The first only sets the flag; the second gets the signal's own
// effect back and ends the process with it.
void watch(sigset_t signals) {
    const int fd = signalfd(-1, &signals, SFD_CLOEXEC);
    takeNext(fd, signals, true);
    const int number = takeNext(fd, signals, false);
    std::signal(number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, number);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(number);
}

} // namespace

void install() {
    const sigset_t signals = stopSignals();
    // Blocked before any other thread starts, so every thread inherits the mask.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(watch, signals).detach();
}

} // namespace interrupt
