#include "simulator/backend_choice.h"

#include "core/device/serial_backend.h"
#include "simulator/backend.h"

#include <cstdlib>

std::shared_ptr<PlatformBackend> backendFromEnvironment() {
    if (const char* scenario = std::getenv("VARKO5_SIMULATOR"); scenario != nullptr)
        return makeSimulatedBackend(scenario);
    return makeSerialBackend(serialSettingsFromEnvironment());
}

void installBackendFromEnvironment() {
    installPlatformBackend(backendFromEnvironment());
}
