#pragma once
// Runs the built lpfp_cli as a child process and collects what it printed.

#include "tests/support/temp_dir.h"

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct CliResult {
    int status = -1;                   // exit status; -1 when the child did not exit normally
    std::string out;                   // standard output, as written
    std::string err;                   // standard error, as written
    std::vector<std::string> lines;    // standard output by line, log lines without their time stamp
    std::vector<std::string> errLines; // standard error the same way
};

// A started child whose output goes to files until it is collected.
struct CliChild {
    int pid = -1;
#ifdef _WIN32
    void* process = nullptr; // the child's process HANDLE
#endif
    std::unique_ptr<TempDir> captures;
};

// Starts program (lpfp_cli unless given) with argv[0] "lpfp_cli" and the arguments. The
// environment is the test's own without its device choice (VARKO5_SIMULATOR, VARKO5_PORTS,
// VARKO5_BACKEND and the D2XX libraries), with env's variables replacing inherited ones;
// XDG_DATA_HOME points into the child's capture folder unless env sets it, so no test writes
// backups under the real home. With VARKO5_TEST_THROUGH_D2XX set in the test's environment, a
// child given a simulator scenario (and no backend) reaches it through the D2XX backend and
// the stand-in library (tests/d2xx_standin).
CliChild startCli(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                  const std::string& program = LPFP_CLI_PATH);
// Waits for the child and collects its status and output.
CliResult finishCli(CliChild& child);

inline CliResult runCli(const std::vector<std::string>& arguments,
                        const std::map<std::string, std::string>& env) {
    CliChild child = startCli(arguments, env);
    return finishCli(child);
}

// Both streams' lines, standard output's first. The original flows log on standard output,
// the others on standard error, so checks that hold for flows of both kinds read this.
inline std::vector<std::string> allLines(const CliResult& result) {
    std::vector<std::string> lines = result.lines;
    lines.insert(lines.end(), result.errLines.begin(), result.errLines.end());
    return lines;
}

// The line that follows every command-line error of lpfp_cli.
inline const std::string TRY_HELP = "lpfp_cli: try 'lpfp_cli --help' for the list of options\n";

// A log line "[2026-01-01 12:00:00.000] [info] text" becomes "[info] text"; other lines stay.
std::vector<std::string> normalisedLines(const std::string& output);

#ifndef _WIN32
// lpfp_sim serving a scenario on a pseudo-terminal for as long as the object lives.
class SimulatorOnTerminal {
public:
    SimulatorOnTerminal(const std::string& program, const std::string& scenario);
    ~SimulatorOnTerminal();
    SimulatorOnTerminal(const SimulatorOnTerminal&) = delete;
    SimulatorOnTerminal& operator=(const SimulatorOnTerminal&) = delete;

    // The terminal's path, as lpfp_sim announced it.
    const std::string& path() const { return path_; }

private:
    void stop();

    int pid_ = -1;
    int input_ = -1;  // our end of its standard input; closing it ends lpfp_sim
    int output_ = -1; // our end of its standard output
    std::string path_;
};
#endif

// A record as the controller hands it back: through its payload encoding, which rounds some
// floats (scaled 16-bit fields) and does not carry the motor record's lo_ fields.
APPConfiguration onTheWire(const APPConfiguration& record);
MCConfiguration onTheWire(const MCConfiguration& record);
