#include "cli/interrupt.h"

#include <pthread.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace interrupt {
namespace {

std::atomic<int> receivedSignal{0};

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

// No handler runs inside the work: the two signals are blocked in every thread, and this one
// takes them as they come. The first only sets the flag; the second gets the signal's own
// effect back and ends the process with it.
void watch(sigset_t signals) {
    int number = 0;
    while (sigwait(&signals, &number) != 0) {
    }
    receivedSignal.store(number);
    while (sigwait(&signals, &number) != 0) {
    }
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

Cancellation token() {
    return Cancellation(receivedSignal);
}

int received() {
    return receivedSignal.load();
}

int exitStatus() {
    return 128 + received();
}

} // namespace interrupt
