#include "core/config/c_number.h"

#include <cmath>

#ifdef _WIN32
#include <algorithm>
#include <charconv>
#include <cstdlib>
#else
#include <clocale>
#include <cstdlib>
#include <locale.h>
#endif

#ifdef _WIN32

namespace {

// Where a number too large or too small for a double lies: true when above the range. From
// the position of its first significant digit and its exponent.
bool beyondLargest(const std::string& digits) {
    const std::size_t e = digits.find_first_of("eE");
    const std::string mantissa = digits.substr(0, e);
    long exponent = 0;
    if (e != std::string::npos) {
        const std::string text = digits.substr(e + 1);
        const bool negative = !text.empty() && text[0] == '-';
        for (const char c : text) {
            if (c >= '0' && c <= '9') {
                exponent = std::min(exponent * 10 + (c - '0'), 100000L);
            }
        }
        exponent = negative ? -exponent : exponent;
    }
    const std::size_t point = mantissa.find('.');
    const std::size_t firstSignificant = mantissa.find_first_of("123456789");
    if (firstSignificant == std::string::npos) {
        return false;
    }
    const long integerEnd = static_cast<long>(point == std::string::npos ? mantissa.size() : point);
    const long position = static_cast<long>(firstSignificant);
    const long magnitude = position < integerEnd ? integerEnd - position : integerEnd - position + 1;
    return magnitude + exponent > 0;
}

} // namespace

// The Windows C library's strtod does not always round to the nearest double; from_chars does.
double strtodC(const std::string& text) {
    std::size_t start = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        start = 1;
    }
    double value = 0;
    const char* first = text.data() + start;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        value = beyondLargest(text.substr(start)) ? HUGE_VAL : 0.0;
    } else if (error != std::errc()) {
        value = 0.0;
    }
    (void)end;
    return negative ? -value : value;
}

#else

double strtodC(const std::string& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    return strtod_l(text.c_str(), nullptr, cLocale);
}

#endif

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view space = " \t\n\r\v\f";
    const auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}
