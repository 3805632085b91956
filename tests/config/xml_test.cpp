#include "core/config/config_xml.h"
#include "tests/config/config_samples.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <locale>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

std::string documentText(const std::string& root, const std::vector<XmlExpectation>& elements) {
    std::string text = "<" + root + ">\n";
    for (const auto& e : elements) {
        text += "    <" + std::string(e.key) + ">" + std::string(e.text) + "</" + std::string(e.key) + ">\n";
    }
    return text + "</" + root + ">\n";
}

std::vector<XmlExpectation> allZero(const std::vector<XmlExpectation>& elements) {
    std::vector<XmlExpectation> out;
    for (const auto& e : elements) {
        out.push_back({e.key, "0"});
    }
    return out;
}

// Parses text as the callers do (whitespace preserved) and reads the record from the
// top-level element of the record's name.
template <class Record>
bool readInto(Record& record, const std::string& text, std::uint64_t& count, const char* rootName) {
    tinyxml2::XMLDocument doc(true, tinyxml2::PRESERVE_WHITESPACE);
    EXPECT_EQ(doc.Parse(text.c_str()), tinyxml2::XML_SUCCESS) << text;
    const tinyxml2::XMLElement* root = doc.FirstChildElement(rootName);
    if constexpr (std::is_same_v<Record, MCConfiguration>) {
        return mcConfigFromXml(record, root, count);
    } else {
        return appConfigFromXml(record, root, count);
    }
}

bool readApp(APPConfiguration& record, const std::string& text, std::uint64_t& count) {
    return readInto(record, text, count, "APPConfiguration");
}

bool readMc(MCConfiguration& record, const std::string& text, std::uint64_t& count) {
    return readInto(record, text, count, "MCConfiguration");
}

std::string appDoc(const std::string& children) {
    return "<APPConfiguration>" + children + "</APPConfiguration>";
}

std::string mcDoc(const std::string& children) {
    return "<MCConfiguration>" + children + "</MCConfiguration>";
}

std::string element(const std::string& key, const std::string& text) {
    return "<" + key + ">" + text + "</" + key + ">";
}

std::vector<std::string> keysOf(const std::vector<XmlExpectation>& elements) {
    std::vector<std::string> keys;
    for (const auto& e : elements) {
        keys.emplace_back(e.key);
    }
    return keys;
}

TEST(ConfigXml, DocumentsAreByteExact) {
    EXPECT_EQ(appConfigToXml(sampleAppConfig()), documentText("APPConfiguration", sampleAppXml()));
    EXPECT_EQ(mcConfigToXml(sampleMcConfig()), documentText("MCConfiguration", sampleMcXml()));
    EXPECT_EQ(appConfigToXml(APPConfiguration{}), documentText("APPConfiguration", allZero(sampleAppXml())));
    EXPECT_EQ(mcConfigToXml(MCConfiguration{}), documentText("MCConfiguration", allZero(sampleMcXml())));

    const std::string mc = mcConfigToXml(sampleMcConfig());
    EXPECT_EQ(mc.rfind("<MCConfiguration>\n    <l_current_max>60</l_current_max>\n"
                       "    <l_in_current_max>1234567.5</l_in_current_max>\n"
                       "    <l_current_min>0.1</l_current_min>\n"
                       "    <l_abs_current_max>1.2345679e+08</l_abs_current_max>\n",
                       0),
              0u);
    EXPECT_NE(mc.find("\n    <l_min_erpm>9.9999997e-06</l_min_erpm>\n"), std::string::npos);
    EXPECT_NE(mc.find("\n    <foc_hall_table__3>255</foc_hall_table__3>\n"), std::string::npos);
    EXPECT_NE(mc.find("\n    <hall_table__0>-1</hall_table__0>\n"), std::string::npos);
    EXPECT_NE(mc.find("\n    <m_encoder_counts>4000000000</m_encoder_counts>\n"), std::string::npos);
    EXPECT_NE(mc.find("\n    <bms.soc_limit_end>-2.125</bms.soc_limit_end>\n</MCConfiguration>\n"),
              std::string::npos);
    const std::string app = appConfigToXml(sampleAppConfig());
    EXPECT_NE(app.find("\n    <timeout_msec>4000000000</timeout_msec>\n"), std::string::npos);
    EXPECT_EQ(app.find('\r'), std::string::npos);
}

TEST(ConfigXml, WrittenDocumentsReadBackExactly) {
    std::uint64_t count = 0;
    LogCapture log;
    APPConfiguration app{};
    ASSERT_TRUE(readApp(app, appConfigToXml(sampleAppConfig()), count));
    EXPECT_EQ(count, 149u);
    EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{});

    MCConfiguration mc{};
    ASSERT_TRUE(readMc(mc, mcConfigToXml(sampleMcConfig()), count));
    EXPECT_EQ(count, 157u);
    EXPECT_EQ(differingKeys(mc, sampleMcConfig()), std::vector<std::string>{});
    EXPECT_TRUE(log.texts(spdlog::level::warn).empty());
}

TEST(ConfigXml, ReorderedExtraCommentedAndAttributedElementsReadTheSame) {
    const auto& elements = sampleMcXml();
    std::string children = "<!-- written by hand -->\n<unknown_key>5</unknown_key>";
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
        const std::string key(it->key);
        children += "\n  <" + key + " unit=\"x\" other='1'>" + std::string(it->text) + "</" + key + ">";
        children += "<!-- " + key + " -->";
        children += "<" + key + "_extra>1</" + key + "_extra>";
    }
    children += "\n<L_CURRENT_MAX>1</L_CURRENT_MAX><nested><l_current_max>2</l_current_max></nested>\n";
    MCConfiguration mc{};
    std::uint64_t count = 0;
    LogCapture log;
    ASSERT_TRUE(readMc(mc, "<?xml version=\"1.0\"?>\n" + mcDoc(children), count));
    EXPECT_EQ(count, 157u);
    EXPECT_EQ(differingKeys(mc, sampleMcConfig()), std::vector<std::string>{});
    EXPECT_TRUE(log.texts(spdlog::level::warn).empty());
}

TEST(ConfigXml, DuplicatedKeysUseTheFirstAndCountOnce) {
    APPConfiguration app = sampleAppConfig();
    std::uint64_t count = 0;
    LogCapture log;
    ASSERT_TRUE(readApp(app,
                        appDoc(element("controller_id", "3") + element("timeout_brake_current", "1.5") +
                               element("controller_id", "4") + element("timeout_brake_current", "2.5")),
                        count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(app.controller_id, 3);
    EXPECT_EQ(app.timeout_brake_current, 1.5f);
}

TEST(ConfigXml, MissingKeysWarnAndKeepTheirValues) {
    APPConfiguration app = sampleAppConfig();
    std::uint64_t count = 99;
    LogCapture log;
    ASSERT_TRUE(readApp(app, appDoc(element("controller_id", "42")), count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(app.controller_id, 42);
    EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{"controller_id"});

    std::vector<std::string> expected;
    for (const auto& key : keysOf(sampleAppXml())) {
        if (key != "controller_id") {
            expected.push_back("Unable to find " + key + " in xml");
        }
    }
    EXPECT_EQ(expected.size(), 148u);
    EXPECT_EQ(log.texts(spdlog::level::warn), expected);
    EXPECT_EQ(log.texts().size(), 148u);

    // Keys are matched exactly: other letter case, the bracket form or a missing point miss.
    log.clear();
    MCConfiguration mc = sampleMcConfig();
    ASSERT_TRUE(readMc(mc,
                       mcDoc(element("L_current_max", "1") + element("hall_table_0", "1") +
                             element("bms_type", "1") + element("foc_duty_downramp_kp", "1")),
                       count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(differingKeys(mc, sampleMcConfig()), std::vector<std::string>{});
    EXPECT_EQ(log.texts(spdlog::level::warn).size(), 157u);
    EXPECT_TRUE(log.contains("Unable to find foc_duty_dowmramp_kp in xml"));
    EXPECT_TRUE(log.contains("Unable to find hall_table__0 in xml"));
    EXPECT_TRUE(log.contains("Unable to find bms.type in xml"));

    // An empty root is valid and sets nothing.
    log.clear();
    ASSERT_TRUE(readApp(app, "<APPConfiguration/>", count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(log.texts(spdlog::level::warn).size(), 149u);
}

TEST(ConfigXml, NoRootReturnsFalseAndChangesNothing) {
    APPConfiguration app = sampleAppConfig();
    std::uint64_t count = 77;
    EXPECT_FALSE(appConfigFromXml(app, nullptr, count));
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{});
    MCConfiguration mc = sampleMcConfig();
    EXPECT_FALSE(mcConfigFromXml(mc, nullptr, count));
    EXPECT_EQ(count, 77u);
    // A root whose name differs only in case is not found by the callers' lookup.
    EXPECT_FALSE(readInto(app, "<AppConfiguration><controller_id>1</controller_id></AppConfiguration>", count,
                          "APPConfiguration"));
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{});
}

TEST(ConfigXml, EmptyOrCommentOnlyElementsCountAndReadZero) {
    MCConfiguration mc = sampleMcConfig();
    std::uint64_t count = 0;
    LogCapture log;
    ASSERT_TRUE(readMc(
        mc,
        mcDoc("<l_current_max/>" + element("pwm_mode", "<!-- none -->") + element("l_slow_abs_current", "") +
              element("m_encoder_counts", "<!--a--><!--b-->") + element("gpd_buffer_interpol", "<!-- -->")),
        count));
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(mc.l_current_max, 0.0f);
    EXPECT_EQ(mc.pwm_mode, 0);
    EXPECT_FALSE(mc.l_slow_abs_current);
    EXPECT_EQ(mc.m_encoder_counts, 0u);
    EXPECT_EQ(mc.gpd_buffer_interpol, 0);
    EXPECT_EQ(log.texts(spdlog::level::warn).size(), 152u);
}

// Reads one element into a copy of the sample record and returns it.
MCConfiguration mcWith(const std::string& key, const std::string& text) {
    MCConfiguration mc = sampleMcConfig();
    std::uint64_t count = 0;
    LogCapture quiet(spdlog::level::off);
    EXPECT_TRUE(readMc(mc, mcDoc(element(key, text)), count));
    EXPECT_EQ(count, 1u) << key;
    return mc;
}

APPConfiguration appWith(const std::string& key, const std::string& text) {
    APPConfiguration app = sampleAppConfig();
    std::uint64_t count = 0;
    LogCapture quiet(spdlog::level::off);
    EXPECT_TRUE(readApp(app, appDoc(element(key, text)), count));
    EXPECT_EQ(count, 1u) << key;
    return app;
}

TEST(ConfigXml, IntegerTextIsNarrowedToTheField) {
    EXPECT_EQ(appWith("app_pas_conf.magnets", "300").app_pas_conf.magnets, 44);
    EXPECT_EQ(appWith("controller_id", "-1").controller_id, 255);
    EXPECT_EQ(appWith("app_to_use", "300").app_to_use, 300);
    EXPECT_EQ(appWith("app_to_use", "4294967297").app_to_use, 1);
    EXPECT_EQ(appWith("app_balance_conf.hertz", "70000").app_balance_conf.hertz, 4464);
    EXPECT_EQ(appWith("app_balance_conf.hertz", "-1").app_balance_conf.hertz, 65535);
    EXPECT_EQ(mcWith("hall_table__3", "255").hall_table[3], -1);
    EXPECT_EQ(mcWith("hall_table__3", "-1").hall_table[3], -1);
    EXPECT_EQ(mcWith("hall_table__3", "128").hall_table[3], -128);
    EXPECT_EQ(mcWith("foc_hall_table__3", "255").foc_hall_table[3], 255);
    EXPECT_EQ(mcWith("foc_hall_table__3", "-1").foc_hall_table[3], 255);
    EXPECT_EQ(appWith("timeout_msec", "4000000000").timeout_msec, 4000000000u);
    EXPECT_EQ(appWith("timeout_msec", "-1").timeout_msec, 4294967295u);
    EXPECT_EQ(appWith("timeout_msec", "4294967296").timeout_msec, 0u);
    EXPECT_EQ(appWith("imu_conf.sample_rate_hz", "-7").imu_conf.sample_rate_hz, -7);
    EXPECT_EQ(mcWith("si_battery_cells", "-1").si_battery_cells, -1);
    EXPECT_EQ(mcWith("m_fault_stop_time_ms", "-2147483648").m_fault_stop_time_ms,
              std::numeric_limits<std::int32_t>::min());
}

TEST(ConfigXml, IntegerTextSaturatesAtTheParseWidth) {
    const std::int32_t i32max = std::numeric_limits<std::int32_t>::max();
    const std::int32_t i32min = std::numeric_limits<std::int32_t>::min();
    // The 32-bit-parse keys saturate at 32 bits...
    EXPECT_EQ(mcWith("m_fault_stop_time_ms", "99999999999").m_fault_stop_time_ms, i32max);
    EXPECT_EQ(mcWith("m_fault_stop_time_ms", "-99999999999").m_fault_stop_time_ms, i32min);
    EXPECT_EQ(mcWith("gpd_buffer_interpol", "4294967296").gpd_buffer_interpol, i32max);
    EXPECT_EQ(appWith("imu_conf.sample_rate_hz", "2147483648").imu_conf.sample_rate_hz, i32max);
    EXPECT_EQ(mcWith("si_battery_cells", "-2147483649").si_battery_cells, i32min);
    // ...the others at 64 bits before they are cut to the field.
    EXPECT_EQ(appWith("app_to_use", "99999999999999999999").app_to_use, -1); // INT64_MAX low bits
    EXPECT_EQ(appWith("app_to_use", "-99999999999999999999").app_to_use, 0); // INT64_MIN low bits
    EXPECT_EQ(appWith("timeout_msec", "99999999999999999999").timeout_msec, 4294967295u);
    EXPECT_EQ(appWith("controller_id", "99999999999999999999").controller_id, 255);
    EXPECT_EQ(appWith("controller_id", "-99999999999999999999").controller_id, 0);
    EXPECT_EQ(appWith("app_to_use", "9223372036854775807").app_to_use, -1);
    EXPECT_EQ(appWith("app_to_use", "-9223372036854775808").app_to_use, 0);
}

TEST(ConfigXml, IntegerTextStopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(appWith("controller_id", "12abc").controller_id, 12);
    EXPECT_EQ(appWith("controller_id", "1.9").controller_id, 1);
    EXPECT_EQ(appWith("controller_id", " \t\n 42").controller_id, 42);
    EXPECT_EQ(appWith("controller_id", "+7").controller_id, 7);
    EXPECT_EQ(appWith("controller_id", "abc").controller_id, 0);
    EXPECT_EQ(appWith("controller_id", "0x10").controller_id, 0);
    EXPECT_EQ(appWith("controller_id", "- 5").controller_id, 0);
    EXPECT_EQ(appWith("controller_id", "--5").controller_id, 0);
    EXPECT_EQ(appWith("controller_id", "1e3").controller_id, 1);
    EXPECT_EQ(appWith("controller_id", "007").controller_id, 7);
    EXPECT_EQ(mcWith("m_fault_stop_time_ms", "-12 34").m_fault_stop_time_ms, -12);
    EXPECT_EQ(appWith("timeout_msec", "5 seconds").timeout_msec, 5u);
}

TEST(ConfigXml, BooleanTextIsTrueWhenTheNumberIsNotZero) {
    EXPECT_TRUE(appWith("pairing_done", "1").pairing_done);
    EXPECT_TRUE(appWith("pairing_done", "2").pairing_done);
    EXPECT_TRUE(appWith("pairing_done", "-1").pairing_done);
    EXPECT_TRUE(appWith("pairing_done", "4294967296").pairing_done);
    EXPECT_TRUE(appWith("pairing_done", " 1").pairing_done);
    EXPECT_FALSE(appWith("pairing_done", "true").pairing_done);
    EXPECT_FALSE(appWith("pairing_done", "0").pairing_done);
    EXPECT_FALSE(appWith("pairing_done", "0.9").pairing_done);
    EXPECT_FALSE(appWith("app_ppm_conf.tc", "").app_ppm_conf.tc);
}

TEST(ConfigXml, FloatTextIsTheLongestDecimalPrefix) {
    EXPECT_EQ(mcWith("l_current_max", "1e3").l_current_max, 1000.0f);
    EXPECT_EQ(mcWith("l_current_max", "  -2.5xyz").l_current_max, -2.5f);
    EXPECT_EQ(mcWith("l_current_max", "\n\t 7.25\n").l_current_max, 7.25f);
    EXPECT_EQ(mcWith("l_current_max", ".5").l_current_max, 0.5f);
    EXPECT_EQ(mcWith("l_current_max", "1,5").l_current_max, 1.0f);
    EXPECT_EQ(mcWith("l_current_max", "1e").l_current_max, 1.0f);
    EXPECT_EQ(mcWith("l_current_max", "1.5e+").l_current_max, 1.5f);
    EXPECT_EQ(mcWith("l_current_max", "+3.").l_current_max, 3.0f);
    EXPECT_EQ(mcWith("l_current_max", "abc").l_current_max, 0.0f);
    EXPECT_EQ(mcWith("l_current_max", "-").l_current_max, 0.0f);
    EXPECT_EQ(mcWith("l_current_max", "0.1").l_current_max, 0.1f);
    EXPECT_EQ(mcWith("l_current_max", "9.9999997e-06").l_current_max, 1e-5f);
    EXPECT_EQ(mcWith("l_current_max", "1.2345679e+08").l_current_max, 123456792.0f);
    // Only decimal text: no hexadecimal floats, no words for infinity or NaN.
    EXPECT_EQ(mcWith("l_current_max", "0x10").l_current_max, 0.0f);
    EXPECT_EQ(mcWith("l_current_max", "inf").l_current_max, 0.0f);
    EXPECT_EQ(mcWith("l_current_max", "nan").l_current_max, 0.0f);
    EXPECT_EQ(mcWith("l_current_max", "-infinity").l_current_max, 0.0f);
    // Beyond the float range the double rounds to an infinity, without undefined behaviour.
    EXPECT_EQ(mcWith("l_current_max", "1e39").l_current_max, std::numeric_limits<float>::infinity());
    EXPECT_EQ(mcWith("l_current_max", "-1e39").l_current_max, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(mcWith("l_current_max", "1e400").l_current_max, std::numeric_limits<float>::infinity());
    EXPECT_EQ(mcWith("l_current_max", "1e-400").l_current_max, 0.0f);
    EXPECT_EQ(mcWith("bms.t_limit_end", "-3.75").bms.t_limit_end, -3.75f);
}

TEST(ConfigXml, FloatTextRoundsToTheNearestFloatAtTheEndsOfTheRange) {
    const float fmax = std::numeric_limits<float>::max();
    // "%.8g" prints FLT_MAX as 3.4028235e+38, a little above it as a double; the nearest
    // float is still FLT_MAX, so the largest value survives its own document.
    EXPECT_EQ(mcWith("l_current_max", "3.4028235e+38").l_current_max, fmax);
    EXPECT_EQ(mcWith("l_current_max", "-3.4028235e+38").l_current_max, -fmax);
    EXPECT_EQ(mcWith("l_current_max", "3.4028236e+38").l_current_max, std::numeric_limits<float>::infinity());
    EXPECT_EQ(mcWith("l_current_max", "1e-45").l_current_max, std::numeric_limits<float>::denorm_min());

    MCConfiguration big{};
    big.l_current_max = fmax;
    big.l_current_min = -fmax;
    const std::string text = mcConfigToXml(big);
    EXPECT_NE(text.find("<l_current_max>3.4028235e+38</l_current_max>"), std::string::npos);
    MCConfiguration back{};
    std::uint64_t count = 0;
    ASSERT_TRUE(readMc(back, text, count));
    EXPECT_EQ(back.l_current_max, fmax);
    EXPECT_EQ(back.l_current_min, -fmax);
}

// Sets a locale whose decimal separator is a comma for the life of the object, if one is
// installed on this machine.
class CommaLocale {
public:
    CommaLocale() {
        previousC_ = std::setlocale(LC_ALL, nullptr);
#ifdef _WIN32
        // The C runtime's locales by Windows' names; libstdc++ on Windows names no C++ locale
        // but "C", so only the C library's number text can change there.
        for (const char* name : {"de-DE", "German_Germany.1252", "fr-FR", "French_France.1252"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = true;
                return;
            }
        }
        return;
#endif
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8",
                                 "ru_RU.UTF-8", "de_DE", "fr_FR"}) {
            try {
                std::locale locale(name);
                if (std::setlocale(LC_ALL, name) == nullptr) {
                    continue;
                }
                previousCpp_ = std::locale::global(locale);
                active_ = true;
                return;
            } catch (const std::runtime_error&) {
            }
        }
    }
    ~CommaLocale() {
        if (active_) {
#ifndef _WIN32
            std::locale::global(previousCpp_);
#endif
            std::setlocale(LC_ALL, previousC_.c_str());
        }
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool active() const {
        return active_;
    }

private:
    std::string previousC_;
    std::locale previousCpp_;
    bool active_ = false;
};

TEST(ConfigXml, NumberTextDoesNotDependOnTheLocale) {
    CommaLocale locale;
    if (!locale.active()) {
        GTEST_SKIP() << "no locale with a comma decimal separator is installed";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    ASSERT_EQ(std::string(probe), "1,5") << "the locale did not take effect";

    EXPECT_EQ(mcConfigToXml(sampleMcConfig()), documentText("MCConfiguration", sampleMcXml()));
    EXPECT_EQ(appConfigToXml(sampleAppConfig()), documentText("APPConfiguration", sampleAppXml()));
    MCConfiguration mc{};
    std::uint64_t count = 0;
    ASSERT_TRUE(readMc(mc, mcConfigToXml(sampleMcConfig()), count));
    EXPECT_EQ(differingKeys(mc, sampleMcConfig()), std::vector<std::string>{});
    EXPECT_EQ(mcWith("l_current_max", "2.5").l_current_max, 2.5f);
    EXPECT_EQ(mcWith("l_current_max", "2,5").l_current_max, 2.0f);
}

TEST(ConfigXml, SavedFilesAreTheDeclarationAndTheDocument) {
    TempDir dir;
    const std::string appPath = dir.file("config.app.xml");
    const std::string mcPath = dir.file("config.mc.xml");
    writeFileBytes(mcPath, std::string(100000, 'x')); // an older, longer file is replaced whole
    saveAppConfigXml(sampleAppConfig(), appPath);
    saveMcConfigXml(sampleMcConfig(), mcPath);
    EXPECT_EQ(readFileBytes(appPath),
              std::string(kDeclaration) + "\n" + documentText("APPConfiguration", sampleAppXml()));
    EXPECT_EQ(readFileBytes(mcPath),
              std::string(kDeclaration) + "\n" + documentText("MCConfiguration", sampleMcXml()));
    EXPECT_EQ(std::string(kDeclaration).size(), 38u);

    // Nothing but the two files is left in the folder.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2);

    // The files read back through the file readers.
    APPConfiguration app{};
    MCConfiguration mc{};
    std::uint64_t count = 0;
    ASSERT_TRUE(appConfigFromXmlFile(app, appPath, count));
    EXPECT_EQ(count, 149u);
    EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{});
    ASSERT_TRUE(mcConfigFromXmlFile(mc, mcPath, count));
    EXPECT_EQ(count, 157u);
    EXPECT_EQ(differingKeys(mc, sampleMcConfig()), std::vector<std::string>{});
}

TEST(ConfigXml, FileReadersRejectWhatIsNotTheirDocument) {
    TempDir dir;
    const std::string mcPath = dir.file("a.mc.xml");
    saveMcConfigXml(sampleMcConfig(), mcPath);
    const std::string garbage = dir.file("garbage.xml");
    writeFileBytes(garbage, "this is not XML <<<");
    const std::string wrongCase = dir.file("case.xml");
    writeFileBytes(wrongCase, "<appconfiguration><controller_id>1</controller_id></appconfiguration>");
    const std::string crlf = dir.file("crlf.xml");
    writeFileBytes(crlf, std::string(kDeclaration) +
                             "\r\n<APPConfiguration>\r\n    <controller_id>9</controller_id>\r\n"
                             "</APPConfiguration>\r\n");

    LogCapture quiet(spdlog::level::off);
    APPConfiguration app = sampleAppConfig();
    std::uint64_t count = 55;
    for (const std::string& path : {mcPath, garbage, wrongCase, dir.file("missing.xml")}) {
        EXPECT_FALSE(appConfigFromXmlFile(app, path, count)) << path;
        EXPECT_EQ(count, 55u);
        EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{});
    }
    ASSERT_TRUE(appConfigFromXmlFile(app, crlf, count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(app.controller_id, 9);
}

TEST(ConfigXml, FailedSavesThrowNamingThePathAndKeepTheTarget) {
    TempDir dir;
    const std::string inMissingFolder = dir.file("no-such-folder/out.app.xml");
    try {
        saveAppConfigXml(sampleAppConfig(), inMissingFolder);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(inMissingFolder), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));

    // A parent that is a regular file.
    const std::string plainFile = dir.file("plain");
    writeFileBytes(plainFile, "keep me");
    const std::string underFile = plainFile + "/out.mc.xml";
    try {
        saveMcConfigXml(sampleMcConfig(), underFile);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(underFile), std::string::npos) << e.what();
    }
    EXPECT_EQ(readFileBytes(plainFile), "keep me");

    // A target that is an existing folder with content: it survives, and no temporary file
    // is left beside it.
    const std::filesystem::path target = dir.path() / "target.xml";
    std::filesystem::create_directory(target);
    writeFileBytes((target / "inside").string(), "precious");
    EXPECT_THROW(saveMcConfigXml(sampleMcConfig(), target.string()), std::runtime_error);
    EXPECT_THROW(saveAppConfigXml(sampleAppConfig(), target.string()), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(target));
    EXPECT_EQ(readFileBytes((target / "inside").string()), "precious");
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2) << "plain and target.xml only";
}

} // namespace
