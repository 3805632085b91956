#pragma once
// What each key of the two records configures, as the parameter view gathers them. The first
// word of a key's name is a poor guide (it gives groups of one or two keys and a foc_ group
// that mixes sensors, gains and observers), so the keys are placed by a table of rules over
// their names: the limits, the sensors and commutation, the field-oriented control, the
// control loops, the battery and the setup of the motor record, and, for the application
// record, its general keys, its communication and each input application of its own.

#include "core/ops/progress.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

enum class ParameterGroup : std::uint8_t {
    // APPConfiguration
    General,
    Communication,
    PulseInput,
    AnalogInput,
    StickRemote,
    RadioLink,
    SelfBalancing,
    PedalAssist,
    InertialSensor,
    // MCConfiguration
    Limits,
    SensorsAndCommutation,
    FieldOrientedControl,
    ControlLoops,
    BatteryManagement,
    Setup,
};

// One rule: the keys of record that are pattern itself (Exact) or begin with it (Prefix).
struct GroupRule {
    enum class Match : std::uint8_t { Exact, Prefix };
    RecordKind record;
    Match match;
    std::string_view pattern;
    ParameterGroup group;
};

// The rules, both records.
const std::vector<GroupRule>& parameterGroupRules();

// The group of a key of record: the rule that names the key itself, else the rule with the
// longest prefix of it ("l_battery_cut_" before "l_"). Nothing when no rule of the record
// matches.
std::optional<ParameterGroup> parameterGroupOf(RecordKind record, std::string_view key);

// The groups of a record, in the order the view shows them.
const std::vector<ParameterGroup>& parameterGroupsOf(RecordKind record);
RecordKind recordOfGroup(ParameterGroup group);
// The heading of a group: "Limits", "Pulse input (app_ppm_conf)".
std::string_view groupTitle(ParameterGroup group);
