// The rows of the parameter view and the values a user may type: every key once, in the group
// of what it configures, in document order within it; values that the field or its wire
// encoding cannot carry are refused; the lines that report an apply.

#include "loader/panel_texts.h"
#include "loader/parameter_table.h"

#include "core/config/config_fields.h"
#include "core/config/config_xml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

const ParameterEntry& entry(std::string_view key) {
    const auto& entries = parameterEntries();
    const auto it =
        std::find_if(entries.begin(), entries.end(), [&](const ParameterEntry& e) { return e.key == key; });
    if (it == entries.end()) {
        throw std::logic_error("no entry " + std::string(key));
    }
    return *it;
}

std::vector<std::string> keysOf(ParameterGroup group) {
    std::vector<std::string> keys;
    for (const ParameterEntry& e : parameterEntries()) {
        if (e.group == group) {
            keys.emplace_back(e.key);
        }
    }
    return keys;
}

} // namespace

TEST(ParameterEntries, EveryKeyOfBothRecordsOnceApplicationFirst) {
    const auto& entries = parameterEntries();
    ASSERT_EQ(entries.size(), 149u + 157u);
    std::set<std::pair<RecordKind, std::string_view>> seen;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].record, i < 149 ? RecordKind::App : RecordKind::Mc) << i;
        EXPECT_TRUE(seen.insert({entries[i].record, entries[i].key}).second) << entries[i].key;
    }
    for (const auto* field : appXmlOrder()) {
        EXPECT_TRUE(seen.count({RecordKind::App, field->key})) << field->key;
    }
    for (const auto* field : mcXmlOrder()) {
        EXPECT_TRUE(seen.count({RecordKind::Mc, field->key})) << field->key;
    }
}

TEST(ParameterGroups, EveryKeyIsPlacedInAGroupOfItsRecordAndNoGroupTakesMost) {
    std::map<ParameterGroup, std::size_t> sizes;
    const auto place = [&sizes](RecordKind record, std::string_view key) {
        const auto group = parameterGroupOf(record, key);
        ASSERT_TRUE(group.has_value()) << key;
        EXPECT_EQ(recordOfGroup(*group), record) << key;
        const auto& groups = parameterGroupsOf(record);
        EXPECT_NE(std::find(groups.begin(), groups.end(), *group), groups.end()) << key;
        ++sizes[*group];
    };
    for (const AppField& field : appFields()) {
        place(RecordKind::App, field.key);
    }
    for (const McField& field : mcFields()) {
        place(RecordKind::Mc, field.key);
    }
    // Every group is used, none is a handful of keys, none a catch-all.
    for (const RecordKind record : {RecordKind::App, RecordKind::Mc}) {
        const std::size_t total = record == RecordKind::App ? appFields().size() : mcFields().size();
        std::size_t placed = 0;
        for (const ParameterGroup group : parameterGroupsOf(record)) {
            const std::size_t size = sizes[group];
            placed += size;
            EXPECT_GE(size, 5u) << groupTitle(group);
            EXPECT_LT(size * 3, total) << groupTitle(group) << " holds " << size << " of " << total;
            EXPECT_FALSE(groupTitle(group).empty());
        }
        EXPECT_EQ(placed, total);
    }
    EXPECT_EQ(sizes.size(),
              parameterGroupsOf(RecordKind::App).size() + parameterGroupsOf(RecordKind::Mc).size());
    // A key of the other record, or a name no rule knows, has no group.
    EXPECT_FALSE(parameterGroupOf(RecordKind::Mc, "app_ppm_conf.hyst").has_value());
    EXPECT_FALSE(parameterGroupOf(RecordKind::App, "l_current_max").has_value());
    EXPECT_FALSE(parameterGroupOf(RecordKind::Mc, "no_such_key").has_value());
    EXPECT_FALSE(parameterGroupOf(RecordKind::None, "l_current_max").has_value());
}

TEST(ParameterGroups, EveryRuleIsNeededAndTheLongestMatchWins) {
    // A rule that places no key of its record, or is shadowed by others for all of them, is
    // a rule that has drifted from the records.
    std::set<std::pair<RecordKind, std::string_view>> seen;
    for (const GroupRule& rule : parameterGroupRules()) {
        EXPECT_TRUE(seen.insert({rule.record, rule.pattern}).second) << rule.pattern;
        bool decides = false;
        const auto check = [&](std::string_view key) {
            const bool matches = rule.match == GroupRule::Match::Exact
                                     ? key == rule.pattern
                                     : key.substr(0, rule.pattern.size()) == rule.pattern;
            decides = decides || (matches && parameterGroupOf(rule.record, key) == rule.group);
        };
        if (rule.record == RecordKind::App) {
            for (const AppField& field : appFields()) {
                check(field.key);
            }
        } else {
            for (const McField& field : mcFields()) {
                check(field.key);
            }
        }
        EXPECT_TRUE(decides) << rule.pattern;
    }
    struct Case {
        RecordKind record;
        const char* key;
        ParameterGroup group;
    };
    const Case cases[] = {
        {RecordKind::Mc, "l_current_max", ParameterGroup::Limits},
        {RecordKind::Mc, "lo_current_motor_min_now", ParameterGroup::Limits},
        {RecordKind::Mc, "l_battery_cut_start", ParameterGroup::BatteryManagement},
        {RecordKind::Mc, "si_battery_ah", ParameterGroup::BatteryManagement},
        {RecordKind::Mc, "bms.soc_limit_end", ParameterGroup::BatteryManagement},
        {RecordKind::Mc, "si_motor_poles", ParameterGroup::Setup},
        {RecordKind::Mc, "m_invert_direction", ParameterGroup::Setup},
        {RecordKind::Mc, "m_encoder_counts", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "foc_encoder_sincos_filter_constant", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "foc_hall_table__7", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "hall_table__0", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "sl_bemf_coupling_k", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "motor_type", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "foc_sensor_mode", ParameterGroup::SensorsAndCommutation},
        {RecordKind::Mc, "foc_motor_flux_linkage", ParameterGroup::FieldOrientedControl},
        {RecordKind::Mc, "foc_duty_dowmramp_kp", ParameterGroup::FieldOrientedControl},
        {RecordKind::Mc, "foc_hfi_samples", ParameterGroup::FieldOrientedControl},
        {RecordKind::Mc, "foc_current_kp", ParameterGroup::ControlLoops},
        {RecordKind::Mc, "s_pid_ramp_erpms_s", ParameterGroup::ControlLoops},
        {RecordKind::Mc, "p_pid_ang_div", ParameterGroup::ControlLoops},
        {RecordKind::Mc, "cc_gain", ParameterGroup::ControlLoops},
        {RecordKind::Mc, "gpd_current_ki", ParameterGroup::ControlLoops},
        {RecordKind::App, "controller_id", ParameterGroup::General},
        {RecordKind::App, "app_to_use", ParameterGroup::General},
        {RecordKind::App, "timeout_brake_current", ParameterGroup::General},
        {RecordKind::App, "send_can_status_rate_hz", ParameterGroup::Communication},
        {RecordKind::App, "app_uart_baudrate", ParameterGroup::Communication},
        {RecordKind::App, "app_ppm_conf.ctrl_type", ParameterGroup::PulseInput},
        {RecordKind::App, "app_adc_conf.update_rate_hz", ParameterGroup::AnalogInput},
        {RecordKind::App, "app_chuk_conf.hyst", ParameterGroup::StickRemote},
        {RecordKind::App, "app_nrf_conf.address__2", ParameterGroup::RadioLink},
        {RecordKind::App, "app_balance_conf.kd_pt1_frequency", ParameterGroup::SelfBalancing},
        {RecordKind::App, "app_pas_conf.magnets", ParameterGroup::PedalAssist},
        {RecordKind::App, "imu_conf.gyro_offset_comp_fact__1", ParameterGroup::InertialSensor},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parameterGroupOf(c.record, c.key), c.group) << c.key;
    }
}

TEST(ParameterEntries, GroupsHoldTheirKeysTogetherInDocumentOrder) {
    // Each record's groups in their order, each group once, its keys in document order.
    std::vector<ParameterGroup> groups;
    for (const ParameterEntry& e : parameterEntries()) {
        EXPECT_EQ(parameterGroupOf(e.record, e.key), e.group) << e.key;
        if (groups.empty() || groups.back() != e.group) {
            groups.push_back(e.group);
        }
    }
    std::vector<ParameterGroup> expected = parameterGroupsOf(RecordKind::App);
    const auto& mcGroups = parameterGroupsOf(RecordKind::Mc);
    expected.insert(expected.end(), mcGroups.begin(), mcGroups.end());
    EXPECT_EQ(groups, expected);
    const auto documentPlace = [](std::string_view key) {
        for (std::size_t i = 0; i < appXmlOrder().size(); ++i) {
            if (appXmlOrder()[i]->key == key) {
                return i;
            }
        }
        for (std::size_t i = 0; i < mcXmlOrder().size(); ++i) {
            if (mcXmlOrder()[i]->key == key) {
                return 1000 + i;
            }
        }
        return std::size_t{0};
    };
    for (const ParameterGroup group : expected) {
        const auto keys = keysOf(group);
        for (std::size_t i = 1; i < keys.size(); ++i) {
            EXPECT_LT(documentPlace(keys[i - 1]), documentPlace(keys[i])) << keys[i];
        }
    }
    // A sub-record is a group of its own, its array elements included.
    const auto nrf = keysOf(ParameterGroup::RadioLink);
    EXPECT_EQ(nrf.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(nrf.end() - 3, nrf.end()),
              (std::vector<std::string>{"app_nrf_conf.address__0", "app_nrf_conf.address__1",
                                        "app_nrf_conf.address__2"}));
    EXPECT_EQ(keysOf(ParameterGroup::BatteryManagement),
              (std::vector<std::string>{"l_battery_cut_start", "l_battery_cut_end", "si_battery_cells",
                                        "si_battery_type", "si_battery_ah", "bms.type", "bms.t_limit_start",
                                        "bms.t_limit_end", "bms.soc_limit_start", "bms.soc_limit_end"}));
    EXPECT_EQ(keysOf(ParameterGroup::General),
              (std::vector<std::string>{"controller_id", "timeout_brake_current", "timeout_msec",
                                        "pairing_done", "shutdown_mode", "app_to_use"}));
}

TEST(ParameterEntries, OnlyTheSixLoKeysAreNotStored) {
    std::vector<std::string> notStored;
    for (const ParameterEntry& e : parameterEntries()) {
        if (!e.stored) {
            notStored.emplace_back(e.key);
        }
    }
    EXPECT_EQ(notStored, (std::vector<std::string>{"lo_current_min", "lo_current_max", "lo_in_current_min",
                                                   "lo_in_current_max", "lo_current_motor_min_now",
                                                   "lo_current_motor_max_now"}));
    EXPECT_FALSE(valueFits(entry("lo_current_max"), "0"));
}

TEST(ValueFits, IntegersWithinTheFieldAndItsWireEncoding) {
    struct Case {
        const char* key;
        const char* text;
        bool fits;
    };
    const Case cases[] = {
        // uint8 field, one byte on the wire
        {"si_motor_poles", "0", true},
        {"si_motor_poles", "255", true},
        {"si_motor_poles", "256", false},
        {"si_motor_poles", "-1", false},
        // an enumeration travels as one byte
        {"motor_type", "255", true},
        {"motor_type", "256", false},
        {"motor_type", "-1", false},
        // int8 field sent as a byte: the sign survives
        {"hall_table__3", "-1", true},
        {"hall_table__3", "-128", true},
        {"hall_table__3", "127", true},
        {"hall_table__3", "128", false},
        {"hall_table__3", "-129", false},
        // int32 fields sent as int16 and as one byte
        {"gpd_buffer_notify_left", "-32768", true},
        {"gpd_buffer_notify_left", "32767", true},
        {"gpd_buffer_notify_left", "32768", false},
        {"si_battery_cells", "255", true},
        {"si_battery_cells", "300", false},
        // uint32 whole and uint32 sent as uint16
        {"m_encoder_counts", "4294967295", true},
        {"m_encoder_counts", "4294967296", false},
        {"app_adc_conf.update_rate_hz", "65535", true},
        {"app_adc_conf.update_rate_hz", "65536", false},
        // a one-byte field that travels in two bytes keeps the field's range
        {"app_pas_conf.magnets", "255", true},
        {"app_pas_conf.magnets", "256", false},
        {"m_fault_stop_time_ms", "-2147483648", true},
        {"m_fault_stop_time_ms", "2147483648", false},
        // whole numbers only, in full; white space around them is allowed
        {"si_motor_poles", " 14 ", true},
        {"si_motor_poles", "+14", true},
        {"si_motor_poles", "14.0", false},
        {"si_motor_poles", "14abc", false},
        {"si_motor_poles", "", false},
        {"si_motor_poles", "+", false},
        {"si_motor_poles", "99999999999999999999", false},
        // booleans take 0 or 1
        {"m_invert_direction", "1", true},
        {"m_invert_direction", "0", true},
        {"m_invert_direction", "2", false},
        {"m_invert_direction", "true", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(valueFits(entry(c.key), c.text), c.fits) << c.key << " = \"" << c.text << "\"";
    }
}

TEST(ValueFits, DecimalsThatComeBackFromTheWireWithin001) {
    struct Case {
        const char* key;
        const char* text;
        bool fits;
    };
    const Case cases[] = {
        {"l_current_max", "42.5", true},
        {"l_current_max", "-1.5e3", true},
        {"l_current_max", ".5", true},
        {"l_current_max", "5.", true},
        {"l_current_max", "3.4e38", true},
        {"l_current_max", "1e39", false},
        {"l_current_max", "inf", false},
        {"l_current_max", "nan", false},
        {"l_current_max", "0x10", false},
        {"l_current_max", "1e", false},
        {"l_current_max", "1,5", false},
        {"l_current_max", "-", false},
        {"l_current_max", "", false},
        // float16 x100: value x 100 must fit 16 bits signed
        {"foc_sl_openloop_time", "327.67", true},
        {"foc_sl_openloop_time", "-327.68", true},
        {"foc_sl_openloop_time", "327.68", false},
        {"foc_sl_openloop_time", "-327.7", false},
        // float16 x10 carries one decimal: 0.15 would come back as 0.1
        {"app_pas_conf.pedal_rpm_start", "0.1", true},
        {"app_pas_conf.pedal_rpm_start", "0.15", false},
        {"app_pas_conf.pedal_rpm_start", "3276.7", true},
        {"app_pas_conf.pedal_rpm_start", "3276.8", false},
        // float16 x1000: within 0.01 after truncation
        {"foc_sat_comp", "0.0125", true},
        {"foc_sat_comp", "32.767", true},
        {"foc_sat_comp", "32.768", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(valueFits(entry(c.key), c.text), c.fits) << c.key << " = \"" << c.text << "\"";
    }
}

TEST(AllowedText, TheCheckersPhraseAndTheStepOfACoarseFloat16) {
    EXPECT_EQ(allowedText(entry("si_motor_poles")), "a whole number from 0 to 255");
    EXPECT_EQ(allowedText(entry("app_pas_conf.pedal_rpm_start")),
              "a decimal number from -3276.8 to 3276.7, in steps of 0.1");
    // Hundredths come back within the verification's 0.01: no step is named.
    EXPECT_EQ(allowedText(entry("foc_sl_openloop_time")), "a decimal number from -327.68 to 327.67");
    EXPECT_EQ(allowedText(entry("lo_current_max")), "nothing: the controller does not keep this value");
}

TEST(SetEntryText, StoresWhatFitsAndLeavesTheRecordAloneOtherwise) {
    LpfpConfiguration pair{};
    EXPECT_TRUE(setEntryText(entry("hall_table__3"), pair, "-1"));
    EXPECT_EQ(pair.mc.hall_table[3], -1);
    EXPECT_EQ(entryText(entry("hall_table__3"), pair), "-1");
    EXPECT_TRUE(setEntryText(entry("app_ppm_conf.hyst"), pair, " 0.25"));
    EXPECT_EQ(pair.app.app_ppm_conf.hyst, 0.25f);
    EXPECT_TRUE(setEntryText(entry("m_encoder_counts"), pair, "4000000000"));
    EXPECT_EQ(entryText(entry("m_encoder_counts"), pair), "4000000000");

    const LpfpConfiguration before = pair;
    EXPECT_FALSE(setEntryText(entry("si_motor_poles"), pair, "300"));
    EXPECT_FALSE(setEntryText(entry("lo_current_max"), pair, "5"));
    EXPECT_TRUE(changedKeys(before, pair).empty());
}

TEST(KeyComparisons, TheVerificationRuleAndTheExactText) {
    LpfpConfiguration a{};
    LpfpConfiguration b{};
    b.mc.l_current_max = 0.005f; // equal within 0.01
    b.mc.l_min_erpm = 0.02f;     // not
    b.app.controller_id = 3;     // integers are exact
    const KeySet differing = differingKeys(a, b);
    EXPECT_EQ(differing, (KeySet{{RecordKind::App, "controller_id"}, {RecordKind::Mc, "l_min_erpm"}}));
    const KeySet changed = changedKeys(a, b);
    EXPECT_EQ(changed, (KeySet{{RecordKind::App, "controller_id"},
                               {RecordKind::Mc, "l_current_max"},
                               {RecordKind::Mc, "l_min_erpm"}}));
}

TEST(CopyEntry, MovesOneValueOnly) {
    LpfpConfiguration from{};
    from.mc.l_current_max = 12.5f;
    from.mc.si_motor_poles = 14;
    LpfpConfiguration to{};
    copyEntry(entry("l_current_max"), from, to);
    EXPECT_EQ(to.mc.l_current_max, 12.5f);
    EXPECT_EQ(to.mc.si_motor_poles, 0);
}

// The parameter view tells a result in the desktop's words: the backup first, then each record
// that failed and why, then what ended the apply when no record's line tells it.
namespace {

std::vector<std::string> describedLines(const ApplyResult& result) {
    std::vector<std::string> lines;
    for (const QString& line : resultLineTexts(describeApply(result), true, 10)) {
        lines.push_back(line.toStdString());
    }
    return lines;
}

} // namespace

TEST(DescribeApplyResult, NamesTheBackupAndWhyEachRecordFailed) {
    ApplyResult result;
    result.backup = std::filesystem::path("/data/varko5/backups/VK5-20240101-120000.lpfp");
    result.app.requested = true;
    result.app.sent = true; // refused
    result.mc.requested = true;
    result.mc.sent = true;
    result.mc.answer = SetReply{SetAnswer::Accepted, {}};
    for (int i = 0; i < 12; ++i) {
        result.mc.differences.push_back(
            {"MCConfiguration", "l_current_max", std::to_string(i), std::to_string(i + 1)});
    }
    const std::vector<std::string> lines = describedLines(result);
    ASSERT_EQ(lines.size(), 1u + 1u + 1u + 10u + 1u);
    EXPECT_EQ(lines[0], "Backup saved to: /data/varko5/backups/VK5-20240101-120000.lpfp");
    EXPECT_EQ(lines[1], "APP Configuration: refused by the controller, nothing was stored");
    EXPECT_EQ(lines[2], "MC Configuration: the read-back copy differs in 12 fields:");
    EXPECT_EQ(lines[3], "  l_current_max: sent 0, read back 1");
    EXPECT_EQ(lines[13], "  and 2 more");

    // The time-out is told once, on the line of the record whose exchange it ended.
    ApplyResult silent;
    silent.error = "ARM timed out. It may not be powered.";
    silent.mc.requested = true;
    silent.mc.sent = true;
    silent.mc.error = "ARM timed out. It may not be powered.";
    EXPECT_EQ(describedLines(silent),
              (std::vector<std::string>{"MC Configuration: ARM timed out. It may not be powered."}));

    ApplyResult verified;
    verified.mc.requested = true;
    verified.mc.sent = verified.mc.verified = true;
    verified.mc.answer = SetReply{SetAnswer::Accepted, {}};
    EXPECT_TRUE(describedLines(verified).empty());
}
