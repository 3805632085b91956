#pragma once
// The values a document may hand to the controller. The readers of config_xml.h are lenient:
// they take the longest number at the start of a text and keep the low-order bits of what
// does not fit, so "abc" reads 0, "12,5" reads 12 and 270 in a one-byte field reads 14. Before
// a document is sent, every value text in it is checked here against its key's kind and the
// range that the field and its wire encoding carry unchanged:
//   floating point   a complete decimal number ([sign] digits [. digits] [e [sign] digits]) that
//                    is finite as a 32-bit float; for a scaled float16 field, value x scale
//                    truncated must fit 16 bits signed
//   integers         a complete whole number ([sign] digits) within both the field's width and
//                    the width it travels in (0 to 255 for an enum sent as one byte)
//   booleans         0 or 1
//   lo_ fields       0 (the controller does not keep them; a document may leave them out)
// White space around a number is allowed, nothing else. Missing keys are not checked: they
// keep the base record's value.

#include "core/config/config_fields.h"

#include <string>
#include <string_view>
#include <vector>

namespace tinyxml2 {
class XMLElement;
}

struct ValueViolation {
    std::string_view record; // "APPConfiguration" or "MCConfiguration"
    std::string_view key;
    std::string text;    // the element's text as it stands in the document
    std::string allowed; // what the key accepts, for people: "a whole number from 0 to 255"
};

// One entry per offending key, in document order of the keys; the first element of a key is
// the one checked, as it is the one the readers use. Nothing when root is null.
std::vector<ValueViolation> checkAppConfigValues(const tinyxml2::XMLElement* root);
std::vector<ValueViolation> checkMcConfigValues(const tinyxml2::XMLElement* root);

// True when text is a value the field accepts.
bool valueAllowed(const AppField& field, std::string_view text);
bool valueAllowed(const McField& field, std::string_view text);

// What a field accepts, as a phrase ("0 or 1", "a decimal number from -327.68 to 327.67").
std::string allowedValues(const AppField& field);
std::string allowedValues(const McField& field);

// One line for people: key, its text (quoted, control characters escaped, long texts cut)
// and what is allowed: si_battery_cells: "300" (allowed: a whole number from 0 to 255)
std::string describeViolation(const ValueViolation& violation);
