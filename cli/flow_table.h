#pragma once
// The flows of lpfp_cli, one row each. A row says everything the run needs to know about its
// flow: when the command line chooses it, how it is run, which files it names, and how its run
// is recorded and reported. Adding an action is its options (optionTable()), its flow and its
// row here; nothing else decides by flow.

#include "cli/device_opening.h"
#include "cli/flow_result.h"
#include "cli/options.h"

#include <ostream>
#include <string>
#include <vector>

// What a flow runs with: the command line, its device (with the run's record and input reader
// set), whether it is one of several devices, and the streams of its report (out) and its data.
struct FlowRun {
    const CommandLineOptions& options;
    const DeviceTarget& target;
    bool several;
    std::ostream& out;
    std::ostream& data;
};

// A file a flow reads or writes, with the option that names it, for messages.
struct NamedPath {
    std::string option;
    std::string path;
};

// The files a flow's command line names, checked before any device is touched (checkPaths):
// its inputs, its outputs, and whether it saves a backup first (unless --no_backup).
struct FlowPaths {
    std::vector<NamedPath> inputs;
    std::vector<NamedPath> outputs;
    bool backup = false;
};

// One flow.
struct FlowRow {
    const char* name; // in the JSON document
    bool (*chosen)(const CommandLineOptions& options);
    FlowResult (*run)(const FlowRun& run);
    FlowPaths (*paths)(const CommandLineOptions& options); // null: the flow names no files
    bool usesDevice;
    bool comparison; // 0 same, 1 different, 2 trouble
    bool recorded;   // the production record keeps it: every write, and every read asked for
    // The report and log lines go to standard output (the flows whose only output they are);
    // the other flows keep it for their data and report on standard error.
    bool reportsOnStandardOutput;
    // The flow reads the production record and writes its own document: the run opens no
    // record, checks no paths and writes no result document for it.
    bool ownDocument = false;
};

// In the order of choice: the first row whose chosen() holds runs. The LPFP, comparison and
// converter actions come first, so that the options of the XML flows can refine them (--getDefaults
// with --saveLpfp, the XML paths with --xml_to_lpfp, --output with --lpfp_to_xml); a command line
// without them chooses as it always did. The last row is "none", chosen by any command line.
const std::vector<FlowRow>& flowTable();
const FlowRow& chosenFlow(const CommandLineOptions& options);

// Where the production record is kept: --record, or else VARKO5_RECORD; empty for none.
std::string recordDestination(const CommandLineOptions& options);
