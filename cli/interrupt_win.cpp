// Ctrl+C, Ctrl+Break and closing the console for lpfp_cli on Windows, with the same meaning as
// SIGINT and SIGTERM on Linux: the first only asks the work to stop (the run ends at its next
// safe point with 130 or 143), a second one ends the process at once, as Windows' own handler
// of these events does.

#include "cli/interrupt.h"
#include "cli/interrupt_common.h"

#include <windows.h>

#include <csignal>

namespace interrupt {

namespace detail {

bool consoleEventKeepsProcess(std::atomic<int>& flag, unsigned long event) {
    const int number = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    return noteRequest(flag, number);
}

} // namespace detail

namespace {

// raise() from within the process (as the simulated controller does): the C library calls this
// before raise returns, having put the default back; it is put back here while the first
// request is still being handled. A second request ends the process with the status Windows
// gives a process its console events end (the C library's default for a raised SIGINT would
// be an ordinary-looking exit status of 3).
void onSignal(int number) {
    if (detail::noteRequest(detail::stopFlag(), number)) {
        std::signal(number, onSignal);
        return;
    }
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

// Console events arrive on a thread of their own. TRUE keeps the process; FALSE hands the event
// on, in the end to the default handler, which ends the process.
BOOL WINAPI onConsoleEvent(DWORD event) {
    return detail::consoleEventKeepsProcess(detail::stopFlag(), event) ? TRUE : FALSE;
}

} // namespace

void install() {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    // After the C library's own console handler (installed by signal), so it is asked first.
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

} // namespace interrupt
