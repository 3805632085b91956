// The stop flag of lpfp_cli, the same on every platform; the signals and console events that
// set it are handled in interrupt_posix.cpp and interrupt_win.cpp.

#include "cli/interrupt.h"
#include "cli/interrupt_common.h"

namespace interrupt {

namespace detail {

std::atomic<int>& stopFlag() {
    static std::atomic<int> flag{0};
    return flag;
}

bool noteRequest(std::atomic<int>& flag, int number) {
    int none = 0;
    return flag.compare_exchange_strong(none, number);
}

} // namespace detail

Cancellation token() {
    return Cancellation(detail::stopFlag());
}

int received() {
    return detail::stopFlag().load();
}

int exitStatus() {
    return 128 + received();
}

} // namespace interrupt
