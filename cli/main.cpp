// lpfp_cli: reads and writes the configuration of one connected Varko 5 controller.
// Exit status: 0 when the requested work succeeded (or there was nothing to do), 1 otherwise.

#include "cli/flows.h"
#include "cli/options.h"

#include "core/device/timeout_exception.h"

#include <spdlog/spdlog.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

int runFlow(const CommandLineOptions& options) {
    switch (chooseFlow(options)) {
    case FlowChoice::Test:
        return testDevice();
    case FlowChoice::GetDefaults:
        return getConfiguration(options.outputBasename, true);
    case FlowChoice::GetConfig:
        return getConfiguration(options.outputBasename, false);
    case FlowChoice::SetConfig:
        return setConfiguration(options.appConfigPath, options.mcConfigPath);
    case FlowChoice::None:
        break;
    }
    return 0;
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
        return 1;
    }

    spdlog::set_level(options.debug ? spdlog::level::trace : spdlog::level::info);

    if (options.showHelp) {
        std::cout << usageText(executable) << '\n';
        return 0;
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
    return 1;
}
