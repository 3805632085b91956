#include "core/device/serial_port.h"

#include "core/device/ftdi_chip_id.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The FTDI driver's latency timer of the tty behind path, in milliseconds; 0 when it has none
// (another driver, a pseudo-terminal).
std::uint32_t latencyTimerOf(const std::string& path, const std::string& sysRoot) {
    std::error_code error;
    const fs::path tty = fs::canonical(path, error);
    const std::string name = (error ? fs::path(path) : tty).filename().string();
    const std::string text =
        readSysfsLine(fs::path(sysRoot) / "class" / "tty" / name / "device" / "latency_timer");
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return static_cast<std::uint32_t>(std::stoul(text));
}

} // namespace

std::string readSysfsLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The first ancestor of the tty's sysfs node that holds idVendor.
fs::path usbDeviceOfTty(const std::string& sysRoot, const std::string& tty) {
    std::error_code error;
    fs::path dir = fs::canonical(fs::path(sysRoot) / "class" / "tty" / tty / "device", error);
    if (error)
        return {};
    for (int level = 0; level < 5 && !dir.empty(); ++level) {
        if (fs::exists(dir / "idVendor", error))
            return dir;
        if (dir == dir.parent_path())
            break;
        dir = dir.parent_path();
    }
    return {};
}

namespace {

// The serial number inside a by-id name such as usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0.
std::string serialFromName(const std::string& name) {
    const auto interfacePart = name.rfind("-if");
    const std::string head = name.substr(0, interfacePart);
    const auto underscore = head.rfind('_');
    return underscore == std::string::npos ? head : head.substr(underscore + 1);
}

std::uint32_t hexValue(const std::string& text) {
    if (text.empty() || text.size() > 4 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return 0;
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

} // namespace

std::vector<SerialPortInfo> listNamedPorts(const std::string& colonSeparated) {
    std::vector<SerialPortInfo> ports;
    std::string::size_type start = 0;
    while (start <= colonSeparated.size()) {
        auto end = colonSeparated.find(':', start);
        if (end == std::string::npos)
            end = colonSeparated.size();
        const std::string path = colonSeparated.substr(start, end - start);
        if (!path.empty()) {
            const fs::path p(path);
            SerialPortInfo info;
            info.path = path;
            const std::string parent = p.parent_path().filename().string();
            info.serial = (parent == "pts" ? "pts" : "") + p.filename().string();
            info.description = "Serial port " + path;
            ports.push_back(info);
        }
        start = end + 1;
    }
    return ports;
}

std::vector<SerialPortInfo> listFtdiPorts(const std::string& devRoot, const std::string& sysRoot) {
    std::vector<SerialPortInfo> ports;
    std::error_code error;
    const fs::path byId = fs::path(devRoot) / "serial" / "by-id";
    if (!fs::is_directory(byId, error))
        return ports;
    for (fs::directory_iterator it(byId, error), end; !error && it != end; it.increment(error)) {
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        std::error_code linkError;
        const fs::path target = fs::is_symlink(entry, linkError) ? fs::read_symlink(entry, linkError) : entry;
        const std::string tty = linkError ? name : target.filename().string();

        SerialPortInfo info;
        info.path = entry.string();
        std::string vendor;
        const fs::path usb = usbDeviceOfTty(sysRoot, tty);
        if (!usb.empty()) {
            vendor = readSysfsLine(usb / "idVendor");
            info.serial = readSysfsLine(usb / "serial");
            info.description = readSysfsLine(usb / "product");
            info.id = (hexValue(vendor) << 16) | hexValue(readSysfsLine(usb / "idProduct"));
        }
        if (name.find("FTDI") == std::string::npos && vendor != "0403")
            continue;
        if (info.serial.empty())
            info.serial = serialFromName(name);
        if (info.description.empty())
            info.description = "FTDI USB serial bridge";
        ports.push_back(info);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
        return a.serial != b.serial ? a.serial < b.serial : a.path < b.path;
    });
    return ports;
}

namespace {

struct Rate {
    std::uint32_t baud;
    speed_t speed;
};

constexpr Rate kRates[] = {
    {1200, B1200},       {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},
    {38400, B38400},     {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
};

const Rate* rateOf(std::uint32_t baud) {
    for (const Rate& rate : kRates)
        if (rate.baud == baud)
            return &rate;
    return nullptr;
}

// Milliseconds left, rounded up, so that a poll never returns just before its deadline.
int remainingMsCeil(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 1000000));
}

} // namespace

bool isSupportedBaud(std::uint32_t baud) {
    return rateOf(baud) != nullptr;
}

std::string describeOpenFailure(const std::string& path, int error) {
    if (error == EACCES || error == EPERM)
        return "Permission denied opening " + path +
               ": install the project's udev rule (/lib/udev/rules.d/70-varko5-ftdi.rules, part of the "
               "package; it gives the logged-in user access) and plug the bridge in again, or add your user "
               "to the \"dialout\" group and log in again";
    return "Cannot open serial port " + path + ": " + std::strerror(error);
}

std::string describeInUse(const std::string& path) {
    return "Serial port " + path + " is in use by another program";
}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::close() {
    if (fd_ < 0)
        return;
    // The exclusive flag belongs to the tty, not to this descriptor: left set, it would lock
    // out the next program for as long as anyone else keeps the tty open.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

OpenResult SerialPort::open(const std::string& path, std::uint32_t baud, const std::string& sysRoot) {
    const Rate* rate = rateOf(baud);
    if (rate == nullptr)
        return {STATUS_INVALID_BAUD_RATE, "Cannot open serial port " + path + ": " + std::to_string(baud) +
                                              " baud is not a line speed it can be set to"};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY)
            return {STATUS_DEVICE_IN_USE, describeInUse(path)};
        return {STATUS_DEVICE_NOT_OPENED, describeOpenFailure(path, error)};
    }
    // The lock holds against every program that asks for it, root included (TIOCEXCL does
    // not stop root); TIOCEXCL also keeps out programs that do not ask.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return {STATUS_DEVICE_IN_USE, describeInUse(path)};
        return {STATUS_DEVICE_NOT_OPENED, "Cannot lock serial port " + path + ": " + std::strerror(error)};
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        ::close(fd);
        return {STATUS_DEVICE_NOT_OPENED, "Cannot open serial port " + path + ": not a terminal device"};
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, rate->speed);
    ::cfsetospeed(&settings, rate->speed);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        const int error = errno;
        ::close(fd);
        return {STATUS_DEVICE_NOT_OPENED,
                "Cannot configure serial port " + path + ": " + std::strerror(error)};
    }
    if (::ioctl(fd, TIOCEXCL) != 0)
        spdlog::debug("Serial port {}: no exclusive mode: {}", path, std::strerror(errno));
    close();
    fd_ = fd;
    path_ = path;
    sysRoot_ = sysRoot;
    timing_ = LineTiming{baud, latencyTimerOf(path, sysRoot)};
    rx_.clear();
    gone_ = false;
    return {};
}

DeviceStatus SerialPort::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return STATUS_OK;
}

DeviceStatus SerialPort::chipId(std::uint32_t& id) {
    id = 0;
    if (fd_ < 0)
        return STATUS_INVALID_HANDLE;
    id = readFtdiChipId(path_, sysRoot_);
    return STATUS_OK;
}

bool SerialPort::pull() {
    if (gone_)
        return false;
    std::uint8_t chunk[4096];
    while (true) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            rx_.insert(rx_.end(), chunk, chunk + n);
            continue;
        }
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        if (errno == EINTR)
            continue;
        // EIO: the tty was hung up (a bridge unplugged, the other end of a pty closed).
        gone_ = true;
        return false;
    }
}

bool SerialPort::sleepForInput(std::chrono::steady_clock::time_point deadline) {
    // To the microsecond: a quiet window of a fast line is a fraction of a millisecond, and
    // poll's whole milliseconds would round every such wait up to the next one.
    const auto left =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::nanoseconds::zero())
        return true;
    const auto capped = std::min<std::chrono::nanoseconds>(left, std::chrono::seconds(1000));
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(capped.count() / 1000000000);
    wait.tv_nsec = static_cast<long>(capped.count() % 1000000000);
    pollfd request{fd_, POLLIN, 0};
    const int ready = ::ppoll(&request, 1, &wait, nullptr);
    if (ready < 0)
        return errno == EINTR;
    if (ready > 0 && (request.revents & POLLIN) == 0 &&
        (request.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        gone_ = true;
        return false;
    }
    return true;
}

DeviceStatus SerialPort::waitQueued(std::uint32_t count, std::chrono::steady_clock::time_point deadline,
                                    std::uint32_t& received) {
    received = 0;
    if (fd_ < 0)
        return STATUS_INVALID_HANDLE;
    while (true) {
        const bool alive = pull();
        received = static_cast<std::uint32_t>(rx_.size());
        if (received >= count)
            return STATUS_OK;
        if (!alive)
            return STATUS_IO_ERROR;
        if (std::chrono::steady_clock::now() >= deadline)
            return STATUS_OK;
        if (!sleepForInput(deadline))
            return STATUS_IO_ERROR;
    }
}

DeviceStatus SerialPort::queued(std::uint32_t& received) {
    received = 0;
    if (fd_ < 0)
        return STATUS_INVALID_HANDLE;
    const bool alive = pull();
    received = static_cast<std::uint32_t>(rx_.size());
    return alive || received > 0 ? STATUS_OK : STATUS_IO_ERROR;
}

DeviceStatus SerialPort::read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) {
    received = 0;
    if (fd_ < 0)
        return STATUS_INVALID_HANDLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs_);
    std::uint32_t waiting = 0;
    const DeviceStatus status = waitQueued(count, deadline, waiting);
    const std::size_t n = std::min<std::size_t>(count, rx_.size());
    if (n > 0)
        std::memcpy(buffer, rx_.data(), n);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(n));
    received = static_cast<std::uint32_t>(n);
    return status == STATUS_IO_ERROR && n == 0 ? STATUS_IO_ERROR : STATUS_OK;
}

DeviceStatus SerialPort::write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) {
    written = 0;
    if (fd_ < 0)
        return STATUS_INVALID_HANDLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs_);
    while (written < count) {
        const ssize_t n = ::write(fd_, data + written, count - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            gone_ = gone_ || errno == EIO;
            return STATUS_IO_ERROR;
        }
        const int wait = writeTimeoutMs_ == 0 ? -1 : remainingMsCeil(deadline);
        if (wait == 0)
            break;
        pollfd request{fd_, POLLOUT, 0};
        if (::poll(&request, 1, wait) < 0 && errno != EINTR)
            return STATUS_IO_ERROR;
        if ((request.revents & (POLLERR | POLLNVAL | POLLHUP)) != 0)
            return STATUS_IO_ERROR;
    }
    return STATUS_OK;
}
