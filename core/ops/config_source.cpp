#include "core/ops/config_source.h"

#include "core/config/config_fields.h"
#include "core/config/config_validate.h"
#include "core/config/config_xml.h"
#include "core/config/file_io.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <tinyxml2.h>

namespace {

constexpr std::string_view kLpfpExtension = ".lpfp";

[[noreturn]] void invalidLpfp(const std::string& path) {
    throw SourceError(path + ": " + INVALID_CONFIGURATION_FILE);
}

// The text a narrowed value reads as, found by its key in the record's fields.
template <class Table, class Record>
std::string readAs(const Table& table, const Record& record, std::string_view key) {
    for (const auto& field : table) {
        if (field.key == key) {
            return fieldXmlText(field, record);
        }
    }
    return {};
}

void noteNarrowed(ConfigurationSet& set, const std::string& path,
                  const std::vector<ValueViolation>& violations) {
    for (const ValueViolation& violation : violations) {
        const std::string value = violation.record == APP_ROOT
                                      ? readAs(appFields(), set.records.app, violation.key)
                                      : readAs(mcFields(), set.records.mc, violation.key);
        set.narrowed.push_back(path + ": " + describeViolation(violation) + ", read as " + value);
    }
}

bool parsed(tinyxml2::XMLDocument& document, const std::string& text) {
    return document.Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
}

ConfigurationSet loadLpfp(const std::string& path, const InputReader& read) {
    const std::string fileText = readSourceFile(path, read);
    ConfigurationSet set;
    std::string plainText;
    try {
        plainText = decodeLpfp(fileText);
    } catch (const std::exception& e) {
        throw SourceError(path + ": " + e.what());
    }
    std::uint64_t appKeys = 0;
    std::uint64_t mcKeys = 0;
    if (!lpfpFromPlainText(set.records, plainText, appKeys, mcKeys)) {
        invalidLpfp(path);
    }
    set.hasApp = true;
    set.hasMc = true;
    noteNarrowed(set, path, checkLpfpValues(plainText));
    return set;
}

void loadXmlInto(ConfigurationSet& set, const std::string& path, const InputReader& read) {
    const std::string text = readSourceFile(path, read);
    const std::string record = xmlRecordNameOf(text);
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    parsed(document, text);
    std::uint64_t keyCount = 0;
    if (record == APP_ROOT) {
        if (set.hasApp) {
            throw SourceError("Two APPConfiguration documents given: " + path);
        }
        const tinyxml2::XMLElement* root = document.FirstChildElement(APP_ROOT);
        set.hasApp = appConfigFromXml(set.records.app, root, keyCount);
        noteNarrowed(set, path, checkAppConfigValues(root));
    } else if (record == MC_ROOT) {
        if (set.hasMc) {
            throw SourceError("Two MCConfiguration documents given: " + path);
        }
        const tinyxml2::XMLElement* root = document.FirstChildElement(MC_ROOT);
        set.hasMc = mcConfigFromXml(set.records.mc, root, keyCount);
        noteNarrowed(set, path, checkMcConfigValues(root));
    } else {
        throw SourceError("Not a valid configuration XML file: " + path);
    }
}

} // namespace

bool hasLpfpExtension(const std::string& path) {
    if (path.size() < kLpfpExtension.size()) {
        return false;
    }
    return std::equal(kLpfpExtension.begin(), kLpfpExtension.end(),
                      path.end() - static_cast<long>(kLpfpExtension.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::string withoutLpfpExtension(const std::string& path) {
    if (path.size() <= kLpfpExtension.size() || !hasLpfpExtension(path)) {
        return path;
    }
    return path.substr(0, path.size() - kLpfpExtension.size());
}

SourceDescription parseSource(const std::string& text) {
    SourceDescription source;
    source.text = text;
    if (text.empty()) {
        throw SourceError("Empty configuration source");
    }
    if (text.rfind("device:", 0) == 0) {
        const std::string which = text.substr(7);
        if (which == "current") {
            source.kind = SourceKind::DeviceCurrent;
        } else if (which == "default") {
            source.kind = SourceKind::DeviceDefault;
        } else {
            throw SourceError("Unknown device source " + text + " (use device:current or device:default)");
        }
        return source;
    }
    const auto comma = text.find(',');
    if (comma != std::string::npos) {
        source.kind = SourceKind::XmlFiles;
        source.paths = {text.substr(0, comma), text.substr(comma + 1)};
        if (source.paths[0].empty() || source.paths[1].empty() ||
            source.paths[1].find(',') != std::string::npos) {
            throw SourceError("A pair of XML documents is written as app.xml,mc.xml: " + text);
        }
        return source;
    }
    source.kind = hasLpfpExtension(text) ? SourceKind::LpfpFile : SourceKind::XmlFiles;
    source.paths = {text};
    return source;
}

bool isDeviceSource(const SourceDescription& source) {
    return source.kind == SourceKind::DeviceCurrent || source.kind == SourceKind::DeviceDefault;
}

ConfigurationSet loadFileSource(const SourceDescription& source, const InputReader& read) {
    if (source.kind == SourceKind::LpfpFile) {
        return loadLpfp(source.paths.at(0), read);
    }
    if (source.kind != SourceKind::XmlFiles) {
        throw SourceError("Not a file source: " + source.text);
    }
    ConfigurationSet set;
    for (const auto& path : source.paths) {
        loadXmlInto(set, path, read);
    }
    return set;
}

std::string readSourceFile(const std::string& path, const InputReader& read) {
    try {
        return read ? read(path) : readInputFile(path);
    } catch (const InputFileError& error) {
        if (error.errorNumber() != 0) {
            throw SourceError("Cannot read file " + path);
        }
        throw SourceError(error.what());
    }
}

void checkLpfpFile(const std::string& path) {
    (void)readCheckedLpfpFile(path);
}

std::string readCheckedLpfpFile(const std::string& path, const InputReader& read) {
    const std::string fileText = readSourceFile(path, read);
    std::string plainText;
    try {
        plainText = decodeLpfp(fileText);
    } catch (const std::exception& e) {
        throw SourceError(path + ": " + e.what());
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(plainText.data(), plainText.size()) != tinyxml2::XML_SUCCESS) {
        invalidLpfp(path);
    }
    const auto* lpfp = document.FirstChildElement("LPFP");
    if (lpfp == nullptr || lpfp->FirstChildElement(APP_ROOT) == nullptr ||
        lpfp->FirstChildElement(MC_ROOT) == nullptr) {
        invalidLpfp(path);
    }
    return fileText;
}

std::string xmlRecordNameOf(const std::string& documentText) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (!parsed(document, documentText)) {
        return {};
    }
    for (const char* name : {APP_ROOT, MC_ROOT}) {
        if (document.FirstChildElement(name) != nullptr) {
            return name;
        }
    }
    return {};
}
