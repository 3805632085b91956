// A stand-in for FTDI's D2XX driver library and its chip-identification library, for tests
// only: it exports the calls the D2XX backend makes, with their documented signatures, over
// the simulated bridges and controllers of the scenario in VARKO5_SIMULATOR (read again at
// every FT_CreateDeviceInfoList and FT_OpenEx, so that a test can plug bridges in and pull
// them out). It is never installed.
//
// Like the vendor's driver it refuses a second open of a device (FT_DEVICE_NOT_OPENED, with
// the device listed as open), and a device that is not connected is FT_DEVICE_NOT_FOUND.
// VARKO5_STANDIN_FAIL=<call>=<status> makes that call fail with that status, for the tests of
// a library whose calls fail.
//
// Portable C++ and the declarations of core/device/d2xx_api.h only, so that it builds as a
// Windows DLL as well.

#include "core/device/d2xx_api.h"
#include "simulator/device.h"
#include "simulator/records.h"
#include "simulator/scenario.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#define STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace d2xx;

namespace {

struct OpenDevice {
    std::unique_ptr<SimulatedDevice> device;
    std::string serial;
    ULONG readTimeoutMs = 0; // 0: no time-out, as the driver starts
};

struct Registry {
    std::mutex mutex;
    std::map<const void*, std::unique_ptr<OpenDevice>> open;
    std::vector<FT_DEVICE_LIST_INFO_NODE> list;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

// The status VARKO5_STANDIN_FAIL asks of call; FT_OK for every other call.
FT_STATUS injected(const char* call) {
    const char* setting = std::getenv("VARKO5_STANDIN_FAIL");
    if (setting == nullptr)
        return FT_OK;
    const std::string text = setting;
    const auto equals = text.find('=');
    if (equals == std::string::npos || text.compare(0, equals, call) != 0 || equals != std::strlen(call))
        return FT_OK;
    return static_cast<FT_STATUS>(std::strtoul(text.c_str() + equals + 1, nullptr, 10));
}

bool scenarioNow(SimScenario& scenario, std::string& text) {
    const char* setting = std::getenv("VARKO5_SIMULATOR");
    text = setting != nullptr ? setting : "";
    try {
        scenario = parseSimScenario(text);
        return true;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

OpenDevice* find(FT_HANDLE handle) {
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.open.find(handle);
    return it != r.open.end() ? it->second.get() : nullptr;
}

bool isOpen(const std::string& serial) {
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    return std::any_of(r.open.begin(), r.open.end(),
                       [&](const auto& entry) { return entry.second->serial == serial; });
}

template <std::size_t N> void copyText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

} // namespace

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_CreateDeviceInfoList(DWORD* lpdwNumDevs) {
    if (lpdwNumDevs == nullptr)
        return FT_INVALID_PARAMETER;
    *lpdwNumDevs = 0;
    if (const FT_STATUS status = injected("FT_CreateDeviceInfoList"); status != FT_OK)
        return status;
    SimScenario scenario;
    std::string text;
    if (!scenarioNow(scenario, text))
        return FT_INVALID_PARAMETER;
    if (scenario.listError != 0)
        return scenario.listError;
    std::vector<FT_DEVICE_LIST_INFO_NODE> list;
    for (int index = 0; index < scenario.devices; ++index) {
        const SimDeviceSettings settings = simDeviceSettings(scenario, index);
        FT_DEVICE_LIST_INFO_NODE node{};
        node.Flags = isOpen(settings.serial) ? FT_FLAGS_OPENED : 0;
        node.Type = 5;
        node.ID = 0x04036001u;
        node.LocId = static_cast<DWORD>(0x11 + index);
        copyText(node.SerialNumber, settings.serial);
        copyText(node.Description, settings.description);
        node.ftHandle = nullptr;
        list.push_back(node);
    }
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    r.list = list;
    *lpdwNumDevs = static_cast<DWORD>(list.size());
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, DWORD* lpdwNumDevs) {
    if (pDest == nullptr || lpdwNumDevs == nullptr)
        return FT_INVALID_PARAMETER;
    if (const FT_STATUS status = injected("FT_GetDeviceInfoList"); status != FT_OK)
        return status;
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    const std::size_t n = std::min<std::size_t>(*lpdwNumDevs, r.list.size());
    std::copy(r.list.begin(), r.list.begin() + static_cast<long>(n), pDest);
    *lpdwNumDevs = static_cast<DWORD>(r.list.size());
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_OpenEx(void* pArg1, DWORD Flags, FT_HANDLE* pHandle) {
    if (pHandle == nullptr)
        return FT_INVALID_PARAMETER;
    *pHandle = nullptr;
    if (const FT_STATUS status = injected("FT_OpenEx"); status != FT_OK)
        return status;
    SimScenario scenario;
    std::string text;
    if (!scenarioNow(scenario, text))
        return FT_DEVICE_NOT_FOUND;
    int index = 0;
    for (; index < scenario.devices; ++index) {
        const SimDeviceSettings settings = simDeviceSettings(scenario, index);
        if (Flags == FT_OPEN_BY_SERIAL_NUMBER && pArg1 != nullptr &&
            settings.serial == static_cast<const char*>(pArg1))
            break;
        if (Flags == FT_OPEN_BY_LOCATION &&
            reinterpret_cast<std::uintptr_t>(pArg1) == static_cast<std::uintptr_t>(0x11 + index))
            break;
    }
    if (index >= scenario.devices)
        return FT_DEVICE_NOT_FOUND;
    const std::string serial = simDeviceSettings(scenario, index).serial;
    if (scenario.openError)
        return FT_OTHER_ERROR;
    if (isOpen(serial))
        return FT_DEVICE_NOT_OPENED;
    auto open = std::make_unique<OpenDevice>();
    open->device = std::make_unique<SimulatedDevice>(scenario, index, simulatorSharedRecords(text, index));
    open->serial = serial;
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    *pHandle = open.get();
    r.open[open.get()] = std::move(open);
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_Close(FT_HANDLE ftHandle) {
    Registry& r = registry();
    const std::lock_guard<std::mutex> lock(r.mutex);
    return r.open.erase(ftHandle) == 1 ? FT_OK : FT_INVALID_HANDLE;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_SetTimeouts(FT_HANDLE ftHandle, ULONG ReadTimeout,
                                                  ULONG /*WriteTimeout*/) {
    OpenDevice* open = find(ftHandle);
    if (open == nullptr)
        return FT_INVALID_HANDLE;
    if (const FT_STATUS status = injected("FT_SetTimeouts"); status != FT_OK)
        return status;
    open->readTimeoutMs = ReadTimeout;
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_SetBaudRate(FT_HANDLE ftHandle, ULONG BaudRate) {
    if (find(ftHandle) == nullptr)
        return FT_INVALID_HANDLE;
    if (const FT_STATUS status = injected("FT_SetBaudRate"); status != FT_OK)
        return status;
    return BaudRate >= 300 && BaudRate <= 3000000 ? FT_OK : FT_INVALID_BAUD_RATE;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_SetDataCharacteristics(FT_HANDLE ftHandle, UCHAR WordLength,
                                                             UCHAR StopBits, UCHAR Parity) {
    if (find(ftHandle) == nullptr)
        return FT_INVALID_HANDLE;
    if (const FT_STATUS status = injected("FT_SetDataCharacteristics"); status != FT_OK)
        return status;
    return WordLength == FT_BITS_8 && StopBits == FT_STOP_BITS_1 && Parity == FT_PARITY_NONE
               ? FT_OK
               : FT_INVALID_PARAMETER;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_SetFlowControl(FT_HANDLE ftHandle, USHORT FlowControl,
                                                     UCHAR /*XonChar*/, UCHAR /*XoffChar*/) {
    if (find(ftHandle) == nullptr)
        return FT_INVALID_HANDLE;
    if (const FT_STATUS status = injected("FT_SetFlowControl"); status != FT_OK)
        return status;
    return FlowControl == FT_FLOW_NONE ? FT_OK : FT_INVALID_PARAMETER;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_Purge(FT_HANDLE ftHandle, ULONG Mask) {
    OpenDevice* open = find(ftHandle);
    if (open == nullptr)
        return FT_INVALID_HANDLE;
    if (const FT_STATUS status = injected("FT_Purge"); status != FT_OK)
        return status;
    if ((Mask & FT_PURGE_RX) != 0) {
        std::vector<std::uint8_t> scratch(open->device->readable());
        open->device->take(scratch.data(), scratch.size());
    }
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_Read(FT_HANDLE ftHandle, void* lpBuffer, DWORD dwBytesToRead,
                                           DWORD* lpdwBytesReturned) {
    OpenDevice* open = find(ftHandle);
    if (open == nullptr || lpdwBytesReturned == nullptr)
        return FT_INVALID_HANDLE;
    *lpdwBytesReturned = 0;
    if (const FT_STATUS status = injected("FT_Read"); status != FT_OK)
        return status;
    if (lpBuffer == nullptr && dwBytesToRead > 0)
        return FT_INVALID_PARAMETER;
    // Waits for bytes that are on their way, within the read time-out; never for bytes that
    // will not come, which would only slow the tests down.
    SimulatedDevice& device = *open->device;
    const std::size_t coming = std::min<std::size_t>(dwBytesToRead, device.queuedTotal());
    if (const auto due = device.dueTime(coming)) {
        const auto limit = open->readTimeoutMs == 0 ? *due
                                                    : std::chrono::steady_clock::now() +
                                                          std::chrono::milliseconds(open->readTimeoutMs);
        sleepUntil(std::min(*due, limit));
    }
    *lpdwBytesReturned = static_cast<DWORD>(device.take(static_cast<std::uint8_t*>(lpBuffer), dwBytesToRead));
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_Write(FT_HANDLE ftHandle, void* lpBuffer, DWORD dwBytesToWrite,
                                            DWORD* lpdwBytesWritten) {
    OpenDevice* open = find(ftHandle);
    if (open == nullptr || lpdwBytesWritten == nullptr)
        return FT_INVALID_HANDLE;
    *lpdwBytesWritten = 0;
    if (const FT_STATUS status = injected("FT_Write"); status != FT_OK)
        return status;
    if (lpBuffer == nullptr && dwBytesToWrite > 0)
        return FT_INVALID_PARAMETER;
    open->device->receive(static_cast<const std::uint8_t*>(lpBuffer), dwBytesToWrite);
    *lpdwBytesWritten = dwBytesToWrite;
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_GetQueueStatus(FT_HANDLE ftHandle, DWORD* dwRxBytes) {
    OpenDevice* open = find(ftHandle);
    if (open == nullptr || dwRxBytes == nullptr)
        return FT_INVALID_HANDLE;
    *dwRxBytes = 0;
    if (const FT_STATUS status = injected("FT_GetQueueStatus"); status != FT_OK)
        return status;
    *dwRxBytes = static_cast<DWORD>(open->device->readable());
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_GetLatencyTimer(FT_HANDLE ftHandle, UCHAR* pucLatency) {
    OpenDevice* open = find(ftHandle);
    if (open == nullptr || pucLatency == nullptr)
        return FT_INVALID_HANDLE;
    *pucLatency = static_cast<UCHAR>(std::min<std::uint32_t>(open->device->scenario().latencyTimerMs, 255));
    return FT_OK;
}

STANDIN_EXPORT FT_STATUS D2XX_CALL FT_SetLatencyTimer(FT_HANDLE ftHandle, UCHAR /*ucLatency*/) {
    return find(ftHandle) != nullptr ? FT_OK : FT_INVALID_HANDLE;
}

STANDIN_EXPORT FTID_STATUS D2XX_CALL FTID_GetChipIDFromHandle(FT_HANDLE Handle, unsigned long* ChipIdBuffer) {
    OpenDevice* open = find(Handle);
    if (open == nullptr || ChipIdBuffer == nullptr)
        return 1;
    *ChipIdBuffer = open->device->settings().chipId;
    return 0;
}
