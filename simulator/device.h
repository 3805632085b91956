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
#include <string>
#include <vector>

// The text the bridge sends in answer to the status query.
std::string simulatorStatusText(const SimDeviceSettings& settings);

// One simulated bridge with its controller. The host's bytes go in through receive(); the
// answers wait in an outgoing queue, each byte readable from its due time on.
class SimulatedDevice {
public:
    using Clock = std::chrono::steady_clock;

    SimulatedDevice(SimScenario scenario, int index, std::shared_ptr<SimRecords> records);

    void receive(const std::uint8_t* data, std::size_t length);
    // Bytes that are due now.
    std::size_t readable() const;
    // Bytes queued but not yet due, and the time the first of them falls due.
    bool hasPending() const;
    Clock::time_point nextDue() const;
    std::size_t take(std::uint8_t* out, std::size_t count);

    // Put bytes straight into the outgoing queue, readable at once.
    void inject(const std::uint8_t* data, std::size_t length);
    // Replace the faults and the commands they apply to (empty: every command) from the next
    // frame on, for tests that change faults while the device stays open.
    void setFaults(std::vector<SimFault> faults, std::vector<int> commands = {});
    // Everything the host has written so far.
    const std::vector<std::uint8_t>& received() const { return log_; }
    const SimRecords& records() const { return *records_; }
    const SimScenario& scenario() const { return scenario_; }
    int index() const { return index_; }
    const SimDeviceSettings& settings() const { return settings_; }

private:
    struct Chunk {
        Clock::time_point due;
        std::vector<std::uint8_t> bytes;
    };

    void processInput();
    void handleFrame(std::uint8_t type, const std::uint8_t* payload, std::size_t length);
    void handleCommand(const std::uint8_t* payload, std::size_t length);
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
};
