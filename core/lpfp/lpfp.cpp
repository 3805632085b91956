#include "core/lpfp/lpfp.h"

#include "core/config/config_validate.h"
#include "core/config/config_xml.h"
#include "core/config/file_io.h"

#include <tinyxml2.h>

#include <array>
#include <optional>
#include <stdexcept>

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a Base64 alphabet character, or -1 for any other byte.
constexpr std::array<int, 256> makeDecodeTable() {
    std::array<int, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    }
    return table;
}
constexpr std::array<int, 256> kDecodeTable = makeDecodeTable();

// The checksum characters for a plain text: its CRC as two bytes, low-order byte first.
std::string checksumText(std::string_view plainText) {
    const std::uint16_t crc = crc16CcittFalse(plainText);
    const std::array<char, 2> bytes = {static_cast<char>(crc & 0xFFu), static_cast<char>(crc >> 8)};
    return toHexUpper(std::string_view(bytes.data(), bytes.size()));
}

// From the first start tag up to and including the first end tag, each found by a plain
// search from the start of the text. None when either tag is missing, or when the end tag
// comes before the start tag (there is no excerpt to take then).
std::optional<std::string_view> excerpt(std::string_view text, std::string_view startTag,
                                        std::string_view endTag) {
    const std::size_t begin = text.find(startTag);
    const std::size_t end = text.find(endTag);
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
        return std::nullopt;
    }
    return text.substr(begin, end + endTag.size() - begin);
}

constexpr std::string_view kAppStart = "<APPConfiguration>";
constexpr std::string_view kAppEnd = "</APPConfiguration>";
constexpr std::string_view kMcStart = "<MCConfiguration>";
constexpr std::string_view kMcEnd = "</MCConfiguration>";

// Whether a text parses as the readers parse it and holds a top-level element of that name.
bool holdsElement(std::string_view text, const char* name) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    return document.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS &&
           document.FirstChildElement(name) != nullptr;
}

// Whether a plain text would read back: it parses, and its LPFP element holds both documents.
bool holdsLpfpPair(std::string_view plainText) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(plainText.data(), plainText.size()) != tinyxml2::XML_SUCCESS) {
        return false;
    }
    const tinyxml2::XMLElement* lpfp = document.FirstChildElement("LPFP");
    return lpfp != nullptr && lpfp->FirstChildElement(APP_ROOT) != nullptr &&
           lpfp->FirstChildElement(MC_ROOT) != nullptr;
}

// Why an excerpt is not a document of its own, for the converters' refusals.
std::string brokenExcerpt(std::string_view startTag, std::string_view endTag, const std::string& path) {
    return "the text from the first " + std::string(startTag) + " to the first " + std::string(endTag) +
           " in " + path + " is not a whole XML element (is one of these tags inside a comment?)";
}

// Stored files keep their exact checksum, so a near miss still fails; what made it miss
// is named on a line of its own after "Checksum Fail".
std::string upperHex(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

std::string likelyChecksumCause(std::string_view fileText) {
    std::string_view text = fileText;
    std::string lineBreak;
    if (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        lineBreak = text.size() >= 2 && text.substr(text.size() - 2) == "\r\n" ? "a CR LF line break"
                                                                               : "a line break";
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.remove_suffix(1);
        }
        lineBreak += " after the checksum (the file must end with its four checksum digits)";
    }
    if (text.size() < 4) {
        return {};
    }
    const std::string_view given = text.substr(text.size() - 4);
    std::string plainText;
    try {
        plainText = base64Decode(text.substr(0, text.size() - 4));
    } catch (const std::exception&) {
        return {};
    }
    std::vector<std::string> causes;
    auto matches = [&](std::string_view plain) {
        const std::string wanted = checksumText(plain);
        if (wanted == given) {
            return true;
        }
        if (wanted == upperHex(given)) {
            causes.emplace_back("lower-case hex digits in the checksum (they must be upper-case)");
            return true;
        }
        return false;
    };
    bool found = matches(plainText);
    if (!found && plainText.find("\r\n") != std::string::npos) {
        std::string singleFeeds;
        for (std::size_t i = 0; i < plainText.size(); ++i) {
            if (!(plainText[i] == '\r' && i + 1 < plainText.size() && plainText[i + 1] == '\n')) {
                singleFeeds += plainText[i];
            }
        }
        found = matches(singleFeeds);
        if (found) {
            causes.emplace_back("CR LF line ends in the text inside (it must have single line feeds)");
        }
    }
    if (!found) {
        return {};
    }
    if (!lineBreak.empty()) {
        causes.push_back(lineBreak);
    } else if (causes.empty()) {
        return {};
    }
    std::string line = "Likely cause: ";
    for (std::size_t i = 0; i < causes.size(); ++i) {
        line += (i == 0 ? "" : " and ") + causes[i];
    }
    return line;
}

std::string xmlFileText(std::string_view documentExcerpt) {
    std::string text(XML_DECLARATION);
    text += '\n';
    text += documentExcerpt;
    text += '\n';
    return text;
}

} // namespace

std::uint16_t crc16CcittFalse(std::string_view bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : bytes) {
        auto x = static_cast<std::uint16_t>((crc >> 8) ^ static_cast<unsigned char>(c));
        x = static_cast<std::uint16_t>(x ^ (x >> 4));
        crc = static_cast<std::uint16_t>((crc << 8) ^ (x << 12) ^ (x << 5) ^ x);
    }
    return crc;
}

std::string base64Encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::uint32_t pending = 0;
    int pendingBits = 0;
    for (const char c : bytes) {
        pending = ((pending << 8) | static_cast<unsigned char>(c)) & 0xFFFFu;
        pendingBits += 8;
        while (pendingBits >= 6) {
            pendingBits -= 6;
            text += kAlphabet[(pending >> pendingBits) & 0x3Fu];
        }
    }
    if (pendingBits > 0) {
        text += kAlphabet[(pending << (6 - pendingBits)) & 0x3Fu];
    }
    while (text.size() % 4 != 0) {
        text += '=';
    }
    return text;
}

std::string base64Decode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t pending = 0;
    int pendingBits = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const int value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value < 0) {
            throw std::runtime_error("Decoding Failed.");
        }
        pending = ((pending << 6) | static_cast<std::uint32_t>(value)) & 0xFFFFu;
        pendingBits += 6;
        if (pendingBits >= 8) {
            pendingBits -= 8;
            bytes += static_cast<char>((pending >> pendingBits) & 0xFFu);
        }
    }
    return bytes;
}

std::string toHexUpper(std::string_view bytes) {
    constexpr std::string_view digits = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += digits[byte >> 4];
        text += digits[byte & 0x0Fu];
    }
    return text;
}

std::string encodeLpfp(std::string_view plainText) {
    return base64Encode(plainText) + checksumText(plainText);
}

std::string decodeLpfp(std::string_view fileText) {
    if (fileText.size() < 4) {
        const std::string cause = likelyChecksumCause(fileText);
        throw std::runtime_error(cause.empty() ? "Checksum Fail" : "Checksum Fail\n" + cause);
    }
    const std::string_view body = fileText.substr(0, fileText.size() - 4);
    const std::string_view checksum = fileText.substr(fileText.size() - 4);
    std::string plainText = base64Decode(body);
    if (checksumText(plainText) != checksum) {
        const std::string cause = likelyChecksumCause(fileText);
        throw std::runtime_error(cause.empty() ? "Checksum Fail" : "Checksum Fail\n" + cause);
    }
    return plainText;
}

std::string buildLpfpText(const LpfpConfiguration& pair) {
    std::string text(XML_DECLARATION);
    text += "\n<LPFP>\n";
    text += appConfigToXml(pair.app);
    text += '\n';
    text += mcConfigToXml(pair.mc);
    text += "</LPFP>\n";
    return text;
}

void writeLpfpFile(const LpfpConfiguration& pair, const std::string& path) {
    writeFileAtomically(path, encodeLpfp(buildLpfpText(pair)));
}

bool readLpfpFile(LpfpConfiguration& pair, const std::string& path, std::uint64_t& keyCount) {
    std::uint64_t appKeys = 0;
    std::uint64_t mcKeys = 0;
    if (!readLpfpFile(pair, path, appKeys, mcKeys)) {
        return false;
    }
    keyCount = appKeys + mcKeys;
    return true;
}

bool readLpfpFile(LpfpConfiguration& pair, const std::string& path, std::uint64_t& appKeys,
                  std::uint64_t& mcKeys) {
    return lpfpFromPlainText(pair, decodeLpfp(readFileText(path)), appKeys, mcKeys);
}

std::vector<ValueViolation> checkLpfpValues(std::string_view plainText) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(plainText.data(), plainText.size()) != tinyxml2::XML_SUCCESS) {
        return {};
    }
    const tinyxml2::XMLElement* lpfp = document.FirstChildElement("LPFP");
    if (lpfp == nullptr) {
        return {};
    }
    std::vector<ValueViolation> violations = checkAppConfigValues(lpfp->FirstChildElement(APP_ROOT));
    std::vector<ValueViolation> mc = checkMcConfigValues(lpfp->FirstChildElement(MC_ROOT));
    violations.insert(violations.end(), mc.begin(), mc.end());
    return violations;
}

bool lpfpFromPlainText(LpfpConfiguration& pair, std::string_view plainText, std::uint64_t& appKeys,
                       std::uint64_t& mcKeys) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(plainText.data(), plainText.size()) != tinyxml2::XML_SUCCESS) {
        return false;
    }
    const tinyxml2::XMLElement* lpfp = document.FirstChildElement("LPFP");
    if (lpfp == nullptr) {
        return false;
    }
    const tinyxml2::XMLElement* app = lpfp->FirstChildElement(APP_ROOT);
    if (app == nullptr) {
        return false;
    }
    appConfigFromXml(pair.app, app, appKeys);

    const tinyxml2::XMLElement* mc = lpfp->FirstChildElement(MC_ROOT);
    if (mc == nullptr) {
        return false;
    }
    mcConfigFromXml(pair.mc, mc, mcKeys);
    return true;
}

bool lpfpToXmlFiles(const std::string& lpfpPath, const std::string& appXmlPath,
                    const std::string& mcXmlPath) {
    return lpfpTextToXmlFiles(readFileText(lpfpPath), lpfpPath, appXmlPath, mcXmlPath);
}

bool lpfpTextToXmlFiles(std::string_view fileText, const std::string& lpfpPath, const std::string& appXmlPath,
                        const std::string& mcXmlPath) {
    const std::string plainText = decodeLpfp(fileText);
    const auto app = excerpt(plainText, kAppStart, kAppEnd);
    const auto mc = excerpt(plainText, kMcStart, kMcEnd);
    if (!app || !mc) {
        return false;
    }
    // Both files are checked before either is written, so a refusal leaves both as they were.
    const std::string appText = xmlFileText(*app);
    const std::string mcText = xmlFileText(*mc);
    if (!holdsElement(appText, APP_ROOT)) {
        throw std::runtime_error(appXmlPath + " not written: " + brokenExcerpt(kAppStart, kAppEnd, lpfpPath));
    }
    if (!holdsElement(mcText, MC_ROOT)) {
        throw std::runtime_error(mcXmlPath + " not written: " + brokenExcerpt(kMcStart, kMcEnd, lpfpPath));
    }
    writeFilesAtomically({{appXmlPath, appText}, {mcXmlPath, mcText}});
    return true;
}

bool xmlFilesToLpfp(const std::string& appXmlPath, const std::string& mcXmlPath,
                    const std::string& lpfpPath) {
    return xmlTextsToLpfp(readFileText(appXmlPath), appXmlPath, readFileText(mcXmlPath), mcXmlPath, lpfpPath);
}

std::optional<std::string> xmlTextsToLpfpText(std::string_view appText, const std::string& appXmlPath,
                                              std::string_view mcText, const std::string& mcXmlPath,
                                              const std::string& lpfpPath) {
    const auto app = excerpt(appText, kAppStart, kAppEnd);
    const auto mc = excerpt(mcText, kMcStart, kMcEnd);
    if (!app || !mc) {
        return std::nullopt;
    }
    std::string plainText(XML_DECLARATION);
    plainText += "\n<LPFP>\n";
    plainText += *app;
    plainText += '\n';
    plainText += *mc;
    plainText += "\n</LPFP>";
    // The excerpts are copied as they stand (stored files rely on that), so a tag inside a
    // comment would cut a document in two; such a file is refused before it replaces anything.
    if (!holdsLpfpPair(plainText)) {
        const std::string reason =
            !holdsElement(xmlFileText(*app), APP_ROOT) ? brokenExcerpt(kAppStart, kAppEnd, appXmlPath)
            : !holdsElement(xmlFileText(*mc), MC_ROOT) ? brokenExcerpt(kMcStart, kMcEnd, mcXmlPath)
                                                       : "its text would not read back";
        throw std::runtime_error(lpfpPath + " not written: " + reason);
    }
    return encodeLpfp(plainText);
}

bool xmlTextsToLpfp(std::string_view appText, const std::string& appXmlPath, std::string_view mcText,
                    const std::string& mcXmlPath, const std::string& lpfpPath) {
    const auto fileText = xmlTextsToLpfpText(appText, appXmlPath, mcText, mcXmlPath, lpfpPath);
    if (!fileText) {
        return false;
    }
    writeFileAtomically(lpfpPath, *fileText);
    return true;
}
