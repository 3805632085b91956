// A line of controllers: the wall time of one lpfp_cli command that applies an LPFP file to
// N simulated controllers at once, against the same command for one. The counter
// "vs_one_device" is the ratio to the one-device run of the same benchmark run; a line of
// eight should stay within 1.3 of one.
//
//   lpfp_several_bench [--benchmark_filter=...]
// VARKO5_BENCH_WIRE overrides the wire emulation (default: "latency=20").

#include "core/lpfp/lpfp.h"
#include "simulator/simulator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

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

BENCHMARK(BM_ApplyLpfpOnSeveralDevices)
    ->Arg(1)
    ->Arg(2)
    ->Arg(8)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
