#pragma once
// The XML document of each record: a root element named after the record with one child
// element per key, in a fixed order, each holding the value as text.

#include "core/config/app_configuration.h"
#include "core/config/config_fields.h"
#include "core/config/mc_configuration.h"

#include <cstdint>
#include <string>

namespace tinyxml2 {
class XMLElement;
}

// The declaration line that starts every XML file the programs write.
inline constexpr const char* XML_DECLARATION = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// The root elements of the two documents, which also name the records.
constexpr const char* APP_ROOT = "APPConfiguration";
constexpr const char* MC_ROOT = "MCConfiguration";

std::string appConfigToXml(const APPConfiguration& record);
std::string mcConfigToXml(const MCConfiguration& record);

// Write the declaration, a line feed and the document to path. Throws std::runtime_error
// naming the path when the file cannot be written completely; an existing file is replaced
// only by a complete new one.
void saveAppConfigXml(const APPConfiguration& record, const std::string& path);
void saveMcConfigXml(const MCConfiguration& record, const std::string& path);
// Both documents of one configuration, as a pair: neither file is replaced unless both can be
// (see writeFilesAtomically).
void saveConfigXmlPair(const APPConfiguration& app, const std::string& appPath, const MCConfiguration& mc,
                       const std::string& mcPath);

// Fill record from the children of root. False, nothing changed, when root is null.
// Keys missing from the document keep the record's value and are logged as warnings;
// keyCount receives the number of keys found.
bool appConfigFromXml(APPConfiguration& record, const tinyxml2::XMLElement* root, std::uint64_t& keyCount);
bool mcConfigFromXml(MCConfiguration& record, const tinyxml2::XMLElement* root, std::uint64_t& keyCount);

// Convenience for callers that start from a file: parse it and fill record from its
// top-level element of the record's name. False (nothing changed) when the file is missing,
// does not parse or has no such element.
bool appConfigFromXmlFile(APPConfiguration& record, const std::string& path, std::uint64_t& keyCount);
bool mcConfigFromXmlFile(MCConfiguration& record, const std::string& path, std::uint64_t& keyCount);

// The text a field's value takes in its document, as the writers above produce it.
std::string fieldXmlText(const AppField& field, const APPConfiguration& record);
std::string fieldXmlText(const McField& field, const MCConfiguration& record);
