#include "simulator/backend_choice.h"

#include "core/device/serial_backend.h"
#include "simulator/backend.h"

#include <cstdlib>

std::shared_ptr<PlatformBackend> backendFromEnvironment(std::optional<std::uint32_t> baud) {
    if (const char* scenario = std::getenv("VARKO5_SIMULATOR"); scenario != nullptr)
        return makeSimulatedBackend(scenario);
    SerialSettings settings = serialSettingsFromEnvironment();
    if (baud)
        settings.baud = *baud;
    return makeSerialBackend(settings);
}

void installBackendFromEnvironment(std::optional<std::uint32_t> baud) {
    installPlatformBackend(backendFromEnvironment(baud));
}
