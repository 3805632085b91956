#include "core/device/backend_choice.h"

#include "core/device/d2xx_backend.h"
#include "core/device/device_list.h"
#include "core/device/serial_backend.h"
#include "simulator/backend.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The D2XX backend's settings: the libraries named in the environment, the line's speed.
D2xxSettings d2xxSettingsFromEnvironment(std::uint32_t baud) {
    D2xxSettings d2xx;
    if (const std::string library = environment("VARKO5_D2XX_LIBRARY"); !library.empty())
        d2xx.library = library;
    if (const std::string library = environment("VARKO5_FTCHIPID_LIBRARY"); !library.empty())
        d2xx.chipIdLibrary = library;
    d2xx.baud = baud;
    return d2xx;
}

} // namespace

std::shared_ptr<DeviceBackend> backendFromEnvironment(std::optional<std::uint32_t> baud) {
    const std::string choice = environment("VARKO5_BACKEND");
    if (choice != "" && choice != "auto" && choice != "serial" && choice != "d2xx")
        return makeUnavailableBackend(choice, "VARKO5_BACKEND: '" + choice +
                                                  "' is not a backend (serial, d2xx or auto)");
    SerialSettings serial = serialSettingsFromEnvironment();
    if (baud)
        serial.baud = *baud;
    if (choice == "d2xx")
        return makeD2xxBackend(d2xxSettingsFromEnvironment(serial.baud));
    if (choice != "serial") {
        if (const char* scenario = std::getenv("VARKO5_SIMULATOR"); scenario != nullptr)
            return makeSimulatedBackend(scenario);
    }
#ifdef _WIN32
    // On Windows FTDI's driver library is the vendor's standard one: used when it loads, and
    // the COM ports of its virtual COM port driver otherwise.
    if (choice != "serial") {
        std::string why;
        std::shared_ptr<DeviceBackend> vendor =
            makeD2xxBackend(d2xxSettingsFromEnvironment(serial.baud), &why);
        if (why.empty())
            return vendor;
    }
#endif
    // On Linux the kernel's ftdi_sio driver holds the bridges: their serial ports are what
    // works without anything installed.
    return makeSerialBackend(serial);
}
