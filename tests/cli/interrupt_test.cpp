// The rule both platforms' signal handling follows: the first request to stop is kept and only
// asks the work to stop; a later one leaves it as it was and ends the process. On Windows, the
// console handler's answers, called as Windows calls it (on a flag of the test's own, so the
// process's flag stays untouched).

#include "cli/interrupt_common.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using interrupt::detail::noteRequest;

TEST(StopRequests, TheFirstIsKeptAndALaterOneIsNot) {
    std::atomic<int> flag{0};
    EXPECT_TRUE(noteRequest(flag, SIGTERM));
    EXPECT_EQ(flag.load(), SIGTERM);
    EXPECT_FALSE(noteRequest(flag, SIGINT));
    EXPECT_FALSE(noteRequest(flag, SIGTERM));
    EXPECT_EQ(flag.load(), SIGTERM);
}

#ifdef _WIN32
using interrupt::detail::consoleEventKeepsProcess;

TEST(StopRequests, CtrlCAndCtrlBreakAreSigintAndTheSecondEventEndsTheProcess) {
    for (const DWORD first : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
        SCOPED_TRACE(first);
        std::atomic<int> flag{0};
        EXPECT_TRUE(consoleEventKeepsProcess(flag, first));
        EXPECT_EQ(flag.load(), SIGINT);
        for (const DWORD second : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}, DWORD{CTRL_CLOSE_EVENT}}) {
            EXPECT_FALSE(consoleEventKeepsProcess(flag, second));
        }
        EXPECT_EQ(flag.load(), SIGINT);
    }
}

TEST(StopRequests, ClosingTheConsoleLoggingOffAndShuttingDownAreSigterm) {
    for (const DWORD event :
         {DWORD{CTRL_CLOSE_EVENT}, DWORD{CTRL_LOGOFF_EVENT}, DWORD{CTRL_SHUTDOWN_EVENT}}) {
        SCOPED_TRACE(event);
        std::atomic<int> flag{0};
        EXPECT_TRUE(consoleEventKeepsProcess(flag, event));
        EXPECT_EQ(flag.load(), SIGTERM);
        EXPECT_FALSE(consoleEventKeepsProcess(flag, CTRL_C_EVENT));
        EXPECT_EQ(flag.load(), SIGTERM);
    }
}
#endif

} // namespace
