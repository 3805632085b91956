// Saving a controller's configuration: as two XML documents or as one LPFP file.

#include "cli/exit_status.h"
#include "cli/flow_report.h"
#include "cli/flows.h"
#include "cli/report.h"
#include "cli/report_stream.h"
#include "core/config/config_xml.h"

#include <iostream>

namespace {

void noteOutput(const std::string& path) {
    if (FlowReport* flowReport = report::activeReport())
        flowReport->outputs.push_back(path);
}

} // namespace

int getConfiguration(const std::string& basename, bool defaults, const DeviceTarget& target) {
    return guarded(EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, true);
        if (!session || !checkVersion(*session, true, false))
            return EXIT_FAILED;

        // Both records are read before anything is written, so a failed read leaves no files.
        const LpfpConfiguration pair =
            readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current);
        if (basename.empty()) {
            report::out() << appConfigToXml(pair.app) << '\n' << mcConfigToXml(pair.mc) << '\n';
            return EXIT_OK;
        }
        // Each file is tried even when the other could not be written.
        int status = EXIT_OK;
        status = std::max(status, guarded(EXIT_FAILED, [&] {
                              saveAppConfigXml(pair.app, basename + ".app.xml");
                              noteOutput(basename + ".app.xml");
                              return EXIT_OK;
                          }));
        status = std::max(status, guarded(EXIT_FAILED, [&] {
                              saveMcConfigXml(pair.mc, basename + ".mc.xml");
                              noteOutput(basename + ".mc.xml");
                              return EXIT_OK;
                          }));
        return status;
    });
}

int saveLpfpFlow(const std::string& lpfpPath, bool defaults, const DeviceTarget& target) {
    return guarded(EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, true);
        if (!session || !checkVersion(*session, true, false))
            return EXIT_FAILED;
        writeLpfpFile(readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current), lpfpPath);
        noteOutput(lpfpPath);
        report::out() << (defaults ? "Default LPFP Configuration saved to: "
                                   : "LPFP Configuration saved to: ")
                      << lpfpPath << std::endl;
        return EXIT_OK;
    });
}
