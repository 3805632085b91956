// Converting between an LPFP file and a pair of XML documents; no device is involved.

#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/inputs.h"
#include "core/config/file_io.h"
#include "core/lpfp/lpfp.h"
#include "core/ops/config_source.h"

FlowResult lpfpToXmlFlow(const std::string& lpfpPath, const std::string& basename, const InputReader& read,
                         std::ostream& out) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        const std::string base = basename.empty() ? withoutLpfpExtension(lpfpPath) : basename;
        const std::string appPath = base + ".app.xml";
        const std::string mcPath = base + ".mc.xml";
        // Read once (a pipe serves as well as a file); a missing file is refused by name rather
        // than by its empty content's checksum.
        const std::string fileText = readCheckedLpfpFile(lpfpPath, read);
        if (!lpfpTextToXmlFiles(fileText, lpfpPath, appPath, mcPath)) {
            logError(result, lpfpPath + ": " + INVALID_CONFIGURATION_FILE);
            return EXIT_FAILED;
        }
        out << "APP Configuration saved to: " << appPath << std::endl
            << "MC Configuration saved to: " << mcPath << std::endl;
        return EXIT_OK;
    }));
}

FlowResult xmlToLpfpFlow(const std::string& appXmlPath, const std::string& mcXmlPath,
                         const std::string& lpfpPath, const InputReader& read, std::ostream& out,
                         std::ostream& data) {
    FlowResult result;
    return result.ended(guarded(result, EXIT_FAILED, [&] {
        if (appXmlPath.empty() || mcXmlPath.empty()) {
            logError(result, "--xml_to_lpfp needs both --app_config and --mc_config");
            return EXIT_FAILED;
        }
        // Each input is read once, so pipes serve as well as files.
        const auto app = readXmlInput(appXmlPath, RecordKind::App, read, result);
        if (!app)
            return EXIT_FAILED;
        const auto mc = readXmlInput(mcXmlPath, RecordKind::Mc, read, result);
        if (!mc)
            return EXIT_FAILED;
        const bool toOutput = lpfpPath == STANDARD_OUTPUT;
        const auto fileText = xmlTextsToLpfpText(app->input.text, appXmlPath, mc->input.text, mcXmlPath,
                                                 toOutput ? "standard output" : lpfpPath);
        if (!fileText) {
            logError(result, "Cannot convert " + appXmlPath + " and " + mcXmlPath +
                                 ": their root tags must be written without attributes");
            return EXIT_FAILED;
        }
        if (toOutput) {
            // The file's bytes alone, so that a redirection gives the file itself.
            data << *fileText << std::flush;
            out << "LPFP Configuration written to standard output" << std::endl;
            return EXIT_OK;
        }
        writeFileAtomically(lpfpPath, *fileText);
        out << "LPFP Configuration saved to: " << lpfpPath << std::endl;
        return EXIT_OK;
    }));
}
