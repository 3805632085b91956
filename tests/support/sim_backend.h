#pragma once
// The backend a test hands to what lists and opens devices: the simulated bridges and
// controllers of a scenario, and helpers to open one of them directly.

#include "core/device/backend.h"
#include "core/device/device_list.h"

#include <memory>
#include <string>

class SimBackend {
public:
    explicit SimBackend(const std::string& scenario);
    explicit SimBackend(const char* scenario) : SimBackend(std::string(scenario)) {}

    const std::shared_ptr<DeviceBackend>& backend() const { return backend_; }
    // What a program's parts take: the shared backend, or the backend itself.
    operator std::shared_ptr<DeviceBackend>() const { return backend_; } // NOLINT: handed on as is
    DeviceBackend& operator*() const { return *backend_; }

private:
    std::shared_ptr<DeviceBackend> backend_;
};

// Lists the backend's devices and opens the one at index of that list (throws
// std::out_of_range when there is none there, device_open_error when it cannot be opened).
DeviceHandle openListed(DeviceBackend& backend, std::size_t index = 0);
