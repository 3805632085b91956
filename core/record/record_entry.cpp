#include "core/record/record_entry.h"

#include "core/record/sha256.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

std::string utcTimestampNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    std::array<char, 40> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &utc);
    std::array<char, 8> fraction{};
    std::snprintf(fraction.data(), fraction.size(), ".%03dZ", static_cast<int>(millis));
    return std::string(text.data(), length) + fraction.data();
}

#ifdef _WIN32
std::string stationName() {
    const char* name = std::getenv("COMPUTERNAME");
    return name != nullptr && *name != '\0' ? name : "unknown";
}

std::string operatorName() {
    const char* name = std::getenv("USERNAME");
    return name != nullptr && *name != '\0' ? name : "unknown";
}
#else
std::string stationName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0')
        return "unknown";
    return name.data();
}

std::string operatorName() {
    // The login of the session first: someone who became root with sudo is still the operator.
    std::array<char, 256> login{};
    if (getlogin_r(login.data(), login.size()) == 0 && login[0] != '\0')
        return login.data();
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0')
        return user;
    passwd entry{};
    passwd* found = nullptr;
    std::array<char, 4096> buffer{};
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr)
        return found->pw_name;
    return "unknown";
}
#endif

InputStamp stampInput(const std::string& fileName, const std::string& bytes) {
    return InputStamp{fileName, sha256Hex(bytes)};
}

std::string toHex(const std::uint8_t* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0xF];
    }
    return hex;
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool allDigits(const std::string& text, std::size_t from, std::size_t count) {
    if (from + count > text.size())
        return false;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

int number(const std::string& text, std::size_t from, std::size_t count) {
    return std::stoi(text.substr(from, count));
}

} // namespace

std::vector<std::uint8_t> fromHex(const std::string& hex) {
    if (hex.size() % 2 != 0)
        return {};
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string sinceTimestamp(const std::string& date) {
    const std::invalid_argument bad(
        "--since takes a date YYYY-MM-DD, or YYYY-MM-DDTHH:MM[:SS] in UTC, not \"" + date + "\"");
    // "YYYY-MM-DD"
    if (date.size() < 10 || !allDigits(date, 0, 4) || date[4] != '-' || !allDigits(date, 5, 2) ||
        date[7] != '-' || !allDigits(date, 8, 2))
        throw bad;
    std::string rest = date.substr(10);
    if (!rest.empty() && rest.back() == 'Z')
        rest.pop_back();
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!rest.empty()) {
        if ((rest.size() != 6 && rest.size() != 9) || (rest[0] != 'T' && rest[0] != ' ') ||
            !allDigits(rest, 1, 2) || rest[3] != ':' || !allDigits(rest, 4, 2))
            throw bad;
        hour = number(rest, 1, 2);
        minute = number(rest, 4, 2);
        if (rest.size() == 9) {
            if (rest[6] != ':' || !allDigits(rest, 7, 2))
                throw bad;
            second = number(rest, 7, 2);
        }
    }
    const int month = number(date, 5, 2);
    const int day = number(date, 8, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        throw bad;
    auto two = [](int value) { return std::string(1, char('0' + value / 10)) + char('0' + value % 10); };
    return date.substr(0, 4) + "-" + two(month) + "-" + two(day) + "T" + two(hour) + ":" + two(minute) + ":" +
           two(second) + ".000Z";
}
