#include "tests/support/cli_process.h"

#include "core/config/config_codec.h"

#include "tests/support/temp_dir.h"

#include <cstring>
#include <regex>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32 // Windows starts children in cli_process_win.cpp
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool startsWithName(const char* entry, const std::string& name) {
    return std::strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=';
}

// The test's own device choice never leaks into the child, and a variable the test sets
// replaces the inherited one rather than standing behind it.
bool isReplacedVariable(const char* entry, const std::map<std::string, std::string>& env) {
    for (const char* name : {"VARKO5_SIMULATOR", "VARKO5_PORTS", "VARKO5_BACKEND", "VARKO5_D2XX_LIBRARY",
                             "VARKO5_FTCHIPID_LIBRARY"})
        if (startsWithName(entry, name))
            return true;
    for (const auto& [name, value] : env)
        if (startsWithName(entry, name))
            return true;
    return false;
}

} // namespace

CliChild startCli(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& env,
                  const std::string& program) {
    CliChild child;
    child.captures = std::make_unique<TempDir>();
    const std::string outPath = child.captures->file("stdout");
    const std::string errPath = child.captures->file("stderr");

    // Backups taken before a write land in the child's own folder unless the test says where.
    std::map<std::string, std::string> childEnv = env;
    childEnv.try_emplace("XDG_DATA_HOME", child.captures->file("data"));
    // The same runs once more through the D2XX backend, over the stand-in library that
    // serves the same simulated controller.
    if (std::getenv("VARKO5_TEST_THROUGH_D2XX") != nullptr && childEnv.count("VARKO5_SIMULATOR") != 0 &&
        childEnv.count("VARKO5_BACKEND") == 0) {
        childEnv["VARKO5_BACKEND"] = "d2xx";
        childEnv["VARKO5_D2XX_LIBRARY"] = D2XX_STANDIN_PATH;
        childEnv["VARKO5_FTCHIPID_LIBRARY"] = D2XX_STANDIN_PATH;
    }
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (!isReplacedVariable(*entry, childEnv))
            environment.emplace_back(*entry);
    for (const auto& [name, value] : childEnv)
        environment.push_back(name + "=" + value);

    std::vector<std::string> argvText{"lpfp_cli"};
    argvText.insert(argvText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argvText)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& text : environment)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    child.pid = pid;
    return child;
}

CliResult finishCli(CliChild& child) {
    int waitStatus = 0;
    while (waitpid(child.pid, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    CliResult result;
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    result.out = readFileBytes(child.captures->file("stdout"));
    result.err = readFileBytes(child.captures->file("stderr"));
    child.pid = -1;
    result.lines = normalisedLines(result.out);
    result.errLines = normalisedLines(result.err);
    return result;
}

#endif // _WIN32

std::vector<std::string> normalisedLines(const std::string& output) {
    static const std::regex stamp(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] (\[[a-z]+\] .*)$)");
    std::vector<std::string> lines;
    std::istringstream stream(output);
    std::string line;
    while (std::getline(stream, line)) {
        std::smatch match;
        lines.push_back(std::regex_match(line, match, stamp) ? match[1].str() : line);
    }
    return lines;
}

#ifndef _WIN32

SimulatorOnTerminal::SimulatorOnTerminal(const std::string& program, const std::string& scenario) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot create pipes for lpfp_sim");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::string name = "lpfp_sim";
    std::string argument = scenario;
    char* argv[] = {name.data(), argument.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    input_ = toChild[1];
    output_ = fromChild[0];
    if (spawned != 0) {
        close(input_);
        close(output_);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }
    pid_ = pid;

    // The first line is the terminal's path; give up after a few seconds rather than hang.
    char c = 0;
    while (true) {
        pollfd ready{output_, POLLIN, 0};
        if (poll(&ready, 1, 5000) <= 0 || read(output_, &c, 1) != 1)
            break;
        if (c == '\n')
            return;
        path_ += c;
    }
    stop();
    throw std::runtime_error("lpfp_sim did not announce its terminal");
}

SimulatorOnTerminal::~SimulatorOnTerminal() {
    stop();
}

void SimulatorOnTerminal::stop() {
    if (input_ >= 0)
        close(input_);
    input_ = -1;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    pid_ = -1;
    if (output_ >= 0)
        close(output_);
    output_ = -1;
}

#endif // _WIN32

APPConfiguration onTheWire(const APPConfiguration& record) {
    std::vector<std::uint8_t> payload(APP_CONFIG_PAYLOAD_SIZE);
    appConfigToBytes(payload.data(), record);
    APPConfiguration decoded{};
    appConfigFromBytes(payload.data(), decoded);
    return decoded;
}
MCConfiguration onTheWire(const MCConfiguration& record) {
    std::vector<std::uint8_t> payload(MC_CONFIG_PAYLOAD_SIZE);
    mcConfigToBytes(payload.data(), record);
    MCConfiguration decoded{};
    mcConfigFromBytes(payload.data(), decoded);
    return decoded;
}
