// Arbitrary file texts through the LPFP decoder, and through the file reader and the
// converter, which add XML parsing and the tag search on top of it.
#include "fuzz/harness.h"

#include "core/lpfp/lpfp.h"

#include <spdlog/spdlog.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

std::string scratchPath(const char* name) {
    return "/tmp/varko5-fuzz-" + std::to_string(::getpid()) + "-" + name;
}

} // namespace

void fuzzLpfp(const std::uint8_t* data, std::size_t size) {
    spdlog::set_level(spdlog::level::off);
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)decodeLpfp(text);
    } catch (const std::runtime_error&) {
    }
    // Make most inputs pass the checksum too, so the XML stages are reached: treat the input
    // as a plain text and wrap it.
    static const std::string lpfpPath = scratchPath("in.lpfp");
    static const std::string appPath = scratchPath("app.xml");
    static const std::string mcPath = scratchPath("mc.xml");
    {
        std::ofstream out(lpfpPath, std::ios::binary | std::ios::trunc);
        out << encodeLpfp(text);
    }
    LpfpConfiguration pair{};
    std::uint64_t keys = 0;
    (void)readLpfpFile(pair, lpfpPath, keys);
    (void)checkLpfpValues(text);
    // The converter syncs its files to disk, which is slow; exercise it on a share of inputs.
    if (size % 8 == 0) {
        try {
            (void)lpfpToXmlFiles(lpfpPath, appPath, mcPath);
        } catch (const std::runtime_error&) {
            // An excerpt that would not parse is refused; nothing was written then.
        }
        std::remove(appPath.c_str());
        std::remove(mcPath.c_str());
    }
    std::remove(lpfpPath.c_str()); // nothing left behind when the test suite replays inputs
}
