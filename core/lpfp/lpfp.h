#pragma once
// The LPFP file: both records of one controller as one XML text, Base64-encoded and followed
// by its CRC-16/CCITT-FALSE in four upper-case hex digits, low-order byte first.

#include "core/config/app_configuration.h"
#include "core/config/config_validate.h"
#include "core/config/mc_configuration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the readers' users are told about an LPFP file that decodes but does not hold both
// documents.
constexpr const char* INVALID_CONFIGURATION_FILE = "Invalid Configuration File";

struct LpfpConfiguration {
    APPConfiguration app{};
    MCConfiguration mc{};
};

std::string base64Encode(std::string_view bytes);
// Stops at the first '='; throws std::runtime_error "Decoding Failed." on any other
// character outside the alphabet.
std::string base64Decode(std::string_view text);
std::string toHexUpper(std::string_view bytes);
// CRC-16/CCITT-FALSE: polynomial 0x1021, register starts at 0xFFFF, no reflection, no final XOR.
std::uint16_t crc16CcittFalse(std::string_view bytes);

std::string encodeLpfp(std::string_view plainText);
// Throws std::runtime_error "Decoding Failed." or "Checksum Fail". A file that would pass but
// for a line break after its checksum, lower-case hex digits in it or CR LF line ends in its
// text still fails (stored files rely on the exact checksum), and the message names that
// cause on a second line: "Checksum Fail\nLikely cause: ...".
std::string decodeLpfp(std::string_view fileText);
std::string buildLpfpText(const LpfpConfiguration& pair);

// Throws std::runtime_error naming the path when the file cannot be written completely.
void writeLpfpFile(const LpfpConfiguration& pair, const std::string& path);

// True when the plain text holds an LPFP element with APPConfiguration and MCConfiguration
// children; keyCount is then the number of keys found in both. False when an element is
// missing (the application record is already filled when only MCConfiguration is missing).
// A damaged file throws as decodeLpfp does.
bool readLpfpFile(LpfpConfiguration& pair, const std::string& path, std::uint64_t& keyCount);
// The same, counting the keys of each record apart.
bool readLpfpFile(LpfpConfiguration& pair, const std::string& path, std::uint64_t& appKeys,
                  std::uint64_t& mcKeys);
// The same from a decoded plain text.
bool lpfpFromPlainText(LpfpConfiguration& pair, std::string_view plainText, std::uint64_t& appKeys,
                       std::uint64_t& mcKeys);

// The value check of config_validate.h over both documents of a decoded plain text: first
// the application document's offenders, then the motor document's. Nothing for a text that
// does not parse or lacks a document (the readers refuse those on their own).
std::vector<ValueViolation> checkLpfpValues(std::string_view plainText);

// The converters copy each document from its first start tag to its first end tag, found by
// plain text search. They return false, writing nothing, when a tag of either pair is missing
// (or an end tag comes before its start tag), and true only when every file they promise was
// written. What they would write is read back first: an excerpt that is not a whole element
// (a tag inside a comment cuts it short) throws std::runtime_error "<path> not written: ..."
// before any file is touched. A file that cannot be written throws std::runtime_error naming
// its path; the file that was there before stays intact, though lpfpToXmlFiles may already
// have replaced the application file when writing the motor file fails. lpfpToXmlFiles also
// throws as decodeLpfp does, before touching any file.
bool lpfpToXmlFiles(const std::string& lpfpPath, const std::string& appXmlPath, const std::string& mcXmlPath);
bool xmlFilesToLpfp(const std::string& appXmlPath, const std::string& mcXmlPath, const std::string& lpfpPath);
// The same from texts already read (a pipe can be read only once); the paths name the
// inputs in messages.
bool lpfpTextToXmlFiles(std::string_view fileText, const std::string& lpfpPath, const std::string& appXmlPath,
                        const std::string& mcXmlPath);
bool xmlTextsToLpfp(std::string_view appText, const std::string& appXmlPath, std::string_view mcText,
                    const std::string& mcXmlPath, const std::string& lpfpPath);
// The file text xmlTextsToLpfp would write, checked the same way; nothing when a tag pair is
// missing. lpfpPath only names the output in messages.
std::optional<std::string> xmlTextsToLpfpText(std::string_view appText, const std::string& appXmlPath,
                                              std::string_view mcText, const std::string& mcXmlPath,
                                              const std::string& lpfpPath);
