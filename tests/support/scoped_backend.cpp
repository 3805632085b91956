#include "tests/support/scoped_backend.h"

#include "simulator/backend.h"

#include <utility>

ScopedBackend::ScopedBackend(std::shared_ptr<PlatformBackend> backend)
    : previous_(installPlatformBackend(std::move(backend))) {}

ScopedBackend::~ScopedBackend() {
    installPlatformBackend(std::move(previous_));
}

ScopedSimulator::ScopedSimulator(const std::string& scenario) : backend_(makeSimulatedBackend(scenario)) {}
