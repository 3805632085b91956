#include "tests/support/sim_backend.h"

#include "simulator/backend.h"

SimBackend::SimBackend(const std::string& scenario) : backend_(makeSimulatedBackend(scenario)) {}

DeviceHandle openListed(DeviceBackend& backend, std::size_t index) {
    return openDevice(backend, enumerateDevices(backend).at(index));
}
