#include "core/config/config_diff.h"
#include "core/config/config_fields.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

std::vector<std::string> keysOf(const std::vector<FieldDifference>& differences) {
    std::vector<std::string> keys;
    for (const auto& d : differences) {
        keys.emplace_back(d.key);
    }
    return keys;
}

TEST(ConfigDiff, EqualRecordsHaveNoDifferences) {
    EXPECT_TRUE(diffAppConfig(APPConfiguration{}, APPConfiguration{}).empty());
    EXPECT_TRUE(diffMcConfig(MCConfiguration{}, MCConfiguration{}).empty());
}

TEST(ConfigDiff, FloatsFollowTheVerificationTolerance) {
    MCConfiguration a{};
    MCConfiguration b{};
    a.l_current_max = 1.0f;
    b.l_current_max = 1.01f; // equal
    a.l_min_vin = 1.0f;
    b.l_min_vin = 1.011f; // differs
    a.l_max_vin = 10.0f;
    b.l_max_vin = 10.01f; // single-precision difference just above 0.01
    a.l_watt_max = 1000.0f;
    b.l_watt_max = 1000.005f; // equal
    a.l_watt_min = std::numeric_limits<float>::quiet_NaN();
    b.l_watt_min = std::numeric_limits<float>::quiet_NaN(); // NaN never equals
    const auto differences = diffMcConfig(a, b);
    EXPECT_EQ(keysOf(differences), (std::vector<std::string>{"l_min_vin", "l_max_vin", "l_watt_min"}));
    EXPECT_EQ(differences[0].left, "1");
    EXPECT_EQ(differences[0].right, "1.011");
    EXPECT_EQ(differences[2].left, "nan");
}

TEST(ConfigDiff, MotorDifferencesComeInDocumentOrderWithTheirXmlText) {
    MCConfiguration a{};
    MCConfiguration b{};
    // Set in an order unlike the document's; the comparison order would name l_max_erpm
    // before hall_table, the record order hall_table before foc_hall_table.
    b.bms.t_limit_end = 0.5f;
    b.foc_hall_table[3] = 255;
    b.hall_table[3] = -1;
    b.lo_current_min = 2.0f;
    b.l_min_erpm = -100000.0f;
    b.l_max_erpm = 123456789.0f;
    b.l_slow_abs_current = true;
    b.m_encoder_counts = 4000000000u;
    const auto differences = diffMcConfig(a, b);
    EXPECT_EQ(keysOf(differences),
              (std::vector<std::string>{"l_max_erpm", "l_min_erpm", "l_slow_abs_current", "lo_current_min",
                                        "m_encoder_counts", "foc_hall_table__3", "hall_table__3",
                                        "bms.t_limit_end"}));
    std::vector<std::string> right;
    for (const auto& d : differences) {
        EXPECT_EQ(d.record, "MCConfiguration");
        EXPECT_EQ(d.left, "0") << d.key;
        right.push_back(d.right);
    }
    EXPECT_EQ(right, (std::vector<std::string>{"1.2345679e+08", "-100000", "1", "2", "4000000000", "255",
                                               "-1", "0.5"}));
}

TEST(ConfigDiff, ApplicationDifferencesNameTheirRecord) {
    APPConfiguration a{};
    APPConfiguration b{};
    a.controller_id = 3;
    b.controller_id = 7;
    b.timeout_msec = 4000000000u;
    b.imu_conf.gyro_offset_comp_fact[2] = 0.1f;
    const auto differences = diffAppConfig(a, b);
    ASSERT_EQ(differences.size(), 3u);
    EXPECT_EQ(differences[0].record, "APPConfiguration");
    EXPECT_EQ(differences[0].key, "controller_id");
    EXPECT_EQ(differences[0].left, "3");
    EXPECT_EQ(differences[0].right, "7");
    EXPECT_EQ(differences[1].key, "timeout_msec");
    EXPECT_EQ(differences[1].right, "4000000000");
    EXPECT_EQ(differences[2].key, "imu_conf.gyro_offset_comp_fact__2");
    EXPECT_EQ(differences[2].right, "0.1");
}

// Every field changed: every key is reported once, in the document's order.
template <class Record, class Order>
void expectEveryFieldReported(const Order& order,
                              std::vector<FieldDifference> (*diff)(const Record&, const Record&)) {
    Record a{};
    Record b{};
    for (const auto* field : order) {
        if (isFloat(field->type)) {
            setFloat(field->in(b), 5.0f);
        } else {
            setInteger(field->in(b), 1);
        }
    }
    std::vector<std::string> expected;
    for (const auto* field : order) {
        expected.emplace_back(field->key);
    }
    EXPECT_EQ(keysOf(diff(a, b)), expected);
}

TEST(ConfigDiff, EveryFieldIsComparedOnce) {
    expectEveryFieldReported<APPConfiguration>(appXmlOrder(), diffAppConfig);
    expectEveryFieldReported<MCConfiguration>(mcXmlOrder(), diffMcConfig);
}

} // namespace
