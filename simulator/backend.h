#pragma once
// The in-process backend: the device calls reach simulated bridges and controllers of one
// scenario, without any port or process in between.

#include "core/device/backend.h"
#include "core/device/device_list.h"
#include "simulator/device.h"

#include <memory>
#include <string>

// A backend serving the scenario; it opens a device by its serial number. A scenario that
// cannot be read lists nothing (status STATUS_INVALID_PARAMETER) and opens nothing, and says
// why at error level each time.
std::shared_ptr<DeviceBackend> makeSimulatedBackend(const std::string& scenarioText);

// The simulated device behind a handle opened by the in-process backend; nullptr for any
// other handle.
SimulatedDevice* simulatedDeviceOf(const DeviceHandle& handle);
