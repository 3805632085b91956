#include "core/config/config_xml.h"
#include "core/config/c_number.h"

#include "core/config/config_fields.h"
#include "core/config/file_io.h"

#include <cctype>
#include <charconv>
#include <cinttypes>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <spdlog/spdlog.h>
#include <tinyxml2.h>

namespace {

// "%.8g" of the value widened to double, always with a full stop as decimal separator.
std::string formatFloat(float value) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, static_cast<double>(value), std::chars_format::general, 8);
    return std::string(text, result.ptr);
}

template <class Record> std::string valueText(const FieldDescriptor<Record>& field, const Record& record) {
    const FieldRef ref = field.in(record);
    switch (xmlKindOf(field.type)) {
    case XmlKind::Float:
        return formatFloat(getFloat(ref));
    case XmlKind::Boolean:
        return getInteger(ref) != 0 ? "1" : "0";
    case XmlKind::Unsigned:
        return std::to_string(static_cast<std::uint32_t>(getInteger(ref)));
    case XmlKind::Int:
    case XmlKind::Int32Parse:
        return std::to_string(static_cast<std::int32_t>(getInteger(ref)));
    }
    return {};
}

template <class Record, class Order>
std::string toXml(const char* rootName, const Record& record, const Order& order) {
    tinyxml2::XMLDocument document;
    auto* root = document.NewElement(rootName);
    document.InsertEndChild(root);
    for (const auto* field : order) {
        auto* element = document.NewElement(std::string(field->key).c_str());
        element->SetText(valueText(*field, record).c_str());
        root->InsertEndChild(element);
    }
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    return std::string(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1));
}

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Leading white space, an optional sign and the longest run of digits; anything after is
// ignored and no digits give 0. The result saturates at [low, high].
std::int64_t parseInteger(const char* text, std::int64_t low, std::int64_t high) {
    const char* p = text;
    while (*p != '\0' && isSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Accumulate as a negative number so the minimum is reachable without overflow.
    std::int64_t value = 0;
    bool saturated = false;
    for (; isDigit(*p); ++p) {
        const int digit = *p - '0';
        if (!saturated) {
            if (value < (std::numeric_limits<std::int64_t>::min() + digit) / 10) {
                saturated = true;
            } else {
                value = value * 10 - digit;
            }
        }
    }
    if (negative) {
        return saturated || value < low ? low : value;
    }
    if (saturated || value < -high) {
        return high;
    }
    return -value;
}

// The longest prefix of the form [sign] digits [. digits] [e [sign] digits], after leading
// white space, converted in the "C" locale; none gives 0. Beyond the float range gives infinity.
float parseFloat(const char* text) {
    const char* p = text;
    while (*p != '\0' && isSpace(*p)) {
        ++p;
    }
    const char* start = p;
    if (*p == '+' || *p == '-') {
        ++p;
    }
    const char* digitsStart = p;
    while (isDigit(*p)) {
        ++p;
    }
    bool anyDigits = p != digitsStart;
    if (*p == '.') {
        const char* fraction = ++p;
        while (isDigit(*p)) {
            ++p;
        }
        anyDigits = anyDigits || p != fraction;
    }
    if (!anyDigits) {
        return 0.0f;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (isDigit(*q)) {
            while (isDigit(*q)) {
                ++q;
            }
            p = q;
        }
    }
    const std::string number(start, p);
    const double value = strtodC(number);
    // Halfway between FLT_MAX and 2^128: from there on the nearest float is an infinity.
    constexpr double overflow = 0x1.ffffffp+127;
    if (std::isinf(value) || std::fabs(value) >= overflow) {
        return value < 0 ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

template <class Record>
void storeText(const FieldDescriptor<Record>& field, Record& record, const char* text) {
    const FieldRef ref = field.in(record);
    switch (xmlKindOf(field.type)) {
    case XmlKind::Float:
        setFloat(ref, parseFloat(text));
        break;
    case XmlKind::Int32Parse:
        setInteger(ref, parseInteger(text, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max()));
        break;
    case XmlKind::Int:
    case XmlKind::Unsigned:
    case XmlKind::Boolean:
        setInteger(ref, parseInteger(text, std::numeric_limits<std::int64_t>::min(),
                                     std::numeric_limits<std::int64_t>::max()));
        break;
    }
}

template <class Record, class Order>
bool fromXml(Record& record, const tinyxml2::XMLElement* root, std::uint64_t& keyCount, const Order& order) {
    if (root == nullptr) {
        return false;
    }
    keyCount = 0;
    for (const auto* field : order) {
        const std::string key(field->key);
        const auto* element = root->FirstChildElement(key.c_str());
        if (element == nullptr) {
            spdlog::warn("Unable to find {} in xml", key);
            continue;
        }
        ++keyCount;
        // An element without text (empty, or holding only a comment) reads as 0.
        const char* text = element->GetText();
        storeText(*field, record, text != nullptr ? text : "");
    }
    return true;
}

template <class Record, class Fill>
bool fromXmlFile(Record& record, const std::string& path, const char* rootName, std::uint64_t& keyCount,
                 Fill fill) {
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) {
        return false;
    }
    return fill(record, document.FirstChildElement(rootName), keyCount);
}

} // namespace

std::string appConfigToXml(const APPConfiguration& record) {
    return toXml(APP_ROOT, record, appXmlOrder());
}

std::string mcConfigToXml(const MCConfiguration& record) {
    return toXml(MC_ROOT, record, mcXmlOrder());
}

namespace {

std::string xmlFileText(const std::string& document) {
    return std::string(XML_DECLARATION) + "\n" + document;
}

} // namespace

void saveAppConfigXml(const APPConfiguration& record, const std::string& path) {
    writeFileAtomically(path, xmlFileText(appConfigToXml(record)));
}

void saveMcConfigXml(const MCConfiguration& record, const std::string& path) {
    writeFileAtomically(path, xmlFileText(mcConfigToXml(record)));
}

void saveConfigXmlPair(const APPConfiguration& app, const std::string& appPath, const MCConfiguration& mc,
                       const std::string& mcPath) {
    writeFilesAtomically(
        {{appPath, xmlFileText(appConfigToXml(app))}, {mcPath, xmlFileText(mcConfigToXml(mc))}});
}

bool appConfigFromXml(APPConfiguration& record, const tinyxml2::XMLElement* root, std::uint64_t& keyCount) {
    return fromXml(record, root, keyCount, appXmlOrder());
}

bool mcConfigFromXml(MCConfiguration& record, const tinyxml2::XMLElement* root, std::uint64_t& keyCount) {
    return fromXml(record, root, keyCount, mcXmlOrder());
}

bool appConfigFromXmlFile(APPConfiguration& record, const std::string& path, std::uint64_t& keyCount) {
    return fromXmlFile(record, path, APP_ROOT, keyCount, appConfigFromXml);
}

bool mcConfigFromXmlFile(MCConfiguration& record, const std::string& path, std::uint64_t& keyCount) {
    return fromXmlFile(record, path, MC_ROOT, keyCount, mcConfigFromXml);
}

std::string fieldXmlText(const AppField& field, const APPConfiguration& record) {
    return valueText(field, record);
}

std::string fieldXmlText(const McField& field, const MCConfiguration& record) {
    return valueText(field, record);
}
