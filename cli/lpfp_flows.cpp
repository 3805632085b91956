#include "cli/lpfp_flows.h"

#include "cli/backup.h"
#include "cli/config_source.h"
#include "cli/device_choice.h"
#include "cli/flows.h"
#include "core/config/config_compare.h"
#include "core/device/arm_link.h"
#include "core/device/device_list.h"
#include "core/lpfp/lpfp.h"

#include <cctype>
#include <iostream>
#include <spdlog/spdlog.h>

namespace {

constexpr int kDiffTrouble = 2;
constexpr std::uint32_t kReadTimeoutMs = 1000;

// Runs a flow body and turns what escapes it into a logged error and the flow's failure status.
template <class Body> int guarded(int failureStatus, Body body) {
    try {
        return body();
    } catch (const timeout_exception&) {
        spdlog::error("ARM timed out. It may not be powered.");
    } catch (const std::exception& e) {
        spdlog::error("{}", e.what());
    }
    return failureStatus;
}

struct Session {
    DeviceHandle handle;
    DeviceInfoNode node{};
    int index = -1;
};

// Lists the devices, chooses one by serial number (or the usual rules) and opens it. False,
// with the reason logged, when no device can be chosen. With report, the device block and the
// chip identifier are printed as the original flows print them. The device is opened with the
// flows' time-outs and an empty receive queue.
bool openSession(Session& session, const std::string& serial, bool report) {
    const auto devices = enumerateDevices();
    const DeviceChoice choice = chooseDevice(devices, serial);
    if (choice.index < 0) {
        spdlog::error("{}", choice.error);
        return false;
    }
    session.node = devices[static_cast<std::size_t>(choice.index)];
    session.index = choice.index;
    if (report) {
        printDeviceBlock(session.node, session.index);
        session.handle = openDevice(session.index);
        return true;
    }
    session.handle = openDeviceByIndex(choice.index);
    setDeviceTimeouts(session.handle, kReadTimeoutMs, 0);
    ArmLink(session.handle).flush();
    return true;
}

// A valid version is needed to talk to the controller at all; writing needs firmware 5.2.
bool checkVersion(ArmLink& link, bool report, bool forWriting) {
    const FirmwareVersion version = link.ARM_getVersion();
    if (!version.valid) {
        spdlog::error("Failed at getting ARM Version.");
        return false;
    }
    if (report) {
        std::cout << "Major: " << version.major << std::endl << "Minor: " << version.minor << std::endl;
    }
    if (forWriting && (version.major != 5 || version.minor != 2)) {
        spdlog::error("This application only works with FW version 5.2. Curent Version: {}.{}", version.major,
                      version.minor);
        return false;
    }
    return true;
}

// A reading command that cannot hand back an intact record fails this record only; a silent
// controller ends the whole flow.
template <class Read> bool readBack(Read read) {
    try {
        read();
        return true;
    } catch (const timeout_exception&) {
        throw;
    } catch (const std::exception& e) {
        spdlog::error("{}", e.what());
        return false;
    }
}

bool sendApp(ArmLink& link, const APPConfiguration& record) {
    if (!link.ARM_setAppConfig(record)) {
        spdlog::error("Failed to set APPConfig");
        return false;
    }
    spdlog::info("Configuration sent to device");
    spdlog::info("Getting APP Configuration");
    APPConfiguration received{};
    if (!readBack([&] { received = link.ARM_getAppConfig(); })) {
        return false;
    }
    spdlog::info("Validating Updated APP");
    if (!appConfigEquals(received, record)) {
        spdlog::error("App Configuration validation FAILED");
        return false;
    }
    spdlog::info("APP Configuration Validated");
    return true;
}

bool sendMc(ArmLink& link, const MCConfiguration& record) {
    if (!link.ARM_setMCConfig(record)) {
        spdlog::error("Failed to set MCConfig");
        return false;
    }
    spdlog::info("Configuration sent to device");
    spdlog::info("Getting MC Configuration");
    MCConfiguration received{};
    if (!readBack([&] { received = link.ARM_getMCConfig(); })) {
        return false;
    }
    spdlog::info("Validating Updated MC");
    if (!mcConfigEquals(received, record)) {
        spdlog::error("MC Configuration validation FAILED");
        return false;
    }
    spdlog::info("MC Configuration Validated");
    return true;
}

std::string withoutLpfpExtension(const std::string& path) {
    constexpr std::string_view extension = ".lpfp";
    if (path.size() > extension.size()) {
        const std::string tail = path.substr(path.size() - extension.size());
        bool matches = true;
        for (std::size_t i = 0; i < tail.size(); ++i) {
            matches = matches && std::tolower(static_cast<unsigned char>(tail[i])) == extension[i];
        }
        if (matches) {
            return path.substr(0, path.size() - extension.size());
        }
    }
    return path;
}

int reportDifferences(const ConfigurationSet& left, const ConfigurationSet& right,
                      const std::string& leftText, const std::string& rightText) {
    std::vector<FieldDifference> differences;
    bool compared = false;
    if (left.hasApp && right.hasApp) {
        differences = diffAppConfig(left.records.app, right.records.app);
        compared = true;
    }
    if (left.hasMc && right.hasMc) {
        const auto mc = diffMcConfig(left.records.mc, right.records.mc);
        differences.insert(differences.end(), mc.begin(), mc.end());
        compared = true;
    }
    if (!compared) {
        spdlog::error("Nothing to compare: {} and {} hold no record of the same kind", leftText, rightText);
        return kDiffTrouble;
    }
    printDifferences(std::cout, differences);
    std::cout.flush();
    if (differences.empty()) {
        spdlog::info("The configurations are the same");
        return 0;
    }
    spdlog::info("{} fields differ", differences.size());
    return 1;
}

} // namespace

bool backupBeforeWrite(ArmLink& link, const std::string& serial, const BackupSettings& backup) {
    try {
        const auto folder = backupFolder(backup.folder);
        LpfpConfiguration current;
        current.app = link.ARM_getAppConfig();
        current.mc = link.ARM_getMCConfig();
        const auto path = writeBackup(current, folder, serial, localTimeNow());
        std::cout << "Backup saved to: " << path.string() << std::endl;
        return true;
    } catch (const timeout_exception&) {
        throw;
    } catch (const std::exception& e) {
        spdlog::error("Backup failed, nothing was sent: {}", e.what());
        return false;
    }
}

void printDifferences(std::ostream& out, const std::vector<FieldDifference>& differences) {
    for (const auto& d : differences) {
        out << d.record << ' ' << d.key << ": " << d.left << " -> " << d.right << '\n';
    }
}

int applyLpfpFlow(const std::string& lpfpPath, const std::string& serial, const BackupSettings& backup) {
    return guarded(1, [&] {
        // A damaged file is refused before any device is touched.
        checkLpfpFile(lpfpPath);
        Session session;
        if (!openSession(session, serial, true)) {
            return 1;
        }
        ArmLink link(session.handle);
        if (!checkVersion(link, true, true)) {
            return 1;
        }
        if (backup.enabled && !backupBeforeWrite(link, serialNumberOf(session.node), backup)) {
            return 1;
        }
        spdlog::info("Getting Default APP Configuration");
        LpfpConfiguration pair;
        pair.app = link.ARM_getDefaultAppConfig();
        pair.mc = link.ARM_getDefaultMCConfig();
        std::uint64_t keyCount = 0;
        if (!readLpfpFile(pair, lpfpPath, keyCount)) {
            spdlog::error("{}: Invalid Configuration File", lpfpPath);
            return 1;
        }
        spdlog::info("Configuration updated from LPFP file {}. {} parameters set", lpfpPath, keyCount);
        const bool appDone = sendApp(link, pair.app);
        const bool mcDone = sendMc(link, pair.mc);
        if (!appDone || !mcDone) {
            spdlog::error("Configuration Validation Failed.");
            return 1;
        }
        spdlog::info("Configuration updated successfully");
        return 0;
    });
}

int saveLpfpFlow(const std::string& lpfpPath, bool defaults, const std::string& serial) {
    return guarded(1, [&] {
        Session session;
        if (!openSession(session, serial, true)) {
            return 1;
        }
        ArmLink link(session.handle);
        if (!checkVersion(link, true, false)) {
            return 1;
        }
        LpfpConfiguration pair;
        pair.app = defaults ? link.ARM_getDefaultAppConfig() : link.ARM_getAppConfig();
        pair.mc = defaults ? link.ARM_getDefaultMCConfig() : link.ARM_getMCConfig();
        writeLpfpFile(pair, lpfpPath);
        std::cout << (defaults ? "Default LPFP Configuration saved to: " : "LPFP Configuration saved to: ")
                  << lpfpPath << std::endl;
        return 0;
    });
}

int lpfpToXmlFlow(const std::string& lpfpPath, const std::string& basename) {
    return guarded(1, [&] {
        const std::string base = basename.empty() ? withoutLpfpExtension(lpfpPath) : basename;
        const std::string appPath = base + ".app.xml";
        const std::string mcPath = base + ".mc.xml";
        // Refuse a missing file by name rather than by its empty content's checksum.
        checkLpfpFile(lpfpPath);
        if (!lpfpToXmlFiles(lpfpPath, appPath, mcPath)) {
            spdlog::error("{}: Invalid Configuration File", lpfpPath);
            return 1;
        }
        std::cout << "APP Configuration saved to: " << appPath << std::endl
                  << "MC Configuration saved to: " << mcPath << std::endl;
        return 0;
    });
}

int xmlToLpfpFlow(const std::string& appXmlPath, const std::string& mcXmlPath, const std::string& lpfpPath) {
    return guarded(1, [&] {
        if (appXmlPath.empty() || mcXmlPath.empty()) {
            spdlog::error("--xml_to_lpfp needs both --app_config and --mc_config");
            return 1;
        }
        if (xmlRecordName(appXmlPath) != "APPConfiguration") {
            spdlog::error("Not a valid APPConfiguration XML file");
            return 1;
        }
        if (xmlRecordName(mcXmlPath) != "MCConfiguration") {
            spdlog::error("Not a valid MCConfiguration XML file");
            return 1;
        }
        if (!xmlFilesToLpfp(appXmlPath, mcXmlPath, lpfpPath)) {
            spdlog::error("Cannot convert {} and {}: their root tags must be written without attributes",
                          appXmlPath, mcXmlPath);
            return 1;
        }
        std::cout << "LPFP Configuration saved to: " << lpfpPath << std::endl;
        return 0;
    });
}

int diffFlow(const std::string& left, const std::string& right, const std::string& serial) {
    return guarded(kDiffTrouble, [&] {
        const SourceDescription leftSource = parseSource(left);
        const SourceDescription rightSource = parseSource(right);
        ConfigurationSet leftSet;
        ConfigurationSet rightSet;
        if (!isDeviceSource(leftSource)) {
            leftSet = loadFileSource(leftSource);
        }
        if (!isDeviceSource(rightSource)) {
            rightSet = loadFileSource(rightSource);
        }
        if (isDeviceSource(leftSource) || isDeviceSource(rightSource)) {
            Session session;
            if (!openSession(session, serial, false)) {
                return kDiffTrouble;
            }
            ArmLink link(session.handle);
            if (!checkVersion(link, false, false)) {
                return kDiffTrouble;
            }
            if (isDeviceSource(leftSource)) {
                leftSet = readDeviceSource(leftSource, link);
            }
            if (isDeviceSource(rightSource)) {
                rightSet = readDeviceSource(rightSource, link);
            }
        }
        return reportDifferences(leftSet, rightSet, left, right);
    });
}

int changedFlow(const std::string& serial) {
    return diffFlow("device:default", "device:current", serial);
}
