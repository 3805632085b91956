// A line of controllers: the wall time of one lpfp_cli command that applies an LPFP file to
// N simulated controllers at once, against the same command for one. The counter
// "vs_one_device" is the ratio to the one-device run of the same benchmark run; a line of
// eight should stay within 1.3 of one.
//
//   lpfp_several_bench [--benchmark_filter=...]
// VARKO5_BENCH_WIRE overrides the wire emulation (default: "latency=20").
//
// BM_RecordedUpdate115200 prices the production record: a verified update (--lpfp_config, with
// its backup) of one controller at 115200 baud, run alternately without and with
// --record FILE (SQLite), so that both see the same machine load. "added_pct" is what the
// median recorded run takes over the median plain one ("added_best_pct": the fastest of each);
// the record should add at most 5%.

#include "core/lpfp/lpfp.h"
#include "simulator/simulator.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string wire() {
    const char* text = std::getenv("VARKO5_BENCH_WIRE");
    return text != nullptr ? text : "latency=20";
}

std::string scratchFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "varko5-bench-XXXXXX").string();
        return std::string(mkdtemp(pattern.data()));
    }();
    return folder;
}

std::string lpfpFile() {
    static const std::string path = [] {
        const std::string file = scratchFolder() + "/line.lpfp";
        LpfpConfiguration pair{simulatorDefaultAppConfig(), simulatorDefaultMcConfig()};
        pair.app.controller_id = 3;
        writeLpfpFile(pair, file);
        return file;
    }();
    return path;
}

// Seconds of one command for `devices` controllers.
double applyOnce(int devices) {
    const std::string command = "VARKO5_SIMULATOR='devices=" + std::to_string(devices) + ";" + wire() +
                                "' XDG_DATA_HOME='" + scratchFolder() + "' '" LPFP_CLI_PATH "' --serial all" +
                                " --no_backup --lpfp_config '" + lpfpFile() + "' > /dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1.0;
}

std::map<int, double>& bestTimes() {
    static std::map<int, double> times;
    return times;
}

void BM_ApplyLpfpOnSeveralDevices(benchmark::State& state) {
    const int devices = static_cast<int>(state.range(0));
    double best = 0;
    for (auto _ : state) {
        const double seconds = applyOnce(devices);
        if (seconds < 0) {
            state.SkipWithError("lpfp_cli failed");
            return;
        }
        state.SetIterationTime(seconds);
        best = best == 0 ? seconds : std::min(best, seconds);
    }
    bestTimes()[devices] = best;
    state.counters["devices"] = devices;
    state.counters["best_s"] = best;
    if (bestTimes().count(1) != 0)
        state.counters["vs_one_device"] = best / bestTimes()[1];
}

// Seconds of one verified update of one controller at 115200 baud, recorded into `record`
// when it is not empty.
double updateAt115200(const std::string& record) {
    std::string command = "VARKO5_SIMULATOR='devices=1;baud=115200' XDG_DATA_HOME='" + scratchFolder() +
                          "' '" LPFP_CLI_PATH "' --lpfp_config '" + lpfpFile() + "'";
    if (!record.empty())
        command += " --record '" + record + "'";
    command += " > /dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status == 0 ? seconds : -1.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void BM_RecordedUpdate115200(benchmark::State& state) {
    const std::string record = scratchFolder() + "/records.db";
    // The record's file and tables exist before the first measured run, as on a bench that
    // has recorded before.
    if (updateAt115200(record) < 0) {
        state.SkipWithError("lpfp_cli --record failed");
        return;
    }
    std::vector<double> plain;
    std::vector<double> recorded;
    for (auto _ : state) {
        const double without = updateAt115200("");
        const double with = updateAt115200(record);
        if (without < 0 || with < 0) {
            state.SkipWithError("lpfp_cli failed");
            return;
        }
        state.SetIterationTime(with);
        plain.push_back(without);
        recorded.push_back(with);
    }
    // The medians, which a busy machine moves less than the fastest runs.
    state.counters["plain_s"] = median(plain);
    state.counters["recorded_s"] = median(recorded);
    state.counters["added_pct"] = (median(recorded) / median(plain) - 1.0) * 100.0;
    state.counters["added_best_pct"] =
        (*std::min_element(recorded.begin(), recorded.end()) / *std::min_element(plain.begin(), plain.end()) -
         1.0) *
        100.0;
}

BENCHMARK(BM_RecordedUpdate115200)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ApplyLpfpOnSeveralDevices)
    ->Arg(1)
    ->Arg(2)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
