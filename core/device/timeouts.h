#pragma once
// Every wait of the device code, in one place, so that both programs talk to a controller
// with the same patience.

#include "core/device/backend.h"

#include <chrono>
#include <cstdint>

namespace timeouts {

// How long the link waits for the bridge's acknowledge or the controller's reply.
constexpr std::uint32_t REPLY_MS = 1500;
// The driver's read time-out once a device is open for work: a single read call never waits
// longer than this for its bytes.
constexpr std::uint32_t READ_MS = 1000;
// The driver's write time-out: 0 leaves writes without a limit.
constexpr std::uint32_t WRITE_MS = 0;
// A flush, the drain before a command that follows a failed one, and the bridge's status answer
// (free text of unknown length) end once the line has been quiet for a while: as long as the
// line needs to bring the next few bytes of a stream that is still coming, plus the time the
// bridge may hold received bytes before it hands them over (its latency timer).
// Bytes that come later still (the late reply of an exchange that a killed program left
// behind, or junk that a loaded host hands on after a pause) are read through by the first
// exchanges after a flush, which search for their own acknowledge.
constexpr std::uint32_t QUIET_BYTES = 4;
// A flush or a drain gives up waiting for the quiet after this long.
constexpr std::uint32_t FLUSH_LIMIT_MS = 2000;
// Free text has no end of its own, so a pause of the host's own scheduling in the middle of a
// line would cut it: until the text so far ends a line, its quiet window is this much longer.
constexpr std::chrono::microseconds TEXT_MARGIN{5000};
// The command that follows a failed one of ours reads its acknowledge straight, with nothing
// to read through what comes late, so the drain before it waits this much longer for the
// rest of the failed reply: the host's own scheduling of a stream still arriving, which under
// load can pause a stream for several milliseconds.
constexpr std::chrono::microseconds DRAIN_MARGIN{10000};

// The quiet window of a line: QUIET_BYTES byte times (10 bits each) at its speed and its
// latency timer.
inline std::chrono::microseconds quietWindow(const LineTiming& timing) {
    std::chrono::microseconds window = std::chrono::milliseconds(timing.latencyTimerMs);
    if (timing.baud != 0)
        window +=
            std::chrono::microseconds((QUIET_BYTES * 10ull * 1000000ull + timing.baud - 1) / timing.baud);
    return window;
}

} // namespace timeouts
