// Saving a controller's configuration: as two XML documents or as one LPFP file.

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "cli/flows.h"
#include "core/config/config_xml.h"

FlowResult getConfiguration(const std::string& basename, bool defaults, const DeviceTarget& target,
                            std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, false))
            return EXIT_FAILED;

        // Both records are read before anything is written, so a failed read leaves no files.
        const LpfpConfiguration pair =
            readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current);
        if (basename.empty()) {
            out << appConfigToXml(pair.app) << '\n' << mcConfigToXml(pair.mc) << '\n';
            return EXIT_OK;
        }
        // Each file is tried even when the other could not be written.
        const auto save = [&](const std::string& path, auto&& write) {
            return guarded(result, EXIT_FAILED, [&] {
                write(path);
                result.outputs.push_back(path);
                return EXIT_OK;
            });
        };
        const int app =
            save(basename + ".app.xml", [&](const std::string& path) { saveAppConfigXml(pair.app, path); });
        const int mc =
            save(basename + ".mc.xml", [&](const std::string& path) { saveMcConfigXml(pair.mc, path); });
        return std::max(app, mc);
    }));
}

FlowResult saveLpfpFlow(const std::string& lpfpPath, bool defaults, const DeviceTarget& target,
                        std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, false))
            return EXIT_FAILED;
        writeLpfpFile(readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current), lpfpPath);
        result.outputs.push_back(lpfpPath);
        out << (defaults ? "Default LPFP Configuration saved to: " : "LPFP Configuration saved to: ")
            << lpfpPath << std::endl;
        return EXIT_OK;
    }));
}
