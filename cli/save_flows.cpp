// Saving a controller's configuration: as two XML documents or as one LPFP file.

#include "cli/console_lines.h"
#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/recorded_read.h"
#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"

FlowResult getConfiguration(const std::string& basename, bool defaults, const DeviceTarget& target,
                            std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, false))
            return EXIT_FAILED;

        const char* operation = defaults ? operation_word::SAVE_DEFAULTS : operation_word::SAVE_CURRENT;
        return recordedRead(target, *session, operation, result, [&](ReadNote& note) {
            // Both records are read before anything is written, so a failed read leaves no files.
            const LpfpConfiguration pair =
                readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current);
            note.records = pair;
            // Stopped while reading: nothing is written.
            if (target.cancel.requested()) {
                note.reason = "Interrupted";
                return EXIT_FAILED;
            }
            if (basename.empty()) {
                out << appConfigToXml(pair.app) << '\n' << mcConfigToXml(pair.mc) << '\n';
                return EXIT_OK;
            }
            note.output = basename + ".app.xml; " + basename + ".mc.xml";
            // The two documents are one configuration: either both are replaced or neither.
            saveConfigXmlPair(pair.app, basename + ".app.xml", pair.mc, basename + ".mc.xml");
            result.outputs.push_back(basename + ".app.xml");
            result.outputs.push_back(basename + ".mc.xml");
            return EXIT_OK;
        });
    }));
}

FlowResult saveLpfpFlow(const std::string& lpfpPath, bool defaults, const DeviceTarget& target,
                        std::ostream& out, std::ostream& data) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const auto session = openChosenDevice(target, result, &out);
        if (!session || !checkVersion(*session, result, &out, false))
            return EXIT_FAILED;
        const char* operation = defaults ? operation_word::SAVE_DEFAULTS : operation_word::SAVE_CURRENT;
        return recordedRead(target, *session, operation, result, [&](ReadNote& note) {
            note.records = readRecords(*session, defaults ? RecordSet::Default : RecordSet::Current);
            if (target.cancel.requested()) {
                note.reason = "Interrupted";
                return EXIT_FAILED;
            }
            if (lpfpPath == STANDARD_OUTPUT) {
                // Exactly the bytes of the file, without a line feed of its own, so that
                // "--saveLpfp - > unit.lpfp" gives the file --saveLpfp unit.lpfp would.
                data << encodeLpfp(buildLpfpText(*note.records)) << std::flush;
                out << (defaults ? "Default LPFP Configuration written to standard output"
                                 : "LPFP Configuration written to standard output")
                    << std::endl;
                return EXIT_OK;
            }
            note.output = lpfpPath;
            writeLpfpFile(*note.records, lpfpPath);
            result.outputs.push_back(lpfpPath);
            out << (defaults ? "Default LPFP Configuration saved to: " : "LPFP Configuration saved to: ")
                << lpfpPath << std::endl;
            return EXIT_OK;
        });
    }));
}
