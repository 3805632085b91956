#include "core/device/ftdi_chip_id.h"

#include "core/device/serial_port.h"

#include <ftdi.h>
#include <libusb.h>
#include <spdlog/spdlog.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A sysfs number; nullopt unless the whole text is digits of the base, within 16 bits.
std::optional<int> parseNumber(const std::string& text, int base) {
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    for (const char c : text)
        if (base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) == 0 : (c < '0' || c > '9'))
            return std::nullopt;
    const long value = std::strtol(text.c_str(), nullptr, base);
    if (value < 0 || value > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(value);
}

struct FtdiDeleter {
    void operator()(ftdi_context* context) const { ftdi_free(context); }
};

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};

} // namespace

std::optional<UsbBridge> usbBridgeOfTty(const std::string& ttyPath, const std::string& sysRoot,
                                        std::string& why) {
    std::error_code error;
    const fs::path tty = fs::canonical(ttyPath, error);
    const std::string name = (error ? fs::path(ttyPath) : tty).filename().string();
    const fs::path usb = usbDeviceOfTty(sysRoot, name);
    if (usb.empty()) {
        why = "no USB device above " + name + " in " + sysRoot;
        return std::nullopt;
    }
    const auto bus = parseNumber(readSysfsLine(usb / "busnum"), 10);
    const auto address = parseNumber(readSysfsLine(usb / "devnum"), 10);
    const auto vendor = parseNumber(readSysfsLine(usb / "idVendor"), 16);
    const auto product = parseNumber(readSysfsLine(usb / "idProduct"), 16);
    const auto release = parseNumber(readSysfsLine(usb / "bcdDevice"), 16);
    if (!bus || !address || !vendor || !product || !release) {
        why = "the USB attributes of " + name + " cannot be read in " + usb.string();
        return std::nullopt;
    }
    UsbBridge bridge;
    bridge.bus = *bus;
    bridge.address = *address;
    bridge.vendor = static_cast<std::uint16_t>(*vendor);
    bridge.product = static_cast<std::uint16_t>(*product);
    bridge.release = static_cast<std::uint16_t>(*release);
    return bridge;
}

bool carriesChipId(const UsbBridge& bridge) {
    return bridge.vendor == 0x0403 && bridge.product == 0x6001 && bridge.release == 0x0600;
}

bool readChipIdWithLibftdi(const UsbBridge& bridge, std::uint32_t& id, std::string& why) {
    const std::unique_ptr<ftdi_context, FtdiDeleter> ftdi(ftdi_new());
    if (!ftdi) {
        why = "libftdi could not start";
        return false;
    }
    // The kernel's driver keeps the interface: nothing here claims, resets or detaches it.
    ftdi->module_detach_mode = DONT_DETACH_SIO_MODULE;
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(ftdi->usb_ctx, &raw);
    if (count < 0) {
        why = std::string("the USB devices cannot be listed: ") + libusb_error_name(static_cast<int>(count));
        return false;
    }
    const std::unique_ptr<libusb_device*, DeviceListDeleter> list(raw);
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < count; ++i)
        if (libusb_get_bus_number(list.get()[i]) == bridge.bus &&
            libusb_get_device_address(list.get()[i]) == bridge.address)
            found = list.get()[i];
    if (found == nullptr) {
        why = "no USB device at bus " + std::to_string(bridge.bus) + " address " +
              std::to_string(bridge.address);
        return false;
    }
    libusb_device_handle* handle = nullptr;
    if (const int status = libusb_open(found, &handle); status != 0) {
        why = std::string("the USB device cannot be opened (") + libusb_error_name(status) +
              "); the udev rule gives access to it";
        return false;
    }
    ftdi->usb_dev = handle;
    unsigned int chipId = 0;
    const int status = ftdi_read_chipid(ftdi.get(), &chipId);
    if (status != 0)
        why = std::string("the chip did not answer: ") + ftdi_get_error_string(ftdi.get());
    ftdi->usb_dev = nullptr;
    libusb_close(handle);
    if (status != 0)
        return false;
    id = chipId;
    return true;
}

std::uint32_t readFtdiChipId(const std::string& ttyPath, const std::string& sysRoot,
                             const ChipIdReader& reader) {
    std::string why;
    const std::optional<UsbBridge> bridge = usbBridgeOfTty(ttyPath, sysRoot, why);
    if (bridge && !carriesChipId(*bridge))
        why = fmt::format("{:04x}:{:04x} release {:x}.{:02x} is not an R-series chip, which alone has one",
                          bridge->vendor, bridge->product, bridge->release >> 8, bridge->release & 0xFFu);
    std::uint32_t id = 0;
    if (bridge && carriesChipId(*bridge) && reader && reader(*bridge, id, why))
        return id;
    spdlog::debug("Chip ID of {} reads as 0: {}", ttyPath, why);
    return 0;
}
