#pragma once
// The small set of USB-serial bridge operations the device code relies on, in the shape of
// the vendor's driver: a device-information list, open by list index, close, time-outs, read,
// write, receive-queue length and the chip identifier. They go to the backend the program
// installed at start-up (core/device/backend.h): serial ports under the operating system's
// driver, or the simulated bridge and controller. Every call returns a status: 0 for success,
// non-zero otherwise.

#include <cstdint>
#include <string>

using PlatformStatus = std::uint32_t;
constexpr PlatformStatus PLATFORM_OK = 0;
// The failures the backends report, numbered as the vendor's driver numbers them.
constexpr PlatformStatus PLATFORM_INVALID_HANDLE = 1;
constexpr PlatformStatus PLATFORM_DEVICE_NOT_FOUND = 2;
constexpr PlatformStatus PLATFORM_DEVICE_NOT_OPENED = 3;
constexpr PlatformStatus PLATFORM_IO_ERROR = 4;
constexpr PlatformStatus PLATFORM_INVALID_PARAMETER = 6;
constexpr PlatformStatus PLATFORM_INVALID_BAUD_RATE = 7;
// Not one of the driver's: the port is open in another program (or another handle of this
// one), so it was not opened. Kept apart so that a front end can say so.
constexpr PlatformStatus PLATFORM_DEVICE_IN_USE = 32;

struct PlatformDevice; // opaque; owned through DeviceHandle
using PlatformHandle = PlatformDevice*;

// One entry of the device-information list, in the driver's layout.
struct DeviceInfoNode {
    std::uint32_t flags;
    std::uint32_t type;
    std::uint32_t id;
    std::uint32_t locId;
    char serialNumber[16];
    char description[64];
    PlatformHandle handle;
};

// A node as the backends list a bridge: type 5 (a single-port full-speed bridge), the texts cut
// to their fields and NUL-terminated, no handle.
DeviceInfoNode makeDeviceInfoNode(const std::string& serial, const std::string& description, std::uint32_t id,
                                  std::uint32_t locId);

PlatformStatus platformCreateDeviceInfoList(std::uint32_t& count);
PlatformStatus platformGetDeviceInfoList(DeviceInfoNode* list, std::uint32_t& count);
PlatformStatus platformOpen(int index, PlatformHandle& handle);
PlatformStatus platformClose(PlatformHandle handle);
PlatformStatus platformSetTimeouts(PlatformHandle handle, std::uint32_t readMs, std::uint32_t writeMs);
PlatformStatus platformRead(PlatformHandle handle, void* buffer, std::uint32_t count,
                            std::uint32_t& received);
PlatformStatus platformWrite(PlatformHandle handle, const void* data, std::uint32_t count,
                             std::uint32_t& written);
PlatformStatus platformGetStatus(PlatformHandle handle, std::uint32_t& rxQueue, std::uint32_t& txQueue,
                                 std::uint32_t& events);
PlatformStatus platformGetChipId(PlatformHandle handle, std::uint32_t& chipId);
