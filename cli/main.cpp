// lpfp_cli: reads and writes the configuration of one connected Varko 5 controller.
// Exit status: 0 when the requested work succeeded (or there was nothing to do), 1 otherwise;
// --diff and --changed end with 1 when the configurations differ and 2 on trouble.

#include "cli/exit_status.h"
#include "cli/flows.h"
#include "cli/options.h"

#include "core/device/timeout_exception.h"
#include "simulator/backend_choice.h"

#include <spdlog/spdlog.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

int runFlow(const CommandLineOptions& options) {
    const BackupSettings backup{!options.noBackup, options.backupDir};
    switch (chooseFlow(options)) {
    case FlowChoice::Test:
        return testDevice(options.serial);
    case FlowChoice::GetDefaults:
        return getConfiguration(options.outputBasename, true, options.serial);
    case FlowChoice::GetConfig:
        return getConfiguration(options.outputBasename, false, options.serial);
    case FlowChoice::SetConfig:
        return setConfiguration(options.appConfigPath, options.mcConfigPath, options.serial, backup);
    case FlowChoice::Diff:
        return diffFlow(options.diffSources.at(0), options.diffSources.at(1), options.serial);
    case FlowChoice::Changed:
        return changedFlow(options.serial);
    case FlowChoice::LpfpToXml:
        return lpfpToXmlFlow(options.lpfpToXmlPath, options.outputBasename);
    case FlowChoice::XmlToLpfp:
        return xmlToLpfpFlow(options.appConfigPath, options.mcConfigPath, options.xmlToLpfpPath);
    case FlowChoice::ApplyLpfp:
        return applyLpfpFlow(options.lpfpConfigPath, options.serial, backup);
    case FlowChoice::SaveLpfp:
        return saveLpfpFlow(options.saveLpfpPath, options.getDefaults, options.serial);
    case FlowChoice::None:
        break;
    }
    return EXIT_OK;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string executable = argc > 0 ? argv[0] : "lpfp_cli";
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);

    CommandLineOptions options;
    if (const auto error = parseCommandLine(arguments, options)) {
        std::cerr << "Error in command line: " << *error << '\n';
        return EXIT_FAILED;
    }

    spdlog::set_level(options.debug ? spdlog::level::trace : spdlog::level::info);
    installBackendFromEnvironment();

    if (options.showHelp) {
        std::cout << usageText(executable) << '\n';
        return EXIT_OK;
    }

    // Last resort: whatever a flow could not judge itself still ends as a failure that a
    // calling script can see.
    try {
        return runFlow(options);
    } catch (const timeout_exception&) {
        spdlog::critical("ARM Timeout exception!");
    } catch (const std::exception& error) {
        spdlog::critical("ERROR: {}", error.what());
    }
    return EXIT_FAILED;
}
