// Every seed of the fuzz corpora and every input a fuzz target once failed on, through the
// same function the target runs, in the normal build too. A failure here is a crash, an
// abort or a sanitizer report naming the input last printed.

#include "fuzz/harness.h"

#include <gtest/gtest.h>

#include <spdlog/spdlog.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path sourceDir() {
    const char* dir = std::getenv("VARKO5_TEST_SOURCE_DIR");
    return dir != nullptr ? fs::path(dir) : fs::path(".");
}

// Feeds every file of the target's seed corpus and of its saved failures; returns the count.
int replay(const std::string& corpus, const std::string& target,
           void (*body)(const std::uint8_t*, std::size_t)) {
    std::vector<fs::path> files;
    for (const fs::path& dir :
         {sourceDir() / "fuzz" / "corpus" / corpus, sourceDir() / "fuzz" / "regressions" / target}) {
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::cerr << "replaying " << file.string() << "\n";
        body(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    spdlog::set_level(spdlog::level::info); // the bodies silence the logger
    return static_cast<int>(files.size());
}

TEST(FuzzReplay, ConfigXml) {
    EXPECT_GT(replay("xml", "fuzz_config_xml", fuzzConfigXml), 0);
}

TEST(FuzzReplay, ConfigBytes) {
    EXPECT_GT(replay("bytes", "fuzz_config_bytes", fuzzConfigBytes), 0);
}

TEST(FuzzReplay, Lpfp) {
    EXPECT_GT(replay("lpfp", "fuzz_lpfp", fuzzLpfp), 0);
}

TEST(FuzzReplay, Device) {
    EXPECT_GT(replay("device", "fuzz_device", fuzzDevice), 0);
}

TEST(FuzzReplay, Cli) {
    EXPECT_GT(replay("cli", "fuzz_cli", fuzzCli), 0);
}

} // namespace
