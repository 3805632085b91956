#include "core/config/c_number.h"
#include "core/config/config_codec.h"
#include "core/config/config_fields.h"
#include "core/config/config_validate.h"
#include "core/config/config_xml.h"
#include "simulator/simulator.h"
#include "tests/config/config_samples.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

template <class Table> const auto& fieldOf(const Table& table, std::string_view key) {
    for (const auto& field : table) {
        if (field.key == key) {
            return field;
        }
    }
    throw std::invalid_argument("no field " + std::string(key));
}

const McField& mcField(std::string_view key) {
    return fieldOf(mcFields(), key);
}
const AppField& appField(std::string_view key) {
    return fieldOf(appFields(), key);
}

// The lines the checker gives for a document, as the programs show them.
std::vector<std::string> linesFor(const std::string& root, const std::string& children) {
    tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
    const std::string text = "<" + root + ">" + children + "</" + root + ">";
    EXPECT_EQ(doc.Parse(text.c_str()), tinyxml2::XML_SUCCESS) << text;
    const auto violations = root == "MCConfiguration"
                                ? checkMcConfigValues(doc.FirstChildElement(root.c_str()))
                                : checkAppConfigValues(doc.FirstChildElement(root.c_str()));
    std::vector<std::string> lines;
    for (const auto& v : violations) {
        EXPECT_EQ(v.record, root);
        lines.push_back(describeViolation(v));
    }
    return lines;
}

std::string element(const std::string& key, const std::string& text) {
    return "<" + key + ">" + text + "</" + key + ">";
}

TEST(ConfigValidate, TextsThatAreNotCompleteNumbersAreRefused) {
    // The texts the lenient readers turn into 0, 12 or false.
    const std::vector<std::string> notNumbers = {
        "nan", "NaN", "abc",   "12,5", "0x10", "true", "false", "inf", "-inf", "infinity", "", " ",
        "1e",  "1e+", "12abc", "5 5",  "--1",  "+",    "-",     ".",   "+.",   "1_000",    "١"};
    for (const std::string& text : notNumbers) {
        EXPECT_FALSE(valueAllowed(mcField("l_current_max"), text)) << text;
        EXPECT_FALSE(valueAllowed(mcField("foc_sat_comp"), text)) << text;
        EXPECT_FALSE(valueAllowed(appField("controller_id"), text)) << text;
        EXPECT_FALSE(valueAllowed(appField("timeout_msec"), text)) << text;
        EXPECT_FALSE(valueAllowed(appField("imu_conf.sample_rate_hz"), text)) << text;
        EXPECT_FALSE(valueAllowed(appField("pairing_done"), text)) << text;
        EXPECT_FALSE(valueAllowed(mcField("lo_current_max"), text)) << text;
    }
    // A fraction or an exponent is no whole number, even when its value is one.
    for (const std::string text : {"1.0", "1.9", "1e2", "1.", ".0"}) {
        EXPECT_FALSE(valueAllowed(appField("controller_id"), text)) << text;
        EXPECT_FALSE(valueAllowed(appField("pairing_done"), text)) << text;
        EXPECT_TRUE(valueAllowed(mcField("l_current_max"), text)) << text;
    }
}

TEST(ConfigValidate, WhiteSpaceAroundANumberIsAllowed) {
    for (const std::string text : {" 12 ", "\n\t12\r\n", "+12", "012", "\f12\v"}) {
        EXPECT_TRUE(valueAllowed(appField("controller_id"), text)) << text;
    }
    for (const std::string text : {" -1.5e3 ", "\n.5\n", "5.", "+0.25", "1E-3", "-0", "1e+02", "00.100"}) {
        EXPECT_TRUE(valueAllowed(mcField("l_current_max"), text)) << text;
    }
    EXPECT_TRUE(valueAllowed(appField("pairing_done"), "\n 1 \n"));
    EXPECT_TRUE(valueAllowed(mcField("lo_in_current_min"), " 0.0 "));
}

TEST(ConfigValidate, IntegersFitBothTheFieldAndItsWireWidth) {
    struct Case {
        bool motor;
        std::string_view key;
        std::int64_t low;
        std::int64_t high;
    };
    const Case cases[] = {
        {false, "controller_id", 0, 255},                        // uint8
        {false, "timeout_msec", 0, 4294967295},                  // uint32
        {false, "send_can_status_rate_hz", 0, 65535},            // uint32 sent as uint16
        {false, "imu_conf.sample_rate_hz", 0, 65535},            // int32 sent as uint16
        {false, "app_pas_conf.magnets", 0, 255},                 // uint8 sent as uint16
        {false, "app_balance_conf.hertz", 0, 65535},             // uint16
        {false, "app_to_use", 0, 255},                           // enum sent as one byte
        {false, "app_nrf_conf.address__2", 0, 255},              // uint8 array element
        {true, "pwm_mode", 0, 255},                              // enum
        {true, "hall_table__3", -128, 127},                      // int8 sent as its byte
        {true, "foc_hall_table__3", 0, 255},                     // uint8
        {true, "gpd_buffer_notify_left", -32768, 32767},         // int32 sent as int16
        {true, "m_fault_stop_time_ms", -2147483648, 2147483647}, // int32
        {true, "m_encoder_counts", 0, 4294967295},               // uint32
        {true, "si_battery_cells", 0, 255},                      // int32 sent as uint8
        {true, "m_drv8301_oc_adj", 0, 255},                      // int32 sent as uint8
        {true, "m_hall_extra_samples", 0, 255},                  // int32 sent as uint8
        {true, "foc_hfi_start_samples", 0, 65535},               // uint16
        {true, "si_motor_poles", 0, 255},                        // uint8
    };
    for (const Case& c : cases) {
        const std::string key(c.key);
        auto allowed = [&](const std::string& text) {
            return c.motor ? valueAllowed(mcField(key), text) : valueAllowed(appField(key), text);
        };
        EXPECT_TRUE(allowed(std::to_string(c.low))) << key;
        EXPECT_TRUE(allowed(std::to_string(c.high))) << key;
        EXPECT_FALSE(allowed(std::to_string(c.low - 1))) << key;
        EXPECT_FALSE(allowed(std::to_string(c.high + 1))) << key;
        const std::string phrase =
            "a whole number from " + std::to_string(c.low) + " to " + std::to_string(c.high);
        EXPECT_EQ(c.motor ? allowedValues(mcField(key)) : allowedValues(appField(key)), phrase) << key;
    }
    // Beyond 64 bits (where the readers saturate) is refused as well.
    EXPECT_FALSE(valueAllowed(appField("timeout_msec"), "99999999999999999999"));
    EXPECT_FALSE(valueAllowed(mcField("m_fault_stop_time_ms"), "-9223372036854775809"));
    EXPECT_FALSE(valueAllowed(mcField("m_fault_stop_time_ms"), "-9223372036854775808"));

    // The cases of the report: 270 in a one-byte field, -5 in an unsigned one.
    EXPECT_EQ(linesFor("MCConfiguration", element("motor_type", "270") + element("m_encoder_counts", "-5")),
              (std::vector<std::string>{
                  "motor_type: \"270\" (allowed: a whole number from 0 to 255)",
                  "m_encoder_counts: \"-5\" (allowed: a whole number from 0 to 4294967295)"}));
}

TEST(ConfigValidate, BooleansAreZeroOrOne) {
    for (const std::string_view key : {"pairing_done", "app_ppm_conf.tc", "app_nrf_conf.send_crc_ack"}) {
        EXPECT_TRUE(valueAllowed(appField(key), "0"));
        EXPECT_TRUE(valueAllowed(appField(key), "1"));
        EXPECT_FALSE(valueAllowed(appField(key), "2"));
        EXPECT_FALSE(valueAllowed(appField(key), "-1"));
        EXPECT_EQ(allowedValues(appField(key)), "0 or 1");
    }
    EXPECT_FALSE(valueAllowed(mcField("m_invert_direction"), "256")); // would read true, not 0
    EXPECT_EQ(linesFor("MCConfiguration", element("m_invert_direction", "true")),
              std::vector<std::string>{"m_invert_direction: \"true\" (allowed: 0 or 1)"});
}

TEST(ConfigValidate, FloatsAreFiniteAsThirtyTwoBitFloats) {
    const McField& f = mcField("l_current_max");
    EXPECT_EQ(allowedValues(f), "a decimal number from -3.4028235e+38 to 3.4028235e+38");
    EXPECT_TRUE(valueAllowed(f, "3.4028235e+38")); // how the writer prints the largest float
    EXPECT_TRUE(valueAllowed(f, "-3.4028235e+38"));
    EXPECT_TRUE(valueAllowed(f, "3.40282356e38")); // still rounds to the largest float
    EXPECT_FALSE(valueAllowed(f, "3.4028236e38")); // rounds to infinity
    EXPECT_FALSE(valueAllowed(f, "1e39"));
    EXPECT_FALSE(valueAllowed(f, "1e999"));
    EXPECT_FALSE(valueAllowed(f, "-1e999"));
    EXPECT_TRUE(valueAllowed(f, "1e-50")); // underflows to 0, as small values do
    EXPECT_TRUE(valueAllowed(f, "1.4e-45"));
    EXPECT_EQ(
        linesFor("MCConfiguration", element("l_current_max", "1e999")),
        std::vector<std::string>{
            "l_current_max: \"1e999\" (allowed: a decimal number from -3.4028235e+38 to 3.4028235e+38)"});
}

TEST(ConfigValidate, ScaledFloat16ValuesFitSixteenBitsAfterScaling) {
    struct Case {
        bool motor;
        std::string_view key;
        std::string phrase;
        std::string lastIn;
        std::string firstOut;
        std::string lowestIn;
        std::string firstOutBelow;
    };
    const Case cases[] = {
        {true, "foc_sl_openloop_hyst", "a decimal number from -327.68 to 327.67", "327.67", "327.68",
         "-327.68", "-327.69"},
        {true, "bms.soc_limit_start", "a decimal number from -32.768 to 32.767", "32.767", "32.768",
         "-32.768", "-32.769"},
        {true, "foc_openloop_rpm_low", "a decimal number from -32.768 to 32.767", "32.767", "32.768",
         "-32.768", "-32.769"},
        {false, "app_pas_conf.pedal_rpm_start", "a decimal number from -3276.8 to 3276.7", "3276.7", "3276.8",
         "-3276.8", "-3276.9"},
        {false, "app_pas_conf.ramp_time_neg", "a decimal number from -327.68 to 327.67", "327.67", "327.68",
         "-327.68", "-327.69"},
    };
    for (const Case& c : cases) {
        const std::string key(c.key);
        auto allowed = [&](const std::string& text) {
            return c.motor ? valueAllowed(mcField(key), text) : valueAllowed(appField(key), text);
        };
        EXPECT_EQ(c.motor ? allowedValues(mcField(key)) : allowedValues(appField(key)), c.phrase);
        EXPECT_TRUE(allowed(c.lastIn)) << key;
        EXPECT_FALSE(allowed(c.firstOut)) << key;
        EXPECT_TRUE(allowed(c.lowestIn)) << key;
        EXPECT_FALSE(allowed(c.firstOutBelow)) << key;
        EXPECT_TRUE(allowed("0")) << key;
        EXPECT_FALSE(allowed("1e999")) << key;
    }
    // The report's case: 400 with scale 100 would be stored as -255.36.
    EXPECT_EQ(linesFor("MCConfiguration", element("foc_temp_comp_base_temp", "400")),
              std::vector<std::string>{
                  "foc_temp_comp_base_temp: \"400\" (allowed: a decimal number from -327.68 to 327.67)"});
}

TEST(ConfigValidate, LoFieldsAreZeroOrAbsent) {
    // In document order.
    const std::string_view keys[] = {"lo_current_min",           "lo_current_max",
                                     "lo_in_current_min",        "lo_in_current_max",
                                     "lo_current_motor_min_now", "lo_current_motor_max_now"};
    std::string children;
    std::vector<std::string> expected;
    for (const std::string_view key : keys) {
        for (const std::string text : {"0", "0.0", "-0", " 0e5 "}) {
            EXPECT_TRUE(valueAllowed(mcField(key), text)) << key << text;
        }
        EXPECT_FALSE(valueAllowed(mcField(key), "0.5")) << key;
        EXPECT_FALSE(valueAllowed(mcField(key), "-3")) << key;
        children += element(std::string(key), "4.5");
        expected.push_back(
            std::string(key) +
            ": \"4.5\" (allowed: 0 or no element, since the controller does not keep this value)");
    }
    EXPECT_EQ(linesFor("MCConfiguration", children), expected);
    // Absent keys are not checked at all.
    EXPECT_TRUE(linesFor("MCConfiguration", "").empty());
    EXPECT_TRUE(linesFor("APPConfiguration", "").empty());
}

TEST(ConfigValidate, DocumentsGiveOneLinePerOffendingKeyInDocumentOrder) {
    // Out of order in the text, reported in document order; extra elements and attributes do
    // not matter; of two elements of one key only the first counts, as for the readers.
    const std::string children =
        element("app_to_use", "256") + "<unknown>x</unknown>" + element("controller_id", "abc") +
        "<timeout_msec unit=\"ms\"> 5 </timeout_msec>" + element("pairing_done", "1") +
        element("pairing_done", "7") + element("can_mode", "3") + element("can_mode", "300") +
        element("send_can_status", "") + "<uavcan_raw_mode/>";
    EXPECT_EQ(linesFor("APPConfiguration", children),
              (std::vector<std::string>{"controller_id: \"abc\" (allowed: a whole number from 0 to 255)",
                                        "send_can_status: \"\" (allowed: a whole number from 0 to 255)",
                                        "uavcan_raw_mode: \"\" (allowed: a whole number from 0 to 255)",
                                        "app_to_use: \"256\" (allowed: a whole number from 0 to 255)"}));

    // An element that holds more than its text reads as something else than it shows.
    EXPECT_EQ(
        linesFor("MCConfiguration", element("pwm_mode", "<!-- two -->2") + element("comm_mode", "1<x/>") +
                                        element("motor_type", "<![CDATA[3]]>")),
        (std::vector<std::string>{"comm_mode: \"1<x/>\" (allowed: a whole number from 0 to 255)",
                                  "pwm_mode: \"<!-- two -->2\" (allowed: a whole number from 0 to 255)"}));

    EXPECT_TRUE(checkAppConfigValues(nullptr).empty());
    EXPECT_TRUE(checkMcConfigValues(nullptr).empty());
}

TEST(ConfigValidate, LinesEscapeControlCharactersAndCutLongTexts) {
    ValueViolation v{"MCConfiguration", "pwm_mode", "a\"b\\c\nd\te\rf\x01\x7f\xc3\xa9", "0 or 1"};
    EXPECT_EQ(describeViolation(v),
              "pwm_mode: \"a\\\"b\\\\c\\nd\\te\\rf\\x01\\x7F\\xC3\\xA9\" (allowed: 0 or 1)");
    v.text = std::string(40, '7');
    EXPECT_EQ(describeViolation(v), "pwm_mode: \"" + std::string(40, '7') + "\" (allowed: 0 or 1)");
    v.text = std::string(41, '7');
    EXPECT_EQ(describeViolation(v), "pwm_mode: \"" + std::string(40, '7') + "...\" (allowed: 0 or 1)");
}

// The checker's ranges are exactly what survives the trip into a record and over the wire:
// a value at either end comes back as written, the next one beyond does not.
template <class Record, class Table, class Encode, class Decode>
void expectRangesMatchTheCodec(const Table& table, const char* root, Encode encode, Decode decode) {
    LogCapture quiet(spdlog::level::err);
    std::array<std::uint8_t, 512> buffer{};
    auto survives = [&](const auto& field, const std::string& text, auto expected) {
        const std::string doc = "<" + std::string(root) + ">" + element(std::string(field.key), text) + "</" +
                                std::string(root) + ">";
        tinyxml2::XMLDocument parsed(true, tinyxml2::PRESERVE_WHITESPACE);
        parsed.Parse(doc.c_str());
        Record record{};
        std::uint64_t keys = 0;
        if constexpr (std::is_same_v<Record, MCConfiguration>) {
            mcConfigFromXml(record, parsed.FirstChildElement(root), keys);
        } else {
            appConfigFromXml(record, parsed.FirstChildElement(root), keys);
        }
        encode(buffer.data(), record);
        Record back{};
        decode(buffer.data(), back);
        if constexpr (std::is_same_v<decltype(expected), float>) {
            // Scaling truncates, so the value may come back one step of the scale lower.
            return std::fabs(getFloat(field.in(back)) - expected) <= 1.01f / field.scale;
        } else {
            return getInteger(field.in(back)) == expected;
        }
    };
    int checked = 0;
    for (const auto& field : table) {
        if (field.wire == WireEncoding::None || field.type == FieldType::Float32) {
            if (field.wire == WireEncoding::Float16) {
                // n / S at both ends comes back (within the step the truncation costs); one
                // step beyond wraps to the other end.
                const float scale = field.scale;
                for (const int n : {32767, -32768}) {
                    const float value = static_cast<float>(n) / scale;
                    char text[32];
                    std::snprintf(text, sizeof text, "%.8g", static_cast<double>(value));
                    EXPECT_TRUE(valueAllowed(field, text)) << field.key << " " << text;
                    EXPECT_TRUE(survives(field, text, value)) << field.key << " " << text;
                    const float beyond = static_cast<float>(n > 0 ? n + 1 : n - 1) / scale;
                    std::snprintf(text, sizeof text, "%.8g", static_cast<double>(beyond));
                    EXPECT_FALSE(valueAllowed(field, text)) << field.key << " " << text;
                    EXPECT_FALSE(survives(field, text, beyond)) << field.key << " " << text;
                }
                ++checked;
            }
            continue;
        }
        const std::string phrase = allowedValues(field);
        if (field.type == FieldType::Bool) {
            EXPECT_TRUE(survives(field, "1", std::int64_t{1}));
            EXPECT_FALSE(survives(field, "2", std::int64_t{2}));
            ++checked;
            continue;
        }
        const std::size_t from = phrase.find(" from ");
        const std::size_t to = phrase.find(" to ");
        ASSERT_NE(from, std::string::npos) << phrase;
        const std::int64_t low = std::stoll(phrase.substr(from + 6, to - from - 6));
        const std::int64_t high = std::stoll(phrase.substr(to + 4));
        EXPECT_TRUE(survives(field, std::to_string(low), low)) << field.key;
        EXPECT_TRUE(survives(field, std::to_string(high), high)) << field.key;
        EXPECT_FALSE(survives(field, std::to_string(low - 1), low - 1)) << field.key;
        EXPECT_FALSE(survives(field, std::to_string(high + 1), high + 1)) << field.key;
        ++checked;
    }
    EXPECT_GT(checked, 50);
}

TEST(ConfigValidate, RangesAreWhatTheRecordAndTheWireCarry) {
    expectRangesMatchTheCodec<MCConfiguration>(mcFields(), "MCConfiguration", mcConfigToBytes,
                                               mcConfigFromBytes);
    expectRangesMatchTheCodec<APPConfiguration>(appFields(), "APPConfiguration", appConfigToBytes,
                                                appConfigFromBytes);
}

// Saved as the programs save them, parsed as the programs parse them, checked.
std::vector<std::string> savedViolations(const APPConfiguration& app, const MCConfiguration& mc) {
    TempDir dir;
    saveAppConfigXml(app, dir.file("a.xml"));
    saveMcConfigXml(mc, dir.file("m.xml"));
    std::vector<std::string> lines;
    tinyxml2::XMLDocument a(true, tinyxml2::PRESERVE_WHITESPACE);
    tinyxml2::XMLDocument m(true, tinyxml2::PRESERVE_WHITESPACE);
    EXPECT_EQ(a.LoadFile(dir.file("a.xml").c_str()), tinyxml2::XML_SUCCESS);
    EXPECT_EQ(m.LoadFile(dir.file("m.xml").c_str()), tinyxml2::XML_SUCCESS);
    for (const auto& v : checkAppConfigValues(a.FirstChildElement("APPConfiguration"))) {
        lines.push_back(describeViolation(v));
    }
    for (const auto& v : checkMcConfigValues(m.FirstChildElement("MCConfiguration"))) {
        lines.push_back(describeViolation(v));
    }
    return lines;
}

// Each field at one end of what the controller can hold: the wire's range for integers, the
// largest floats, the ends of each float16 scale as they decode.
template <class Record, class Table> Record extreme(const Table& table, bool top) {
    Record record{};
    for (const auto& field : table) {
        const FieldRef ref = field.in(record);
        if (field.type == FieldType::Float32) {
            if (field.wire == WireEncoding::Float16) {
                setFloat(ref, static_cast<float>(top ? 32767 : -32768) / field.scale);
            } else if (field.wire == WireEncoding::Float32Packed) {
                setFloat(ref, (top ? 1.0f : -1.0f) * std::numeric_limits<float>::max());
            }
            continue;
        }
        const std::string phrase = allowedValues(field);
        if (field.type == FieldType::Bool) {
            setInteger(ref, top ? 1 : 0);
            continue;
        }
        const std::size_t from = phrase.find(" from ");
        const std::size_t to = phrase.find(" to ");
        setInteger(ref, top ? std::stoll(phrase.substr(to + 4))
                            : std::stoll(phrase.substr(from + 6, to - from - 6)));
    }
    return record;
}

TEST(ConfigValidate, FilesTheProgramsSaveAlwaysPass) {
    // What a fresh simulated controller holds, and records at the ends of every range.
    EXPECT_EQ(savedViolations(simulatorDefaultAppConfig(), simulatorDefaultMcConfig()),
              std::vector<std::string>{});
    EXPECT_EQ(savedViolations(APPConfiguration{}, MCConfiguration{}), std::vector<std::string>{});
    EXPECT_EQ(savedViolations(extreme<APPConfiguration>(appFields(), true),
                              extreme<MCConfiguration>(mcFields(), true)),
              std::vector<std::string>{});
    EXPECT_EQ(savedViolations(extreme<APPConfiguration>(appFields(), false),
                              extreme<MCConfiguration>(mcFields(), false)),
              std::vector<std::string>{});

    // Whatever finite record the controller can send: payloads of random bytes, with the
    // exponent of each packed float kept below the all-ones of infinities.
    std::mt19937 random(16);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 50; ++round) {
        std::array<std::uint8_t, 512> app{};
        std::array<std::uint8_t, 512> mc{};
        for (auto& b : app) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        for (auto& b : mc) {
            b = static_cast<std::uint8_t>(byte(random));
        }
        const std::uint8_t appSignature[] = {0xC2, 0x9A, 0xD1, 0x44};
        const std::uint8_t mcSignature[] = {0x83, 0xD6, 0x20, 0x7A};
        std::memcpy(app.data(), appSignature, 4);
        std::memcpy(mc.data(), mcSignature, 4);
        // Clear the top exponent bit of every packed float: found by encoding a record whose
        // packed floats are all 1.0 (3F 80 00 00) and marking where the 3F bytes land.
        auto tame = [](auto& payload, auto toBytes, auto one) {
            std::array<std::uint8_t, 512> marks{};
            toBytes(marks.data(), one);
            for (std::size_t i = 4; i + 3 < marks.size(); ++i) {
                if (marks[i] == 0x3F && marks[i + 1] == 0x80 && marks[i + 2] == 0 && marks[i + 3] == 0) {
                    payload[i] &= 0xBF;
                    i += 3;
                }
            }
        };
        APPConfiguration appOne{};
        for (const auto& f : appFields()) {
            if (f.wire == WireEncoding::Float32Packed) {
                setFloat(f.in(appOne), 1.0f);
            }
        }
        MCConfiguration mcOne{};
        for (const auto& f : mcFields()) {
            if (f.wire == WireEncoding::Float32Packed) {
                setFloat(f.in(mcOne), 1.0f);
            }
        }
        tame(app, appConfigToBytes, appOne);
        tame(mc, mcConfigToBytes, mcOne);
        APPConfiguration appRecord{};
        MCConfiguration mcRecord{};
        ASSERT_TRUE(appConfigFromBytes(app.data(), appRecord));
        ASSERT_TRUE(mcConfigFromBytes(mc.data(), mcRecord));
        ASSERT_EQ(savedViolations(appRecord, mcRecord), std::vector<std::string>{}) << "round " << round;
    }
}

} // namespace

// The white space around a value, a list entry or a scenario item goes; what is inside stays.
TEST(Trimmed, TakesTheWhiteSpaceAroundAndNothingInside) {
    EXPECT_EQ(trimmed(" \t\r\n\v\f12 5\f\v\n\r\t "), "12 5");
    EXPECT_EQ(trimmed("x"), "x");
    EXPECT_EQ(trimmed(""), "");
    EXPECT_EQ(trimmed(" \t\n"), "");
    // Only those six: a NUL or a non-breaking space is content.
    EXPECT_EQ(trimmed(std::string_view("\0a", 2)), std::string_view("\0a", 2));
    EXPECT_EQ(trimmed("\xa0"
                      "a"),
              "\xa0"
              "a");
}
