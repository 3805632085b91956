#pragma once
// Helpers of the device tests: environment set for one test, a link to a simulated
// controller, and exact record comparison.

#include "core/config/config_fields.h"
#include "core/device/arm_link.h"
#include "core/device/device_list.h"
#include "simulator/simulator.h"
#include "tests/support/sim_backend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// Sets (or, with nullopt, unsets) one environment variable and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str()))
            previous_ = old;
        if (value)
            ::setenv(name_.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ~ScopedEnv() {
        if (previous_)
            ::setenv(name_.c_str(), previous_->c_str(), 1);
        else
            ::unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Device index of a simulator scenario, listed and opened through the device layer.
struct SimSession {
    explicit SimSession(const std::string& scenario, int index = 0)
        : backend(scenario), handle(openListed(*backend, static_cast<std::size_t>(index))), link(handle) {}

    SimulatedDevice& sim() { return *simulatedDeviceOf(handle); }
    void inject(const std::vector<std::uint8_t>& bytes) { sim().inject(bytes.data(), bytes.size()); }
    std::uint32_t queued() {
        std::uint32_t rx = 0;
        handle.queued(rx);
        return rx;
    }

    SimBackend backend;
    DeviceHandle handle;
    ArmLink link;
};

// Every field identical, floats bit for bit; names the first field that differs.
template <class Field, class Record>
std::string firstDifference(const std::vector<Field>& fields, const Record& a, const Record& b) {
    for (const Field& field : fields) {
        const FieldRef x = field.in(a);
        const FieldRef y = field.in(b);
        const bool same = isFloat(field.type) ? getFloat(x) == getFloat(y) : getInteger(x) == getInteger(y);
        if (!same)
            return std::string(field.key);
    }
    return {};
}

inline std::string firstDifference(const MCConfiguration& a, const MCConfiguration& b) {
    return firstDifference(mcFields(), a, b);
}
inline std::string firstDifference(const APPConfiguration& a, const APPConfiguration& b) {
    return firstDifference(appFields(), a, b);
}

// A controller packet around payload, as bytes.
inline std::vector<std::uint8_t> packet(const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> out(payload.size() + 6);
    out.resize(generateARM_Message(payload.data(), payload.size(), out.data()));
    return out;
}

inline const std::vector<std::uint8_t> kAckSuccess = {0x3C, 0x07, 0xF8};
