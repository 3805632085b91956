// LPFP write and read of a full pair of records, through a file in the temporary folder.

#include "core/config/config_fields.h"
#include "core/lpfp/lpfp.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

template <class Table, class Record> void fillFields(const Table& table, Record& record) {
    int i = 0;
    for (const auto& field : table) {
        ++i;
        if (isFloat(field.type)) {
            setFloat(field.in(record), static_cast<float>(i) * 1.23456789f);
        } else {
            setInteger(field.in(record), i % 2);
        }
    }
}

LpfpConfiguration fullPair() {
    LpfpConfiguration pair;
    fillFields(appFields(), pair.app);
    fillFields(mcFields(), pair.mc);
    return pair;
}

// A file name of its own in the temporary folder, removed when the benchmark ends.
struct BenchFile {
    std::string path =
        (std::filesystem::temp_directory_path() / ("varko5-bench-" + std::to_string(getpid()) + ".lpfp"))
            .string();
    ~BenchFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

void BM_LpfpEncode(benchmark::State& state) {
    const std::string plainText = buildLpfpText(fullPair());
    for (auto _ : state) {
        benchmark::DoNotOptimize(encodeLpfp(plainText));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(plainText.size()));
}
BENCHMARK(BM_LpfpEncode);

void BM_LpfpDecode(benchmark::State& state) {
    const std::string fileText = encodeLpfp(buildLpfpText(fullPair()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(decodeLpfp(fileText));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fileText.size()));
}
BENCHMARK(BM_LpfpDecode);

void BM_LpfpWriteFile(benchmark::State& state) {
    const LpfpConfiguration pair = fullPair();
    const BenchFile file;
    for (auto _ : state) {
        writeLpfpFile(pair, file.path);
    }
}
BENCHMARK(BM_LpfpWriteFile);

void BM_LpfpReadFile(benchmark::State& state) {
    const BenchFile file;
    writeLpfpFile(fullPair(), file.path);
    for (auto _ : state) {
        LpfpConfiguration pair;
        std::uint64_t keys = 0;
        benchmark::DoNotOptimize(readLpfpFile(pair, file.path, keys));
        if (keys != 306) {
            state.SkipWithError("the pair did not read back whole");
            break;
        }
    }
}
BENCHMARK(BM_LpfpReadFile);

} // namespace
