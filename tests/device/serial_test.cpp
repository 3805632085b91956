// The serial-port backend: discovery of FTDI bridges in a fake /dev and /sys tree, ports named
// one by one, and the whole stack across a pseudo-terminal served by lpfp_sim.

#include "device_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include "core/device/ftdi_chip_id.h"
#include "core/device/serial_backend.h"
#include "core/device/serial_port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// The serial backend over exactly these ports (colon-separated).
std::shared_ptr<DeviceBackend> serialPorts(const std::string& ports) {
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

    // The same through the device layer, with the roots given to the serial backend.
    SerialSettings settings;
    settings.devRoot = (root / "dev").string();
    settings.sysRoot = (root / "sys").string();
    const auto serial = makeSerialBackend(settings);
    const auto nodes = enumerateDevices(*serial);
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_STREQ(nodes[1].serialNumber, "B2");
    EXPECT_STREQ(nodes[1].description, "FT232R USB UART");
    // The links point nowhere here: opening fails, and says which port.
    LogCapture log(spdlog::level::info);
    EXPECT_THROW(openListed(*serial), std::runtime_error);
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
    const auto serial = makeSerialBackend(settings);
    EXPECT_TRUE(enumerateDevices(*serial).empty());
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
    const auto serial = serialPorts("/nonexistent/ttyUSB9");
    LogCapture log(spdlog::level::err);
    EXPECT_THROW(openListed(*serial), std::runtime_error);
    EXPECT_THAT(log.texts(),
                ::testing::ElementsAre("Device ttyUSB9 (/nonexistent/ttyUSB9) is not connected"));
}

// Root opens anything, so the port's own refusal is shown with what even root cannot open: a
// file that is no terminal and a folder. The reason names the port and travels in the error.
TEST(SerialOpen, APortThatWillNotOpenGivesItsReasonWithTheFailure) {
    TempDir dir;
    const std::string file = dir.file("ttyFAKE0");
    writeFileBytes(file, "");
    const std::string folder = dir.file("ttyFAKE1");
    fs::create_directory(folder);
    const std::pair<std::string, std::string> cases[] = {
        {file, "Cannot open serial port " + file + ": not a terminal device"},
        {folder, "Cannot open serial port " + folder + ": " + std::strerror(EISDIR)}};
    for (const auto& [port, reason] : cases) {
        SCOPED_TRACE(port);
        LogCapture log(spdlog::level::err);
        try {
            openListed(*serialPorts(port));
            ADD_FAILURE() << "opened";
        } catch (const device_open_error& error) {
            EXPECT_STREQ(error.what(), "Failed to open device");
            EXPECT_EQ(error.status(), STATUS_DEVICE_NOT_OPENED);
            EXPECT_EQ(error.reason(), reason);
        }
        // Said once, by whoever opened the device, not again by the port.
        EXPECT_THAT(log.texts(), ::testing::ElementsAre(reason));
        SerialPort direct;
        const OpenResult opened = direct.open(port, 9600, dir.file("sys"));
        EXPECT_EQ(opened.status, STATUS_DEVICE_NOT_OPENED);
        EXPECT_EQ(opened.reason, reason);
        EXPECT_FALSE(direct.isOpen());
    }
    SerialPort port;
    const OpenResult slow = port.open(file, 9601, dir.file("sys"));
    EXPECT_EQ(slow.status, STATUS_INVALID_BAUD_RATE);
    EXPECT_EQ(slow.reason,
              "Cannot open serial port " + file + ": 9601 baud is not a line speed it can be set to");
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
    const auto serial = serialPorts(dir.file("plain"));
    ASSERT_EQ(enumerateDevices(*serial).size(), 1u);
    LogCapture log(spdlog::level::info);
    EXPECT_THROW(openListed(*serial), std::runtime_error);
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

    const auto serial = serialPorts(path);
    const auto nodes = enumerateDevices(*serial);
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(std::string(nodes[0].description), "Serial port " + path);

    DeviceHandle handle = openListed(*serial);
    EXPECT_EQ(simulatedDeviceOf(handle), nullptr);
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
        const auto serial = serialPorts(path);
        DeviceHandle handle = openListed(*serial);
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

namespace {

// A pseudo-terminal whose controller end the test plays itself.
class TestPty {
public:
    TestPty() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        path_ = ::ptsname(master_);
    }
    ~TestPty() { hangUp(); }
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    const std::string& path() const { return path_; }
    int master() const { return master_; }
    void send(const std::vector<std::uint8_t>& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The bridge goes away: the terminal's other end is closed.
    void hangUp() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string path_;
};

std::shared_ptr<DeviceBackend> portsAt(const std::string& ports, std::uint32_t baud) {
    SerialSettings settings;
    settings.ports = ports;
    settings.baud = baud;
    return makeSerialBackend(settings);
}

TEST(SerialLine, SpeedAndFramingReachTheTerminal) {
    TestPty pty;
    for (const std::uint32_t baud : {9600u, 115200u, 921600u}) {
        SCOPED_TRACE(baud);
        DeviceHandle handle = openListed(*portsAt(pty.path(), baud));
        termios settings{};
        // On a pseudo-terminal the controlling end reports the settings of the port end.
        ASSERT_EQ(::tcgetattr(pty.master(), &settings), 0);
        const speed_t expected = baud == 9600 ? B9600 : baud == 115200 ? B115200 : B921600;
        EXPECT_EQ(::cfgetospeed(&settings), expected);
        EXPECT_EQ(::cfgetispeed(&settings), expected);
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u);
    }
    EXPECT_EQ(SerialSettings{}.baud, 9600u);
    LogCapture log(spdlog::level::err);
    try {
        openListed(*portsAt(pty.path(), 9601));
        ADD_FAILURE() << "opened at 9601 baud";
    } catch (const device_open_error& error) {
        EXPECT_STREQ(error.what(), "Failed to open device");
        EXPECT_EQ(error.status(), STATUS_INVALID_BAUD_RATE);
    }
    EXPECT_THAT(log.texts().at(0), HasSubstr("9601 baud"));
    EXPECT_FALSE(isSupportedBaud(0));
    EXPECT_TRUE(isSupportedBaud(57600));
}

// The one reading of a line-speed text, for --baud and VARKO5_BAUD alike.
TEST(SerialLine, BaudTextIsDecimalDigitsThatFit) {
    EXPECT_EQ(parseBaudText("115200"), 115200u);
    EXPECT_EQ(parseBaudText("0"), 0u);
    EXPECT_EQ(parseBaudText("999999999"), 999999999u);
    for (const char* bad : {"", "1000000000", "-9600", "+9600", " 9600", "9600 ", "96k", "0x2580"})
        EXPECT_EQ(parseBaudText(bad), std::nullopt) << bad;
}

TEST(SerialLine, ASecondOpenerIsRefusedNamingThePort) {
    TestPty pty;
    const auto backend = portsAt(pty.path(), 9600);
    DeviceHandle first = openListed(*backend);
    {
        LogCapture log(spdlog::level::err);
        try {
            openListed(*backend);
            ADD_FAILURE() << "opened twice";
        } catch (const device_open_error& error) {
            EXPECT_EQ(error.status(), STATUS_DEVICE_IN_USE);
        }
        const std::string name = "pts" + fs::path(pty.path()).filename().string();
        EXPECT_THAT(log.texts(), ::testing::ElementsAre("Device " + name + " (" + pty.path() +
                                                        ") is in use by another program"));
        EXPECT_EQ(describeInUse(pty.path()), "Serial port " + pty.path() + " is in use by another program");
    }
    // Nothing of the refused open reached the line: the holder still talks alone.
    pty.send({0x3C, 0x07, 0xF8});
    ArmLink link(first);
    EXPECT_EQ(link.acknowledge(7), ResponseType::SUCCESS);
    // Closed, the port is free again, exclusive flag and lock included.
    first.reset();
    EXPECT_TRUE(openListed(*backend));
}

TEST(SerialLine, WaitsEndWhenTheBytesArriveAndTimeOutAtTheDeadline) {
    TestPty pty;
    DeviceHandle handle = openListed(*portsAt(pty.path(), 115200));
    ArmLink link(handle);
    pty.send({1, 2, 3});
    EXPECT_TRUE(link.waitForBytes(3, 1500));
    EXPECT_THROW(link.waitForBytes(4, 300), timeout_exception);
    std::vector<std::uint8_t> buffer(8);
    EXPECT_EQ(link.read(buffer.data(), 3), 3);
    EXPECT_EQ(buffer[2], 3);
}

TEST(SerialLine, AnUnpluggedBridgeIsAnErrorNotAHangAndNothingCountsAsWritten) {
    {
        TestPty pty;
        DeviceHandle handle = openListed(*portsAt(pty.path(), 9600));
        ArmLink link(handle);
        // The bridge acknowledges, sends half of its reply and is gone.
        pty.send({0x3C, 0x07, 0xF8, 0x02, 0x16, 0x00, 0x05});
        pty.hangUp();
        // A wait that ran out its deadline would end in timeout_exception: the lost bridge
        // ends it at once, with its own error.
        try {
            link.ARM_getVersion();
            ADD_FAILURE() << "no error";
        } catch (const timeout_exception&) {
            ADD_FAILURE() << "a time-out instead of the lost bridge";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "Lost the connection to the bridge on " + pty.path());
        }
        std::uint32_t queued = 0;
        EXPECT_EQ(handle.queued(queued), STATUS_IO_ERROR);
    }
    TestPty pty;
    DeviceHandle handle = openListed(*portsAt(pty.path(), 9600));
    ArmLink link(handle);
    pty.hangUp();
    EXPECT_THROW(link.ARM_setAppConfig(simulatorDefaultAppConfig()), std::runtime_error);
}

TEST(SerialLine, FlushTakesJunkThatIsStillStreamingIn) {
    simulatorForgetRecords();
    // 20000 bytes at 1 Mbaud take 200 ms to arrive.
    SimProcess sim("pending=20000;baud=1000000");
    const std::string path = sim.firstLine();
    ASSERT_THAT(path, HasSubstr("/dev/pts/"));
    DeviceHandle handle = openListed(*portsAt(path, 9600));
    setDeviceTimeouts(handle, 1000, 0);
    ArmLink link(handle);
    link.flush();
    // What a pause of the host lets through the flush, the first exchange reads through.
    const FirmwareVersion version = link.ARM_getVersion();
    EXPECT_TRUE(version.valid);
    std::uint32_t queued = 1;
    EXPECT_EQ(handle.queued(queued), STATUS_OK);
    EXPECT_EQ(queued, 0u);
}

TEST(SerialLine, StatusAnswerEndsOnAQuietLine) {
    SimProcess sim("serial=VK5Q;latency=20");
    const std::string path = sim.firstLine();
    ASSERT_FALSE(path.empty());
    DeviceHandle handle = openListed(*portsAt(path, 9600));
    ArmLink link(handle);
    const std::uint8_t query = protocol::STATUS_QUERY;
    link.sendMessage(messageType::REQUEST, &query, 1);
    std::vector<std::uint8_t> text(10240);
    const std::uint32_t n = link.readUntilQuiet(text.data(), 10240, 1000);
    EXPECT_EQ(std::string(text.begin(), text.begin() + n),
              "Varko 5 bridge VK5Q: ready, controller powered\r\n");
    EXPECT_TRUE(link.ARM_getVersion().valid);
}

} // namespace

namespace {

// sys/class/tty/<tty>/device -> a USB device directory holding the given attributes.
void addUsbTty(const fs::path& sys, const std::string& tty, const std::string& busnum,
               const std::string& devnum, const std::string& product, const std::string& release) {
    const fs::path usb = sys / "devices" / "pci0000:00" / "usb1" / ("1-" + devnum);
    writeText(usb / "idVendor", "0403\n");
    writeText(usb / "idProduct", product + "\n");
    writeText(usb / "bcdDevice", release + "\n");
    writeText(usb / "busnum", busnum + "\n");
    writeText(usb / "devnum", devnum + "\n");
    const fs::path node = usb / ("1-" + devnum + ":1.0") / tty;
    fs::create_directories(node);
    fs::create_directories(sys / "class" / "tty" / tty);
    fs::create_directory_symlink(node, sys / "class" / "tty" / tty / "device");
}

TEST(ChipId, FromTheUsbDeviceAboveTheTty) {
    TempDir dir;
    const fs::path sys = dir.path() / "sys";
    addUsbTty(sys, "ttyUSB0", "3", "17", "6001", "0600"); // FT232R
    addUsbTty(sys, "ttyUSB1", "3", "18", "6001", "0400"); // FT232BM: no identifier
    addUsbTty(sys, "ttyUSB2", "1", "2", "6015", "1000");  // FT230X: none either
    std::string why;
    const auto bridge = usbBridgeOfTty("/dev/ttyUSB0", sys.string(), why);
    ASSERT_TRUE(bridge) << why;
    EXPECT_EQ(bridge->bus, 3);
    EXPECT_EQ(bridge->address, 17);
    EXPECT_EQ(bridge->product, 0x6001);
    EXPECT_EQ(bridge->release, 0x0600);
    EXPECT_TRUE(carriesChipId(*bridge));

    std::vector<std::pair<int, int>> asked;
    const ChipIdReader reader = [&](const UsbBridge& b, std::uint32_t& id, std::string&) {
        asked.emplace_back(b.bus, b.address);
        id = 0xCAFEF00Du;
        return true;
    };
    LogCapture log(spdlog::level::trace);
    EXPECT_EQ(readFtdiChipId("/dev/ttyUSB0", sys.string(), reader), 0xCAFEF00Du);
    EXPECT_THAT(asked, ::testing::ElementsAre(std::pair<int, int>{3, 17}));
    EXPECT_TRUE(log.texts().empty());

    // Every way of not reading it gives 0 and one debug line saying why; the chip is asked
    // only when it has an identifier.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dev/ttyUSB1", "0403:6001 release 4.00 is not an R-series chip"},
        {"/dev/ttyUSB2", "0403:6015 release 10.00 is not an R-series chip"},
        {"/dev/pts/9", "no USB device above 9"},
    };
    for (const auto& [tty, reason] : cases) {
        log.clear();
        EXPECT_EQ(readFtdiChipId(tty, sys.string(), reader), 0u) << tty;
        ASSERT_EQ(log.texts(spdlog::level::debug).size(), 1u) << tty;
        EXPECT_THAT(log.texts(spdlog::level::debug)[0], HasSubstr("Chip ID of " + tty + " reads as 0: "));
        EXPECT_THAT(log.texts(spdlog::level::debug)[0], HasSubstr(reason));
    }
    EXPECT_EQ(asked.size(), 1u);
    log.clear();
    const ChipIdReader failing = [](const UsbBridge&, std::uint32_t&, std::string& reason) {
        reason = "the chip did not answer";
        return false;
    };
    EXPECT_EQ(readFtdiChipId("/dev/ttyUSB0", sys.string(), failing), 0u);
    EXPECT_THAT(log.texts(spdlog::level::debug),
                ::testing::ElementsAre("Chip ID of /dev/ttyUSB0 reads as 0: the chip did not answer"));
    // libftdi itself, asked for a bus address where nothing is plugged in.
    std::uint32_t id = 7;
    std::string reason;
    UsbBridge absent = *bridge;
    absent.bus = 250;
    EXPECT_FALSE(readChipIdWithLibftdi(absent, id, reason));
    EXPECT_FALSE(reason.empty());
}

TEST(ChipId, AttributesThatCannotBeReadGiveNoBridge) {
    TempDir dir;
    const fs::path sys = dir.path() / "sys";
    addUsbTty(sys, "ttyUSB0", "3", "x7", "6001", "0600");
    std::string why;
    EXPECT_FALSE(usbBridgeOfTty("/dev/ttyUSB0", sys.string(), why));
    EXPECT_THAT(why, HasSubstr("cannot be read"));
}

} // namespace
