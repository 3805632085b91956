#include "core/device/com_port_win.h"

#include "core/device/serial_port.h"
#include "core/windows/wide_text.h"

#include <spdlog/spdlog.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace {

constexpr std::uint32_t kRates[] = {1200,    2400,    4800,    9600,    19200,  38400,  57600,
                                    115200,  230400,  460800,  500000,  576000, 921600, 1000000,
                                    1152000, 1500000, 2000000, 2500000, 3000000};

// The number in "COM12", for ordering; names without one go last.
unsigned long portNumber(const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
        --digits;
    }
    if (digits == name.size() || name.size() - digits > 9) {
        return 0xFFFFFFFFul;
    }
    return std::stoul(name.substr(digits));
}

// The longest a wait sleeps before it looks at the queue again. Windows' timer may round a
// sleep up to about 16 ms; the deadline is still met to within one such tick.
constexpr auto kPollStep = std::chrono::milliseconds(5);

} // namespace

std::string comDevicePath(const std::string& name) {
    return name.rfind("\\\\.\\", 0) == 0 ? name : "\\\\.\\" + name;
}

std::vector<ComPortEntry> registryComPorts() {
    std::vector<ComPortEntry> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD valueNameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = RegEnumValueW(key, index, valueName, &valueNameLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        ComPortEntry entry;
        entry.name = utf8FromWide(data);
        const std::string device = utf8FromWide(std::wstring(valueName, valueNameLength));
        entry.ftdi = device.find("VCP") != std::string::npos;
        if (!entry.name.empty()) {
            ports.push_back(entry);
        }
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), [](const ComPortEntry& a, const ComPortEntry& b) {
        return portNumber(a.name) != portNumber(b.name) ? portNumber(a.name) < portNumber(b.name)
                                                        : a.name < b.name;
    });
    return ports;
}

// Windows has no /dev/serial/by-id: the registry's map of COM ports stands in. Bridges on
// FTDI's VCP driver are listed; when the map names none, every COM port is, since another
// driver may name its devices otherwise.
std::vector<SerialPortInfo> listFtdiPorts(const std::string&, const std::string&) {
    std::vector<ComPortEntry> entries = registryComPorts();
    const bool anyFtdi =
        std::any_of(entries.begin(), entries.end(), [](const ComPortEntry& e) { return e.ftdi; });
    std::vector<SerialPortInfo> ports;
    for (const ComPortEntry& entry : entries) {
        if (anyFtdi && !entry.ftdi) {
            continue;
        }
        SerialPortInfo info;
        info.path = entry.name;
        info.serial = entry.name;
        info.description = entry.ftdi ? "FTDI USB serial bridge" : "Serial port " + entry.name;
        ports.push_back(info);
    }
    return ports;
}

std::vector<SerialPortInfo> listNamedPorts(const std::string& separated) {
    std::vector<SerialPortInfo> ports;
    std::string::size_type start = 0;
    while (start <= separated.size()) {
        auto end = separated.find(';', start);
        if (end == std::string::npos) {
            end = separated.size();
        }
        const std::string name = separated.substr(start, end - start);
        if (!name.empty()) {
            SerialPortInfo info;
            info.path = name;
            info.serial = name.rfind("\\\\.\\", 0) == 0 ? name.substr(4) : name;
            info.description = "Serial port " + name;
            ports.push_back(info);
        }
        start = end + 1;
    }
    return ports;
}

bool isSupportedBaud(std::uint32_t baud) {
    return std::find(std::begin(kRates), std::end(kRates), baud) != std::end(kRates);
}

std::string describeOpenFailure(const std::string& path, int error) {
    const DWORD code = static_cast<DWORD>(error);
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        return "Cannot open serial port " + path + ": No such file or directory";
    }
    return "Cannot open serial port " + path + ": " + windowsErrorText(code);
}

std::string describeInUse(const std::string& path) {
    return "Serial port " + path + " is in use by another program";
}

ComPort::~ComPort() {
    close();
}

void ComPort::close() {
    if (handle_ != nullptr) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
}

OpenResult ComPort::open(const std::string& name, std::uint32_t baud, const std::string&) {
    if (!isSupportedBaud(baud)) {
        return {STATUS_INVALID_BAUD_RATE, "Cannot open serial port " + name + ": " + std::to_string(baud) +
                                              " baud is not a line speed it can be set to"};
    }
    bool valid = true;
    const std::wstring device = wideFromUtf8(comDevicePath(name), &valid);
    if (!valid) {
        return {STATUS_DEVICE_NOT_OPENED, describeOpenFailure(name, ERROR_FILE_NOT_FOUND)};
    }
    // No sharing: Windows lets one handle at a time have a COM port.
    HANDLE handle =
        CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            return {STATUS_DEVICE_IN_USE, describeInUse(name)};
        }
        return {STATUS_DEVICE_NOT_OPENED, describeOpenFailure(name, static_cast<int>(error))};
    }
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle, &settings)) {
        CloseHandle(handle);
        return {STATUS_DEVICE_NOT_OPENED, "Cannot open serial port " + name + ": not a terminal device"};
    }
    settings.BaudRate = baud;
    // FTDI's VCP driver holds received bytes up to its latency timer, 16 ms unless changed.
    timing_ = LineTiming{baud, 16};
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    settings.fAbortOnError = FALSE;
    // Reads return at once with what the driver holds; the waits are ours.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!SetCommState(handle, &settings) || !SetCommTimeouts(handle, &timeouts)) {
        const std::string why = windowsErrorText(GetLastError());
        CloseHandle(handle);
        return {STATUS_DEVICE_NOT_OPENED, "Cannot configure serial port " + name + ": " + why};
    }
    close();
    handle_ = handle;
    name_ = name;
    rx_.clear();
    gone_ = false;
    return {};
}

DeviceStatus ComPort::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    if (handle_ != nullptr) {
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.WriteTotalTimeoutConstant = writeMs;
        SetCommTimeouts(static_cast<HANDLE>(handle_), &timeouts);
    }
    return STATUS_OK;
}

DeviceStatus ComPort::chipId(std::uint32_t& id) {
    id = 0;
    return handle_ != nullptr ? STATUS_OK : STATUS_INVALID_HANDLE;
}

bool ComPort::pull() {
    if (gone_) {
        return false;
    }
    const HANDLE handle = static_cast<HANDLE>(handle_);
    // An unplugged bridge makes ClearCommError fail (a read would still succeed with 0 bytes).
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) {
        gone_ = true;
        return false;
    }
    std::uint32_t waiting = status.cbInQue;
    while (waiting > 0) {
        std::uint8_t chunk[4096];
        DWORD got = 0;
        if (!ReadFile(handle, chunk, std::min<DWORD>(waiting, sizeof chunk), &got, nullptr)) {
            gone_ = true;
            return false;
        }
        if (got == 0) {
            break;
        }
        rx_.insert(rx_.end(), chunk, chunk + got);
        waiting -= std::min<std::uint32_t>(waiting, got);
    }
    return true;
}

DeviceStatus ComPort::waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                                 std::uint32_t& received) {
    received = 0;
    if (handle_ == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    while (true) {
        const bool alive = pull();
        received = static_cast<std::uint32_t>(rx_.size());
        if (received >= count) {
            return STATUS_OK;
        }
        if (!alive) {
            return STATUS_IO_ERROR;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return STATUS_OK;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kPollStep, deadline - now));
    }
}

DeviceStatus ComPort::queued(std::uint32_t& received) {
    received = 0;
    if (handle_ == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    const bool alive = pull();
    received = static_cast<std::uint32_t>(rx_.size());
    return alive || received > 0 ? STATUS_OK : STATUS_IO_ERROR;
}

DeviceStatus ComPort::read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) {
    received = 0;
    if (handle_ == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs_);
    std::uint32_t waiting = 0;
    const DeviceStatus status = waitQueued(count, deadline, waiting);
    const std::size_t n = std::min<std::size_t>(count, rx_.size());
    if (n > 0) {
        std::memcpy(buffer, rx_.data(), n);
    }
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(n));
    received = static_cast<std::uint32_t>(n);
    return status == STATUS_IO_ERROR && n == 0 ? STATUS_IO_ERROR : STATUS_OK;
}

DeviceStatus ComPort::write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) {
    written = 0;
    if (handle_ == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    if (gone_) {
        return STATUS_IO_ERROR;
    }
    // The driver's write time-out (set with the port's time-outs) bounds the call.
    DWORD sent = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), data, count, &sent, nullptr)) {
        const DWORD error = GetLastError();
        gone_ = error != ERROR_OPERATION_ABORTED;
        written = sent;
        return STATUS_IO_ERROR;
    }
    written = sent;
    return STATUS_OK;
}
