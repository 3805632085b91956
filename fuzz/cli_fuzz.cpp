// Arbitrary argument vectors through the command-line parser of lpfp_cli: the input split at
// its NUL bytes, one argument per piece (no arguments for an empty input). The parser reports a bad command
// line as its result; any exception that escapes it, or a crash, is a failure.
#include "fuzz/harness.h"

#include "cli/flow_table.h"
#include "cli/options.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

void fuzzCli(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments;
    if (size > 0)
        arguments.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            arguments.emplace_back();
        else
            arguments.back() += static_cast<char>(data[i]);
    }
    CommandLineOptions options;
    if (parseCommandLine(arguments, options))
        return;
    // Parsed: the choice of flow and the usage text must cope with whatever was set.
    (void)chosenFlow(options);
    if (options.showHelp && usageText("lpfp_cli").rfind("Usage:", 0) != 0)
        std::abort();
    // The same arguments parse the same way again.
    CommandLineOptions again;
    if (parseCommandLine(arguments, again) || again.appConfigPath != options.appConfigPath ||
        again.mcConfigPath != options.mcConfigPath || again.outputBasename != options.outputBasename ||
        again.lpfpConfigPath != options.lpfpConfigPath || again.diffSources != options.diffSources ||
        again.serial != options.serial || again.backupDir != options.backupDir)
        std::abort();
}
