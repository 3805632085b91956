#pragma once
// Decimal number text as the C locale reads it, whatever the user's locale: the documents
// always use a point.

#include <string>
#include <string_view>

// The text without the white space around it (space, tab, line ends, vertical tab, form feed):
// number text, and the lists written on a command line or in a scenario.
std::string_view trimmed(std::string_view text);

// strtod in the C locale: the nearest double, ±HUGE_VAL beyond the range, 0 below it. The text
// must be a plain decimal number (an optional sign, digits, a point, an exponent).
double strtodC(const std::string& text);
