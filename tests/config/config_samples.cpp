#include "tests/config/config_samples.h"

#include "core/config/config_fields.h"

#include <cstring>

namespace {

template <class Record, class Table>
std::vector<std::string> differing(const Record& a, const Record& b, const Table& table) {
    std::vector<std::string> keys;
    for (const auto& field : table) {
        bool same = true;
        if (field.type == FieldType::Float32) {
            const float x = getFloat(field.in(a));
            const float y = getFloat(field.in(b));
            same = std::memcmp(&x, &y, sizeof x) == 0;
        } else {
            same = getInteger(field.in(a)) == getInteger(field.in(b));
        }
        if (!same) {
            keys.emplace_back(field.key);
        }
    }
    return keys;
}

} // namespace

std::vector<std::string> differingKeys(const MCConfiguration& a, const MCConfiguration& b) {
    return differing(a, b, mcFields());
}

std::vector<std::string> differingKeys(const APPConfiguration& a, const APPConfiguration& b) {
    return differing(a, b, appFields());
}

// The records below hold a distinct value in every field (booleans alternate); every value
// fits its wire encoding and survives its XML text unchanged.

MCConfiguration sampleMcConfig() {
    MCConfiguration r{};
    r.pwm_mode = 255;
    r.comm_mode = 20;
    r.motor_type = 21;
    r.sensor_mode = 22;
    r.l_current_max = 60.0f;
    r.l_current_min = 0.100000001f;
    r.l_in_current_max = 1234567.5f;
    r.l_in_current_min = -0.5f;
    r.l_abs_current_max = 123456792.0f;
    r.l_min_erpm = 9.99999975e-06f;
    r.l_max_erpm = 1.5f;
    r.l_erpm_start = 8.25f;
    r.l_max_erpm_fbrake = -15.125f;
    r.l_max_erpm_fbrake_cc = 22.75f;
    r.l_min_vin = 29.375f;
    r.l_max_vin = 37504.0f;
    r.l_battery_cut_start = -43.5f;
    r.l_battery_cut_end = 50.25f;
    r.l_slow_abs_current = true;
    r.l_temp_fet_start = 57.125f;
    r.l_temp_fet_end = 64.75f;
    r.l_temp_motor_start = -71.375f;
    r.l_temp_motor_end = 78.625f;
    r.l_temp_accel_dec = 85.5f;
    r.l_min_duty = 92.25f;
    r.l_max_duty = -101504.0f;
    r.l_watt_max = 106.75f;
    r.l_watt_min = 113.375f;
    r.l_current_max_scale = 120.625f;
    r.l_current_min_scale = -127.5f;
    r.l_duty_start = 134.25f;
    r.lo_current_max = 4.5f;
    r.lo_current_min = 3.5f;
    r.lo_in_current_max = 6.5f;
    r.lo_in_current_min = -5.5f;
    r.lo_current_motor_max_now = 8.5f;
    r.lo_current_motor_min_now = 7.5f;
    r.sl_min_erpm = 141.125f;
    r.sl_min_erpm_cycle_int_limit = 148.75f;
    r.sl_max_fullbreak_current_dir_change = -155.375f;
    r.sl_cycle_int_limit = 166528.0f;
    r.sl_phase_advance_at_br = 169.5f;
    r.sl_cycle_int_rpm_br = 176.25f;
    r.sl_bemf_coupling_k = -183.125f;
    r.hall_table[0] = -1;
    r.hall_table[1] = 2;
    r.hall_table[2] = 3;
    r.hall_table[3] = -4;
    r.hall_table[4] = 5;
    r.hall_table[5] = 6;
    r.hall_table[6] = -128;
    r.hall_table[7] = 127;
    r.hall_sl_erpm = 190.75f;
    r.foc_current_kp = 197.375f;
    r.foc_current_ki = 204.625f;
    r.foc_f_sw = -211.5f;
    r.foc_dt_us = 218.25f;
    r.foc_encoder_inverted = false;
    r.foc_encoder_offset = 230528.0f;
    r.foc_encoder_ratio = 232.75f;
    r.foc_encoder_sin_gain = -239.375f;
    r.foc_encoder_cos_gain = 246.625f;
    r.foc_encoder_sin_offset = 253.5f;
    r.foc_encoder_cos_offset = 260.25f;
    r.foc_encoder_sincos_filter_constant = -267.125f;
    r.foc_sensor_mode = 23;
    r.foc_pll_kp = 274.75f;
    r.foc_pll_ki = 281.375f;
    r.foc_motor_l = 295552.0f;
    r.foc_motor_ld_lq_diff = -295.5f;
    r.foc_motor_r = 302.25f;
    r.foc_motor_flux_linkage = 309.125f;
    r.foc_observer_gain = 316.75f;
    r.foc_observer_gain_slow = -323.375f;
    r.foc_duty_dowmramp_kp = 330.625f;
    r.foc_duty_dowmramp_ki = 337.5f;
    r.foc_openloop_rpm = 344.25f;
    r.foc_openloop_rpm_low = 32.125f;
    r.foc_d_gain_scale_start = -359552.0f;
    r.foc_d_gain_scale_max_mod = 358.75f;
    r.foc_sl_openloop_hyst = -1.5f;
    r.foc_sl_openloop_time_lock = -3.75f;
    r.foc_sl_openloop_time_ramp = 4.0f;
    r.foc_sl_openloop_time = 4.25f;
    r.foc_hall_table[0] = 200;
    r.foc_hall_table[1] = 201;
    r.foc_hall_table[2] = 202;
    r.foc_hall_table[3] = 255;
    r.foc_hall_table[4] = 204;
    r.foc_hall_table[5] = 205;
    r.foc_hall_table[6] = 206;
    r.foc_hall_table[7] = 1;
    r.foc_hall_interp_erpm = 386.25f;
    r.foc_sl_erpm = 393.125f;
    r.foc_sample_v0_v7 = true;
    r.foc_sample_high_current = true;
    r.foc_sat_comp = 2.5f;
    r.foc_temp_comp = false;
    r.foc_temp_comp_base_temp = -5.25f;
    r.foc_current_filter_const = 424576.0f;
    r.foc_cc_decoupling = 24;
    r.foc_observer_type = 25;
    r.foc_hfi_voltage_start = 421.5f;
    r.foc_hfi_voltage_run = 428.25f;
    r.foc_hfi_voltage_max = -435.125f;
    r.foc_sl_erpm_hfi = 442.75f;
    r.foc_hfi_start_samples = 40000;
    r.foc_hfi_obs_ovr_sec = 449.375f;
    r.foc_hfi_samples = 26;
    r.gpd_buffer_notify_left = -5;
    r.gpd_buffer_interpol = 32767;
    r.gpd_current_filter_const = 456.625f;
    r.gpd_current_kp = -463.5f;
    r.gpd_current_ki = 470.25f;
    r.s_pid_kp = 488576.0f;
    r.s_pid_ki = 484.75f;
    r.s_pid_kd = -491.375f;
    r.s_pid_kd_filter = 498.625f;
    r.s_pid_min_erpm = 505.5f;
    r.s_pid_allow_braking = true;
    r.s_pid_ramp_erpms_s = 512.25f;
    r.p_pid_kp = -519.125f;
    r.p_pid_ki = 526.75f;
    r.p_pid_kd = 533.375f;
    r.p_pid_kd_filter = 553600.0f;
    r.p_pid_ang_div = -547.5f;
    r.cc_startup_boost_duty = 554.25f;
    r.cc_min_current = 561.125f;
    r.cc_gain = 568.75f;
    r.cc_ramp_step_max = -575.375f;
    r.m_fault_stop_time_ms = -123456789;
    r.m_duty_ramp_step = 582.625f;
    r.m_current_backoff_gain = 589.5f;
    r.m_encoder_counts = 4000000000U;
    r.m_sensor_port_mode = 27;
    r.m_invert_direction = true;
    r.m_drv8301_oc_mode = 28;
    r.m_drv8301_oc_adj = 17;
    r.m_bldc_f_sw_min = 596.25f;
    r.m_bldc_f_sw_max = -617600.0f;
    r.m_dc_f_sw = 610.75f;
    r.m_ntc_motor_beta = 617.375f;
    r.m_out_aux_mode = 29;
    r.m_motor_temp_sens_type = 30;
    r.m_ptc_motor_coeff = 624.625f;
    r.m_hall_extra_samples = 255;
    r.si_motor_poles = 14;
    r.si_gear_ratio = -631.5f;
    r.si_wheel_diameter = 638.25f;
    r.si_battery_type = 31;
    r.si_battery_cells = 13;
    r.si_battery_ah = 645.125f;
    r.bms.type = 32;
    r.bms.t_limit_start = 45.0f;
    r.bms.t_limit_end = 4.75f;
    r.bms.soc_limit_start = 0.899999976f;
    r.bms.soc_limit_end = -2.125f;
    return r;
}

APPConfiguration sampleAppConfig() {
    APPConfiguration r{};
    r.controller_id = 7;
    r.timeout_msec = 4000000000U;
    r.timeout_brake_current = 300.25f;
    r.send_can_status = 20;
    r.send_can_status_rate_hz = 65535U;
    r.can_baud_rate = 21;
    r.pairing_done = true;
    r.permanent_uart_enabled = false;
    r.shutdown_mode = 22;
    r.can_mode = 23;
    r.uavcan_esc_index = 9;
    r.uavcan_raw_mode = 24;
    r.app_to_use = 255;
    r.app_ppm_conf.ctrl_type = 25;
    r.app_ppm_conf.pid_max_erpm = 1.5f;
    r.app_ppm_conf.hyst = 8.25f;
    r.app_ppm_conf.pulse_start = -15.125f;
    r.app_ppm_conf.pulse_end = 22.75f;
    r.app_ppm_conf.pulse_center = 29.375f;
    r.app_ppm_conf.median_filter = true;
    r.app_ppm_conf.safe_start = true;
    r.app_ppm_conf.throttle_exp = 37504.0f;
    r.app_ppm_conf.throttle_exp_brake = -43.5f;
    r.app_ppm_conf.throttle_exp_mode = 26;
    r.app_ppm_conf.ramp_time_pos = 50.25f;
    r.app_ppm_conf.ramp_time_neg = 57.125f;
    r.app_ppm_conf.multi_esc = false;
    r.app_ppm_conf.tc = true;
    r.app_ppm_conf.tc_max_diff = 64.75f;
    r.app_ppm_conf.max_erpm_for_dir = -71.375f;
    r.app_ppm_conf.smart_rev_max_duty = 78.625f;
    r.app_ppm_conf.smart_rev_ramp_time = 85.5f;
    r.app_adc_conf.ctrl_type = 27;
    r.app_adc_conf.hyst = 92.25f;
    r.app_adc_conf.voltage_start = -101504.0f;
    r.app_adc_conf.voltage_end = 106.75f;
    r.app_adc_conf.voltage_center = 113.375f;
    r.app_adc_conf.voltage2_start = 120.625f;
    r.app_adc_conf.voltage2_end = -127.5f;
    r.app_adc_conf.use_filter = true;
    r.app_adc_conf.safe_start = false;
    r.app_adc_conf.cc_button_inverted = true;
    r.app_adc_conf.rev_button_inverted = true;
    r.app_adc_conf.voltage_inverted = false;
    r.app_adc_conf.voltage2_inverted = true;
    r.app_adc_conf.throttle_exp = 134.25f;
    r.app_adc_conf.throttle_exp_brake = 141.125f;
    r.app_adc_conf.throttle_exp_mode = 28;
    r.app_adc_conf.ramp_time_pos = 148.75f;
    r.app_adc_conf.ramp_time_neg = -155.375f;
    r.app_adc_conf.multi_esc = true;
    r.app_adc_conf.tc = false;
    r.app_adc_conf.tc_max_diff = 166528.0f;
    r.app_adc_conf.update_rate_hz = 500U;
    r.app_uart_baudrate = 115200U;
    r.app_chuk_conf.ctrl_type = 29;
    r.app_chuk_conf.hyst = 169.5f;
    r.app_chuk_conf.ramp_time_pos = 176.25f;
    r.app_chuk_conf.ramp_time_neg = -183.125f;
    r.app_chuk_conf.stick_erpm_per_s_in_cc = 190.75f;
    r.app_chuk_conf.throttle_exp = 197.375f;
    r.app_chuk_conf.throttle_exp_brake = 204.625f;
    r.app_chuk_conf.throttle_exp_mode = 30;
    r.app_chuk_conf.multi_esc = true;
    r.app_chuk_conf.tc = true;
    r.app_chuk_conf.tc_max_diff = -211.5f;
    r.app_chuk_conf.use_smart_rev = false;
    r.app_chuk_conf.smart_rev_max_duty = 218.25f;
    r.app_chuk_conf.smart_rev_ramp_time = 230528.0f;
    r.app_nrf_conf.speed = 31;
    r.app_nrf_conf.power = 32;
    r.app_nrf_conf.crc_type = 33;
    r.app_nrf_conf.retry_delay = 34;
    r.app_nrf_conf.retries = 11;
    r.app_nrf_conf.channel = 76;
    r.app_nrf_conf.address[0] = 170;
    r.app_nrf_conf.address[1] = 85;
    r.app_nrf_conf.address[2] = 254;
    r.app_nrf_conf.send_crc_ack = true;
    r.app_balance_conf.kp = 232.75f;
    r.app_balance_conf.ki = -239.375f;
    r.app_balance_conf.kd = 246.625f;
    r.app_balance_conf.hertz = 832;
    r.app_balance_conf.fault_pitch = 253.5f;
    r.app_balance_conf.fault_roll = 260.25f;
    r.app_balance_conf.fault_duty = -267.125f;
    r.app_balance_conf.fault_adc1 = 274.75f;
    r.app_balance_conf.fault_adc2 = 281.375f;
    r.app_balance_conf.fault_delay_pitch = 250;
    r.app_balance_conf.fault_delay_roll = 251;
    r.app_balance_conf.fault_delay_duty = 10;
    r.app_balance_conf.fault_delay_switch_half = 2000;
    r.app_balance_conf.fault_delay_switch_full = 65535;
    r.app_balance_conf.fault_adc_half_erpm = 300;
    r.app_balance_conf.tiltback_angle = 295552.0f;
    r.app_balance_conf.tiltback_speed = -295.5f;
    r.app_balance_conf.tiltback_duty = 302.25f;
    r.app_balance_conf.tiltback_high_voltage = 309.125f;
    r.app_balance_conf.tiltback_low_voltage = 316.75f;
    r.app_balance_conf.tiltback_constant = -323.375f;
    r.app_balance_conf.tiltback_constant_erpm = 500;
    r.app_balance_conf.startup_pitch_tolerance = 330.625f;
    r.app_balance_conf.startup_roll_tolerance = 337.5f;
    r.app_balance_conf.startup_speed = 344.25f;
    r.app_balance_conf.deadzone = -359552.0f;
    r.app_balance_conf.current_boost = 358.75f;
    r.app_balance_conf.multi_esc = true;
    r.app_balance_conf.yaw_kp = 365.375f;
    r.app_balance_conf.yaw_ki = 372.625f;
    r.app_balance_conf.yaw_kd = -379.5f;
    r.app_balance_conf.roll_steer_kp = 386.25f;
    r.app_balance_conf.roll_steer_erpm_kp = 393.125f;
    r.app_balance_conf.brake_current = 400.75f;
    r.app_balance_conf.yaw_current_clamp = -407.375f;
    r.app_balance_conf.setpoint_pitch_filter = 424576.0f;
    r.app_balance_conf.setpoint_target_filter = 421.5f;
    r.app_balance_conf.setpoint_filter_clamp = 428.25f;
    r.app_balance_conf.kd_pt1_frequency = 1;
    r.app_pas_conf.ctrl_type = 35;
    r.app_pas_conf.sensor_type = 36;
    r.app_pas_conf.current_scaling = -2.125f;
    r.app_pas_conf.pedal_rpm_start = 10.5f;
    r.app_pas_conf.pedal_rpm_end = 3276.5f;
    r.app_pas_conf.invert_pedal_direction = false;
    r.app_pas_conf.magnets = 200;
    r.app_pas_conf.use_filter = true;
    r.app_pas_conf.ramp_time_pos = 6.25f;
    r.app_pas_conf.ramp_time_neg = 6.5f;
    r.app_pas_conf.update_rate_hz = 25U;
    r.imu_conf.type = 37;
    r.imu_conf.mode = 38;
    r.imu_conf.sample_rate_hz = 1000;
    r.imu_conf.accel_confidence_decay = 449.375f;
    r.imu_conf.mahony_kp = 456.625f;
    r.imu_conf.mahony_ki = -463.5f;
    r.imu_conf.madgwick_beta = 470.25f;
    r.imu_conf.rot_roll = 488576.0f;
    r.imu_conf.rot_pitch = 484.75f;
    r.imu_conf.rot_yaw = -491.375f;
    r.imu_conf.accel_offsets[0] = 498.625f;
    r.imu_conf.accel_offsets[1] = 505.5f;
    r.imu_conf.accel_offsets[2] = 512.25f;
    r.imu_conf.gyro_offsets[0] = -519.125f;
    r.imu_conf.gyro_offsets[1] = 526.75f;
    r.imu_conf.gyro_offsets[2] = 533.375f;
    r.imu_conf.gyro_offset_comp_fact[0] = 553600.0f;
    r.imu_conf.gyro_offset_comp_fact[1] = -547.5f;
    r.imu_conf.gyro_offset_comp_fact[2] = 554.25f;
    r.imu_conf.gyro_offset_comp_clamp = 561.125f;
    return r;
}

const std::vector<WireExpectation>& sampleMcWire() {
    static const std::vector<WireExpectation> table = {
        {"pwm_mode", 4, {0xFF}},
        {"comm_mode", 5, {0x14}},
        {"motor_type", 6, {0x15}},
        {"sensor_mode", 7, {0x16}},
        {"l_current_max", 8, {0x42, 0x70, 0x00, 0x00}},
        {"l_current_min", 12, {0x3D, 0xCC, 0xCC, 0xCD}},
        {"l_in_current_max", 16, {0x49, 0x96, 0xB4, 0x3C}},
        {"l_in_current_min", 20, {0xBF, 0x00, 0x00, 0x00}},
        {"l_abs_current_max", 24, {0x4C, 0xEB, 0x79, 0xA3}},
        {"l_min_erpm", 28, {0x37, 0x27, 0xC5, 0xAC}},
        {"l_max_erpm", 32, {0x3F, 0xC0, 0x00, 0x00}},
        {"l_erpm_start", 36, {0x41, 0x04, 0x00, 0x00}},
        {"l_max_erpm_fbrake", 40, {0xC1, 0x72, 0x00, 0x00}},
        {"l_max_erpm_fbrake_cc", 44, {0x41, 0xB6, 0x00, 0x00}},
        {"l_min_vin", 48, {0x41, 0xEB, 0x00, 0x00}},
        {"l_max_vin", 52, {0x47, 0x12, 0x80, 0x00}},
        {"l_battery_cut_start", 56, {0xC2, 0x2E, 0x00, 0x00}},
        {"l_battery_cut_end", 60, {0x42, 0x49, 0x00, 0x00}},
        {"l_slow_abs_current", 64, {0x01}},
        {"l_temp_fet_start", 65, {0x42, 0x64, 0x80, 0x00}},
        {"l_temp_fet_end", 69, {0x42, 0x81, 0x80, 0x00}},
        {"l_temp_motor_start", 73, {0xC2, 0x8E, 0xC0, 0x00}},
        {"l_temp_motor_end", 77, {0x42, 0x9D, 0x40, 0x00}},
        {"l_temp_accel_dec", 81, {0x42, 0xAB, 0x00, 0x00}},
        {"l_min_duty", 85, {0x42, 0xB8, 0x80, 0x00}},
        {"l_max_duty", 89, {0xC7, 0xC6, 0x40, 0x00}},
        {"l_watt_max", 93, {0x42, 0xD5, 0x80, 0x00}},
        {"l_watt_min", 97, {0x42, 0xE2, 0xC0, 0x00}},
        {"l_current_max_scale", 101, {0x42, 0xF1, 0x40, 0x00}},
        {"l_current_min_scale", 105, {0xC2, 0xFF, 0x00, 0x00}},
        {"l_duty_start", 109, {0x43, 0x06, 0x40, 0x00}},
        {"sl_min_erpm", 113, {0x43, 0x0D, 0x20, 0x00}},
        {"sl_min_erpm_cycle_int_limit", 117, {0x43, 0x14, 0xC0, 0x00}},
        {"sl_max_fullbreak_current_dir_change", 121, {0xC3, 0x1B, 0x60, 0x00}},
        {"sl_cycle_int_limit", 125, {0x48, 0x22, 0xA0, 0x00}},
        {"sl_phase_advance_at_br", 129, {0x43, 0x29, 0x80, 0x00}},
        {"sl_cycle_int_rpm_br", 133, {0x43, 0x30, 0x40, 0x00}},
        {"sl_bemf_coupling_k", 137, {0xC3, 0x37, 0x20, 0x00}},
        {"hall_table__0", 141, {0xFF}},
        {"hall_table__1", 142, {0x02}},
        {"hall_table__2", 143, {0x03}},
        {"hall_table__3", 144, {0xFC}},
        {"hall_table__4", 145, {0x05}},
        {"hall_table__5", 146, {0x06}},
        {"hall_table__6", 147, {0x80}},
        {"hall_table__7", 148, {0x7F}},
        {"hall_sl_erpm", 149, {0x43, 0x3E, 0xC0, 0x00}},
        {"foc_current_kp", 153, {0x43, 0x45, 0x60, 0x00}},
        {"foc_current_ki", 157, {0x43, 0x4C, 0xA0, 0x00}},
        {"foc_f_sw", 161, {0xC3, 0x53, 0x80, 0x00}},
        {"foc_dt_us", 165, {0x43, 0x5A, 0x40, 0x00}},
        {"foc_encoder_inverted", 169, {0x00}},
        {"foc_encoder_offset", 170, {0x48, 0x61, 0x20, 0x00}},
        {"foc_encoder_ratio", 174, {0x43, 0x68, 0xC0, 0x00}},
        {"foc_encoder_sin_gain", 178, {0xC3, 0x6F, 0x60, 0x00}},
        {"foc_encoder_cos_gain", 182, {0x43, 0x76, 0xA0, 0x00}},
        {"foc_encoder_sin_offset", 186, {0x43, 0x7D, 0x80, 0x00}},
        {"foc_encoder_cos_offset", 190, {0x43, 0x82, 0x20, 0x00}},
        {"foc_encoder_sincos_filter_constant", 194, {0xC3, 0x85, 0x90, 0x00}},
        {"foc_sensor_mode", 198, {0x17}},
        {"foc_pll_kp", 199, {0x43, 0x89, 0x60, 0x00}},
        {"foc_pll_ki", 203, {0x43, 0x8C, 0xB0, 0x00}},
        {"foc_motor_l", 207, {0x48, 0x90, 0x50, 0x00}},
        {"foc_motor_ld_lq_diff", 211, {0xC3, 0x93, 0xC0, 0x00}},
        {"foc_motor_r", 215, {0x43, 0x97, 0x20, 0x00}},
        {"foc_motor_flux_linkage", 219, {0x43, 0x9A, 0x90, 0x00}},
        {"foc_observer_gain", 223, {0x43, 0x9E, 0x60, 0x00}},
        {"foc_observer_gain_slow", 227, {0xC3, 0xA1, 0xB0, 0x00}},
        {"foc_duty_dowmramp_kp", 231, {0x43, 0xA5, 0x50, 0x00}},
        {"foc_duty_dowmramp_ki", 235, {0x43, 0xA8, 0xC0, 0x00}},
        {"foc_openloop_rpm", 239, {0x43, 0xAC, 0x20, 0x00}},
        {"foc_openloop_rpm_low", 243, {0x7D, 0x7D}},
        {"foc_d_gain_scale_start", 245, {0xC8, 0xAF, 0x90, 0x00}},
        {"foc_d_gain_scale_max_mod", 249, {0x43, 0xB3, 0x60, 0x00}},
        {"foc_sl_openloop_hyst", 253, {0xFF, 0x6A}},
        {"foc_sl_openloop_time_lock", 255, {0xFE, 0x89}},
        {"foc_sl_openloop_time_ramp", 257, {0x01, 0x90}},
        {"foc_sl_openloop_time", 259, {0x01, 0xA9}},
        {"foc_hall_table__0", 261, {0xC8}},
        {"foc_hall_table__1", 262, {0xC9}},
        {"foc_hall_table__2", 263, {0xCA}},
        {"foc_hall_table__3", 264, {0xFF}},
        {"foc_hall_table__4", 265, {0xCC}},
        {"foc_hall_table__5", 266, {0xCD}},
        {"foc_hall_table__6", 267, {0xCE}},
        {"foc_hall_table__7", 268, {0x01}},
        {"foc_hall_interp_erpm", 269, {0x43, 0xC1, 0x20, 0x00}},
        {"foc_sl_erpm", 273, {0x43, 0xC4, 0x90, 0x00}},
        {"foc_sample_v0_v7", 277, {0x01}},
        {"foc_sample_high_current", 278, {0x01}},
        {"foc_sat_comp", 279, {0x09, 0xC4}},
        {"foc_temp_comp", 281, {0x00}},
        {"foc_temp_comp_base_temp", 282, {0xFD, 0xF3}},
        {"foc_current_filter_const", 284, {0x48, 0xCF, 0x50, 0x00}},
        {"foc_cc_decoupling", 288, {0x18}},
        {"foc_observer_type", 289, {0x19}},
        {"foc_hfi_voltage_start", 290, {0x43, 0xD2, 0xC0, 0x00}},
        {"foc_hfi_voltage_run", 294, {0x43, 0xD6, 0x20, 0x00}},
        {"foc_hfi_voltage_max", 298, {0xC3, 0xD9, 0x90, 0x00}},
        {"foc_sl_erpm_hfi", 302, {0x43, 0xDD, 0x60, 0x00}},
        {"foc_hfi_start_samples", 306, {0x9C, 0x40}},
        {"foc_hfi_obs_ovr_sec", 308, {0x43, 0xE0, 0xB0, 0x00}},
        {"foc_hfi_samples", 312, {0x1A}},
        {"gpd_buffer_notify_left", 313, {0xFF, 0xFB}},
        {"gpd_buffer_interpol", 315, {0x7F, 0xFF}},
        {"gpd_current_filter_const", 317, {0x43, 0xE4, 0x50, 0x00}},
        {"gpd_current_kp", 321, {0xC3, 0xE7, 0xC0, 0x00}},
        {"gpd_current_ki", 325, {0x43, 0xEB, 0x20, 0x00}},
        {"s_pid_kp", 329, {0x48, 0xEE, 0x90, 0x00}},
        {"s_pid_ki", 333, {0x43, 0xF2, 0x60, 0x00}},
        {"s_pid_kd", 337, {0xC3, 0xF5, 0xB0, 0x00}},
        {"s_pid_kd_filter", 341, {0x43, 0xF9, 0x50, 0x00}},
        {"s_pid_min_erpm", 345, {0x43, 0xFC, 0xC0, 0x00}},
        {"s_pid_allow_braking", 349, {0x01}},
        {"s_pid_ramp_erpms_s", 350, {0x44, 0x00, 0x10, 0x00}},
        {"p_pid_kp", 354, {0xC4, 0x01, 0xC8, 0x00}},
        {"p_pid_ki", 358, {0x44, 0x03, 0xB0, 0x00}},
        {"p_pid_kd", 362, {0x44, 0x05, 0x58, 0x00}},
        {"p_pid_kd_filter", 366, {0x49, 0x07, 0x28, 0x00}},
        {"p_pid_ang_div", 370, {0xC4, 0x08, 0xE0, 0x00}},
        {"cc_startup_boost_duty", 374, {0x44, 0x0A, 0x90, 0x00}},
        {"cc_min_current", 378, {0x44, 0x0C, 0x48, 0x00}},
        {"cc_gain", 382, {0x44, 0x0E, 0x30, 0x00}},
        {"cc_ramp_step_max", 386, {0xC4, 0x0F, 0xD8, 0x00}},
        {"m_fault_stop_time_ms", 390, {0xF8, 0xA4, 0x32, 0xEB}},
        {"m_duty_ramp_step", 394, {0x44, 0x11, 0xA8, 0x00}},
        {"m_current_backoff_gain", 398, {0x44, 0x13, 0x60, 0x00}},
        {"m_encoder_counts", 402, {0xEE, 0x6B, 0x28, 0x00}},
        {"m_sensor_port_mode", 406, {0x1B}},
        {"m_invert_direction", 407, {0x01}},
        {"m_drv8301_oc_mode", 408, {0x1C}},
        {"m_drv8301_oc_adj", 409, {0x11}},
        {"m_bldc_f_sw_min", 410, {0x44, 0x15, 0x10, 0x00}},
        {"m_bldc_f_sw_max", 414, {0xC9, 0x16, 0xC8, 0x00}},
        {"m_dc_f_sw", 418, {0x44, 0x18, 0xB0, 0x00}},
        {"m_ntc_motor_beta", 422, {0x44, 0x1A, 0x58, 0x00}},
        {"m_out_aux_mode", 426, {0x1D}},
        {"m_motor_temp_sens_type", 427, {0x1E}},
        {"m_ptc_motor_coeff", 428, {0x44, 0x1C, 0x28, 0x00}},
        {"m_hall_extra_samples", 432, {0xFF}},
        {"si_motor_poles", 433, {0x0E}},
        {"si_gear_ratio", 434, {0xC4, 0x1D, 0xE0, 0x00}},
        {"si_wheel_diameter", 438, {0x44, 0x1F, 0x90, 0x00}},
        {"si_battery_type", 442, {0x1F}},
        {"si_battery_cells", 443, {0x0D}},
        {"si_battery_ah", 444, {0x44, 0x21, 0x48, 0x00}},
        {"bms.type", 448, {0x20}},
        {"bms.t_limit_start", 449, {0x11, 0x94}},
        {"bms.t_limit_end", 451, {0x01, 0xDB}},
        {"bms.soc_limit_start", 453, {0x03, 0x84}},
        {"bms.soc_limit_end", 455, {0xF7, 0xB3}},
    };
    return table;
}

const std::vector<WireExpectation>& sampleAppWire() {
    static const std::vector<WireExpectation> table = {
        {"controller_id", 4, {0x07}},
        {"timeout_msec", 5, {0xEE, 0x6B, 0x28, 0x00}},
        {"timeout_brake_current", 9, {0x43, 0x96, 0x20, 0x00}},
        {"send_can_status", 13, {0x14}},
        {"send_can_status_rate_hz", 14, {0xFF, 0xFF}},
        {"can_baud_rate", 16, {0x15}},
        {"pairing_done", 17, {0x01}},
        {"permanent_uart_enabled", 18, {0x00}},
        {"shutdown_mode", 19, {0x16}},
        {"can_mode", 20, {0x17}},
        {"uavcan_esc_index", 21, {0x09}},
        {"uavcan_raw_mode", 22, {0x18}},
        {"app_to_use", 23, {0xFF}},
        {"app_ppm_conf.ctrl_type", 24, {0x19}},
        {"app_ppm_conf.pid_max_erpm", 25, {0x3F, 0xC0, 0x00, 0x00}},
        {"app_ppm_conf.hyst", 29, {0x41, 0x04, 0x00, 0x00}},
        {"app_ppm_conf.pulse_start", 33, {0xC1, 0x72, 0x00, 0x00}},
        {"app_ppm_conf.pulse_end", 37, {0x41, 0xB6, 0x00, 0x00}},
        {"app_ppm_conf.pulse_center", 41, {0x41, 0xEB, 0x00, 0x00}},
        {"app_ppm_conf.median_filter", 45, {0x01}},
        {"app_ppm_conf.safe_start", 46, {0x01}},
        {"app_ppm_conf.throttle_exp", 47, {0x47, 0x12, 0x80, 0x00}},
        {"app_ppm_conf.throttle_exp_brake", 51, {0xC2, 0x2E, 0x00, 0x00}},
        {"app_ppm_conf.throttle_exp_mode", 55, {0x1A}},
        {"app_ppm_conf.ramp_time_pos", 56, {0x42, 0x49, 0x00, 0x00}},
        {"app_ppm_conf.ramp_time_neg", 60, {0x42, 0x64, 0x80, 0x00}},
        {"app_ppm_conf.multi_esc", 64, {0x00}},
        {"app_ppm_conf.tc", 65, {0x01}},
        {"app_ppm_conf.tc_max_diff", 66, {0x42, 0x81, 0x80, 0x00}},
        {"app_ppm_conf.max_erpm_for_dir", 70, {0xC2, 0x8E, 0xC0, 0x00}},
        {"app_ppm_conf.smart_rev_max_duty", 74, {0x42, 0x9D, 0x40, 0x00}},
        {"app_ppm_conf.smart_rev_ramp_time", 78, {0x42, 0xAB, 0x00, 0x00}},
        {"app_adc_conf.ctrl_type", 82, {0x1B}},
        {"app_adc_conf.hyst", 83, {0x42, 0xB8, 0x80, 0x00}},
        {"app_adc_conf.voltage_start", 87, {0xC7, 0xC6, 0x40, 0x00}},
        {"app_adc_conf.voltage_end", 91, {0x42, 0xD5, 0x80, 0x00}},
        {"app_adc_conf.voltage_center", 95, {0x42, 0xE2, 0xC0, 0x00}},
        {"app_adc_conf.voltage2_start", 99, {0x42, 0xF1, 0x40, 0x00}},
        {"app_adc_conf.voltage2_end", 103, {0xC2, 0xFF, 0x00, 0x00}},
        {"app_adc_conf.use_filter", 107, {0x01}},
        {"app_adc_conf.safe_start", 108, {0x00}},
        {"app_adc_conf.cc_button_inverted", 109, {0x01}},
        {"app_adc_conf.rev_button_inverted", 110, {0x01}},
        {"app_adc_conf.voltage_inverted", 111, {0x00}},
        {"app_adc_conf.voltage2_inverted", 112, {0x01}},
        {"app_adc_conf.throttle_exp", 113, {0x43, 0x06, 0x40, 0x00}},
        {"app_adc_conf.throttle_exp_brake", 117, {0x43, 0x0D, 0x20, 0x00}},
        {"app_adc_conf.throttle_exp_mode", 121, {0x1C}},
        {"app_adc_conf.ramp_time_pos", 122, {0x43, 0x14, 0xC0, 0x00}},
        {"app_adc_conf.ramp_time_neg", 126, {0xC3, 0x1B, 0x60, 0x00}},
        {"app_adc_conf.multi_esc", 130, {0x01}},
        {"app_adc_conf.tc", 131, {0x00}},
        {"app_adc_conf.tc_max_diff", 132, {0x48, 0x22, 0xA0, 0x00}},
        {"app_adc_conf.update_rate_hz", 136, {0x01, 0xF4}},
        {"app_uart_baudrate", 138, {0x00, 0x01, 0xC2, 0x00}},
        {"app_chuk_conf.ctrl_type", 142, {0x1D}},
        {"app_chuk_conf.hyst", 143, {0x43, 0x29, 0x80, 0x00}},
        {"app_chuk_conf.ramp_time_pos", 147, {0x43, 0x30, 0x40, 0x00}},
        {"app_chuk_conf.ramp_time_neg", 151, {0xC3, 0x37, 0x20, 0x00}},
        {"app_chuk_conf.stick_erpm_per_s_in_cc", 155, {0x43, 0x3E, 0xC0, 0x00}},
        {"app_chuk_conf.throttle_exp", 159, {0x43, 0x45, 0x60, 0x00}},
        {"app_chuk_conf.throttle_exp_brake", 163, {0x43, 0x4C, 0xA0, 0x00}},
        {"app_chuk_conf.throttle_exp_mode", 167, {0x1E}},
        {"app_chuk_conf.multi_esc", 168, {0x01}},
        {"app_chuk_conf.tc", 169, {0x01}},
        {"app_chuk_conf.tc_max_diff", 170, {0xC3, 0x53, 0x80, 0x00}},
        {"app_chuk_conf.use_smart_rev", 174, {0x00}},
        {"app_chuk_conf.smart_rev_max_duty", 175, {0x43, 0x5A, 0x40, 0x00}},
        {"app_chuk_conf.smart_rev_ramp_time", 179, {0x48, 0x61, 0x20, 0x00}},
        {"app_nrf_conf.speed", 183, {0x1F}},
        {"app_nrf_conf.power", 184, {0x20}},
        {"app_nrf_conf.crc_type", 185, {0x21}},
        {"app_nrf_conf.retry_delay", 186, {0x22}},
        {"app_nrf_conf.retries", 187, {0x0B}},
        {"app_nrf_conf.channel", 188, {0x4C}},
        {"app_nrf_conf.address__0", 189, {0xAA}},
        {"app_nrf_conf.address__1", 190, {0x55}},
        {"app_nrf_conf.address__2", 191, {0xFE}},
        {"app_nrf_conf.send_crc_ack", 192, {0x01}},
        {"app_balance_conf.kp", 193, {0x43, 0x68, 0xC0, 0x00}},
        {"app_balance_conf.ki", 197, {0xC3, 0x6F, 0x60, 0x00}},
        {"app_balance_conf.kd", 201, {0x43, 0x76, 0xA0, 0x00}},
        {"app_balance_conf.hertz", 205, {0x03, 0x40}},
        {"app_balance_conf.fault_pitch", 207, {0x43, 0x7D, 0x80, 0x00}},
        {"app_balance_conf.fault_roll", 211, {0x43, 0x82, 0x20, 0x00}},
        {"app_balance_conf.fault_duty", 215, {0xC3, 0x85, 0x90, 0x00}},
        {"app_balance_conf.fault_adc1", 219, {0x43, 0x89, 0x60, 0x00}},
        {"app_balance_conf.fault_adc2", 223, {0x43, 0x8C, 0xB0, 0x00}},
        {"app_balance_conf.fault_delay_pitch", 227, {0x00, 0xFA}},
        {"app_balance_conf.fault_delay_roll", 229, {0x00, 0xFB}},
        {"app_balance_conf.fault_delay_duty", 231, {0x00, 0x0A}},
        {"app_balance_conf.fault_delay_switch_half", 233, {0x07, 0xD0}},
        {"app_balance_conf.fault_delay_switch_full", 235, {0xFF, 0xFF}},
        {"app_balance_conf.fault_adc_half_erpm", 237, {0x01, 0x2C}},
        {"app_balance_conf.tiltback_angle", 239, {0x48, 0x90, 0x50, 0x00}},
        {"app_balance_conf.tiltback_speed", 243, {0xC3, 0x93, 0xC0, 0x00}},
        {"app_balance_conf.tiltback_duty", 247, {0x43, 0x97, 0x20, 0x00}},
        {"app_balance_conf.tiltback_high_voltage", 251, {0x43, 0x9A, 0x90, 0x00}},
        {"app_balance_conf.tiltback_low_voltage", 255, {0x43, 0x9E, 0x60, 0x00}},
        {"app_balance_conf.tiltback_constant", 259, {0xC3, 0xA1, 0xB0, 0x00}},
        {"app_balance_conf.tiltback_constant_erpm", 263, {0x01, 0xF4}},
        {"app_balance_conf.startup_pitch_tolerance", 265, {0x43, 0xA5, 0x50, 0x00}},
        {"app_balance_conf.startup_roll_tolerance", 269, {0x43, 0xA8, 0xC0, 0x00}},
        {"app_balance_conf.startup_speed", 273, {0x43, 0xAC, 0x20, 0x00}},
        {"app_balance_conf.deadzone", 277, {0xC8, 0xAF, 0x90, 0x00}},
        {"app_balance_conf.current_boost", 281, {0x43, 0xB3, 0x60, 0x00}},
        {"app_balance_conf.multi_esc", 285, {0x01}},
        {"app_balance_conf.yaw_kp", 286, {0x43, 0xB6, 0xB0, 0x00}},
        {"app_balance_conf.yaw_ki", 290, {0x43, 0xBA, 0x50, 0x00}},
        {"app_balance_conf.yaw_kd", 294, {0xC3, 0xBD, 0xC0, 0x00}},
        {"app_balance_conf.roll_steer_kp", 298, {0x43, 0xC1, 0x20, 0x00}},
        {"app_balance_conf.roll_steer_erpm_kp", 302, {0x43, 0xC4, 0x90, 0x00}},
        {"app_balance_conf.brake_current", 306, {0x43, 0xC8, 0x60, 0x00}},
        {"app_balance_conf.yaw_current_clamp", 310, {0xC3, 0xCB, 0xB0, 0x00}},
        {"app_balance_conf.setpoint_pitch_filter", 314, {0x48, 0xCF, 0x50, 0x00}},
        {"app_balance_conf.setpoint_target_filter", 318, {0x43, 0xD2, 0xC0, 0x00}},
        {"app_balance_conf.setpoint_filter_clamp", 322, {0x43, 0xD6, 0x20, 0x00}},
        {"app_balance_conf.kd_pt1_frequency", 326, {0x00, 0x01}},
        {"app_pas_conf.ctrl_type", 328, {0x23}},
        {"app_pas_conf.sensor_type", 329, {0x24}},
        {"app_pas_conf.current_scaling", 330, {0xF7, 0xB3}},
        {"app_pas_conf.pedal_rpm_start", 332, {0x00, 0x69}},
        {"app_pas_conf.pedal_rpm_end", 334, {0x7F, 0xFD}},
        {"app_pas_conf.invert_pedal_direction", 336, {0x00}},
        {"app_pas_conf.magnets", 337, {0x00, 0xC8}},
        {"app_pas_conf.use_filter", 339, {0x01}},
        {"app_pas_conf.ramp_time_pos", 340, {0x02, 0x71}},
        {"app_pas_conf.ramp_time_neg", 342, {0x02, 0x8A}},
        {"app_pas_conf.update_rate_hz", 344, {0x00, 0x19}},
        {"imu_conf.type", 346, {0x25}},
        {"imu_conf.mode", 347, {0x26}},
        {"imu_conf.sample_rate_hz", 348, {0x03, 0xE8}},
        {"imu_conf.accel_confidence_decay", 350, {0x43, 0xE0, 0xB0, 0x00}},
        {"imu_conf.mahony_kp", 354, {0x43, 0xE4, 0x50, 0x00}},
        {"imu_conf.mahony_ki", 358, {0xC3, 0xE7, 0xC0, 0x00}},
        {"imu_conf.madgwick_beta", 362, {0x43, 0xEB, 0x20, 0x00}},
        {"imu_conf.rot_roll", 366, {0x48, 0xEE, 0x90, 0x00}},
        {"imu_conf.rot_pitch", 370, {0x43, 0xF2, 0x60, 0x00}},
        {"imu_conf.rot_yaw", 374, {0xC3, 0xF5, 0xB0, 0x00}},
        {"imu_conf.accel_offsets__0", 378, {0x43, 0xF9, 0x50, 0x00}},
        {"imu_conf.accel_offsets__1", 382, {0x43, 0xFC, 0xC0, 0x00}},
        {"imu_conf.accel_offsets__2", 386, {0x44, 0x00, 0x10, 0x00}},
        {"imu_conf.gyro_offsets__0", 390, {0xC4, 0x01, 0xC8, 0x00}},
        {"imu_conf.gyro_offsets__1", 394, {0x44, 0x03, 0xB0, 0x00}},
        {"imu_conf.gyro_offsets__2", 398, {0x44, 0x05, 0x58, 0x00}},
        {"imu_conf.gyro_offset_comp_fact__0", 402, {0x49, 0x07, 0x28, 0x00}},
        {"imu_conf.gyro_offset_comp_fact__1", 406, {0xC4, 0x08, 0xE0, 0x00}},
        {"imu_conf.gyro_offset_comp_fact__2", 410, {0x44, 0x0A, 0x90, 0x00}},
        {"imu_conf.gyro_offset_comp_clamp", 414, {0x44, 0x0C, 0x48, 0x00}},
    };
    return table;
}

const std::vector<XmlExpectation>& sampleMcXml() {
    static const std::vector<XmlExpectation> table = {
        {"l_current_max", "60"},
        {"l_in_current_max", "1234567.5"},
        {"l_current_min", "0.1"},
        {"l_abs_current_max", "1.2345679e+08"},
        {"l_in_current_min", "-0.5"},
        {"l_max_erpm", "1.5"},
        {"l_min_erpm", "9.9999997e-06"},
        {"l_max_erpm_fbrake", "-15.125"},
        {"l_erpm_start", "8.25"},
        {"l_min_vin", "29.375"},
        {"l_max_erpm_fbrake_cc", "22.75"},
        {"l_battery_cut_start", "-43.5"},
        {"l_max_vin", "37504"},
        {"l_slow_abs_current", "1"},
        {"l_battery_cut_end", "50.25"},
        {"l_temp_fet_end", "64.75"},
        {"l_temp_fet_start", "57.125"},
        {"l_temp_motor_end", "78.625"},
        {"l_temp_motor_start", "-71.375"},
        {"l_min_duty", "92.25"},
        {"l_temp_accel_dec", "85.5"},
        {"l_watt_max", "106.75"},
        {"l_max_duty", "-101504"},
        {"l_current_max_scale", "120.625"},
        {"l_watt_min", "113.375"},
        {"l_duty_start", "134.25"},
        {"l_current_min_scale", "-127.5"},
        {"lo_current_min", "3.5"},
        {"lo_current_max", "4.5"},
        {"lo_in_current_min", "-5.5"},
        {"lo_in_current_max", "6.5"},
        {"lo_current_motor_min_now", "7.5"},
        {"lo_current_motor_max_now", "8.5"},
        {"comm_mode", "20"},
        {"pwm_mode", "255"},
        {"sensor_mode", "22"},
        {"motor_type", "21"},
        {"sl_min_erpm_cycle_int_limit", "148.75"},
        {"sl_min_erpm", "141.125"},
        {"sl_cycle_int_limit", "166528"},
        {"sl_max_fullbreak_current_dir_change", "-155.375"},
        {"sl_cycle_int_rpm_br", "176.25"},
        {"sl_phase_advance_at_br", "169.5"},
        {"sl_bemf_coupling_k", "-183.125"},
        {"foc_current_kp", "197.375"},
        {"hall_sl_erpm", "190.75"},
        {"foc_f_sw", "-211.5"},
        {"foc_current_ki", "204.625"},
        {"foc_encoder_offset", "230528"},
        {"foc_dt_us", "218.25"},
        {"foc_encoder_ratio", "232.75"},
        {"foc_encoder_inverted", "0"},
        {"foc_encoder_sin_gain", "-239.375"},
        {"foc_encoder_sin_offset", "253.5"},
        {"foc_encoder_cos_gain", "246.625"},
        {"foc_encoder_cos_offset", "260.25"},
        {"foc_motor_l", "295552"},
        {"foc_encoder_sincos_filter_constant", "-267.125"},
        {"foc_motor_r", "302.25"},
        {"foc_motor_ld_lq_diff", "-295.5"},
        {"foc_observer_gain", "316.75"},
        {"foc_motor_flux_linkage", "309.125"},
        {"foc_pll_kp", "274.75"},
        {"foc_observer_gain_slow", "-323.375"},
        {"foc_duty_dowmramp_kp", "330.625"},
        {"foc_pll_ki", "281.375"},
        {"foc_openloop_rpm", "344.25"},
        {"foc_duty_dowmramp_ki", "337.5"},
        {"foc_d_gain_scale_start", "-359552"},
        {"foc_openloop_rpm_low", "32.125"},
        {"foc_sl_openloop_hyst", "-1.5"},
        {"foc_d_gain_scale_max_mod", "358.75"},
        {"foc_sl_openloop_time_lock", "-3.75"},
        {"foc_sl_openloop_time", "4.25"},
        {"foc_sensor_mode", "23"},
        {"foc_sl_openloop_time_ramp", "4"},
        {"foc_hall_interp_erpm", "386.25"},
        {"foc_sample_v0_v7", "1"},
        {"foc_sl_erpm", "393.125"},
        {"foc_sat_comp", "2.5"},
        {"foc_sample_high_current", "1"},
        {"foc_temp_comp_base_temp", "-5.25"},
        {"foc_temp_comp", "0"},
        {"foc_cc_decoupling", "24"},
        {"foc_current_filter_const", "424576"},
        {"foc_hfi_voltage_start", "421.5"},
        {"foc_observer_type", "25"},
        {"foc_hfi_voltage_max", "-435.125"},
        {"foc_hfi_voltage_run", "428.25"},
        {"foc_hfi_start_samples", "40000"},
        {"foc_sl_erpm_hfi", "442.75"},
        {"foc_hfi_samples", "26"},
        {"foc_hfi_obs_ovr_sec", "449.375"},
        {"gpd_buffer_interpol", "32767"},
        {"gpd_buffer_notify_left", "-5"},
        {"gpd_current_kp", "-463.5"},
        {"gpd_current_filter_const", "456.625"},
        {"s_pid_kp", "488576"},
        {"gpd_current_ki", "470.25"},
        {"s_pid_kd", "-491.375"},
        {"s_pid_ki", "484.75"},
        {"s_pid_min_erpm", "505.5"},
        {"s_pid_kd_filter", "498.625"},
        {"s_pid_ramp_erpms_s", "512.25"},
        {"s_pid_allow_braking", "1"},
        {"p_pid_ki", "526.75"},
        {"p_pid_kp", "-519.125"},
        {"p_pid_kd_filter", "553600"},
        {"p_pid_kd", "533.375"},
        {"cc_startup_boost_duty", "554.25"},
        {"p_pid_ang_div", "-547.5"},
        {"cc_gain", "568.75"},
        {"cc_min_current", "561.125"},
        {"m_fault_stop_time_ms", "-123456789"},
        {"cc_ramp_step_max", "-575.375"},
        {"m_current_backoff_gain", "589.5"},
        {"m_duty_ramp_step", "582.625"},
        {"m_sensor_port_mode", "27"},
        {"m_encoder_counts", "4000000000"},
        {"m_drv8301_oc_mode", "28"},
        {"m_invert_direction", "1"},
        {"m_bldc_f_sw_min", "596.25"},
        {"m_drv8301_oc_adj", "17"},
        {"m_dc_f_sw", "610.75"},
        {"m_bldc_f_sw_max", "-617600"},
        {"m_out_aux_mode", "29"},
        {"m_ntc_motor_beta", "617.375"},
        {"m_ptc_motor_coeff", "624.625"},
        {"m_motor_temp_sens_type", "30"},
        {"si_motor_poles", "14"},
        {"m_hall_extra_samples", "255"},
        {"si_wheel_diameter", "638.25"},
        {"si_gear_ratio", "-631.5"},
        {"si_battery_cells", "13"},
        {"si_battery_type", "31"},
        {"si_battery_ah", "645.125"},
        {"foc_hall_table__0", "200"},
        {"foc_hall_table__1", "201"},
        {"foc_hall_table__2", "202"},
        {"foc_hall_table__3", "255"},
        {"foc_hall_table__4", "204"},
        {"foc_hall_table__5", "205"},
        {"foc_hall_table__6", "206"},
        {"foc_hall_table__7", "1"},
        {"hall_table__0", "-1"},
        {"hall_table__1", "2"},
        {"hall_table__2", "3"},
        {"hall_table__3", "-4"},
        {"hall_table__4", "5"},
        {"hall_table__5", "6"},
        {"hall_table__6", "-128"},
        {"hall_table__7", "127"},
        {"bms.type", "32"},
        {"bms.t_limit_start", "45"},
        {"bms.t_limit_end", "4.75"},
        {"bms.soc_limit_start", "0.89999998"},
        {"bms.soc_limit_end", "-2.125"},
    };
    return table;
}

const std::vector<XmlExpectation>& sampleAppXml() {
    static const std::vector<XmlExpectation> table = {
        {"controller_id", "7"},
        {"timeout_brake_current", "300.25"},
        {"timeout_msec", "4000000000"},
        {"send_can_status_rate_hz", "65535"},
        {"send_can_status", "20"},
        {"pairing_done", "1"},
        {"can_baud_rate", "21"},
        {"shutdown_mode", "22"},
        {"permanent_uart_enabled", "0"},
        {"uavcan_esc_index", "9"},
        {"can_mode", "23"},
        {"app_uart_baudrate", "115200"},
        {"uavcan_raw_mode", "24"},
        {"app_ppm_conf.ctrl_type", "25"},
        {"app_to_use", "255"},
        {"app_ppm_conf.hyst", "8.25"},
        {"app_ppm_conf.pid_max_erpm", "1.5"},
        {"app_ppm_conf.pulse_end", "22.75"},
        {"app_ppm_conf.pulse_start", "-15.125"},
        {"app_ppm_conf.median_filter", "1"},
        {"app_ppm_conf.pulse_center", "29.375"},
        {"app_ppm_conf.throttle_exp", "37504"},
        {"app_ppm_conf.safe_start", "1"},
        {"app_ppm_conf.throttle_exp_mode", "26"},
        {"app_ppm_conf.throttle_exp_brake", "-43.5"},
        {"app_ppm_conf.ramp_time_neg", "57.125"},
        {"app_ppm_conf.ramp_time_pos", "50.25"},
        {"app_ppm_conf.tc", "1"},
        {"app_ppm_conf.multi_esc", "0"},
        {"app_ppm_conf.max_erpm_for_dir", "-71.375"},
        {"app_ppm_conf.tc_max_diff", "64.75"},
        {"app_ppm_conf.smart_rev_ramp_time", "85.5"},
        {"app_ppm_conf.smart_rev_max_duty", "78.625"},
        {"app_adc_conf.hyst", "92.25"},
        {"app_adc_conf.ctrl_type", "27"},
        {"app_adc_conf.voltage_end", "106.75"},
        {"app_adc_conf.voltage_start", "-101504"},
        {"app_adc_conf.voltage2_start", "120.625"},
        {"app_adc_conf.voltage_center", "113.375"},
        {"app_adc_conf.use_filter", "1"},
        {"app_adc_conf.voltage2_end", "-127.5"},
        {"app_adc_conf.cc_button_inverted", "1"},
        {"app_adc_conf.safe_start", "0"},
        {"app_adc_conf.voltage_inverted", "0"},
        {"app_adc_conf.rev_button_inverted", "1"},
        {"app_adc_conf.throttle_exp", "134.25"},
        {"app_adc_conf.voltage2_inverted", "1"},
        {"app_adc_conf.throttle_exp_mode", "28"},
        {"app_adc_conf.throttle_exp_brake", "141.125"},
        {"app_adc_conf.ramp_time_neg", "-155.375"},
        {"app_adc_conf.ramp_time_pos", "148.75"},
        {"app_adc_conf.tc", "0"},
        {"app_adc_conf.multi_esc", "1"},
        {"app_adc_conf.update_rate_hz", "500"},
        {"app_adc_conf.tc_max_diff", "166528"},
        {"app_chuk_conf.hyst", "169.5"},
        {"app_chuk_conf.ctrl_type", "29"},
        {"app_chuk_conf.ramp_time_neg", "-183.125"},
        {"app_chuk_conf.ramp_time_pos", "176.25"},
        {"app_chuk_conf.throttle_exp", "197.375"},
        {"app_chuk_conf.stick_erpm_per_s_in_cc", "190.75"},
        {"app_chuk_conf.throttle_exp_mode", "30"},
        {"app_chuk_conf.throttle_exp_brake", "204.625"},
        {"app_chuk_conf.tc", "1"},
        {"app_chuk_conf.multi_esc", "1"},
        {"app_chuk_conf.use_smart_rev", "0"},
        {"app_chuk_conf.tc_max_diff", "-211.5"},
        {"app_chuk_conf.smart_rev_ramp_time", "230528"},
        {"app_chuk_conf.smart_rev_max_duty", "218.25"},
        {"app_nrf_conf.power", "32"},
        {"app_nrf_conf.speed", "31"},
        {"app_nrf_conf.retry_delay", "34"},
        {"app_nrf_conf.crc_type", "33"},
        {"app_nrf_conf.channel", "76"},
        {"app_nrf_conf.retries", "11"},
        {"app_nrf_conf.send_crc_ack", "1"},
        {"app_balance_conf.ki", "-239.375"},
        {"app_balance_conf.kp", "232.75"},
        {"app_balance_conf.hertz", "832"},
        {"app_balance_conf.kd", "246.625"},
        {"app_balance_conf.fault_roll", "260.25"},
        {"app_balance_conf.fault_pitch", "253.5"},
        {"app_balance_conf.fault_adc1", "274.75"},
        {"app_balance_conf.fault_duty", "-267.125"},
        {"app_balance_conf.fault_delay_pitch", "250"},
        {"app_balance_conf.fault_adc2", "281.375"},
        {"app_balance_conf.fault_delay_duty", "10"},
        {"app_balance_conf.fault_delay_roll", "251"},
        {"app_balance_conf.fault_delay_switch_full", "65535"},
        {"app_balance_conf.fault_delay_switch_half", "2000"},
        {"app_balance_conf.tiltback_angle", "295552"},
        {"app_balance_conf.fault_adc_half_erpm", "300"},
        {"app_balance_conf.tiltback_duty", "302.25"},
        {"app_balance_conf.tiltback_speed", "-295.5"},
        {"app_balance_conf.tiltback_low_voltage", "316.75"},
        {"app_balance_conf.tiltback_high_voltage", "309.125"},
        {"app_balance_conf.tiltback_constant_erpm", "500"},
        {"app_balance_conf.tiltback_constant", "-323.375"},
        {"app_balance_conf.startup_roll_tolerance", "337.5"},
        {"app_balance_conf.startup_pitch_tolerance", "330.625"},
        {"app_balance_conf.deadzone", "-359552"},
        {"app_balance_conf.startup_speed", "344.25"},
        {"app_balance_conf.multi_esc", "1"},
        {"app_balance_conf.current_boost", "358.75"},
        {"app_balance_conf.yaw_ki", "372.625"},
        {"app_balance_conf.yaw_kp", "365.375"},
        {"app_balance_conf.roll_steer_kp", "386.25"},
        {"app_balance_conf.yaw_kd", "-379.5"},
        {"app_balance_conf.brake_current", "400.75"},
        {"app_balance_conf.roll_steer_erpm_kp", "393.125"},
        {"app_balance_conf.setpoint_pitch_filter", "424576"},
        {"app_balance_conf.yaw_current_clamp", "-407.375"},
        {"app_balance_conf.setpoint_filter_clamp", "428.25"},
        {"app_balance_conf.setpoint_target_filter", "421.5"},
        {"app_pas_conf.ctrl_type", "35"},
        {"app_balance_conf.kd_pt1_frequency", "1"},
        {"app_pas_conf.current_scaling", "-2.125"},
        {"app_pas_conf.sensor_type", "36"},
        {"app_pas_conf.pedal_rpm_end", "3276.5"},
        {"app_pas_conf.pedal_rpm_start", "10.5"},
        {"app_pas_conf.magnets", "200"},
        {"app_pas_conf.invert_pedal_direction", "0"},
        {"app_pas_conf.ramp_time_pos", "6.25"},
        {"app_pas_conf.use_filter", "1"},
        {"app_pas_conf.update_rate_hz", "25"},
        {"app_pas_conf.ramp_time_neg", "6.5"},
        {"imu_conf.mode", "38"},
        {"imu_conf.type", "37"},
        {"imu_conf.accel_confidence_decay", "449.375"},
        {"imu_conf.sample_rate_hz", "1000"},
        {"imu_conf.mahony_ki", "-463.5"},
        {"imu_conf.mahony_kp", "456.625"},
        {"imu_conf.rot_roll", "488576"},
        {"imu_conf.madgwick_beta", "470.25"},
        {"imu_conf.rot_yaw", "-491.375"},
        {"imu_conf.rot_pitch", "484.75"},
        {"imu_conf.gyro_offset_comp_clamp", "561.125"},
        {"app_nrf_conf.address__0", "170"},
        {"app_nrf_conf.address__1", "85"},
        {"app_nrf_conf.address__2", "254"},
        {"imu_conf.gyro_offsets__0", "-519.125"},
        {"imu_conf.gyro_offsets__1", "526.75"},
        {"imu_conf.gyro_offsets__2", "533.375"},
        {"imu_conf.accel_offsets__0", "498.625"},
        {"imu_conf.accel_offsets__1", "505.5"},
        {"imu_conf.accel_offsets__2", "512.25"},
        {"imu_conf.gyro_offset_comp_fact__0", "553600"},
        {"imu_conf.gyro_offset_comp_fact__1", "-547.5"},
        {"imu_conf.gyro_offset_comp_fact__2", "554.25"},
    };
    return table;
}

const std::vector<CompareStep>& mcCompareSteps() {
    static const std::vector<CompareStep> table = {
        {{"l_current_max"}, {"l_current_max"}},
        {{"l_in_current_max"}, {"l_in_current_max"}},
        {{"l_current_min"}, {"l_current_min"}},
        {{"l_abs_current_max"}, {"l_abs_current_max"}},
        {{"l_in_current_min"}, {"l_in_current_min"}},
        {{"l_max_erpm"}, {"l_max_erpm"}},
        {{"l_min_erpm"}, {"l_min_erpm"}},
        {{"l_max_erpm_fbrake"}, {"l_max_erpm_fbrake"}},
        {{"l_erpm_start"}, {"l_erpm_start"}},
        {{"l_min_vin"}, {"l_min_vin"}},
        {{"l_max_erpm_fbrake_cc"}, {"l_max_erpm_fbrake_cc"}},
        {{"l_battery_cut_start"}, {"l_battery_cut_start"}},
        {{"l_max_vin"}, {"l_max_vin"}},
        {{"l_slow_abs_current"}, {"l_slow_abs_current"}},
        {{"l_battery_cut_end"}, {"l_battery_cut_end"}},
        {{"l_temp_fet_end"}, {"l_temp_fet_end"}},
        {{"l_temp_fet_start"}, {"l_temp_fet_start"}},
        {{"l_temp_motor_end"}, {"l_temp_motor_end"}},
        {{"l_temp_motor_start"}, {"l_temp_motor_start"}},
        {{"l_min_duty"}, {"l_min_duty"}},
        {{"l_temp_accel_dec"}, {"l_temp_accel_dec"}},
        {{"l_watt_max"}, {"l_watt_max"}},
        {{"l_max_duty"}, {"l_max_duty"}},
        {{"l_current_max_scale"}, {"l_current_max_scale"}},
        {{"l_watt_min"}, {"l_watt_min"}},
        {{"l_duty_start"}, {"l_duty_start"}},
        {{"l_current_min_scale"}, {"l_current_min_scale"}},
        {{"lo_current_min"}, {"lo_current_min"}},
        {{"lo_current_max"}, {"lo_current_max"}},
        {{"lo_in_current_min"}, {"lo_in_current_min"}},
        {{"lo_in_current_max"}, {"lo_in_current_max"}},
        {{"lo_current_motor_min_now"}, {"lo_current_motor_min_now"}},
        {{"lo_current_motor_max_now"}, {"lo_current_motor_max_now"}},
        {{"comm_mode"}, {"comm_mode"}},
        {{"pwm_mode"}, {"pwm_mode"}},
        {{"sensor_mode"}, {"sensor_mode"}},
        {{"motor_type"}, {"motor_type"}},
        {{"sl_min_erpm_cycle_int_limit"}, {"sl_min_erpm_cycle_int_limit"}},
        {{"sl_min_erpm"}, {"sl_min_erpm"}},
        {{"sl_cycle_int_limit"}, {"sl_cycle_int_limit"}},
        {{"sl_max_fullbreak_current_dir_change"}, {"sl_max_fullbreak_current_dir_change"}},
        {{"sl_cycle_int_rpm_br"}, {"sl_cycle_int_rpm_br"}},
        {{"sl_phase_advance_at_br"}, {"sl_phase_advance_at_br"}},
        {{"hall_table__0"}, {"hall_table[0]"}},
        {{"hall_table__1"}, {"hall_table[1]"}},
        {{"hall_table__2"}, {"hall_table[2]"}},
        {{"hall_table__3"}, {"hall_table[3]"}},
        {{"hall_table__4"}, {"hall_table[4]"}},
        {{"hall_table__5"}, {"hall_table[5]"}},
        {{"hall_table__6"}, {"hall_table[6]"}},
        {{"hall_table__7"}, {"hall_table[7]"}},
        {{"sl_bemf_coupling_k"}, {"sl_bemf_coupling_k"}},
        {{"foc_current_kp"}, {"foc_current_kp"}},
        {{"hall_sl_erpm"}, {"hall_sl_erpm"}},
        {{"foc_f_sw"}, {"foc_f_sw"}},
        {{"foc_current_ki"}, {"foc_current_ki"}},
        {{"foc_encoder_offset"}, {"foc_encoder_offset"}},
        {{"foc_dt_us"}, {"foc_dt_us"}},
        {{"foc_encoder_ratio"}, {"foc_encoder_ratio"}},
        {{"foc_encoder_inverted"}, {"foc_encoder_inverted"}},
        {{"foc_encoder_sin_gain"}, {"foc_encoder_sin_gain"}},
        {{"foc_encoder_sin_offset"}, {"foc_encoder_sin_offset"}},
        {{"foc_encoder_cos_gain"}, {"foc_encoder_cos_gain"}},
        {{"foc_encoder_cos_offset"}, {"foc_encoder_cos_offset"}},
        {{"foc_motor_l"}, {"foc_motor_l"}},
        {{"foc_encoder_sincos_filter_constant"}, {"foc_encoder_sincos_filter_constant"}},
        {{"foc_motor_r"}, {"foc_motor_r"}},
        {{"foc_motor_ld_lq_diff"}, {"foc_motor_ld_lq_diff"}},
        {{"foc_observer_gain"}, {"foc_observer_gain"}},
        {{"foc_motor_flux_linkage"}, {"foc_motor_flux_linkage"}},
        {{"foc_pll_kp"}, {"foc_pll_kp"}},
        {{"foc_observer_gain_slow"}, {"foc_observer_gain_slow"}},
        {{"foc_duty_dowmramp_kp"}, {"foc_duty_dowmramp_kp"}},
        {{"foc_pll_ki"}, {"foc_pll_ki"}},
        {{"foc_openloop_rpm"}, {"foc_openloop_rpm"}},
        {{"foc_duty_dowmramp_ki"}, {"foc_duty_dowmramp_ki"}},
        {{"foc_d_gain_scale_start"}, {"foc_d_gain_scale_start"}},
        {{"foc_openloop_rpm_low"}, {"foc_openloop_rpm_low"}},
        {{"foc_sl_openloop_hyst"}, {"foc_sl_openloop_hyst"}},
        {{"foc_d_gain_scale_max_mod"}, {"foc_d_gain_scale_max_mod"}},
        {{"foc_sl_openloop_time_lock"}, {"foc_sl_openloop_time_lock"}},
        {{"foc_sl_openloop_time"}, {"foc_sl_openloop_time"}},
        {{"foc_sensor_mode"}, {"foc_sensor_mode"}},
        {{"foc_sl_openloop_time_ramp"}, {"foc_sl_openloop_time_ramp"}},
        {{"foc_hall_interp_erpm"}, {"foc_hall_interp_erpm"}},
        {{"foc_hall_table__0"}, {"foc_hall_table[0]"}},
        {{"foc_hall_table__1"}, {"foc_hall_table[1]"}},
        {{"foc_hall_table__2"}, {"foc_hall_table[2]"}},
        {{"foc_hall_table__3"}, {"foc_hall_table[3]"}},
        {{"foc_hall_table__4"}, {"foc_hall_table[4]"}},
        {{"foc_hall_table__5"}, {"foc_hall_table[5]"}},
        {{"foc_hall_table__6"}, {"foc_hall_table[6]"}},
        {{"foc_hall_table__7"}, {"foc_hall_table[7]"}},
        {{"foc_sample_v0_v7"}, {"foc_sample_v0_v7"}},
        {{"foc_sl_erpm"}, {"foc_sl_erpm"}},
        {{"foc_sat_comp"}, {"foc_sat_comp"}},
        {{"foc_sample_high_current"}, {"foc_sample_high_current"}},
        {{"foc_temp_comp_base_temp"}, {"foc_temp_comp_base_temp"}},
        {{"foc_temp_comp"}, {"foc_temp_comp"}},
        {{"foc_cc_decoupling"}, {"foc_cc_decoupling"}},
        {{"foc_current_filter_const"}, {"foc_current_filter_const"}},
        {{"foc_hfi_voltage_start"}, {"foc_hfi_voltage_start"}},
        {{"foc_observer_type"}, {"foc_observer_type"}},
        {{"foc_hfi_voltage_max"}, {"foc_hfi_voltage_max"}},
        {{"foc_hfi_voltage_run"}, {"foc_hfi_voltage_run"}},
        {{"foc_hfi_start_samples"}, {"foc_hfi_start_samples"}},
        {{"foc_sl_erpm_hfi"}, {"foc_sl_erpm_hfi"}},
        {{"foc_hfi_samples"}, {"foc_hfi_samples"}},
        {{"foc_hfi_obs_ovr_sec"}, {"foc_hfi_obs_ovr_sec"}},
        {{"gpd_buffer_interpol"}, {"gpd_buffer_interpol"}},
        {{"gpd_buffer_notify_left"}, {"gpd_buffer_notify_left"}},
        {{"gpd_current_kp"}, {"gpd_current_kp"}},
        {{"gpd_current_filter_const"}, {"gpd_current_filter_const"}},
        {{"s_pid_kp"}, {"s_pid_kp"}},
        {{"gpd_current_ki"}, {"gpd_current_ki"}},
        {{"s_pid_kd"}, {"s_pid_kd"}},
        {{"s_pid_ki"}, {"s_pid_ki"}},
        {{"s_pid_min_erpm"}, {"s_pid_min_erpm"}},
        {{"s_pid_kd_filter"}, {"s_pid_kd_filter"}},
        {{"s_pid_ramp_erpms_s"}, {"s_pid_ramp_erpms_s"}},
        {{"s_pid_allow_braking"}, {"s_pid_allow_braking"}},
        {{"p_pid_ki"}, {"p_pid_ki"}},
        {{"p_pid_kp"}, {"p_pid_kp"}},
        {{"p_pid_kd_filter"}, {"p_pid_kd_filter"}},
        {{"p_pid_kd"}, {"p_pid_kd"}},
        {{"cc_startup_boost_duty"}, {"cc_startup_boost_duty"}},
        {{"p_pid_ang_div"}, {"p_pid_ang_div"}},
        {{"cc_gain"}, {"cc_gain"}},
        {{"cc_min_current"}, {"cc_min_current"}},
        {{"m_fault_stop_time_ms"}, {"m_fault_stop_time_ms"}},
        {{"cc_ramp_step_max"}, {"cc_ramp_step_max"}},
        {{"m_current_backoff_gain"}, {"m_current_backoff_gain"}},
        {{"m_duty_ramp_step"}, {"m_duty_ramp_step"}},
        {{"m_sensor_port_mode"}, {"m_sensor_port_mode"}},
        {{"m_encoder_counts"}, {"m_encoder_counts"}},
        {{"m_drv8301_oc_mode"}, {"m_drv8301_oc_mode"}},
        {{"m_invert_direction"}, {"m_invert_direction"}},
        {{"m_bldc_f_sw_min"}, {"m_bldc_f_sw_min"}},
        {{"m_drv8301_oc_adj"}, {"m_drv8301_oc_adj"}},
        {{"m_dc_f_sw"}, {"m_dc_f_sw"}},
        {{"m_bldc_f_sw_max"}, {"m_bldc_f_sw_max"}},
        {{"m_out_aux_mode"}, {"m_out_aux_mode"}},
        {{"m_ntc_motor_beta"}, {"m_ntc_motor_beta"}},
        {{"m_ptc_motor_coeff"}, {"m_ptc_motor_coeff"}},
        {{"m_motor_temp_sens_type"}, {"m_motor_temp_sens_type"}},
        {{"si_motor_poles"}, {"si_motor_poles"}},
        {{"m_hall_extra_samples"}, {"m_hall_extra_samples"}},
        {{"si_wheel_diameter"}, {"si_wheel_diameter"}},
        {{"si_gear_ratio"}, {"si_gear_ratio"}},
        {{"si_battery_cells"}, {"si_battery_cells"}},
        {{"si_battery_type"}, {"si_battery_type"}},
        {{"bms.type", "bms.t_limit_start", "bms.t_limit_end", "bms.soc_limit_start", "bms.soc_limit_end"},
         {"bms"}},
        {{"si_battery_ah"}, {"si_battery_ah"}},
    };
    return table;
}
