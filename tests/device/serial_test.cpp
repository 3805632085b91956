// The serial-port backend: discovery of FTDI bridges in a fake /dev and /sys tree, ports named
// one by one, and the whole stack across a pseudo-terminal served by lpfp_sim.

#include "device_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include "core/device/serial_backend.h"
#include "core/device/serial_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The serial backend over exactly these ports (colon-separated).
std::shared_ptr<PlatformBackend> serialPorts(const std::string& ports) {
    SerialSettings settings;
    settings.ports = ports;
    return makeSerialBackend(settings);
}

void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    writeFileBytes(file.string(), text);
}

// dev/serial/by-id/<name> -> ../../<tty>, and, when vendor is given, a sysfs USB device above
// the tty's node.
void addPort(const fs::path& root, const std::string& name, const std::string& tty,
             const std::string& vendor = "", const std::string& serial = "",
             const std::string& product = "") {
    const fs::path byId = root / "dev" / "serial" / "by-id";
    fs::create_directories(byId);
    fs::create_symlink(fs::path("../..") / tty, byId / name);
    if (vendor.empty())
        return;
    const fs::path usb = root / "sys" / "devices" / "pci0000:00" / ("usb-" + tty) / "1-1";
    writeText(usb / "idVendor", vendor + "\n");
    writeText(usb / "idProduct", "6001\n");
    if (!serial.empty())
        writeText(usb / "serial", serial + "\n");
    if (!product.empty())
        writeText(usb / "product", product + "\n");
    const fs::path node = usb / "1-1:1.0" / tty;
    fs::create_directories(node);
    fs::create_directories(root / "sys" / "class" / "tty" / tty);
    fs::create_directory_symlink(node, root / "sys" / "class" / "tty" / tty / "device");
}

TEST(SerialDiscovery, FtdiBridgesByIdInSerialOrder) {
    TempDir dir;
    const fs::path root = dir.path();
    addPort(root, "usb-FTDI_FT232R_USB_UART_B2-if00-port0", "ttyUSB1", "0403", "B2", "FT232R USB UART");
    addPort(root, "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "ttyUSB0"); // no sysfs entry
    addPort(root, "usb-Acme_Bridge_C3-if00-port0", "ttyUSB2", "0403", "C3X", "Acme Bridge");
    addPort(root, "usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "ttyUSB3", "067b", "P9",
            "USB-Serial Controller");

    const auto ports = listFtdiPorts((root / "dev").string(), (root / "sys").string());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].serial, "A1");
    EXPECT_EQ(ports[0].description, "FTDI USB serial bridge");
    EXPECT_EQ(ports[0].path, (root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0").string());
    EXPECT_EQ(ports[1].serial, "B2");
    EXPECT_EQ(ports[1].description, "FT232R USB UART");
    EXPECT_EQ(ports[1].id, 0x04036001u);
    EXPECT_EQ(ports[2].serial, "C3X");
    EXPECT_EQ(ports[2].description, "Acme Bridge");

    // The same through the platform layer, with the roots given to the serial backend.
    SerialSettings settings;
    settings.devRoot = (root / "dev").string();
    settings.sysRoot = (root / "sys").string();
    ScopedBackend serial(makeSerialBackend(settings));
    const auto nodes = enumerateDevices();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_STREQ(nodes[1].serialNumber, "B2");
    EXPECT_STREQ(nodes[1].description, "FT232R USB UART");
    // The links point nowhere here: opening fails, and says which port.
    LogCapture log(spdlog::level::info);
    EXPECT_THROW(openDeviceByIndex(0), std::runtime_error);
    ASSERT_EQ(log.texts(spdlog::level::err).size(), 1u);
    EXPECT_THAT(log.texts(spdlog::level::err)[0], HasSubstr("usb-FTDI_FT232R_USB_UART_A1-if00-port0"));
}

TEST(SerialDiscovery, NothingConnectedMeansAnEmptyList) {
    TempDir dir;
    EXPECT_TRUE(listFtdiPorts(dir.file("dev"), dir.file("sys")).empty());
    fs::create_directories(dir.path() / "dev" / "serial" / "by-id");
    EXPECT_TRUE(listFtdiPorts(dir.file("dev"), dir.file("sys")).empty());
    SerialSettings settings;
    settings.devRoot = dir.file("dev");
    ScopedBackend serial(makeSerialBackend(settings));
    EXPECT_TRUE(enumerateDevices().empty());
}

// Root opens anything, so the permission case is checked on the message itself.
TEST(SerialOpen, PermissionFailureSaysHowToGetAccess) {
    const std::string denied = describeOpenFailure("/dev/ttyUSB0", EACCES);
    EXPECT_THAT(denied, ::testing::StartsWith("Permission denied opening /dev/ttyUSB0: "));
    EXPECT_THAT(denied, ::testing::HasSubstr("70-varko5-ftdi.rules"));
    EXPECT_THAT(denied, ::testing::HasSubstr("\"dialout\" group"));
    EXPECT_EQ(describeOpenFailure("/dev/ttyUSB0", EPERM), denied);
    EXPECT_EQ(describeOpenFailure("/dev/ttyUSB9", ENOENT),
              "Cannot open serial port /dev/ttyUSB9: No such file or directory");
}

TEST(SerialOpen, OpeningAMissingPortFailsWithoutADevice) {
    ScopedBackend serial(serialPorts("/nonexistent/ttyUSB9"));
    LogCapture log(spdlog::level::err);
    EXPECT_THROW(openDeviceByIndex(0), std::runtime_error);
    EXPECT_THAT(log.texts(), ::testing::Contains(
                                 "Cannot open serial port /nonexistent/ttyUSB9: No such file or directory"));
}

TEST(SerialDiscovery, NamedPortsInTheirOrder) {
    const auto ports = listNamedPorts("/dev/pts/7::/tmp/bridge");
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].path, "/dev/pts/7");
    EXPECT_EQ(ports[0].serial, "pts7");
    EXPECT_EQ(ports[0].description, "Serial port /dev/pts/7");
    EXPECT_EQ(ports[1].serial, "bridge");

    // A port that is not a terminal is not opened.
    TempDir dir;
    writeFileBytes(dir.file("plain"), "x");
    ScopedBackend serial(serialPorts(dir.file("plain")));
    ASSERT_EQ(enumerateDevices().size(), 1u);
    LogCapture log(spdlog::level::info);
    EXPECT_THROW(openDeviceByIndex(0), std::runtime_error);
    EXPECT_THAT(log.texts(spdlog::level::err).at(0), HasSubstr("not a terminal"));
}

// lpfp_sim in a child process with pipes on its standard input and output.
class SimProcess {
public:
    explicit SimProcess(const std::string& scenario) {
        int in[2], out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::string program = LPFP_SIM_PATH;
        std::vector<char*> argv = {program.data(), const_cast<char*>(scenario.c_str()), nullptr};
        const int status = posix_spawn(&pid_, LPFP_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        if (status != 0)
            pid_ = -1;
    }
    ~SimProcess() {
        finish();
        if (stdout_ >= 0)
            ::close(stdout_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The first line of output: the terminal's path ("" when none came within 5 s).
    std::string firstLine() {
        std::string line;
        char c = 0;
        while (true) {
            pollfd request{stdout_, POLLIN, 0};
            if (::poll(&request, 1, 5000) <= 0 || ::read(stdout_, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    // Closing its input ends the program; returns its exit status.
    int finish() {
        if (stdin_ >= 0) {
            ::close(stdin_);
            stdin_ = -1;
        }
        if (pid_ <= 0)
            return -1;
        int status = 0;
        for (int i = 0; i < 50 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            ::usleep(100 * 1000);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
};

TEST(SerialEndToEnd, CommandsThroughLpfpSimOverAPseudoTerminal) {
    simulatorForgetRecords();
    SimProcess sim("serial=VK5PTY;chipid=0xCAFE0001");
    const std::string path = sim.firstLine();
    ASSERT_THAT(path, HasSubstr("/dev/pts/"));

    ScopedBackend serial(serialPorts(path));
    const auto nodes = enumerateDevices();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(std::string(nodes[0].description), "Serial port " + path);

    DeviceHandle handle = openDeviceByIndex(0);
    EXPECT_EQ(simulatedDeviceOf(handle.get()), nullptr);
    EXPECT_EQ(readChipId(handle), 0u); // needs the vendor library
    setDeviceTimeouts(handle, 200, 0);
    ArmLink link(handle);
    link.flush();

    const std::uint8_t query = 0xC2;
    link.sendMessage(messageType::REQUEST, &query, 1);
    std::vector<std::uint8_t> text(10240);
    const std::int32_t n = link.read(text.data(), 10240);
    ASSERT_GT(n, 0);
    EXPECT_THAT(std::string(text.begin(), text.begin() + n), HasSubstr("VK5PTY"));

    const FirmwareVersion version = link.ARM_getVersion();
    EXPECT_TRUE(version.valid);
    EXPECT_EQ(version.major, 5);
    EXPECT_EQ(version.minor, 2);
    EXPECT_EQ(firstDifference(link.ARM_getDefaultMCConfig(), simulatorDefaultMcConfig()), "");

    APPConfiguration app = link.ARM_getAppConfig();
    EXPECT_EQ(firstDifference(app, simulatorDefaultAppConfig()), "");
    app.app_ppm_conf.hyst = 0.75f;
    app.timeout_msec = 2500;
    EXPECT_TRUE(link.ARM_setAppConfig(app));
    EXPECT_EQ(firstDifference(link.ARM_getAppConfig(), app), "");

    MCConfiguration mc = link.ARM_getMCConfig();
    mc.l_current_max = 42.0f;
    EXPECT_TRUE(link.ARM_setMCConfig(mc));
    EXPECT_EQ(firstDifference(link.ARM_getMCConfig(), mc), "");

    handle.reset();
    EXPECT_EQ(sim.finish(), 0);
}

TEST(SerialEndToEnd, FaultsAndBadScenarios) {
    {
        SimProcess sim("fault=bad_crc;fault_on=17");
        const std::string path = sim.firstLine();
        ASSERT_FALSE(path.empty());
        ScopedBackend serial(serialPorts(path));
        DeviceHandle handle = openDeviceByIndex(0);
        ArmLink link(handle);
        LogCapture quiet(spdlog::level::info);
        EXPECT_TRUE(link.ARM_getVersion().valid);
        try {
            link.ARM_getAppConfig();
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "Reply from controller failed its CRC check");
        }
    }
    SimProcess bad("fault=melted");
    EXPECT_EQ(bad.firstLine(), "");
    EXPECT_EQ(bad.finish(), 2);
}

} // namespace
