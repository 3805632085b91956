#pragma once
// The in-process backend: the platform calls reach simulated bridges and controllers of one
// scenario, without any port or process in between.

#include "core/device/backend.h"
#include "simulator/device.h"

#include <memory>
#include <string>

// A backend serving the scenario. A scenario that cannot be read lists nothing (status
// PLATFORM_INVALID_PARAMETER) and opens nothing, and says why at error level each time.
std::shared_ptr<PlatformBackend> makeSimulatedBackend(const std::string& scenarioText);

// The simulated device behind a handle opened by the in-process backend; nullptr for any
// other handle.
SimulatedDevice* simulatedDeviceOf(PlatformHandle handle);
