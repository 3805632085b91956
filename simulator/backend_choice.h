#pragma once
// The one choice of backend a program makes at start-up, from its environment:
//   VARKO5_SIMULATOR set (even to an empty string): the simulated bridges and controllers of
//     that scenario, in-process;
//   otherwise the serial ports: those named in VARKO5_PORTS, or the FTDI bridges under
//     /dev/serial/by-id (VARKO5_DEV_ROOT and VARKO5_SYS_ROOT replace /dev and /sys), at the
//     line speed VARKO5_BAUD (default 9600).
// Nothing reads these variables afterwards.

#include "core/device/backend.h"

#include <cstdint>
#include <memory>
#include <optional>

// baud, when given (lpfp_cli's --baud), replaces VARKO5_BAUD for the serial ports.
std::shared_ptr<PlatformBackend> backendFromEnvironment(std::optional<std::uint32_t> baud = std::nullopt);
// Installs backendFromEnvironment(baud) for every later platform call.
void installBackendFromEnvironment(std::optional<std::uint32_t> baud = std::nullopt);
