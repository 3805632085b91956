#pragma once
// What the platforms' signal handling (interrupt_posix.cpp, interrupt_win.cpp) shares: the
// process's stop flag and the rule that the first request only asks the work to stop.

#include <atomic>

namespace interrupt::detail {

// The number of the signal that first asked the process to stop; 0 while none did.
std::atomic<int>& stopFlag();

// Notes a request to stop by signal `number` in flag. True for the first request (the work
// stops at its next safe point); false when one came before, and the flag keeps the first.
bool noteRequest(std::atomic<int>& flag, int number);

#ifdef _WIN32
// The console handler's answer to a console event (Ctrl+C, Ctrl+Break, closing the console,
// logging off, shutting down), noted in flag as SIGINT for the first two and SIGTERM for the
// others: true keeps the process (the first request), false hands the event on to the default
// handler, which ends the process.
bool consoleEventKeepsProcess(std::atomic<int>& flag, unsigned long event);
#endif

} // namespace interrupt::detail
