#include "core/config/config_validate.h"
#include "core/config/c_number.h"
#include "core/config/config_xml.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <tinyxml2.h>
#include <utility>

namespace {

struct Range {
    std::int64_t low;
    std::int64_t high;
};

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kUint32Max = std::numeric_limits<std::uint32_t>::max();

Range typeRange(FieldType type) {
    switch (type) {
    case FieldType::Bool:
        return {0, 1};
    case FieldType::Uint8:
        return {0, 255};
    case FieldType::Int8:
        return {-128, 127};
    case FieldType::Uint16:
        return {0, 65535};
    case FieldType::Uint32:
        return {0, kUint32Max};
    case FieldType::Enum: // stored as a signed 32-bit integer
    case FieldType::Int32:
    case FieldType::Float32:
        break;
    }
    return {kInt32Min, kInt32Max};
}

// The values that come back unchanged from the wire (see the codec's narrowing rules).
Range wireRange(FieldType type, WireEncoding wire) {
    switch (wire) {
    case WireEncoding::Uint8:
        // A hall_table element travels as its two's-complement byte and is read back signed.
        return type == FieldType::Int8 ? Range{-128, 127} : Range{0, 255};
    case WireEncoding::Uint16:
        return {0, 65535};
    case WireEncoding::Int16:
        return {-32768, 32767};
    case WireEncoding::Uint32:
        return {0, kUint32Max};
    case WireEncoding::Int32:
    case WireEncoding::None:
    case WireEncoding::Float16:
    case WireEncoding::Float32Packed:
        break;
    }
    return {kInt32Min, kInt32Max};
}

Range integerRange(FieldType type, WireEncoding wire) {
    const Range a = typeRange(type);
    const Range b = wireRange(type, wire);
    return {std::max(a.low, b.low), std::min(a.high, b.high)};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// [sign] digits, nothing else; none when the text is not such a number or leaves 64 bits.
std::optional<std::int64_t> wholeNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !isDigit(text.front())) {
        return std::nullopt;
    }
    // from_chars takes no '+', so it is given the digits alone and the sign is applied after.
    std::uint64_t magnitude = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    constexpr auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > limit + 1) {
            return std::nullopt;
        }
        return magnitude == limit + 1 ? std::numeric_limits<std::int64_t>::min()
                                      : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > limit) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(magnitude);
}

// [sign] (digits [. [digits]] | . digits) [e [sign] digits], nothing else, as a double.
std::optional<double> decimalNumber(std::string_view text) {
    std::size_t i = 0;
    auto digitsFrom = [&] {
        const std::size_t start = i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
        }
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t mantissaDigits = digitsFrom();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissaDigits += digitsFrom();
    }
    if (mantissaDigits == 0) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (digitsFrom() == 0) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return strtodC(std::string(text));
}

// Halfway between FLT_MAX and 2^128: from there on the nearest float is an infinity.
constexpr double kFloatOverflow = 0x1.ffffffp+127;

template <class Record> bool allowed(const FieldDescriptor<Record>& field, std::string_view rawText) {
    const std::string_view text = trimmed(rawText);
    if (!isFloat(field.type)) {
        const std::optional<std::int64_t> value = wholeNumber(text);
        const Range range = integerRange(field.type, field.wire);
        return value && *value >= range.low && *value <= range.high;
    }
    const std::optional<double> value = decimalNumber(text);
    if (!value || !(std::fabs(*value) < kFloatOverflow)) {
        return false;
    }
    const auto stored = static_cast<float>(*value);
    switch (field.wire) {
    case WireEncoding::None:
        // Not sent, and read back as 0: anything else makes the verification fail.
        return stored == 0.0f;
    case WireEncoding::Float16: {
        // As the encoder computes it: the single-precision product, truncated toward zero.
        const float scaled = stored * field.scale;
        return scaled > -32769.0f && scaled < 32768.0f;
    }
    default:
        return true;
    }
}

std::string decimalText(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 8);
    return std::string(text, result.ptr);
}

template <class Record> std::string allowedPhrase(const FieldDescriptor<Record>& field) {
    if (field.type == FieldType::Bool) {
        return "0 or 1";
    }
    if (!isFloat(field.type)) {
        const Range range = integerRange(field.type, field.wire);
        return "a whole number from " + std::to_string(range.low) + " to " + std::to_string(range.high);
    }
    switch (field.wire) {
    case WireEncoding::None:
        return "0 or no element, since the controller does not keep this value";
    case WireEncoding::Float16: {
        const double scale = static_cast<double>(field.scale);
        return "a decimal number from " + decimalText(-32768.0 / scale) + " to " +
               decimalText(32767.0 / scale);
    }
    default: {
        const double largest = static_cast<double>(std::numeric_limits<float>::max());
        return "a decimal number from " + decimalText(-largest) + " to " + decimalText(largest);
    }
    }
}

// The text the readers see, and whether that is all the element holds. An element holding a
// comment, a child element or several text pieces reads as its first text at best; it is
// shown as it stands.
std::pair<std::string, bool> contentOf(const tinyxml2::XMLElement& element) {
    const tinyxml2::XMLNode* first = element.FirstChild();
    if (first == nullptr) {
        return {"", true};
    }
    if (first == element.LastChild() && first->ToText() != nullptr) {
        return {first->Value(), true};
    }
    tinyxml2::XMLPrinter printer(nullptr, true);
    for (const tinyxml2::XMLNode* node = first; node != nullptr; node = node->NextSibling()) {
        node->Accept(&printer);
    }
    return {std::string(printer.CStr(), static_cast<std::size_t>(printer.CStrSize() - 1)), false};
}

template <class Record, class Order>
std::vector<ValueViolation> check(std::string_view recordName, const tinyxml2::XMLElement* root,
                                  const Order& order) {
    std::vector<ValueViolation> violations;
    if (root == nullptr) {
        return violations;
    }
    for (const FieldDescriptor<Record>* field : order) {
        const std::string key(field->key);
        const tinyxml2::XMLElement* element = root->FirstChildElement(key.c_str());
        if (element == nullptr) {
            continue;
        }
        auto [text, plain] = contentOf(*element);
        if (!plain || !allowed(*field, text)) {
            violations.push_back({recordName, field->key, std::move(text), allowedPhrase(*field)});
        }
    }
    return violations;
}

} // namespace

std::vector<ValueViolation> checkAppConfigValues(const tinyxml2::XMLElement* root) {
    return check<APPConfiguration>(APP_ROOT, root, appXmlOrder());
}

std::vector<ValueViolation> checkMcConfigValues(const tinyxml2::XMLElement* root) {
    return check<MCConfiguration>(MC_ROOT, root, mcXmlOrder());
}

bool valueAllowed(const AppField& field, std::string_view text) {
    return allowed(field, text);
}

bool valueAllowed(const McField& field, std::string_view text) {
    return allowed(field, text);
}

std::string allowedValues(const AppField& field) {
    return allowedPhrase(field);
}

std::string allowedValues(const McField& field) {
    return allowedPhrase(field);
}

std::string describeViolation(const ValueViolation& violation) {
    constexpr std::size_t kShown = 40;
    std::string quoted = "\"";
    std::size_t shown = 0;
    for (const char c : violation.text) {
        if (shown == kShown) {
            quoted += "...";
            break;
        }
        ++shown;
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (byte < 0x20 || byte >= 0x7F) {
            constexpr std::string_view digits = "0123456789ABCDEF";
            quoted += "\\x";
            quoted += digits[byte >> 4];
            quoted += digits[byte & 0x0Fu];
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return std::string(violation.key) + ": " + quoted + " (allowed: " + violation.allowed + ")";
}
