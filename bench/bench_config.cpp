// Speed of the configuration model: binary encode and decode of both records, XML document
// writing and reading of both documents. A report only; nothing here sets a threshold.

#include "core/config/config_codec.h"
#include "core/config/config_fields.h"
#include "core/config/config_xml.h"

#include <benchmark/benchmark.h>
#include <spdlog/spdlog.h>
#include <tinyxml2.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A record with a different, realistic-looking value in every field.
template <class Record, class Table> Record filled(const Table& table) {
    Record record{};
    std::int64_t n = 1;
    for (const auto& field : table) {
        if (field.type == FieldType::Float32) {
            setFloat(field.in(record), static_cast<float>(n) * 1.37f - 40.0f);
        } else {
            setInteger(field.in(record), n % 7);
        }
        ++n;
    }
    return record;
}

const MCConfiguration& mcRecord() {
    static const MCConfiguration record = filled<MCConfiguration>(mcFields());
    return record;
}

const APPConfiguration& appRecord() {
    static const APPConfiguration record = filled<APPConfiguration>(appFields());
    return record;
}

void BM_McEncode(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(MC_CONFIG_PAYLOAD_SIZE);
    for (auto _ : state) {
        benchmark::DoNotOptimize(mcConfigToBytes(buffer.data(), mcRecord()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * MC_CONFIG_PAYLOAD_SIZE);
}
BENCHMARK(BM_McEncode);

void BM_McDecode(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(MC_CONFIG_PAYLOAD_SIZE);
    mcConfigToBytes(buffer.data(), mcRecord());
    MCConfiguration record{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(mcConfigFromBytes(buffer.data(), record));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * MC_CONFIG_PAYLOAD_SIZE);
}
BENCHMARK(BM_McDecode);

void BM_AppEncode(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(APP_CONFIG_PAYLOAD_SIZE);
    for (auto _ : state) {
        benchmark::DoNotOptimize(appConfigToBytes(buffer.data(), appRecord()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * APP_CONFIG_PAYLOAD_SIZE);
}
BENCHMARK(BM_AppEncode);

void BM_AppDecode(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(APP_CONFIG_PAYLOAD_SIZE);
    appConfigToBytes(buffer.data(), appRecord());
    APPConfiguration record{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(appConfigFromBytes(buffer.data(), record));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * APP_CONFIG_PAYLOAD_SIZE);
}
BENCHMARK(BM_AppDecode);

void BM_McXmlWrite(benchmark::State& state) {
    for (auto _ : state) {
        std::string text = mcConfigToXml(mcRecord());
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_McXmlWrite);

void BM_AppXmlWrite(benchmark::State& state) {
    for (auto _ : state) {
        std::string text = appConfigToXml(appRecord());
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_AppXmlWrite);

// Reading as the callers do: parse the text, find the root, fill the record.
template <class Record, class Read>
void readDocument(benchmark::State& state, const std::string& text, const char* rootName, Read read) {
    Record record{};
    std::uint64_t count = 0;
    for (auto _ : state) {
        tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
        doc.Parse(text.c_str(), text.size());
        benchmark::DoNotOptimize(read(record, doc.FirstChildElement(rootName), count));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_McXmlRead(benchmark::State& state) {
    readDocument<MCConfiguration>(state, mcConfigToXml(mcRecord()), "MCConfiguration", mcConfigFromXml);
}
BENCHMARK(BM_McXmlRead);

void BM_AppXmlRead(benchmark::State& state) {
    readDocument<APPConfiguration>(state, appConfigToXml(appRecord()), "APPConfiguration", appConfigFromXml);
}
BENCHMARK(BM_AppXmlRead);

} // namespace

BENCHMARK_MAIN();
