// lpfp_cli: reads and writes the configuration of Varko 5 controllers, one or several at once.
// Exit status: 0 when the requested work succeeded (or there was nothing to do), 1 otherwise;
// --diff and --changed end with 1 when the configurations differ and 2 on trouble.

#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/flow_table.h"
#include "cli/interrupt.h"
#include "cli/json_report.h"
#include "cli/option_checks.h"
#include "cli/options.h"
#include "cli/several_devices.h"
#include "cli/text_wrap.h"

#include "core/device/backend_choice.h"
#include "core/device/timeout_exception.h"
#include "core/ops/input_preparation.h"
#include "varko5_version.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#ifdef _WIN32
#include "cli/windows_main.h"
#endif

namespace {

// One flow on one device, with the run's record and input reader. out takes the report, data
// the flow's data.
FlowResult runFlow(const FlowRow& flow, const CommandLineOptions& options, const DeviceTarget& chosen,
                   bool several, const Recording* recording, const InputReader& read, std::ostream& out,
                   std::ostream& data) {
    DeviceTarget target = chosen;
    target.recording = recording;
    target.read = read;
    return flow.run(FlowRun{options, target, several, out, data});
}

// Runs the chosen flow, on one device or several, and writes its JSON document when asked.
// out is the human report's stream, data the stream of the flow's data.
int runCommand(const CommandLineOptions& options, const std::shared_ptr<DeviceBackend>& backend,
               std::ostream& out, std::ostream& data, DeviceLabels& labels) {
    const FlowRow& chosen = chosenFlow(options);
    const bool comparison = chosen.comparison;
    const int failure = comparison ? EXIT_DIFF_TROUBLE : EXIT_FAILED;
    // The history is a document of its own.
    if (chosen.ownDocument)
        return runFlow(chosen, options, DeviceTarget{}, false, nullptr, {}, out, data).status;
    // The record is opened before any device is: a record that cannot be written means that
    // nothing is sent.
    std::shared_ptr<const Recording> recording;
    if (const std::string destination = recordDestination(options); chosen.recorded && !destination.empty()) {
        try {
            recording = openRecording(destination, "lpfp_cli", VARKO5_VERSION);
        } catch (const std::exception& error) {
            spdlog::error("{}", error.what());
            return failure;
        }
    }
    // Every device's flow reads the same inputs, each once.
    InputsReadOnce inputs;
    std::vector<FlowResult> devices;
    FlowResult general;
    int status = EXIT_OK;
    const Cancellation cancel = interrupt::token();
    bool interruptionSaid = false;
    const bool several = chosen.usesDevice && namesSeveralDevices(options.serial);

    // The files the run names are checked before any device is touched.
    const std::optional<OptionProblem> problem = checkPaths(options, chosen, several);
    if (problem) {
        logError(general, problem->message);
        status = failure;
    } else if (several) {
        // Each device's data lines begin with its serial number, as its report lines do.
        std::mutex dataGate;
        try {
            devices = runOnSeveralDevices(
                backend, options.serial,
                [&](const DeviceTarget& listed, std::ostream& deviceOut) {
                    DeviceTarget target = listed;
                    target.cancel = cancel;
                    PrefixedLineStream deviceData(target.serial + ": ", data, dataGate);
                    return runFlow(chosen, options, target, true, recording.get(), inputs.reader(), deviceOut,
                                   deviceData);
                },
                out, labels, failure);
            if (devices.empty())
                logError(general, "No VARKO 5 devices found");
            status = combinedStatus(devices, comparison);
            if (cancel.requested()) {
                // Each device said what it did; the run as a whole says it was cut short.
                spdlog::error("Interrupted");
                interruptionSaid = true;
            }
            printSummary(out, devices, comparison);
        } catch (const std::invalid_argument& error) {
            logError(general, error.what());
            status = failure;
        } catch (const DeviceSetupError& error) {
            spdlog::critical("ERROR: {}", error.what());
            general.noteError(error.what());
            status = failure;
        } catch (const std::exception& error) {
            spdlog::critical("ERROR: {}", error.what());
            general.noteError(error.what());
            status = failure;
        }
    } else {
        // Whatever ends the flow, the JSON document below still gets written.
        const auto start = std::chrono::steady_clock::now();
        DeviceTarget target;
        target.backend = backend;
        target.serial = options.serial;
        target.cancel = cancel;
        try {
            general = runFlow(chosen, options, target, false, recording.get(), inputs.reader(), out, data);
            status = general.status;
        } catch (const timeout_exception&) {
            spdlog::critical("ARM Timeout exception!");
            general.noteError(TIMED_OUT_TEXT);
            status = failure;
        } catch (const std::exception& error) {
            spdlog::critical("ERROR: {}", error.what());
            general.noteError(error.what());
            status = failure;
        }
        // The apply flows say what they did when a stop reached them.
        interruptionSaid = general.apply.has_value() && cancel.requested();
        general.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!general.serial.empty())
            devices.push_back(general);
    }
    // A stop request ends the run with the signal's status, whatever was done before it.
    const bool interrupted = interrupt::received() != 0;
    if (interrupted) {
        if (!interruptionSaid)
            spdlog::error("Interrupted");
        status = interrupt::exitStatus();
    }
    general.status = status;

    if (!options.jsonPath.empty() && (!problem || problem->jsonWritable)) {
        try {
            writeResultDocument(options.jsonPath, resultDocument(chosen.name, status, comparison, devices,
                                                                 general, interrupted));
        } catch (const std::exception& error) {
            spdlog::error("{}", error.what());
            return interrupted ? status : failure;
        }
    }
    return status;
}

// Everything written to standard output (reports, documents, log lines) is flushed before the
// program ends, and a write that failed (a full disk, a closed pipe) turns into failureStatus
// with a message on standard error, so that nothing lost is reported as done.
int finishOutput(int status, int failureStatus) {
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout) && std::cout.good())
        return status;
    std::cerr << "Error: writing to standard output failed" << (error != 0 ? ": " : "")
              << (error != 0 ? std::strerror(error) : "") << '\n';
    return status == EXIT_OK ? failureStatus : std::max(status, failureStatus);
}

int runGuarded(const CommandLineOptions& options, const std::shared_ptr<DeviceBackend>& backend,
               std::ostream& out, std::ostream& data, DeviceLabels& labels) {
    // Last resort: whatever a flow could not judge itself still ends as a failure that a
    // calling script can see.
    try {
        return runCommand(options, backend, out, data, labels);
    } catch (const timeout_exception&) {
        spdlog::critical("ARM Timeout exception!");
    } catch (const std::exception& error) {
        spdlog::critical("ERROR: {}", error.what());
    }
    return EXIT_FAILED;
}

} // namespace

int main(int argc, char* argv[]) {
    // Every line reaches standard output as it is written, so that a run that is killed, with
    // its output going to a file or a pipe, loses none of what it already said.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Before anything else, and before any thread starts: SIGINT and SIGTERM ask the work to
    // stop at its next safe point.
    interrupt::install();
    // A reader that goes away ("| head -1") must give a failed write and status 1, which the
    // end of main reports, rather than kill the tool in the middle of a line.
#ifdef _WIN32
    prepareWindowsStreams();
    const std::string executable = windowsProgramName(argc > 0 ? argv[0] : "");
    const std::vector<std::string> arguments = windowsArguments();
#else
    std::signal(SIGPIPE, SIG_IGN);
    const std::string executable = argc > 0 ? argv[0] : "lpfp_cli";
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
#endif

    CommandLineOptions options;
    if (const auto error = parseCommandLine(arguments, options)) {
        std::cerr << "Error in command line: " << *error << '\n'
                  << "lpfp_cli: try 'lpfp_cli --help' for the list of options\n";
        return EXIT_FAILED;
    }

    spdlog::set_level(options.debug ? spdlog::level::trace : spdlog::level::info);
    // The one backend every flow lists and opens its devices with.
    const std::shared_ptr<DeviceBackend> backend = backendFromEnvironment(options.baud);
    // The report flows print their report and log on standard output. The others keep
    // standard output for their data and send the report and the log to standard error; with "--json -"
    // standard output carries the JSON document alone, and the data joins the report.
    const bool jsonOnStandardOutput = options.jsonPath == "-";
    const bool reportOnStandardError = jsonOnStandardOutput || !chosenFlow(options).reportsOnStandardOutput;
    std::ostream& out = reportOnStandardError ? std::cerr : std::cout;
    std::ostream& data = jsonOnStandardOutput ? std::cerr : std::cout;
    DeviceLabels labels;
    installLogging(labels, reportOnStandardError);

    if (options.showHelp) {
        std::cout << wrapText(usageText(executable), outputWidth()) << '\n';
        return finishOutput(EXIT_OK, EXIT_FAILED);
    }
    // The fixed program name, not argv[0]: help2man and scripts read "lpfp_cli <version>".
    if (options.showVersion) {
        std::cout << "lpfp_cli " << VARKO5_VERSION << '\n';
        return 0;
    }

    // --diff and --changed keep 1 for "different"; trouble of theirs is 2.
    return finishOutput(runGuarded(options, backend, out, data, labels),
                        chosenFlow(options).comparison ? EXIT_DIFF_TROUBLE : EXIT_FAILED);
}
