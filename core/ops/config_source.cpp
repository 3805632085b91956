#include "core/ops/config_source.h"

#include "core/config/config_xml.h"
#include "core/config/file_io.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <tinyxml2.h>

namespace {

bool endsWithLpfp(const std::string& path) {
    constexpr std::string_view extension = ".lpfp";
    if (path.size() < extension.size()) {
        return false;
    }
    return std::equal(extension.begin(), extension.end(), path.end() - static_cast<long>(extension.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

void requireReadableFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw SourceError("Cannot read file " + path);
    }
}

[[noreturn]] void invalidLpfp(const std::string& path) {
    throw SourceError(path + ": Invalid Configuration File");
}

ConfigurationSet loadLpfp(const std::string& path) {
    requireReadableFile(path);
    ConfigurationSet set;
    std::uint64_t keyCount = 0;
    bool complete = false;
    try {
        complete = readLpfpFile(set.records, path, keyCount);
    } catch (const std::exception& e) {
        throw SourceError(path + ": " + e.what());
    }
    if (!complete) {
        invalidLpfp(path);
    }
    set.hasApp = true;
    set.hasMc = true;
    return set;
}

void loadXmlInto(ConfigurationSet& set, const std::string& path) {
    requireReadableFile(path);
    const std::string record = xmlRecordName(path);
    std::uint64_t keyCount = 0;
    if (record == "APPConfiguration") {
        if (set.hasApp) {
            throw SourceError("Two APPConfiguration documents given: " + path);
        }
        set.hasApp = appConfigFromXmlFile(set.records.app, path, keyCount);
    } else if (record == "MCConfiguration") {
        if (set.hasMc) {
            throw SourceError("Two MCConfiguration documents given: " + path);
        }
        set.hasMc = mcConfigFromXmlFile(set.records.mc, path, keyCount);
    } else {
        throw SourceError("Not a valid configuration XML file: " + path);
    }
}

} // namespace

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
    source.kind = endsWithLpfp(text) ? SourceKind::LpfpFile : SourceKind::XmlFiles;
    source.paths = {text};
    return source;
}

bool isDeviceSource(const SourceDescription& source) {
    return source.kind == SourceKind::DeviceCurrent || source.kind == SourceKind::DeviceDefault;
}

ConfigurationSet loadFileSource(const SourceDescription& source) {
    if (source.kind == SourceKind::LpfpFile) {
        return loadLpfp(source.paths.at(0));
    }
    if (source.kind != SourceKind::XmlFiles) {
        throw SourceError("Not a file source: " + source.text);
    }
    ConfigurationSet set;
    for (const auto& path : source.paths) {
        loadXmlInto(set, path);
    }
    return set;
}

void checkLpfpFile(const std::string& path) {
    requireReadableFile(path);
    std::string plainText;
    try {
        plainText = decodeLpfp(readFileText(path));
    } catch (const std::exception& e) {
        throw SourceError(path + ": " + e.what());
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(plainText.data(), plainText.size()) != tinyxml2::XML_SUCCESS) {
        invalidLpfp(path);
    }
    const auto* lpfp = document.FirstChildElement("LPFP");
    if (lpfp == nullptr || lpfp->FirstChildElement("APPConfiguration") == nullptr ||
        lpfp->FirstChildElement("MCConfiguration") == nullptr) {
        invalidLpfp(path);
    }
}

std::string xmlRecordName(const std::string& path) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
        return {};
    }
    for (const char* name : {"APPConfiguration", "MCConfiguration"}) {
        if (document.FirstChildElement(name) != nullptr) {
            return name;
        }
    }
    return {};
}
