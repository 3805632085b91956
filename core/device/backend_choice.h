#pragma once
// The one choice of backend a program makes at start-up, from its environment and options.
//   VARKO5_BACKEND=serial   the serial ports of the operating system: those named in
//                           VARKO5_PORTS, or the FTDI bridges under /dev/serial/by-id
//                           (VARKO5_DEV_ROOT and VARKO5_SYS_ROOT replace /dev and /sys);
//   VARKO5_BACKEND=d2xx     FTDI's D2XX driver library, loaded at run time from
//                           VARKO5_D2XX_LIBRARY (default libftd2xx.so on the loader path), with
//                           the chip identifier from VARKO5_FTCHIPID_LIBRARY (default
//                           libftchipid.so; optional);
//   VARKO5_BACKEND=auto     (the default) the simulated bridges and controllers of the
//                           scenario in VARKO5_SIMULATOR when it is set (even to an empty
//                           string), otherwise the serial ports.
// An explicit serial or d2xx wins over VARKO5_SIMULATOR (which the D2XX test stand-in reads).
// Every backend runs the line at VARKO5_BAUD (default 9600), or at the speed given.
// Nothing reads these variables afterwards.

#include "core/device/backend.h"

#include <cstdint>
#include <memory>
#include <optional>

// Never fails: a backend that cannot work (an unknown VARKO5_BACKEND, a D2XX library that does
// not load) is one that says why, with std::runtime_error, when it is asked to list or open,
// so that a program that never touches a device (help, conversions) still runs.
std::shared_ptr<DeviceBackend> backendFromEnvironment(std::optional<std::uint32_t> baud = std::nullopt);
