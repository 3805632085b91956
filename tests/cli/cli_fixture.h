#pragma once
// The fixture of the command-line tests that run the built lpfp_cli as a child process against
// the simulated controller and judge it by its status, its output, the files it writes and the
// controller state it leaves.

#include "tests/support/cli_process.h"

#include "cli/options.h"
#include "core/config/config_codec.h"
#include "core/config/config_xml.h"
#include "core/lpfp/lpfp.h"
#include "simulator/simulator.h"
#include "tests/support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

inline bool contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Lines that start with prefix.
inline Lines starting(const Lines& lines, const std::string& prefix) {
    Lines found;
    for (const auto& line : lines) {
        if (line.rfind(prefix, 0) == 0) {
            found.push_back(line);
        }
    }
    return found;
}

inline std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CliExtras : public ::testing::Test {
protected:
    TempDir dir;
    const std::string statePath = dir.file("controller.state");
    const fs::path dataHome = dir.path() / "data";
    const fs::path defaultBackups = dataHome / "varko5" / "backups";

    std::string scenario(const std::string& extra) const {
        return "state=" + statePath + (extra.empty() ? "" : ";" + extra);
    }

    CliResult run(const std::vector<std::string>& arguments, const std::string& extra = "") const {
        return runCli(arguments,
                      {{"VARKO5_SIMULATOR", scenario(extra)}, {"XDG_DATA_HOME", dataHome.string()}});
    }

    // Current records unlike the defaults, so a test can tell which of the two a flow used.
    static SimRecords modifiedRecords() {
        SimRecords records;
        records.app.controller_id = 42;
        records.app.app_ppm_conf.hyst = 0.75f;
        records.mc.l_current_max = 33.5f;
        records.mc.si_motor_poles = 20;
        return {onTheWire(records.app), onTheWire(records.mc)};
    }

    static SimRecords defaults() { return {onTheWire(SimRecords{}.app), onTheWire(SimRecords{}.mc)}; }

    SimRecords stored(const std::string& path) const {
        SimRecords records;
        EXPECT_TRUE(loadSimState(path, records)) << "no controller state in " << path;
        return records;
    }
    SimRecords stored() const { return stored(statePath); }

    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = dir.file(name);
        writeFileBytes(path, text);
        return path;
    }

    std::string writeLpfp(const std::string& name, const SimRecords& records) const {
        const std::string path = dir.file(name);
        writeLpfpFile(LpfpConfiguration{records.app, records.mc}, path);
        return path;
    }

    // An LPFP file naming only a few keys, by the converter from two short documents.
    std::string fewKeysLpfp() const {
        const std::string app = write("few.app.xml", "<APPConfiguration>\n"
                                                     "    <controller_id>7</controller_id>\n"
                                                     "</APPConfiguration>\n");
        const std::string mc = write("few.mc.xml", "<MCConfiguration>\n"
                                                   "    <l_current_max>44</l_current_max>\n"
                                                   "</MCConfiguration>\n");
        const std::string path = dir.file("few.lpfp");
        EXPECT_TRUE(xmlFilesToLpfp(app, mc, path));
        return path;
    }

    static std::string appXml(const SimRecords& r) { return appConfigToXml(r.app); }
    static std::string mcXml(const SimRecords& r) { return mcConfigToXml(r.mc); }
};

// A flow that listed the devices would fail on this.
inline constexpr const char* UNTOUCHABLE = "list_error=7";
