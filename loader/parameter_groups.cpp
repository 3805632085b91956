#include "loader/parameter_groups.h"

namespace {

using Match = GroupRule::Match;
using G = ParameterGroup;

constexpr RecordKind APP = RecordKind::App;
constexpr RecordKind MC = RecordKind::Mc;

const std::vector<GroupRule> RULES = {
    // The application record: who the controller is and how long it waits for its input...
    {APP, Match::Exact, "controller_id", G::General},
    {APP, Match::Prefix, "timeout_", G::General},
    {APP, Match::Exact, "pairing_done", G::General},
    {APP, Match::Exact, "shutdown_mode", G::General},
    {APP, Match::Exact, "app_to_use", G::General},
    // ...how it talks to others...
    {APP, Match::Prefix, "send_can_", G::Communication},
    {APP, Match::Prefix, "can_", G::Communication},
    {APP, Match::Prefix, "uavcan_", G::Communication},
    {APP, Match::Exact, "permanent_uart_enabled", G::Communication},
    {APP, Match::Exact, "app_uart_baudrate", G::Communication},
    // ...and each input application and the inertial sensor, a sub-record each.
    {APP, Match::Prefix, "app_ppm_conf.", G::PulseInput},
    {APP, Match::Prefix, "app_adc_conf.", G::AnalogInput},
    {APP, Match::Prefix, "app_chuk_conf.", G::StickRemote},
    {APP, Match::Prefix, "app_nrf_conf.", G::RadioLink},
    {APP, Match::Prefix, "app_balance_conf.", G::SelfBalancing},
    {APP, Match::Prefix, "app_pas_conf.", G::PedalAssist},
    {APP, Match::Prefix, "imu_conf.", G::InertialSensor},

    // The motor record. Limits of current, voltage, speed, duty, power and temperature, with
    // the limits the controller works under now (lo_)...
    {MC, Match::Prefix, "l_", G::Limits},
    {MC, Match::Prefix, "lo_", G::Limits},
    // ...what the motor is and how its position is known and commutated: the modes, the
    // sensorless (sl_) and hall settings, the encoder and hall table of field-oriented control
    // and the motor's temperature sensor...
    {MC, Match::Exact, "pwm_mode", G::SensorsAndCommutation},
    {MC, Match::Exact, "comm_mode", G::SensorsAndCommutation},
    {MC, Match::Exact, "motor_type", G::SensorsAndCommutation},
    {MC, Match::Exact, "sensor_mode", G::SensorsAndCommutation},
    {MC, Match::Prefix, "sl_", G::SensorsAndCommutation},
    {MC, Match::Prefix, "hall_", G::SensorsAndCommutation},
    {MC, Match::Prefix, "foc_encoder_", G::SensorsAndCommutation},
    {MC, Match::Prefix, "foc_hall_", G::SensorsAndCommutation},
    {MC, Match::Exact, "foc_sensor_mode", G::SensorsAndCommutation},
    {MC, Match::Exact, "m_encoder_counts", G::SensorsAndCommutation},
    {MC, Match::Exact, "m_sensor_port_mode", G::SensorsAndCommutation},
    {MC, Match::Exact, "m_hall_extra_samples", G::SensorsAndCommutation},
    {MC, Match::Exact, "m_motor_temp_sens_type", G::SensorsAndCommutation},
    {MC, Match::Exact, "m_ntc_motor_beta", G::SensorsAndCommutation},
    {MC, Match::Exact, "m_ptc_motor_coeff", G::SensorsAndCommutation},
    // ...the rest of field-oriented control: switching, motor model, observer, open loop,
    // high-frequency injection...
    {MC, Match::Prefix, "foc_", G::FieldOrientedControl},
    // ...the gains of the current, speed (s_pid_) and position (p_pid_) loops, of the current
    // control (cc_) and of the general-purpose drive (gpd_)...
    {MC, Match::Exact, "foc_current_kp", G::ControlLoops},
    {MC, Match::Exact, "foc_current_ki", G::ControlLoops},
    {MC, Match::Prefix, "s_pid_", G::ControlLoops},
    {MC, Match::Prefix, "p_pid_", G::ControlLoops},
    {MC, Match::Prefix, "cc_", G::ControlLoops},
    {MC, Match::Prefix, "gpd_", G::ControlLoops},
    // ...the battery: its cut-off, what it is, and the battery management's limits...
    {MC, Match::Prefix, "l_battery_cut_", G::BatteryManagement},
    {MC, Match::Prefix, "si_battery_", G::BatteryManagement},
    {MC, Match::Prefix, "bms.", G::BatteryManagement},
    // ...and the setup: the drive train, the direction, the switching of the other motor
    // types, the gate driver, the fault and ramp behaviour.
    {MC, Match::Prefix, "si_", G::Setup},
    {MC, Match::Prefix, "m_", G::Setup},
};

const std::vector<ParameterGroup> APP_GROUPS = {G::General,       G::Communication, G::PulseInput,
                                                G::AnalogInput,   G::StickRemote,   G::RadioLink,
                                                G::SelfBalancing, G::PedalAssist,   G::InertialSensor};
const std::vector<ParameterGroup> MC_GROUPS = {
    G::Limits,       G::SensorsAndCommutation, G::FieldOrientedControl,
    G::ControlLoops, G::BatteryManagement,     G::Setup};

} // namespace

const std::vector<GroupRule>& parameterGroupRules() {
    return RULES;
}

std::optional<ParameterGroup> parameterGroupOf(RecordKind record, std::string_view key) {
    const GroupRule* best = nullptr;
    for (const GroupRule& rule : RULES) {
        if (rule.record != record) {
            continue;
        }
        if (rule.match == Match::Exact) {
            if (key == rule.pattern) {
                return rule.group;
            }
        } else if (key.substr(0, rule.pattern.size()) == rule.pattern &&
                   (best == nullptr || rule.pattern.size() > best->pattern.size())) {
            best = &rule;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return best->group;
}

const std::vector<ParameterGroup>& parameterGroupsOf(RecordKind record) {
    static const std::vector<ParameterGroup> none;
    return record == RecordKind::App ? APP_GROUPS : record == RecordKind::Mc ? MC_GROUPS : none;
}

RecordKind recordOfGroup(ParameterGroup group) {
    return group < G::Limits ? RecordKind::App : RecordKind::Mc;
}

std::string_view groupTitle(ParameterGroup group) {
    switch (group) {
    case G::General:
        return "Identity, time-out and input";
    case G::Communication:
        return "CAN bus and UART";
    case G::PulseInput:
        return "Pulse input (app_ppm_conf)";
    case G::AnalogInput:
        return "Analog input (app_adc_conf)";
    case G::StickRemote:
        return "Stick remote (app_chuk_conf)";
    case G::RadioLink:
        return "Radio link (app_nrf_conf)";
    case G::SelfBalancing:
        return "Self-balancing (app_balance_conf)";
    case G::PedalAssist:
        return "Pedal assist (app_pas_conf)";
    case G::InertialSensor:
        return "Inertial sensor (imu_conf)";
    case G::Limits:
        return "Limits";
    case G::SensorsAndCommutation:
        return "Sensors and commutation";
    case G::FieldOrientedControl:
        return "Field-oriented control";
    case G::ControlLoops:
        return "Current, speed and position loops";
    case G::BatteryManagement:
        return "Battery management";
    case G::Setup:
        return "Setup";
    }
    return {};
}
