#pragma once
// A request to stop, handed to an operation by whoever can be asked to stop it (a signal, a
// Cancel button). Operations look at it only between exchanges, so the exchange in progress
// always ends whole, and never before a set has been read back.

#include <atomic>

class Cancellation {
public:
    // Never requested.
    Cancellation() = default;
    // Requested once flag is not zero. The flag outlives every operation given this token.
    explicit Cancellation(const std::atomic<int>& flag) : flag_(&flag) {}

    bool requested() const { return flag_ != nullptr && flag_->load(std::memory_order_relaxed) != 0; }

private:
    const std::atomic<int>* flag_ = nullptr;
};
