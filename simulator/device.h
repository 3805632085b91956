#pragma once
// One simulated bridge with its controller: the bridge checks and acknowledges the host's
// frames and answers its status query, the controller answers the commands from its records,
// each with the faults the scenario asks for.

#include "core/device/protocol.h"
#include "simulator/records.h"
#include "simulator/scenario.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Returns once the steady clock has reached t. A single sleep may end before its time: the
// mingw-w64 runtime sleeps in whole milliseconds, rounded down, so a wait of less than one
// ends at once; the simulated line's bytes fall due microseconds apart.
void sleepUntil(std::chrono::steady_clock::time_point t);

// The text the bridge sends in answer to the status query.
std::string simulatorStatusText(const SimDeviceSettings& settings);

// One simulated bridge with its controller. The host's bytes go in through receive(); the
// answers wait in an outgoing queue, each byte readable from its due time on.
class SimulatedDevice {
public:
    using Clock = std::chrono::steady_clock;

    SimulatedDevice(SimScenario scenario, int index, std::shared_ptr<SimRecords> records);

    void receive(const std::uint8_t* data, std::size_t length);
    // Bytes the host can read now, and all bytes queued for it, readable or on their way.
    std::size_t readable() const;
    std::size_t queuedTotal() const;
    // Whether bytes are on their way that are not readable yet; when the next of them, and
    // when the count-th byte from the current read position, will be (none: not queued).
    bool hasPending() const;
    Clock::time_point nextDue() const;
    std::optional<Clock::time_point> dueTime(std::size_t count) const;
    std::size_t take(std::uint8_t* out, std::size_t count);

    // Put bytes straight into the outgoing queue, readable at once.
    void inject(const std::uint8_t* data, std::size_t length);
    // Replace the faults and the commands they apply to (empty: every command) from the next
    // frame on, for tests that change faults while the device stays open.
    void setFaults(std::vector<SimFault> faults, std::vector<int> commands = {});
    // Everything the host has written so far, and how many bytes it has read.
    const std::vector<std::uint8_t>& received() const { return log_; }
    std::size_t sentCount() const { return sent_; }
    // Controller replies sent so far (each one waited the scenario's latency).
    std::size_t replyCount() const { return replies_; }
    const SimRecords& records() const { return *records_; }
    const SimScenario& scenario() const { return scenario_; }
    int index() const { return index_; }
    const SimDeviceSettings& settings() const { return settings_; }

private:
    // Bytes sent back to back: byte i arrives at the host's bridge at start + (i + 1) x
    // interval (an interval of 0: all at start).
    struct Chunk {
        Clock::time_point start;
        Clock::duration interval{};
        std::vector<std::uint8_t> bytes;
    };

    std::size_t readableAt(Clock::time_point now) const;
    Clock::time_point handedOver(Clock::time_point arrival) const;
    static std::size_t arrivedBy(const Chunk& chunk, Clock::time_point t);
    static Clock::time_point arrivalOf(const Chunk& chunk, std::size_t index);
    void queue(const std::uint8_t* data, std::size_t length, Clock::time_point earliest, bool paced);

    void processInput();
    void handleFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t length);
    void handleCommand(const std::uint8_t* payload, std::size_t length);
    void signalOn(int command);
    bool faultActive(SimFault fault, int command) const;
    // Queues a copy of the bytes straight into the chunk that will hold them: a temporary
    // vector moved into the queue is what gcc 12 at -O3 misreads as freeing a pointer that
    // was never allocated (-Wfree-nonheap-object).
    void send(const std::uint8_t* data, std::size_t length, std::uint32_t delayMs = 0);
    void send(const std::vector<std::uint8_t>& bytes, std::uint32_t delayMs = 0) {
        send(bytes.data(), bytes.size(), delayMs);
    }
    void sendAck(const protocol::Acknowledge& ack) { send(ack.data(), ack.size()); }
    void sendReply(int command, const std::vector<std::uint8_t>& payload);

    SimScenario scenario_;
    int index_;
    SimDeviceSettings settings_;
    std::shared_ptr<SimRecords> records_;
    std::vector<std::uint8_t> input_;
    std::vector<std::uint8_t> log_;
    std::deque<Chunk> output_;
    std::size_t outputOffset_ = 0; // bytes of output_.front() already taken
    Clock::time_point epoch_ = Clock::now();
    Clock::duration byteTime_{};      // one byte on the line at the scenario's baud; 0: unpaced
    Clock::duration latencyTimer_{};  // the bridge's hand-over period; 0: at once
    Clock::time_point inputFreeAt_{}; // when the last byte written by the host reaches the bridge
    std::size_t sent_ = 0;
    std::size_t replies_ = 0;
    std::size_t signalsSent_ = 0; // of scenario_.signalCommands
};
