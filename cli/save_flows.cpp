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
        // Stopped while reading: nothing is written.
        if (target.cancel.requested())
            return EXIT_FAILED;
        if (basename.empty()) {
            out << appConfigToXml(pair.app) << '\n' << mcConfigToXml(pair.mc) << '\n';
            return EXIT_OK;
        }
        // The two documents are one configuration: either both are replaced or neither.
        saveConfigXmlPair(pair.app, basename + ".app.xml", pair.mc, basename + ".mc.xml");
        result.outputs.push_back(basename + ".app.xml");
        result.outputs.push_back(basename + ".mc.xml");
        return EXIT_OK;
    }));
}

FlowResult saveLpfpFlow(const std::string& lpfpPath, bool defaults, const DeviceTarget& target,
                        std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, false))
            return EXIT_FAILED;
        const LpfpConfiguration pair =
            readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current);
        if (target.cancel.requested())
            return EXIT_FAILED;
        writeLpfpFile(pair, lpfpPath);
        result.outputs.push_back(lpfpPath);
        out << (defaults ? "Default LPFP Configuration saved to: " : "LPFP Configuration saved to: ")
            << lpfpPath << std::endl;
        return EXIT_OK;
    }));
}
