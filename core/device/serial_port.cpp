#include "core/device/serial_port.h"

#include "core/device/platform.h"

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
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

// The USB device directory above a tty's sysfs node: the first ancestor holding idVendor.
fs::path usbDeviceDir(const std::string& sysRoot, const std::string& tty) {
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

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1000000));
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
        const fs::path usb = usbDeviceDir(sysRoot, tty);
        if (!usb.empty()) {
            vendor = readLine(usb / "idVendor");
            info.serial = readLine(usb / "serial");
            info.description = readLine(usb / "product");
            info.id = (hexValue(vendor) << 16) | hexValue(readLine(usb / "idProduct"));
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

SerialPort::~SerialPort() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string describeOpenFailure(const std::string& path, int error) {
    if (error == EACCES || error == EPERM)
        return "Permission denied opening " + path +
               ": install the project's udev rule (/lib/udev/rules.d/70-varko5-ftdi.rules, part of the "
               "package; it gives the logged-in user access) and plug the bridge in again, or add your user "
               "to the \"dialout\" group and log in again";
    return "Cannot open serial port " + path + ": " + std::strerror(error);
}

PlatformStatus SerialPort::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        spdlog::error("{}", describeOpenFailure(path, error));
        return PLATFORM_DEVICE_NOT_OPENED;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        spdlog::error("Cannot open serial port {}: not a terminal device", path);
        ::close(fd);
        return PLATFORM_DEVICE_NOT_OPENED;
    }
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        spdlog::error("Cannot configure serial port {}: {}", path, std::strerror(errno));
        ::close(fd);
        return PLATFORM_DEVICE_NOT_OPENED;
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    path_ = path;
    return PLATFORM_OK;
}

PlatformStatus SerialPort::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return PLATFORM_OK;
}

PlatformStatus SerialPort::chipId(std::uint32_t& id) {
    id = 0;
    return fd_ >= 0 ? PLATFORM_OK : PLATFORM_INVALID_HANDLE;
}

PlatformStatus SerialPort::read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t& received) {
    received = 0;
    if (fd_ < 0)
        return PLATFORM_INVALID_HANDLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs_);
    while (received < count) {
        const ssize_t n = ::read(fd_, buffer + received, count - received);
        if (n > 0) {
            received += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return received > 0 ? PLATFORM_OK : PLATFORM_IO_ERROR;
        const int wait = remainingMs(deadline);
        if (wait == 0)
            break;
        pollfd request{fd_, POLLIN, 0};
        if (::poll(&request, 1, wait) < 0 && errno != EINTR)
            return received > 0 ? PLATFORM_OK : PLATFORM_IO_ERROR;
        if ((request.revents & (POLLERR | POLLNVAL)) != 0)
            return received > 0 ? PLATFORM_OK : PLATFORM_IO_ERROR;
        if ((request.revents & POLLHUP) != 0 && (request.revents & POLLIN) == 0)
            break;
    }
    return PLATFORM_OK;
}

PlatformStatus SerialPort::write(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written) {
    written = 0;
    if (fd_ < 0)
        return PLATFORM_INVALID_HANDLE;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(writeTimeoutMs_);
    while (written < count) {
        const ssize_t n = ::write(fd_, data + written, count - written);
        if (n > 0) {
            written += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return PLATFORM_IO_ERROR;
        const int wait = writeTimeoutMs_ == 0 ? -1 : remainingMs(deadline);
        if (wait == 0)
            break;
        pollfd request{fd_, POLLOUT, 0};
        if (::poll(&request, 1, wait) < 0 && errno != EINTR)
            return PLATFORM_IO_ERROR;
        if ((request.revents & (POLLERR | POLLNVAL | POLLHUP)) != 0)
            return PLATFORM_IO_ERROR;
    }
    return PLATFORM_OK;
}

PlatformStatus SerialPort::queued(std::uint32_t& received) {
    received = 0;
    int inQueue = 0;
    if (fd_ < 0)
        return PLATFORM_INVALID_HANDLE;
    if (::ioctl(fd_, FIONREAD, &inQueue) != 0)
        return PLATFORM_IO_ERROR;
    received = static_cast<std::uint32_t>(std::max(inQueue, 0));
    return PLATFORM_OK;
}
