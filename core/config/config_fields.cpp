#include "core/config/config_fields.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// FIELD(record, key, member, type, wire encoding, scale)
#define FIELD(Rec, key, member, type, wire, scale)                                                           \
    FieldDescriptor<Rec> {                                                                                   \
        key, FieldType::type, WireEncoding::wire, scale, [](Rec& r) -> FieldRef { return &r.member; }        \
    }

const std::vector<McField> kMcFields = {
    FIELD(MCConfiguration, "l_current_max", l_current_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_current_min", l_current_min, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_in_current_max", l_in_current_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_in_current_min", l_in_current_min, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_abs_current_max", l_abs_current_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_min_erpm", l_min_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_max_erpm", l_max_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_erpm_start", l_erpm_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_max_erpm_fbrake", l_max_erpm_fbrake, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_max_erpm_fbrake_cc", l_max_erpm_fbrake_cc, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_min_vin", l_min_vin, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_max_vin", l_max_vin, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_battery_cut_start", l_battery_cut_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_battery_cut_end", l_battery_cut_end, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_slow_abs_current", l_slow_abs_current, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "l_temp_fet_start", l_temp_fet_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_temp_fet_end", l_temp_fet_end, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_temp_motor_start", l_temp_motor_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_temp_motor_end", l_temp_motor_end, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_temp_accel_dec", l_temp_accel_dec, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_min_duty", l_min_duty, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_max_duty", l_max_duty, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_watt_max", l_watt_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_watt_min", l_watt_min, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_current_max_scale", l_current_max_scale, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_current_min_scale", l_current_min_scale, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "l_duty_start", l_duty_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "lo_current_max", lo_current_max, Float32, None, 0.0f),
    FIELD(MCConfiguration, "lo_current_min", lo_current_min, Float32, None, 0.0f),
    FIELD(MCConfiguration, "lo_in_current_max", lo_in_current_max, Float32, None, 0.0f),
    FIELD(MCConfiguration, "lo_in_current_min", lo_in_current_min, Float32, None, 0.0f),
    FIELD(MCConfiguration, "lo_current_motor_max_now", lo_current_motor_max_now, Float32, None, 0.0f),
    FIELD(MCConfiguration, "lo_current_motor_min_now", lo_current_motor_min_now, Float32, None, 0.0f),
    FIELD(MCConfiguration, "pwm_mode", pwm_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "comm_mode", comm_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "motor_type", motor_type, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "sensor_mode", sensor_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "sl_min_erpm", sl_min_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "sl_min_erpm_cycle_int_limit", sl_min_erpm_cycle_int_limit, Float32, Float32Packed,
          0.0f),
    FIELD(MCConfiguration, "sl_max_fullbreak_current_dir_change", sl_max_fullbreak_current_dir_change,
          Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "sl_cycle_int_limit", sl_cycle_int_limit, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "sl_phase_advance_at_br", sl_phase_advance_at_br, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "sl_cycle_int_rpm_br", sl_cycle_int_rpm_br, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "sl_bemf_coupling_k", sl_bemf_coupling_k, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "hall_table__0", hall_table[0], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__1", hall_table[1], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__2", hall_table[2], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__3", hall_table[3], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__4", hall_table[4], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__5", hall_table[5], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__6", hall_table[6], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_table__7", hall_table[7], Int8, Uint8, 0.0f),
    FIELD(MCConfiguration, "hall_sl_erpm", hall_sl_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_current_kp", foc_current_kp, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_current_ki", foc_current_ki, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_f_sw", foc_f_sw, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_dt_us", foc_dt_us, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_offset", foc_encoder_offset, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_inverted", foc_encoder_inverted, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_ratio", foc_encoder_ratio, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_sin_offset", foc_encoder_sin_offset, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_sin_gain", foc_encoder_sin_gain, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_cos_offset", foc_encoder_cos_offset, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_cos_gain", foc_encoder_cos_gain, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_encoder_sincos_filter_constant", foc_encoder_sincos_filter_constant, Float32,
          Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_motor_l", foc_motor_l, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_motor_ld_lq_diff", foc_motor_ld_lq_diff, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_motor_r", foc_motor_r, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_motor_flux_linkage", foc_motor_flux_linkage, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_observer_gain", foc_observer_gain, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_observer_gain_slow", foc_observer_gain_slow, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_pll_kp", foc_pll_kp, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_pll_ki", foc_pll_ki, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_duty_dowmramp_kp", foc_duty_dowmramp_kp, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_duty_dowmramp_ki", foc_duty_dowmramp_ki, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_openloop_rpm", foc_openloop_rpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_openloop_rpm_low", foc_openloop_rpm_low, Float32, Float16, 1000.0f),
    FIELD(MCConfiguration, "foc_d_gain_scale_start", foc_d_gain_scale_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_d_gain_scale_max_mod", foc_d_gain_scale_max_mod, Float32, Float32Packed,
          0.0f),
    FIELD(MCConfiguration, "foc_sl_openloop_hyst", foc_sl_openloop_hyst, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "foc_sl_openloop_time", foc_sl_openloop_time, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "foc_sl_openloop_time_lock", foc_sl_openloop_time_lock, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "foc_sl_openloop_time_ramp", foc_sl_openloop_time_ramp, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "foc_sensor_mode", foc_sensor_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__0", foc_hall_table[0], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__1", foc_hall_table[1], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__2", foc_hall_table[2], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__3", foc_hall_table[3], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__4", foc_hall_table[4], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__5", foc_hall_table[5], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__6", foc_hall_table[6], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_table__7", foc_hall_table[7], Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hall_interp_erpm", foc_hall_interp_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_sl_erpm", foc_sl_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_sample_v0_v7", foc_sample_v0_v7, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_sample_high_current", foc_sample_high_current, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_sat_comp", foc_sat_comp, Float32, Float16, 1000.0f),
    FIELD(MCConfiguration, "foc_temp_comp", foc_temp_comp, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_temp_comp_base_temp", foc_temp_comp_base_temp, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "foc_current_filter_const", foc_current_filter_const, Float32, Float32Packed,
          0.0f),
    FIELD(MCConfiguration, "foc_cc_decoupling", foc_cc_decoupling, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_observer_type", foc_observer_type, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "foc_hfi_voltage_start", foc_hfi_voltage_start, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_hfi_voltage_run", foc_hfi_voltage_run, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_hfi_voltage_max", foc_hfi_voltage_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_sl_erpm_hfi", foc_sl_erpm_hfi, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_hfi_start_samples", foc_hfi_start_samples, Uint16, Uint16, 0.0f),
    FIELD(MCConfiguration, "foc_hfi_obs_ovr_sec", foc_hfi_obs_ovr_sec, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "foc_hfi_samples", foc_hfi_samples, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "gpd_buffer_notify_left", gpd_buffer_notify_left, Int32, Int16, 0.0f),
    FIELD(MCConfiguration, "gpd_buffer_interpol", gpd_buffer_interpol, Int32, Int16, 0.0f),
    FIELD(MCConfiguration, "gpd_current_filter_const", gpd_current_filter_const, Float32, Float32Packed,
          0.0f),
    FIELD(MCConfiguration, "gpd_current_kp", gpd_current_kp, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "gpd_current_ki", gpd_current_ki, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "s_pid_kp", s_pid_kp, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "s_pid_ki", s_pid_ki, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "s_pid_kd", s_pid_kd, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "s_pid_kd_filter", s_pid_kd_filter, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "s_pid_min_erpm", s_pid_min_erpm, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "s_pid_allow_braking", s_pid_allow_braking, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "s_pid_ramp_erpms_s", s_pid_ramp_erpms_s, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "p_pid_kp", p_pid_kp, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "p_pid_ki", p_pid_ki, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "p_pid_kd", p_pid_kd, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "p_pid_kd_filter", p_pid_kd_filter, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "p_pid_ang_div", p_pid_ang_div, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "cc_startup_boost_duty", cc_startup_boost_duty, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "cc_min_current", cc_min_current, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "cc_gain", cc_gain, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "cc_ramp_step_max", cc_ramp_step_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_fault_stop_time_ms", m_fault_stop_time_ms, Int32, Int32, 0.0f),
    FIELD(MCConfiguration, "m_duty_ramp_step", m_duty_ramp_step, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_current_backoff_gain", m_current_backoff_gain, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_encoder_counts", m_encoder_counts, Uint32, Uint32, 0.0f),
    FIELD(MCConfiguration, "m_sensor_port_mode", m_sensor_port_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "m_invert_direction", m_invert_direction, Bool, Uint8, 0.0f),
    FIELD(MCConfiguration, "m_drv8301_oc_mode", m_drv8301_oc_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "m_drv8301_oc_adj", m_drv8301_oc_adj, Int32, Uint8, 0.0f),
    FIELD(MCConfiguration, "m_bldc_f_sw_min", m_bldc_f_sw_min, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_bldc_f_sw_max", m_bldc_f_sw_max, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_dc_f_sw", m_dc_f_sw, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_ntc_motor_beta", m_ntc_motor_beta, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_out_aux_mode", m_out_aux_mode, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "m_motor_temp_sens_type", m_motor_temp_sens_type, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "m_ptc_motor_coeff", m_ptc_motor_coeff, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "m_hall_extra_samples", m_hall_extra_samples, Int32, Uint8, 0.0f),
    FIELD(MCConfiguration, "si_motor_poles", si_motor_poles, Uint8, Uint8, 0.0f),
    FIELD(MCConfiguration, "si_gear_ratio", si_gear_ratio, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "si_wheel_diameter", si_wheel_diameter, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "si_battery_type", si_battery_type, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "si_battery_cells", si_battery_cells, Int32, Uint8, 0.0f),
    FIELD(MCConfiguration, "si_battery_ah", si_battery_ah, Float32, Float32Packed, 0.0f),
    FIELD(MCConfiguration, "bms.type", bms.type, Enum, Uint8, 0.0f),
    FIELD(MCConfiguration, "bms.t_limit_start", bms.t_limit_start, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "bms.t_limit_end", bms.t_limit_end, Float32, Float16, 100.0f),
    FIELD(MCConfiguration, "bms.soc_limit_start", bms.soc_limit_start, Float32, Float16, 1000.0f),
    FIELD(MCConfiguration, "bms.soc_limit_end", bms.soc_limit_end, Float32, Float16, 1000.0f),
};

// Declared in the record's own order, which is also the application payload's wire order:
// appPayloadOrder() walks this table as it stands, so moving a row here moves that field on
// the wire. (The motor record's wire order is its own list, kMcPayloadKeys, below.)
const std::vector<AppField> kAppFields = {
    FIELD(APPConfiguration, "controller_id", controller_id, Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "timeout_msec", timeout_msec, Uint32, Uint32, 0.0f),
    FIELD(APPConfiguration, "timeout_brake_current", timeout_brake_current, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "send_can_status", send_can_status, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "send_can_status_rate_hz", send_can_status_rate_hz, Uint32, Uint16, 0.0f),
    FIELD(APPConfiguration, "can_baud_rate", can_baud_rate, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "pairing_done", pairing_done, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "permanent_uart_enabled", permanent_uart_enabled, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "shutdown_mode", shutdown_mode, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "can_mode", can_mode, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "uavcan_esc_index", uavcan_esc_index, Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "uavcan_raw_mode", uavcan_raw_mode, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_to_use", app_to_use, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.ctrl_type", app_ppm_conf.ctrl_type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.pid_max_erpm", app_ppm_conf.pid_max_erpm, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.hyst", app_ppm_conf.hyst, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.pulse_start", app_ppm_conf.pulse_start, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.pulse_end", app_ppm_conf.pulse_end, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.pulse_center", app_ppm_conf.pulse_center, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.median_filter", app_ppm_conf.median_filter, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.safe_start", app_ppm_conf.safe_start, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.throttle_exp", app_ppm_conf.throttle_exp, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.throttle_exp_brake", app_ppm_conf.throttle_exp_brake, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.throttle_exp_mode", app_ppm_conf.throttle_exp_mode, Enum, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.ramp_time_pos", app_ppm_conf.ramp_time_pos, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.ramp_time_neg", app_ppm_conf.ramp_time_neg, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.multi_esc", app_ppm_conf.multi_esc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.tc", app_ppm_conf.tc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.tc_max_diff", app_ppm_conf.tc_max_diff, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.max_erpm_for_dir", app_ppm_conf.max_erpm_for_dir, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.smart_rev_max_duty", app_ppm_conf.smart_rev_max_duty, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_ppm_conf.smart_rev_ramp_time", app_ppm_conf.smart_rev_ramp_time, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.ctrl_type", app_adc_conf.ctrl_type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.hyst", app_adc_conf.hyst, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage_start", app_adc_conf.voltage_start, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage_end", app_adc_conf.voltage_end, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage_center", app_adc_conf.voltage_center, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage2_start", app_adc_conf.voltage2_start, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage2_end", app_adc_conf.voltage2_end, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.use_filter", app_adc_conf.use_filter, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.safe_start", app_adc_conf.safe_start, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.cc_button_inverted", app_adc_conf.cc_button_inverted, Bool, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.rev_button_inverted", app_adc_conf.rev_button_inverted, Bool, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage_inverted", app_adc_conf.voltage_inverted, Bool, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.voltage2_inverted", app_adc_conf.voltage2_inverted, Bool, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.throttle_exp", app_adc_conf.throttle_exp, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.throttle_exp_brake", app_adc_conf.throttle_exp_brake, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.throttle_exp_mode", app_adc_conf.throttle_exp_mode, Enum, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.ramp_time_pos", app_adc_conf.ramp_time_pos, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.ramp_time_neg", app_adc_conf.ramp_time_neg, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.multi_esc", app_adc_conf.multi_esc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.tc", app_adc_conf.tc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_adc_conf.tc_max_diff", app_adc_conf.tc_max_diff, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_adc_conf.update_rate_hz", app_adc_conf.update_rate_hz, Uint32, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_uart_baudrate", app_uart_baudrate, Uint32, Uint32, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.ctrl_type", app_chuk_conf.ctrl_type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.hyst", app_chuk_conf.hyst, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.ramp_time_pos", app_chuk_conf.ramp_time_pos, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.ramp_time_neg", app_chuk_conf.ramp_time_neg, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.stick_erpm_per_s_in_cc", app_chuk_conf.stick_erpm_per_s_in_cc,
          Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.throttle_exp", app_chuk_conf.throttle_exp, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.throttle_exp_brake", app_chuk_conf.throttle_exp_brake, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.throttle_exp_mode", app_chuk_conf.throttle_exp_mode, Enum, Uint8,
          0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.multi_esc", app_chuk_conf.multi_esc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.tc", app_chuk_conf.tc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.tc_max_diff", app_chuk_conf.tc_max_diff, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.use_smart_rev", app_chuk_conf.use_smart_rev, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.smart_rev_max_duty", app_chuk_conf.smart_rev_max_duty, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_chuk_conf.smart_rev_ramp_time", app_chuk_conf.smart_rev_ramp_time, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.speed", app_nrf_conf.speed, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.power", app_nrf_conf.power, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.crc_type", app_nrf_conf.crc_type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.retry_delay", app_nrf_conf.retry_delay, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.retries", app_nrf_conf.retries, Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.channel", app_nrf_conf.channel, Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.address__0", app_nrf_conf.address[0], Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.address__1", app_nrf_conf.address[1], Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.address__2", app_nrf_conf.address[2], Uint8, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_nrf_conf.send_crc_ack", app_nrf_conf.send_crc_ack, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.kp", app_balance_conf.kp, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.ki", app_balance_conf.ki, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.kd", app_balance_conf.kd, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.hertz", app_balance_conf.hertz, Uint16, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_pitch", app_balance_conf.fault_pitch, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_roll", app_balance_conf.fault_roll, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_duty", app_balance_conf.fault_duty, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_adc1", app_balance_conf.fault_adc1, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_adc2", app_balance_conf.fault_adc2, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_delay_pitch", app_balance_conf.fault_delay_pitch, Uint16,
          Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_delay_roll", app_balance_conf.fault_delay_roll, Uint16,
          Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_delay_duty", app_balance_conf.fault_delay_duty, Uint16,
          Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_delay_switch_half",
          app_balance_conf.fault_delay_switch_half, Uint16, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_delay_switch_full",
          app_balance_conf.fault_delay_switch_full, Uint16, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.fault_adc_half_erpm", app_balance_conf.fault_adc_half_erpm,
          Uint16, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_angle", app_balance_conf.tiltback_angle, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_speed", app_balance_conf.tiltback_speed, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_duty", app_balance_conf.tiltback_duty, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_high_voltage", app_balance_conf.tiltback_high_voltage,
          Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_low_voltage", app_balance_conf.tiltback_low_voltage,
          Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_constant", app_balance_conf.tiltback_constant, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.tiltback_constant_erpm",
          app_balance_conf.tiltback_constant_erpm, Uint16, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.startup_pitch_tolerance",
          app_balance_conf.startup_pitch_tolerance, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.startup_roll_tolerance",
          app_balance_conf.startup_roll_tolerance, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.startup_speed", app_balance_conf.startup_speed, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.deadzone", app_balance_conf.deadzone, Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "app_balance_conf.current_boost", app_balance_conf.current_boost, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.multi_esc", app_balance_conf.multi_esc, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.yaw_kp", app_balance_conf.yaw_kp, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.yaw_ki", app_balance_conf.yaw_ki, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.yaw_kd", app_balance_conf.yaw_kd, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.roll_steer_kp", app_balance_conf.roll_steer_kp, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.roll_steer_erpm_kp", app_balance_conf.roll_steer_erpm_kp,
          Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.brake_current", app_balance_conf.brake_current, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.yaw_current_clamp", app_balance_conf.yaw_current_clamp, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.setpoint_pitch_filter", app_balance_conf.setpoint_pitch_filter,
          Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.setpoint_target_filter",
          app_balance_conf.setpoint_target_filter, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.setpoint_filter_clamp", app_balance_conf.setpoint_filter_clamp,
          Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "app_balance_conf.kd_pt1_frequency", app_balance_conf.kd_pt1_frequency, Uint16,
          Uint16, 0.0f),
    FIELD(APPConfiguration, "app_pas_conf.ctrl_type", app_pas_conf.ctrl_type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_pas_conf.sensor_type", app_pas_conf.sensor_type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_pas_conf.current_scaling", app_pas_conf.current_scaling, Float32, Float16,
          1000.0f),
    FIELD(APPConfiguration, "app_pas_conf.pedal_rpm_start", app_pas_conf.pedal_rpm_start, Float32, Float16,
          10.0f),
    FIELD(APPConfiguration, "app_pas_conf.pedal_rpm_end", app_pas_conf.pedal_rpm_end, Float32, Float16,
          10.0f),
    FIELD(APPConfiguration, "app_pas_conf.invert_pedal_direction", app_pas_conf.invert_pedal_direction, Bool,
          Uint8, 0.0f),
    FIELD(APPConfiguration, "app_pas_conf.magnets", app_pas_conf.magnets, Uint8, Uint16, 0.0f),
    FIELD(APPConfiguration, "app_pas_conf.use_filter", app_pas_conf.use_filter, Bool, Uint8, 0.0f),
    FIELD(APPConfiguration, "app_pas_conf.ramp_time_pos", app_pas_conf.ramp_time_pos, Float32, Float16,
          100.0f),
    FIELD(APPConfiguration, "app_pas_conf.ramp_time_neg", app_pas_conf.ramp_time_neg, Float32, Float16,
          100.0f),
    FIELD(APPConfiguration, "app_pas_conf.update_rate_hz", app_pas_conf.update_rate_hz, Uint32, Uint16, 0.0f),
    FIELD(APPConfiguration, "imu_conf.type", imu_conf.type, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "imu_conf.mode", imu_conf.mode, Enum, Uint8, 0.0f),
    FIELD(APPConfiguration, "imu_conf.sample_rate_hz", imu_conf.sample_rate_hz, Int32, Uint16, 0.0f),
    FIELD(APPConfiguration, "imu_conf.accel_confidence_decay", imu_conf.accel_confidence_decay, Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.mahony_kp", imu_conf.mahony_kp, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.mahony_ki", imu_conf.mahony_ki, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.madgwick_beta", imu_conf.madgwick_beta, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.rot_roll", imu_conf.rot_roll, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.rot_pitch", imu_conf.rot_pitch, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.rot_yaw", imu_conf.rot_yaw, Float32, Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.accel_offsets__0", imu_conf.accel_offsets[0], Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "imu_conf.accel_offsets__1", imu_conf.accel_offsets[1], Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "imu_conf.accel_offsets__2", imu_conf.accel_offsets[2], Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offsets__0", imu_conf.gyro_offsets[0], Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offsets__1", imu_conf.gyro_offsets[1], Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offsets__2", imu_conf.gyro_offsets[2], Float32, Float32Packed,
          0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offset_comp_fact__0", imu_conf.gyro_offset_comp_fact[0], Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offset_comp_fact__1", imu_conf.gyro_offset_comp_fact[1], Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offset_comp_fact__2", imu_conf.gyro_offset_comp_fact[2], Float32,
          Float32Packed, 0.0f),
    FIELD(APPConfiguration, "imu_conf.gyro_offset_comp_clamp", imu_conf.gyro_offset_comp_clamp, Float32,
          Float32Packed, 0.0f),
};

#undef FIELD

// Payload order of the motor record: the controller's wire layout, which differs from the
// declaration order and leaves out the lo_ fields.
const char* const kMcPayloadKeys[] = {
    "pwm_mode",
    "comm_mode",
    "motor_type",
    "sensor_mode",
    "l_current_max",
    "l_current_min",
    "l_in_current_max",
    "l_in_current_min",
    "l_abs_current_max",
    "l_min_erpm",
    "l_max_erpm",
    "l_erpm_start",
    "l_max_erpm_fbrake",
    "l_max_erpm_fbrake_cc",
    "l_min_vin",
    "l_max_vin",
    "l_battery_cut_start",
    "l_battery_cut_end",
    "l_slow_abs_current",
    "l_temp_fet_start",
    "l_temp_fet_end",
    "l_temp_motor_start",
    "l_temp_motor_end",
    "l_temp_accel_dec",
    "l_min_duty",
    "l_max_duty",
    "l_watt_max",
    "l_watt_min",
    "l_current_max_scale",
    "l_current_min_scale",
    "l_duty_start",
    "sl_min_erpm",
    "sl_min_erpm_cycle_int_limit",
    "sl_max_fullbreak_current_dir_change",
    "sl_cycle_int_limit",
    "sl_phase_advance_at_br",
    "sl_cycle_int_rpm_br",
    "sl_bemf_coupling_k",
    "hall_table__0",
    "hall_table__1",
    "hall_table__2",
    "hall_table__3",
    "hall_table__4",
    "hall_table__5",
    "hall_table__6",
    "hall_table__7",
    "hall_sl_erpm",
    "foc_current_kp",
    "foc_current_ki",
    "foc_f_sw",
    "foc_dt_us",
    "foc_encoder_inverted",
    "foc_encoder_offset",
    "foc_encoder_ratio",
    "foc_encoder_sin_gain",
    "foc_encoder_cos_gain",
    "foc_encoder_sin_offset",
    "foc_encoder_cos_offset",
    "foc_encoder_sincos_filter_constant",
    "foc_sensor_mode",
    "foc_pll_kp",
    "foc_pll_ki",
    "foc_motor_l",
    "foc_motor_ld_lq_diff",
    "foc_motor_r",
    "foc_motor_flux_linkage",
    "foc_observer_gain",
    "foc_observer_gain_slow",
    "foc_duty_dowmramp_kp",
    "foc_duty_dowmramp_ki",
    "foc_openloop_rpm",
    "foc_openloop_rpm_low",
    "foc_d_gain_scale_start",
    "foc_d_gain_scale_max_mod",
    "foc_sl_openloop_hyst",
    "foc_sl_openloop_time_lock",
    "foc_sl_openloop_time_ramp",
    "foc_sl_openloop_time",
    "foc_hall_table__0",
    "foc_hall_table__1",
    "foc_hall_table__2",
    "foc_hall_table__3",
    "foc_hall_table__4",
    "foc_hall_table__5",
    "foc_hall_table__6",
    "foc_hall_table__7",
    "foc_hall_interp_erpm",
    "foc_sl_erpm",
    "foc_sample_v0_v7",
    "foc_sample_high_current",
    "foc_sat_comp",
    "foc_temp_comp",
    "foc_temp_comp_base_temp",
    "foc_current_filter_const",
    "foc_cc_decoupling",
    "foc_observer_type",
    "foc_hfi_voltage_start",
    "foc_hfi_voltage_run",
    "foc_hfi_voltage_max",
    "foc_sl_erpm_hfi",
    "foc_hfi_start_samples",
    "foc_hfi_obs_ovr_sec",
    "foc_hfi_samples",
    "gpd_buffer_notify_left",
    "gpd_buffer_interpol",
    "gpd_current_filter_const",
    "gpd_current_kp",
    "gpd_current_ki",
    "s_pid_kp",
    "s_pid_ki",
    "s_pid_kd",
    "s_pid_kd_filter",
    "s_pid_min_erpm",
    "s_pid_allow_braking",
    "s_pid_ramp_erpms_s",
    "p_pid_kp",
    "p_pid_ki",
    "p_pid_kd",
    "p_pid_kd_filter",
    "p_pid_ang_div",
    "cc_startup_boost_duty",
    "cc_min_current",
    "cc_gain",
    "cc_ramp_step_max",
    "m_fault_stop_time_ms",
    "m_duty_ramp_step",
    "m_current_backoff_gain",
    "m_encoder_counts",
    "m_sensor_port_mode",
    "m_invert_direction",
    "m_drv8301_oc_mode",
    "m_drv8301_oc_adj",
    "m_bldc_f_sw_min",
    "m_bldc_f_sw_max",
    "m_dc_f_sw",
    "m_ntc_motor_beta",
    "m_out_aux_mode",
    "m_motor_temp_sens_type",
    "m_ptc_motor_coeff",
    "m_hall_extra_samples",
    "si_motor_poles",
    "si_gear_ratio",
    "si_wheel_diameter",
    "si_battery_type",
    "si_battery_cells",
    "si_battery_ah",
    "bms.type",
    "bms.t_limit_start",
    "bms.t_limit_end",
    "bms.soc_limit_start",
    "bms.soc_limit_end",
};

// Element order of the motor document.
const char* const kMcXmlKeys[] = {
    "l_current_max",
    "l_in_current_max",
    "l_current_min",
    "l_abs_current_max",
    "l_in_current_min",
    "l_max_erpm",
    "l_min_erpm",
    "l_max_erpm_fbrake",
    "l_erpm_start",
    "l_min_vin",
    "l_max_erpm_fbrake_cc",
    "l_battery_cut_start",
    "l_max_vin",
    "l_slow_abs_current",
    "l_battery_cut_end",
    "l_temp_fet_end",
    "l_temp_fet_start",
    "l_temp_motor_end",
    "l_temp_motor_start",
    "l_min_duty",
    "l_temp_accel_dec",
    "l_watt_max",
    "l_max_duty",
    "l_current_max_scale",
    "l_watt_min",
    "l_duty_start",
    "l_current_min_scale",
    "lo_current_min",
    "lo_current_max",
    "lo_in_current_min",
    "lo_in_current_max",
    "lo_current_motor_min_now",
    "lo_current_motor_max_now",
    "comm_mode",
    "pwm_mode",
    "sensor_mode",
    "motor_type",
    "sl_min_erpm_cycle_int_limit",
    "sl_min_erpm",
    "sl_cycle_int_limit",
    "sl_max_fullbreak_current_dir_change",
    "sl_cycle_int_rpm_br",
    "sl_phase_advance_at_br",
    "sl_bemf_coupling_k",
    "foc_current_kp",
    "hall_sl_erpm",
    "foc_f_sw",
    "foc_current_ki",
    "foc_encoder_offset",
    "foc_dt_us",
    "foc_encoder_ratio",
    "foc_encoder_inverted",
    "foc_encoder_sin_gain",
    "foc_encoder_sin_offset",
    "foc_encoder_cos_gain",
    "foc_encoder_cos_offset",
    "foc_motor_l",
    "foc_encoder_sincos_filter_constant",
    "foc_motor_r",
    "foc_motor_ld_lq_diff",
    "foc_observer_gain",
    "foc_motor_flux_linkage",
    "foc_pll_kp",
    "foc_observer_gain_slow",
    "foc_duty_dowmramp_kp",
    "foc_pll_ki",
    "foc_openloop_rpm",
    "foc_duty_dowmramp_ki",
    "foc_d_gain_scale_start",
    "foc_openloop_rpm_low",
    "foc_sl_openloop_hyst",
    "foc_d_gain_scale_max_mod",
    "foc_sl_openloop_time_lock",
    "foc_sl_openloop_time",
    "foc_sensor_mode",
    "foc_sl_openloop_time_ramp",
    "foc_hall_interp_erpm",
    "foc_sample_v0_v7",
    "foc_sl_erpm",
    "foc_sat_comp",
    "foc_sample_high_current",
    "foc_temp_comp_base_temp",
    "foc_temp_comp",
    "foc_cc_decoupling",
    "foc_current_filter_const",
    "foc_hfi_voltage_start",
    "foc_observer_type",
    "foc_hfi_voltage_max",
    "foc_hfi_voltage_run",
    "foc_hfi_start_samples",
    "foc_sl_erpm_hfi",
    "foc_hfi_samples",
    "foc_hfi_obs_ovr_sec",
    "gpd_buffer_interpol",
    "gpd_buffer_notify_left",
    "gpd_current_kp",
    "gpd_current_filter_const",
    "s_pid_kp",
    "gpd_current_ki",
    "s_pid_kd",
    "s_pid_ki",
    "s_pid_min_erpm",
    "s_pid_kd_filter",
    "s_pid_ramp_erpms_s",
    "s_pid_allow_braking",
    "p_pid_ki",
    "p_pid_kp",
    "p_pid_kd_filter",
    "p_pid_kd",
    "cc_startup_boost_duty",
    "p_pid_ang_div",
    "cc_gain",
    "cc_min_current",
    "m_fault_stop_time_ms",
    "cc_ramp_step_max",
    "m_current_backoff_gain",
    "m_duty_ramp_step",
    "m_sensor_port_mode",
    "m_encoder_counts",
    "m_drv8301_oc_mode",
    "m_invert_direction",
    "m_bldc_f_sw_min",
    "m_drv8301_oc_adj",
    "m_dc_f_sw",
    "m_bldc_f_sw_max",
    "m_out_aux_mode",
    "m_ntc_motor_beta",
    "m_ptc_motor_coeff",
    "m_motor_temp_sens_type",
    "si_motor_poles",
    "m_hall_extra_samples",
    "si_wheel_diameter",
    "si_gear_ratio",
    "si_battery_cells",
    "si_battery_type",
    "si_battery_ah",
    "foc_hall_table__0",
    "foc_hall_table__1",
    "foc_hall_table__2",
    "foc_hall_table__3",
    "foc_hall_table__4",
    "foc_hall_table__5",
    "foc_hall_table__6",
    "foc_hall_table__7",
    "hall_table__0",
    "hall_table__1",
    "hall_table__2",
    "hall_table__3",
    "hall_table__4",
    "hall_table__5",
    "hall_table__6",
    "hall_table__7",
    "bms.type",
    "bms.t_limit_start",
    "bms.t_limit_end",
    "bms.soc_limit_start",
    "bms.soc_limit_end",
};

// Element order of the application document.
const char* const kAppXmlKeys[] = {
    "controller_id",
    "timeout_brake_current",
    "timeout_msec",
    "send_can_status_rate_hz",
    "send_can_status",
    "pairing_done",
    "can_baud_rate",
    "shutdown_mode",
    "permanent_uart_enabled",
    "uavcan_esc_index",
    "can_mode",
    "app_uart_baudrate",
    "uavcan_raw_mode",
    "app_ppm_conf.ctrl_type",
    "app_to_use",
    "app_ppm_conf.hyst",
    "app_ppm_conf.pid_max_erpm",
    "app_ppm_conf.pulse_end",
    "app_ppm_conf.pulse_start",
    "app_ppm_conf.median_filter",
    "app_ppm_conf.pulse_center",
    "app_ppm_conf.throttle_exp",
    "app_ppm_conf.safe_start",
    "app_ppm_conf.throttle_exp_mode",
    "app_ppm_conf.throttle_exp_brake",
    "app_ppm_conf.ramp_time_neg",
    "app_ppm_conf.ramp_time_pos",
    "app_ppm_conf.tc",
    "app_ppm_conf.multi_esc",
    "app_ppm_conf.max_erpm_for_dir",
    "app_ppm_conf.tc_max_diff",
    "app_ppm_conf.smart_rev_ramp_time",
    "app_ppm_conf.smart_rev_max_duty",
    "app_adc_conf.hyst",
    "app_adc_conf.ctrl_type",
    "app_adc_conf.voltage_end",
    "app_adc_conf.voltage_start",
    "app_adc_conf.voltage2_start",
    "app_adc_conf.voltage_center",
    "app_adc_conf.use_filter",
    "app_adc_conf.voltage2_end",
    "app_adc_conf.cc_button_inverted",
    "app_adc_conf.safe_start",
    "app_adc_conf.voltage_inverted",
    "app_adc_conf.rev_button_inverted",
    "app_adc_conf.throttle_exp",
    "app_adc_conf.voltage2_inverted",
    "app_adc_conf.throttle_exp_mode",
    "app_adc_conf.throttle_exp_brake",
    "app_adc_conf.ramp_time_neg",
    "app_adc_conf.ramp_time_pos",
    "app_adc_conf.tc",
    "app_adc_conf.multi_esc",
    "app_adc_conf.update_rate_hz",
    "app_adc_conf.tc_max_diff",
    "app_chuk_conf.hyst",
    "app_chuk_conf.ctrl_type",
    "app_chuk_conf.ramp_time_neg",
    "app_chuk_conf.ramp_time_pos",
    "app_chuk_conf.throttle_exp",
    "app_chuk_conf.stick_erpm_per_s_in_cc",
    "app_chuk_conf.throttle_exp_mode",
    "app_chuk_conf.throttle_exp_brake",
    "app_chuk_conf.tc",
    "app_chuk_conf.multi_esc",
    "app_chuk_conf.use_smart_rev",
    "app_chuk_conf.tc_max_diff",
    "app_chuk_conf.smart_rev_ramp_time",
    "app_chuk_conf.smart_rev_max_duty",
    "app_nrf_conf.power",
    "app_nrf_conf.speed",
    "app_nrf_conf.retry_delay",
    "app_nrf_conf.crc_type",
    "app_nrf_conf.channel",
    "app_nrf_conf.retries",
    "app_nrf_conf.send_crc_ack",
    "app_balance_conf.ki",
    "app_balance_conf.kp",
    "app_balance_conf.hertz",
    "app_balance_conf.kd",
    "app_balance_conf.fault_roll",
    "app_balance_conf.fault_pitch",
    "app_balance_conf.fault_adc1",
    "app_balance_conf.fault_duty",
    "app_balance_conf.fault_delay_pitch",
    "app_balance_conf.fault_adc2",
    "app_balance_conf.fault_delay_duty",
    "app_balance_conf.fault_delay_roll",
    "app_balance_conf.fault_delay_switch_full",
    "app_balance_conf.fault_delay_switch_half",
    "app_balance_conf.tiltback_angle",
    "app_balance_conf.fault_adc_half_erpm",
    "app_balance_conf.tiltback_duty",
    "app_balance_conf.tiltback_speed",
    "app_balance_conf.tiltback_low_voltage",
    "app_balance_conf.tiltback_high_voltage",
    "app_balance_conf.tiltback_constant_erpm",
    "app_balance_conf.tiltback_constant",
    "app_balance_conf.startup_roll_tolerance",
    "app_balance_conf.startup_pitch_tolerance",
    "app_balance_conf.deadzone",
    "app_balance_conf.startup_speed",
    "app_balance_conf.multi_esc",
    "app_balance_conf.current_boost",
    "app_balance_conf.yaw_ki",
    "app_balance_conf.yaw_kp",
    "app_balance_conf.roll_steer_kp",
    "app_balance_conf.yaw_kd",
    "app_balance_conf.brake_current",
    "app_balance_conf.roll_steer_erpm_kp",
    "app_balance_conf.setpoint_pitch_filter",
    "app_balance_conf.yaw_current_clamp",
    "app_balance_conf.setpoint_filter_clamp",
    "app_balance_conf.setpoint_target_filter",
    "app_pas_conf.ctrl_type",
    "app_balance_conf.kd_pt1_frequency",
    "app_pas_conf.current_scaling",
    "app_pas_conf.sensor_type",
    "app_pas_conf.pedal_rpm_end",
    "app_pas_conf.pedal_rpm_start",
    "app_pas_conf.magnets",
    "app_pas_conf.invert_pedal_direction",
    "app_pas_conf.ramp_time_pos",
    "app_pas_conf.use_filter",
    "app_pas_conf.update_rate_hz",
    "app_pas_conf.ramp_time_neg",
    "imu_conf.mode",
    "imu_conf.type",
    "imu_conf.accel_confidence_decay",
    "imu_conf.sample_rate_hz",
    "imu_conf.mahony_ki",
    "imu_conf.mahony_kp",
    "imu_conf.rot_roll",
    "imu_conf.madgwick_beta",
    "imu_conf.rot_yaw",
    "imu_conf.rot_pitch",
    "imu_conf.gyro_offset_comp_clamp",
    "app_nrf_conf.address__0",
    "app_nrf_conf.address__1",
    "app_nrf_conf.address__2",
    "imu_conf.gyro_offsets__0",
    "imu_conf.gyro_offsets__1",
    "imu_conf.gyro_offsets__2",
    "imu_conf.accel_offsets__0",
    "imu_conf.accel_offsets__1",
    "imu_conf.accel_offsets__2",
    "imu_conf.gyro_offset_comp_fact__0",
    "imu_conf.gyro_offset_comp_fact__1",
    "imu_conf.gyro_offset_comp_fact__2",
};

template <class Record>
std::vector<const FieldDescriptor<Record>*> resolveOrder(const std::vector<FieldDescriptor<Record>>& table,
                                                         const std::vector<std::string_view>& keys,
                                                         OrderCoverage coverage) {
    const auto covered = [coverage](const FieldDescriptor<Record>& f) {
        return coverage == OrderCoverage::EveryField || f.wire != WireEncoding::None;
    };
    std::vector<const FieldDescriptor<Record>*> order;
    order.reserve(keys.size());
    for (const std::string_view key : keys) {
        auto it = std::find_if(table.begin(), table.end(), [&](const auto& f) { return f.key == key; });
        if (it == table.end()) {
            throw std::logic_error("field order names an unknown key: " + std::string(key));
        }
        if (!covered(*it)) {
            throw std::logic_error("field order names a field the wire does not carry: " + std::string(key));
        }
        if (std::find(order.begin(), order.end(), &*it) != order.end()) {
            throw std::logic_error("field order names a key twice: " + std::string(key));
        }
        order.push_back(&*it);
    }
    for (const auto& f : table) {
        if (covered(f) && std::find(order.begin(), order.end(), &f) == order.end()) {
            throw std::logic_error("field order misses the key: " + std::string(f.key));
        }
    }
    return order;
}

template <class Record, std::size_t N>
std::vector<const FieldDescriptor<Record>*> resolve(const std::vector<FieldDescriptor<Record>>& table,
                                                    const char* const (&keys)[N], OrderCoverage coverage) {
    return resolveOrder(table, std::vector<std::string_view>(std::begin(keys), std::end(keys)), coverage);
}

template <class Record>
std::vector<const FieldDescriptor<Record>*>
declarationOrder(const std::vector<FieldDescriptor<Record>>& table) {
    std::vector<const FieldDescriptor<Record>*> order;
    for (const auto& f : table) {
        order.push_back(&f);
    }
    return order;
}

template <class T> std::int64_t widen(T value) {
    return static_cast<std::int64_t>(value);
}

} // namespace

std::vector<const McField*> resolveFieldOrder(const std::vector<McField>& table,
                                              const std::vector<std::string_view>& keys,
                                              OrderCoverage coverage) {
    return resolveOrder(table, keys, coverage);
}

std::vector<const AppField*> resolveFieldOrder(const std::vector<AppField>& table,
                                               const std::vector<std::string_view>& keys,
                                               OrderCoverage coverage) {
    return resolveOrder(table, keys, coverage);
}

XmlKind xmlKindOf(FieldType type) {
    switch (type) {
    case FieldType::Float32:
        return XmlKind::Float;
    case FieldType::Bool:
        return XmlKind::Boolean;
    case FieldType::Uint32:
        return XmlKind::Unsigned;
    case FieldType::Int32:
        return XmlKind::Int32Parse;
    case FieldType::Enum:
    case FieldType::Uint8:
    case FieldType::Int8:
    case FieldType::Uint16:
        return XmlKind::Int;
    }
    return XmlKind::Int;
}

bool isFloat(FieldType type) {
    return type == FieldType::Float32;
}

const std::vector<McField>& mcFields() {
    return kMcFields;
}
const std::vector<AppField>& appFields() {
    return kAppFields;
}

const std::vector<const McField*>& mcPayloadOrder() {
    static const auto order = resolve(kMcFields, kMcPayloadKeys, OrderCoverage::WireFields);
    return order;
}
const std::vector<const McField*>& mcXmlOrder() {
    static const auto order = resolve(kMcFields, kMcXmlKeys, OrderCoverage::EveryField);
    return order;
}
// The motor comparison walks the document order, except that it looks at each hall table
// right after the field it follows in the record, and at the battery-management fields (its
// single "bms" step) between si_battery_type and si_battery_ah. This order decides which
// difference the log names first.
const std::vector<const McField*>& mcCompareOrder() {
    static const auto order = [] {
        const auto startsWith = [](const McField* f, std::string_view prefix) {
            return f->key.substr(0, prefix.size()) == prefix;
        };
        const std::pair<std::string_view, std::string_view> moves[] = {
            {"hall_table__", "sl_phase_advance_at_br"},
            {"foc_hall_table__", "foc_hall_interp_erpm"},
            {"bms.", "si_battery_type"},
        };
        std::vector<const McField*> result = mcXmlOrder();
        for (const auto& move : moves) {
            // Named copies: lambdas cannot capture structured bindings before C++20.
            const std::string_view prefix = move.first;
            const std::string_view after = move.second;
            std::vector<const McField*> group;
            std::copy_if(result.begin(), result.end(), std::back_inserter(group),
                         [&](const McField* f) { return startsWith(f, prefix); });
            result.erase(std::remove_if(result.begin(), result.end(),
                                        [&](const McField* f) { return startsWith(f, prefix); }),
                         result.end());
            auto at =
                std::find_if(result.begin(), result.end(), [&](const McField* f) { return f->key == after; });
            result.insert(at + 1, group.begin(), group.end());
        }
        return result;
    }();
    return order;
}
const std::vector<const AppField*>& appPayloadOrder() {
    static const auto order = declarationOrder(kAppFields);
    return order;
}
const std::vector<const AppField*>& appXmlOrder() {
    static const auto order = resolve(kAppFields, kAppXmlKeys, OrderCoverage::EveryField);
    return order;
}
const std::vector<const AppField*>& appCompareOrder() {
    return appPayloadOrder();
}

std::int64_t getInteger(const FieldRef& field) {
    return std::visit(
        [](auto* p) -> std::int64_t {
            using T = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_same_v<T, float>) {
                return 0; // not an integer field; callers never ask
            } else {
                return widen(*p);
            }
        },
        field);
}

void setInteger(const FieldRef& field, std::int64_t value) {
    std::visit(
        [value](auto* p) {
            using T = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_same_v<T, bool>) {
                *p = value != 0;
            } else if constexpr (std::is_same_v<T, float>) {
                *p = static_cast<float>(value);
            } else {
                // Keep the low-order bits of the field's width, as two's complement.
                using U = std::make_unsigned_t<T>;
                *p = static_cast<T>(static_cast<U>(static_cast<std::uint64_t>(value)));
            }
        },
        field);
}

float getFloat(const FieldRef& field) {
    if (auto p = std::get_if<float*>(&field)) {
        return **p;
    }
    return static_cast<float>(getInteger(field));
}

void setFloat(const FieldRef& field, float value) {
    if (auto p = std::get_if<float*>(&field)) {
        **p = value;
    }
}

std::string compareLabel(std::string_view key) {
    auto pos = key.rfind("__");
    if (pos == std::string_view::npos) {
        return std::string(key);
    }
    return std::string(key.substr(0, pos)) + "[" + std::string(key.substr(pos + 2)) + "]";
}
