#pragma once
// Every wait of the device code, in one place, so that both programs talk to a controller
// with the same patience.

#include <cstdint>

namespace timeouts {

// How long the link waits for the bridge's acknowledge or the controller's reply.
constexpr std::uint32_t REPLY_MS = 1500;
// The driver's read time-out once a device is open for work: a single read call never waits
// longer than this for its bytes.
constexpr std::uint32_t READ_MS = 1000;
// The driver's write time-out: 0 leaves writes without a limit.
constexpr std::uint32_t WRITE_MS = 0;
// A flush, and the drain before a command that follows a failed one, end once no byte has
// arrived for this long: bytes still streaming in from an earlier exchange are all taken.
constexpr std::uint32_t QUIET_MS = 100;
// The bridge's status answer is free text of unknown length: it is complete once the line
// has been quiet this long after its first byte (the read time-out still bounds the whole).
constexpr std::uint32_t STATUS_QUIET_MS = 50;

} // namespace timeouts
