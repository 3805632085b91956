#pragma once
// The chip identifier of a real FTDI bridge behind a serial port. Only the R series (FT232R,
// FT245R) carries one. It is read with libftdi over a USB handle opened beside the kernel's
// driver, with vendor control requests only: the driver is never detached, the tty stays
// open and its line settings are not touched.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Where a bridge sits on the USB and what chip it is, from sysfs.
struct UsbBridge {
    int bus = 0;
    int address = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t release = 0; // bcdDevice: the chip generation
};

// The USB device above the tty (a path such as /dev/ttyUSB0, or a link to it) under sysRoot;
// nullopt, with the reason in why, when there is none or its attributes cannot be read.
std::optional<UsbBridge> usbBridgeOfTty(const std::string& ttyPath, const std::string& sysRoot,
                                        std::string& why);

// Whether the chip carries a chip identifier: FTDI's vendor id, product 6001 and release 6.00
// (the earlier chips of that product id, AM and BM, have none).
bool carriesChipId(const UsbBridge& bridge);

// Reads the identifier of the bridge; false with the reason in why.
using ChipIdReader = std::function<bool(const UsbBridge& bridge, std::uint32_t& id, std::string& why)>;
// The reader that asks the chip through libftdi.
bool readChipIdWithLibftdi(const UsbBridge& bridge, std::uint32_t& id, std::string& why);

// The identifier, or 0 with one debug line saying why it could not be read.
std::uint32_t readFtdiChipId(const std::string& ttyPath, const std::string& sysRoot,
                             const ChipIdReader& reader = readChipIdWithLibftdi);
