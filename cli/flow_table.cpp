#include "cli/flow_table.h"

#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/several_devices.h"
#include "core/ops/backup.h"
#include "core/ops/config_source.h"

#include <cstdlib>
#include <exception>

namespace {

using O = const CommandLineOptions&;
using R = const FlowRun&;

BackupSettings backupOf(O options) {
    return {!options.noBackup, options.backupDir};
}

// Among several devices, the outputs of the reading flows carry the device's serial number, so
// that no device overwrites another's files.
std::string outputBase(R run) {
    const std::string& name = run.options.outputBasename;
    return run.several && !name.empty() ? basenameForDevice(name, run.target.serial) : name;
}

FlowResult saveLpfp(R run) {
    const std::string& path = run.options.saveLpfpPath;
    if (run.several && path == STANDARD_OUTPUT) {
        // Several files on one stream would make none of them readable.
        FlowResult refused;
        logError(refused, "--saveLpfp - writes the file of one device only; name a file for several");
        return refused.ended(EXIT_FAILED);
    }
    return saveLpfpFlow(run.several ? lpfpNameForDevice(path, run.target.serial) : path,
                        run.options.getDefaults, run.target, run.out, run.data);
}

FlowResult nothing(R) {
    FlowResult done;
    return done.ended(EXIT_OK);
}

std::vector<NamedPath> xmlPair(const std::string& option, const std::string& base) {
    return {{option, base + ".app.xml"}, {option, base + ".mc.xml"}};
}

std::vector<NamedPath> xmlInputs(O o) {
    return {{"--app_config", o.appConfigPath}, {"--mc_config", o.mcConfigPath}};
}

// The XML pair the reads write; without --output they print the documents.
FlowPaths readOutputs(O o) {
    return {{}, o.outputBasename.empty() ? std::vector<NamedPath>{} : xmlPair("--output", o.outputBasename)};
}

FlowPaths diffPaths(O o) {
    FlowPaths paths;
    for (const std::string& source : o.diffSources) {
        try {
            for (const std::string& path : parseSource(source).paths)
                paths.inputs.push_back({"--diff", path});
        } catch (const std::exception&) {
            // The flow itself says what is wrong with the source.
        }
    }
    return paths;
}

// "-" as a file to write is standard output: no file to check.
std::vector<NamedPath> fileOutput(const std::string& option, const std::string& path) {
    return path == STANDARD_OUTPUT ? std::vector<NamedPath>{} : std::vector<NamedPath>{{option, path}};
}

} // namespace

const std::vector<FlowRow>& flowTable() {
    // name, chosen, run, paths, usesDevice, comparison, recorded, reportsOnStandardOutput, ownDocument
    static const std::vector<FlowRow> rows{
        // Reading the record touches no device and comes before everything that does.
        {"historyExport", [](O o) { return !o.historyExportId.empty(); },
         [](R r) {
             return historyExportFlow(recordDestination(r.options), r.options.historyExportId,
                                      r.options.outputBasename, r.out, r.data);
         },
         nullptr, false, false, false, false, true},
        {"history", [](O o) { return !o.historySerial.empty(); },
         [](R r) {
             return historyFlow(recordDestination(r.options), r.options.historySerial, r.options.since,
                                r.options.jsonPath, r.data);
         },
         nullptr, false, false, false, false, true},
        {"diff", [](O o) { return !o.diffSources.empty(); },
         [](R r) {
             return diffFlow(r.options.diffSources.at(0), r.options.diffSources.at(1), r.target, r.data);
         },
         diffPaths, true, true, false, false},
        {"changed", [](O o) { return o.changed; }, [](R r) { return changedFlow(r.target, r.data); }, nullptr,
         true, true, false, false},
        {"lpfpToXml", [](O o) { return !o.lpfpToXmlPath.empty(); },
         [](R r) {
             return lpfpToXmlFlow(r.options.lpfpToXmlPath, r.options.outputBasename, r.target.read, r.out);
         },
         [](O o) {
             return FlowPaths{{{"--lpfp_to_xml", o.lpfpToXmlPath}},
                              xmlPair("--output", o.outputBasename.empty()
                                                      ? withoutLpfpExtension(o.lpfpToXmlPath)
                                                      : o.outputBasename)};
         },
         false, false, false, false},
        {"xmlToLpfp", [](O o) { return !o.xmlToLpfpPath.empty(); },
         [](R r) {
             return xmlToLpfpFlow(r.options.appConfigPath, r.options.mcConfigPath, r.options.xmlToLpfpPath,
                                  r.target.read, r.out, r.data);
         },
         [](O o) {
             return FlowPaths{xmlInputs(o), fileOutput("--xml_to_lpfp", o.xmlToLpfpPath)};
         },
         false, false, false, false},
        {"applyLpfp", [](O o) { return !o.lpfpConfigPath.empty(); },
         [](R r) { return applyLpfpFlow(r.options.lpfpConfigPath, r.target, backupOf(r.options), r.out); },
         [](O o) {
             return FlowPaths{{{"--lpfp_config", o.lpfpConfigPath}}, {}, true};
         },
         true, false, true, false},
        {"saveLpfp", [](O o) { return !o.saveLpfpPath.empty(); }, saveLpfp,
         [](O o) {
             return FlowPaths{{}, fileOutput("--saveLpfp", o.saveLpfpPath)};
         },
         true, false, true, false},
        {"test", [](O o) { return o.test; }, [](R r) { return testDevice(r.target, r.out); }, nullptr, true,
         false, true, true},
        {"getDefaults", [](O o) { return o.getDefaults; },
         [](R r) { return getConfiguration(outputBase(r), true, r.target, r.out); }, readOutputs, true, false,
         true, true},
        {"getConfig", [](O o) { return o.getConfig; },
         [](R r) { return getConfiguration(outputBase(r), false, r.target, r.out); }, readOutputs, true,
         false, true, true},
        {"setConfig", [](O o) { return !o.appConfigPath.empty() || !o.mcConfigPath.empty(); },
         [](R r) {
             return setConfiguration(r.options.appConfigPath, r.options.mcConfigPath, r.target,
                                     backupOf(r.options), r.out);
         },
         [](O o) {
             return FlowPaths{xmlInputs(o), {}, true};
         },
         true, false, true, true},
        {"none", [](O) { return true; }, nothing, nullptr, false, false, false, true},
    };
    return rows;
}

const FlowRow& chosenFlow(const CommandLineOptions& options) {
    for (const FlowRow& row : flowTable())
        if (row.chosen(options))
            return row;
    return flowTable().back();
}

std::string recordDestination(const CommandLineOptions& options) {
    if (!options.recordDestination.empty())
        return options.recordDestination;
    const char* variable = std::getenv("VARKO5_RECORD");
    return variable != nullptr ? variable : "";
}
