#pragma once
// The backend a test talks to, installed for one scope: the one before comes back when the
// object goes away.

#include "core/device/backend.h"

#include <memory>
#include <string>

class ScopedBackend {
public:
    explicit ScopedBackend(std::shared_ptr<PlatformBackend> backend);
    ~ScopedBackend();
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    std::shared_ptr<PlatformBackend> previous_;
};

// The simulated bridges and controllers of a scenario.
class ScopedSimulator {
public:
    explicit ScopedSimulator(const std::string& scenario);
    explicit ScopedSimulator(const char* scenario) : ScopedSimulator(std::string(scenario)) {}

private:
    ScopedBackend backend_;
};
