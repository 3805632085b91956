#include "core/device/d2xx_backend.h"

#include "core/device/d2xx_api.h"
#include "core/device/device_list.h"
#include "core/device/dynamic_library.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

using namespace d2xx;

std::string d2xx::statusName(FT_STATUS status) {
    static const char* const names[] = {
        "FT_OK",
        "FT_INVALID_HANDLE",
        "FT_DEVICE_NOT_FOUND",
        "FT_DEVICE_NOT_OPENED",
        "FT_IO_ERROR",
        "FT_INSUFFICIENT_RESOURCES",
        "FT_INVALID_PARAMETER",
        "FT_INVALID_BAUD_RATE",
        "FT_DEVICE_NOT_OPENED_FOR_ERASE",
        "FT_DEVICE_NOT_OPENED_FOR_WRITE",
        "FT_FAILED_TO_WRITE_DEVICE",
        "FT_EEPROM_READ_FAILED",
        "FT_EEPROM_WRITE_FAILED",
        "FT_EEPROM_ERASE_FAILED",
        "FT_EEPROM_NOT_PRESENT",
        "FT_EEPROM_NOT_PROGRAMMED",
        "FT_INVALID_ARGS",
        "FT_NOT_SUPPORTED",
        "FT_OTHER_ERROR",
        "FT_DEVICE_LIST_NOT_READY",
    };
    if (status < sizeof names / sizeof names[0])
        return names[status];
    return "status " + std::to_string(status);
}

namespace {

// FTDI's bridges hold received bytes up to this long unless told otherwise.
constexpr UCHAR DEFAULT_LATENCY_TIMER_MS = 16;
// The read time-out a port starts with, until its owner sets its own: a read never blocks
// for ever.
constexpr ULONG INITIAL_READ_TIMEOUT_MS = 5000;
// How often a wait asks the library for its receive-queue length.
constexpr std::chrono::milliseconds QUEUE_POLL{1};

// The loaded libraries and the calls taken from them; shared by the backend and every port
// it opened, so that a port outlives its backend.
struct D2xxLibrary {
    std::unique_ptr<DynamicLibrary> library;
    FT_CreateDeviceInfoList_t createDeviceInfoList = nullptr;
    FT_GetDeviceInfoList_t getDeviceInfoList = nullptr;
    FT_OpenEx_t openEx = nullptr;
    FT_Close_t close = nullptr;
    FT_SetTimeouts_t setTimeouts = nullptr;
    FT_SetBaudRate_t setBaudRate = nullptr;
    FT_SetDataCharacteristics_t setDataCharacteristics = nullptr;
    FT_SetFlowControl_t setFlowControl = nullptr;
    FT_Purge_t purge = nullptr;
    FT_Read_t read = nullptr;
    FT_Write_t write = nullptr;
    FT_GetQueueStatus_t getQueueStatus = nullptr;
    FT_GetLatencyTimer_t getLatencyTimer = nullptr; // optional

    std::unique_ptr<DynamicLibrary> chipIdLibrary;  // optional
    FTID_GetChipIDFromHandle_t getChipId = nullptr; // optional
    std::string chipIdProblem;                      // why there is none

    const std::string& file() const { return library->file(); }

    // "D2XX library libftd2xx.so: FT_Read failed on A50285BI with status 4 (FT_IO_ERROR)"
    std::string failure(const char* call, FT_STATUS status, const std::string& device = {}) const {
        return "D2XX library " + file() + ": " + call + " failed" + (device.empty() ? "" : " on " + device) +
               " with status " + std::to_string(status) + " (" + statusName(status) + ")";
    }
};

template <class Call> bool take(const DynamicLibrary& library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(library.symbol(name));
    return call != nullptr;
}

class D2xxPort final : public DevicePort {
public:
    D2xxPort(std::shared_ptr<const D2xxLibrary> library, FT_HANDLE handle, std::string name,
             LineTiming timing)
        : library_(std::move(library)), handle_(handle), name_(std::move(name)), timing_(timing) {}
    ~D2xxPort() override { library_->close(handle_); }
    D2xxPort(const D2xxPort&) = delete;
    D2xxPort& operator=(const D2xxPort&) = delete;

    std::string name() const override { return name_; }
    LineTiming timing() const override { return timing_; }

    DeviceStatus setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        return checked("FT_SetTimeouts", library_->setTimeouts(handle_, readMs, writeMs));
    }

    DeviceStatus read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) override {
        received = 0;
        DWORD got = 0;
        const FT_STATUS status = library_->read(handle_, buffer, count, &got);
        received = std::min<DWORD>(got, count);
        return checked("FT_Read", status);
    }

    DeviceStatus write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) override {
        written = 0;
        DWORD put = 0;
        // The library's signature takes a non-const buffer; it only reads it.
        const FT_STATUS status = library_->write(handle_, const_cast<std::uint8_t*>(data), count, &put);
        written = std::min<DWORD>(put, count);
        return checked("FT_Write", status);
    }

    DeviceStatus queued(std::uint32_t& received) override {
        DWORD rx = 0;
        const FT_STATUS status = library_->getQueueStatus(handle_, &rx);
        received = status == FT_OK ? rx : 0;
        return checked("FT_GetQueueStatus", status);
    }

    DeviceStatus waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                            std::uint32_t& received) override {
        while (true) {
            if (const DeviceStatus status = queued(received); status != STATUS_OK)
                return status;
            const auto now = std::chrono::steady_clock::now();
            if (received >= count || now >= deadline)
                return STATUS_OK;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(QUEUE_POLL, deadline - now));
        }
    }

    DeviceStatus chipId(std::uint32_t& id) override {
        id = 0;
        if (library_->getChipId == nullptr) {
            spdlog::debug("Chip ID of {} reads as 0: {}", name_, library_->chipIdProblem);
            return STATUS_OK;
        }
        unsigned long value = 0;
        // Its status is not examined: a chip without an identifier leaves the 0.
        library_->getChipId(handle_, &value);
        id = static_cast<std::uint32_t>(value);
        return STATUS_OK;
    }

private:
    // A failed call is said once per port, naming the library and the call; the status goes
    // on to the caller with the driver's numbering.
    DeviceStatus checked(const char* call, FT_STATUS status) {
        if (status == FT_OK)
            return STATUS_OK;
        if (!failed_) {
            failed_ = true;
            spdlog::error("{}", library_->failure(call, status, name_));
        }
        return status;
    }

    std::shared_ptr<const D2xxLibrary> library_;
    FT_HANDLE handle_;
    std::string name_;
    LineTiming timing_;
    bool failed_ = false;
};

class D2xxBackend final : public DeviceBackend {
public:
    D2xxBackend(std::shared_ptr<const D2xxLibrary> library, std::uint32_t baud)
        : library_(std::move(library)), baud_(baud) {}

    std::string name() const override { return "d2xx"; }

    DeviceStatus listDevices(std::vector<DeviceInfoNode>& nodes) override {
        nodes.clear();
        std::vector<FT_DEVICE_LIST_INFO_NODE> list;
        if (const FT_STATUS status = readList(list); status != FT_OK)
            return status;
        for (const FT_DEVICE_LIST_INFO_NODE& entry : list) {
            DeviceInfoNode node = makeDeviceInfoNode(
                std::string(entry.SerialNumber, strnlen(entry.SerialNumber, sizeof entry.SerialNumber)),
                std::string(entry.Description, strnlen(entry.Description, sizeof entry.Description)),
                entry.ID, entry.LocId);
            node.flags = entry.Flags;
            node.type = entry.Type;
            node.handle = entry.ftHandle;
            nodes.push_back(node);
        }
        return STATUS_OK;
    }

    OpenResult open(const DeviceInfoNode& node, std::unique_ptr<DevicePort>& port) override {
        std::string serial = serialNumberOf(node);
        const std::string name = serial.empty() ? "location " + std::to_string(node.locId) : serial;
        FT_HANDLE handle = nullptr;
        // A bridge without a serial number (its EEPROM blank) can only be told by where it is.
        const FT_STATUS status =
            serial.empty()
                ? library_->openEx(reinterpret_cast<void*>(static_cast<std::uintptr_t>(node.locId)),
                                   FT_OPEN_BY_LOCATION, &handle)
                : library_->openEx(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &handle);
        if (status != FT_OK || handle == nullptr) {
            // The driver refuses a second open of a device itself (some versions saying "not
            // found" for it); tell that apart from a device that is gone by the list, whose
            // entry of a device held elsewhere carries the opened flag.
            const int listed = listedState(serial, node.locId);
            if (listed == 0)
                return {STATUS_DEVICE_NOT_FOUND, {}};
            if (listed == 2 || status == FT_DEVICE_NOT_OPENED)
                return {STATUS_DEVICE_IN_USE, {}};
            if (status == FT_DEVICE_NOT_FOUND)
                return {STATUS_DEVICE_NOT_FOUND, {}};
            return {status != FT_OK ? static_cast<DeviceStatus>(status) : STATUS_DEVICE_NOT_OPENED,
                    library_->failure("FT_OpenEx", status, name)};
        }
        // From here the handle is closed on every failure.
        const auto fail = [&](const char* call, FT_STATUS callStatus) {
            library_->close(handle);
            return OpenResult{static_cast<DeviceStatus>(callStatus),
                              library_->failure(call, callStatus, name)};
        };
        if (const FT_STATUS s = library_->setBaudRate(handle, baud_); s != FT_OK)
            return fail("FT_SetBaudRate", s);
        if (const FT_STATUS s =
                library_->setDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE);
            s != FT_OK)
            return fail("FT_SetDataCharacteristics", s);
        if (const FT_STATUS s = library_->setFlowControl(handle, FT_FLOW_NONE, 0x11, 0x13); s != FT_OK)
            return fail("FT_SetFlowControl", s);
        if (const FT_STATUS s = library_->setTimeouts(handle, INITIAL_READ_TIMEOUT_MS, 0); s != FT_OK)
            return fail("FT_SetTimeouts", s);
        // Nothing an earlier program left unsent goes out to the controller now. What it left
        // to be received stays for the flush, which counts it and reads through it.
        if (const FT_STATUS s = library_->purge(handle, FT_PURGE_TX); s != FT_OK)
            return fail("FT_Purge", s);
        UCHAR latency = DEFAULT_LATENCY_TIMER_MS;
        if (library_->getLatencyTimer == nullptr || library_->getLatencyTimer(handle, &latency) != FT_OK)
            latency = DEFAULT_LATENCY_TIMER_MS;
        port = std::make_unique<D2xxPort>(library_, handle, name, LineTiming{baud_, latency});
        return {};
    }

private:
    FT_STATUS readList(std::vector<FT_DEVICE_LIST_INFO_NODE>& list) const {
        DWORD count = 0;
        // A failure here is reported by the caller, with the call's name and the status.
        if (const FT_STATUS status = library_->createDeviceInfoList(&count); status != FT_OK)
            return status;
        list.assign(count, FT_DEVICE_LIST_INFO_NODE{});
        if (count == 0)
            return FT_OK;
        DWORD filled = count;
        if (const FT_STATUS status = library_->getDeviceInfoList(list.data(), &filled); status != FT_OK)
            throw std::runtime_error(library_->failure("FT_GetDeviceInfoList", status));
        list.resize(std::min(filled, count));
        return FT_OK;
    }

    // 0: the device is not listed; 1: listed; 2: listed as open (by another program).
    int listedState(const std::string& serial, std::uint32_t locId) const {
        std::vector<FT_DEVICE_LIST_INFO_NODE> list;
        if (readList(list) != FT_OK)
            return 1;
        for (const FT_DEVICE_LIST_INFO_NODE& entry : list) {
            const std::string candidate(entry.SerialNumber,
                                        strnlen(entry.SerialNumber, sizeof entry.SerialNumber));
            if (serial.empty() ? entry.LocId == locId : candidate == serial)
                return (entry.Flags & FT_FLAGS_OPENED) != 0 ? 2 : 1;
        }
        return 0;
    }

    std::shared_ptr<const D2xxLibrary> library_;
    std::uint32_t baud_;
};

} // namespace

std::shared_ptr<DeviceBackend> makeD2xxBackend(const D2xxSettings& settings, std::string* why) {
    auto library = std::make_shared<D2xxLibrary>();
    std::string reason;
    library->library = DynamicLibrary::load(settings.library, reason);
    if (!library->library) {
        reason = "The D2XX library " + settings.library + " cannot be loaded: " + reason;
    } else {
        const DynamicLibrary& lib = *library->library;
        const char* missing = nullptr;
        const auto need = [&](const char* name, auto& call) {
            if (missing == nullptr && !take(lib, name, call))
                missing = name;
        };
        need("FT_CreateDeviceInfoList", library->createDeviceInfoList);
        need("FT_GetDeviceInfoList", library->getDeviceInfoList);
        need("FT_OpenEx", library->openEx);
        need("FT_Close", library->close);
        need("FT_SetTimeouts", library->setTimeouts);
        need("FT_SetBaudRate", library->setBaudRate);
        need("FT_SetDataCharacteristics", library->setDataCharacteristics);
        need("FT_SetFlowControl", library->setFlowControl);
        need("FT_Purge", library->purge);
        need("FT_Read", library->read);
        need("FT_Write", library->write);
        need("FT_GetQueueStatus", library->getQueueStatus);
        take(lib, "FT_GetLatencyTimer", library->getLatencyTimer);
        reason =
            missing != nullptr ? "The D2XX library " + settings.library + " lacks the call " + missing : "";
    }
    if (!reason.empty()) {
        if (why != nullptr)
            *why = reason;
        return makeUnavailableBackend("d2xx", reason);
    }

    std::string chipWhy;
    library->chipIdLibrary = DynamicLibrary::load(settings.chipIdLibrary, chipWhy);
    if (!library->chipIdLibrary)
        library->chipIdProblem =
            "the chip-identification library " + settings.chipIdLibrary + " cannot be loaded: " + chipWhy;
    else if (!take(*library->chipIdLibrary, "FTID_GetChipIDFromHandle", library->getChipId))
        library->chipIdProblem =
            "the chip-identification library " + settings.chipIdLibrary + " lacks FTID_GetChipIDFromHandle";
    return std::make_shared<D2xxBackend>(std::move(library), settings.baud);
}
