#pragma once
// The LPFP file: both records of one controller as one XML text, Base64-encoded and followed
// by its CRC-16/CCITT-FALSE in four upper-case hex digits, low-order byte first.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct LpfpConfiguration {
    APPConfiguration app{};
    MCConfiguration mc{};
};

std::string base64Encode(std::string_view bytes);
// Stops at the first '='; throws std::runtime_error "Decoding Failed." on any other
// character outside the alphabet.
std::string base64Decode(std::string_view text);
std::string toHexUpper(std::string_view bytes);

std::string encodeLpfp(std::string_view plainText);
// Throws std::runtime_error "Decoding Failed." or "Checksum Fail".
std::string decodeLpfp(std::string_view fileText);
std::string buildLpfpText(const LpfpConfiguration& pair);

// Throws std::runtime_error naming the path when the file cannot be written completely.
void writeLpfpFile(const LpfpConfiguration& pair, const std::string& path);
bool readLpfpFile(LpfpConfiguration& pair, const std::string& path, std::uint64_t& keyCount);
bool lpfpToXmlFiles(const std::string& lpfpPath, const std::string& appXmlPath, const std::string& mcXmlPath);
bool xmlFilesToLpfp(const std::string& appXmlPath, const std::string& mcXmlPath, const std::string& lpfpPath);
