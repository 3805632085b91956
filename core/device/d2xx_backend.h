#pragma once
// The backend of FTDI's own D2XX driver library, loaded at run time: the vendor's driver on
// Windows, and on Linux benches that use it in place of the kernel's ftdi_sio. Devices are
// listed with the library's device-information list and opened by serial number (by location
// when a bridge has none), 8N1 without flow control at the settings' speed.

#include "core/device/backend.h"

#include <cstdint>
#include <memory>
#include <string>

struct D2xxSettings {
    // The driver library, and the chip-identification library (optional: without it every
    // chip identifier reads 0). A bare name is searched on the loader path.
#if defined(_WIN32)
    std::string library = "ftd2xx.dll";
    std::string chipIdLibrary = "FTChipID.dll";
#else
    std::string library = "libftd2xx.so";
    std::string chipIdLibrary = "libftchipid.so";
#endif
    std::uint32_t baud = 9600;
};

// The backend over the library. When the library cannot be loaded, or lacks one of the calls
// the backend needs, the backend lists and opens nothing and throws std::runtime_error
// naming the file and the call instead; why is then set to the same text.
std::shared_ptr<DeviceBackend> makeD2xxBackend(const D2xxSettings& settings, std::string* why = nullptr);
