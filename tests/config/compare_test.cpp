#include "core/config/config_codec.h"
#include "core/config/config_compare.h"
#include "core/config/config_fields.h"
#include "tests/config/config_samples.h"
#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

// Changes one field, found by its key, far beyond the float tolerance or by one bit.
template <class Record, class Table>
void changeField(Record& record, const Table& table, std::string_view key) {
    auto it = std::find_if(table.begin(), table.end(), [&](const auto& f) { return f.key == key; });
    ASSERT_NE(it, table.end()) << key;
    if (it->type == FieldType::Float32) {
        const float value = getFloat(it->in(record));
        setFloat(it->in(record), value + std::max(1.0f, std::fabs(value) * 0.5f));
    } else {
        setInteger(it->in(record), getInteger(it->in(record)) ^ 1);
    }
}

void changeMc(MCConfiguration& record, std::string_view key) {
    changeField(record, mcFields(), key);
}

std::vector<std::string> notSameLines(const LogCapture& log) {
    return log.texts(spdlog::level::err);
}

std::vector<std::string> labelLines(const std::vector<std::string_view>& labels) {
    std::vector<std::string> out;
    for (auto label : labels) {
        out.push_back("Not same " + std::string(label));
    }
    return out;
}

TEST(ConfigCompare, FloatToleranceIsAbsoluteOnSinglePrecision) {
    LogCapture log;
    EXPECT_TRUE(floatEquals(0.0f, 0.01f));
    EXPECT_FALSE(floatEquals(0.0f, 0.0100000007f)); // the next float above 0.01f
    EXPECT_TRUE(floatEquals(1.0f, 1.01f));
    EXPECT_FALSE(floatEquals(1.0f, 1.011f));
    EXPECT_FALSE(floatEquals(10.0f, 10.01f)); // difference 0.0100002 in single precision
    EXPECT_TRUE(floatEquals(1000.0f, 1000.005f));
    EXPECT_TRUE(floatEquals(-5.0f, -5.005f));
    EXPECT_FALSE(floatEquals(1e6f, 1e6f + 0.0625f));
    EXPECT_TRUE(floatEquals(-0.0f, 0.0f));
    // Both orders give the same verdict.
    EXPECT_TRUE(floatEquals(0.01f, 0.0f));
    EXPECT_FALSE(floatEquals(1.011f, 1.0f));
    EXPECT_FALSE(floatEquals(10.01f, 10.0f));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(floatEquals(nan, nan));
    EXPECT_FALSE(floatEquals(nan, 1.0f));
    EXPECT_FALSE(floatEquals(0.0f, nan));
    EXPECT_FALSE(floatEquals(inf, inf));
    EXPECT_FALSE(floatEquals(inf, -inf));
    EXPECT_FALSE(floatEquals(1.0f, inf));

    log.clear();
    floatEquals(1.0f, 1.01f);
    floatEquals(60.0f, -2.5f);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0].level, spdlog::level::trace);
    EXPECT_EQ(log.lines()[0].text, "float 1 == 1.01 ?");
    EXPECT_EQ(log.lines()[1].text, "float 60 == -2.5 ?");
}

TEST(ConfigCompare, EqualMotorRecordsTraceEveryFloatAndReportNothing) {
    const MCConfiguration a = sampleMcConfig();
    MCConfiguration b = a;
    b.l_current_max = 60.005f;
    b.bms.soc_limit_end -= 0.005f;
    LogCapture log;
    EXPECT_TRUE(mcConfigEquals(a, b));
    EXPECT_TRUE(mcConfigEquals(b, a));
    const auto traces = log.texts(spdlog::level::trace);
    EXPECT_EQ(traces.size(), 2u * 111u);
    EXPECT_EQ(traces.front(), "float 60 == 60.005 ?");
    EXPECT_TRUE(notSameLines(log).empty());
    EXPECT_EQ(log.lines().size(), traces.size());
}

TEST(ConfigCompare, TracesStopAtTheFirstDifference) {
    MCConfiguration a{};
    MCConfiguration b{};
    b.l_min_erpm = 5.0f;
    b.l_max_erpm = 6.0f;
    LogCapture log;
    EXPECT_FALSE(mcConfigEquals(a, b));
    // l_current_max, l_in_current_max, l_current_min, l_abs_current_max, l_in_current_min,
    // then l_max_erpm, which comes before l_min_erpm.
    const std::vector<std::string> expected = {"float 0 == 0 ?", "float 0 == 0 ?", "float 0 == 0 ?",
                                               "float 0 == 0 ?", "float 0 == 0 ?", "float 0 == 6 ?"};
    EXPECT_EQ(log.texts(spdlog::level::trace), expected);
    EXPECT_EQ(notSameLines(log), std::vector<std::string>{"Not same l_max_erpm"});
    EXPECT_EQ(log.lines().back().level, spdlog::level::err);
}

TEST(ConfigCompare, EveryMotorFieldIsComparedAndLabelled) {
    const MCConfiguration a = sampleMcConfig();
    for (const auto& step : mcCompareSteps()) {
        for (auto key : step.keys) {
            MCConfiguration b = a;
            changeMc(b, key);
            LogCapture log;
            EXPECT_FALSE(mcConfigEquals(a, b)) << key;
            std::vector<std::string> expected;
            if (step.labels.front() == "bms") {
                // The nested record names its own member first, then the motor comparison names it.
                expected = {"Not same " + std::string(key.substr(4)), "Not same bms"};
            } else {
                expected = labelLines(step.labels);
            }
            EXPECT_EQ(notSameLines(log), expected) << key;
        }
    }
}

TEST(ConfigCompare, MotorDifferencesAreNamedInTheFixedOrder) {
    // Changing every field from step i onwards must name step i: the steps come in this order.
    const auto& steps = mcCompareSteps();
    const MCConfiguration a = sampleMcConfig();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        MCConfiguration b = a;
        for (std::size_t j = i; j < steps.size(); ++j) {
            for (auto key : steps[j].keys) {
                changeMc(b, key);
            }
        }
        LogCapture log;
        EXPECT_FALSE(mcConfigEquals(a, b));
        std::vector<std::string> expected = labelLines(steps[i].labels);
        if (steps[i].labels.front() == "bms") {
            expected = {"Not same type", "Not same bms"};
        }
        EXPECT_EQ(notSameLines(log), expected) << "step " << i;
    }
    EXPECT_EQ(steps.size(), 153u);
}

TEST(ConfigCompare, NamedMotorCases) {
    LogCapture log;
    MCConfiguration a{};
    MCConfiguration b{};
    b.hall_table[3] = -1;
    b.foc_hall_table[3] = 1;
    EXPECT_FALSE(mcConfigEquals(a, b));
    EXPECT_EQ(notSameLines(log), std::vector<std::string>{"Not same hall_table[3]"});

    log.clear();
    b = MCConfiguration{};
    b.bms.t_limit_end = 50.0f;
    EXPECT_FALSE(mcConfigEquals(a, b));
    EXPECT_EQ(notSameLines(log), (std::vector<std::string>{"Not same t_limit_end", "Not same bms"}));

    // A NaN is unequal even to itself.
    log.clear();
    b = MCConfiguration{};
    b.si_battery_ah = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(mcConfigEquals(b, b));
    EXPECT_EQ(notSameLines(log), std::vector<std::string>{"Not same si_battery_ah"});

    // The lo_ fields do not travel, so a record read back never matches a non-zero one.
    log.clear();
    MCConfiguration sent = sampleMcConfig();
    std::uint8_t payload[MC_CONFIG_PAYLOAD_SIZE];
    mcConfigToBytes(payload, sent);
    MCConfiguration readBack{};
    ASSERT_TRUE(mcConfigFromBytes(payload, readBack));
    EXPECT_FALSE(mcConfigEquals(sent, readBack));
    EXPECT_EQ(notSameLines(log), std::vector<std::string>{"Not same lo_current_min"});
    sent.lo_current_max = sent.lo_current_min = sent.lo_in_current_max = sent.lo_in_current_min = 0.0f;
    sent.lo_current_motor_max_now = sent.lo_current_motor_min_now = 0.0f;
    log.clear();
    EXPECT_TRUE(mcConfigEquals(sent, readBack));
    EXPECT_TRUE(notSameLines(log).empty());
}

TEST(ConfigCompare, ApplicationComparisonIsSilent) {
    const APPConfiguration a = sampleAppConfig();
    LogCapture log;
    EXPECT_TRUE(appConfigEquals(a, a));
    APPConfiguration near = a;
    near.timeout_brake_current += 0.005f;
    near.imu_conf.gyro_offset_comp_clamp -= 0.005f;
    EXPECT_TRUE(appConfigEquals(a, near));
    EXPECT_TRUE(appConfigEquals(near, a));

    // Every single field, changed alone, makes the records unequal.
    for (const auto& field : appFields()) {
        APPConfiguration b = a;
        changeField(b, appFields(), field.key);
        EXPECT_FALSE(appConfigEquals(a, b)) << field.key;
        EXPECT_FALSE(appConfigEquals(b, a)) << field.key;
    }
    APPConfiguration withNan = a;
    withNan.app_balance_conf.kd = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(appConfigEquals(withNan, withNan));
    APPConfiguration one = a;
    one.app_ppm_conf.hyst = 1.0f;
    APPConfiguration tenth = one;
    tenth.app_ppm_conf.hyst = 1.011f;
    EXPECT_FALSE(appConfigEquals(one, tenth));
    tenth.app_ppm_conf.hyst = 1.01f;
    EXPECT_TRUE(appConfigEquals(one, tenth));
    EXPECT_TRUE(log.lines().empty());
}

} // namespace
