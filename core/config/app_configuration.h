#pragma once
// The application configuration as firmware 5.2 keeps it. Member names are the XML keys
// (a nested member's key is "<member>.<field>"). Enumerations are carried as plain signed
// numbers. A value-initialised record (APPConfiguration{}) is all zero.

#include <cstdint>

struct ppm_config {
    int32_t ctrl_type;
    float pid_max_erpm;
    float hyst;
    float pulse_start;
    float pulse_end;
    float pulse_center;
    bool median_filter;
    bool safe_start;
    float throttle_exp;
    float throttle_exp_brake;
    int32_t throttle_exp_mode;
    float ramp_time_pos;
    float ramp_time_neg;
    bool multi_esc;
    bool tc;
    float tc_max_diff;
    float max_erpm_for_dir;
    float smart_rev_max_duty;
    float smart_rev_ramp_time;
};

struct adc_config {
    int32_t ctrl_type;
    float hyst;
    float voltage_start;
    float voltage_end;
    float voltage_center;
    float voltage2_start;
    float voltage2_end;
    bool use_filter;
    bool safe_start;
    bool cc_button_inverted;
    bool rev_button_inverted;
    bool voltage_inverted;
    bool voltage2_inverted;
    float throttle_exp;
    float throttle_exp_brake;
    int32_t throttle_exp_mode;
    float ramp_time_pos;
    float ramp_time_neg;
    bool multi_esc;
    bool tc;
    float tc_max_diff;
    uint32_t update_rate_hz;
};

struct chuk_config {
    int32_t ctrl_type;
    float hyst;
    float ramp_time_pos;
    float ramp_time_neg;
    float stick_erpm_per_s_in_cc;
    float throttle_exp;
    float throttle_exp_brake;
    int32_t throttle_exp_mode;
    bool multi_esc;
    bool tc;
    float tc_max_diff;
    bool use_smart_rev;
    float smart_rev_max_duty;
    float smart_rev_ramp_time;
};

struct nrf_config {
    int32_t speed;
    int32_t power;
    int32_t crc_type;
    int32_t retry_delay;
    uint8_t retries;
    uint8_t channel;
    uint8_t address[3];
    bool send_crc_ack;
};

struct balance_config {
    float kp;
    float ki;
    float kd;
    uint16_t hertz;
    float fault_pitch;
    float fault_roll;
    float fault_duty;
    float fault_adc1;
    float fault_adc2;
    uint16_t fault_delay_pitch;
    uint16_t fault_delay_roll;
    uint16_t fault_delay_duty;
    uint16_t fault_delay_switch_half;
    uint16_t fault_delay_switch_full;
    uint16_t fault_adc_half_erpm;
    float tiltback_angle;
    float tiltback_speed;
    float tiltback_duty;
    float tiltback_high_voltage;
    float tiltback_low_voltage;
    float tiltback_constant;
    uint16_t tiltback_constant_erpm;
    float startup_pitch_tolerance;
    float startup_roll_tolerance;
    float startup_speed;
    float deadzone;
    float current_boost;
    bool multi_esc;
    float yaw_kp;
    float yaw_ki;
    float yaw_kd;
    float roll_steer_kp;
    float roll_steer_erpm_kp;
    float brake_current;
    float yaw_current_clamp;
    float setpoint_pitch_filter;
    float setpoint_target_filter;
    float setpoint_filter_clamp;
    uint16_t kd_pt1_frequency;
};

struct pas_config {
    int32_t ctrl_type;
    int32_t sensor_type;
    float current_scaling;
    float pedal_rpm_start;
    float pedal_rpm_end;
    bool invert_pedal_direction;
    uint8_t magnets;
    bool use_filter;
    float ramp_time_pos;
    float ramp_time_neg;
    uint32_t update_rate_hz;
};

struct imu_config {
    int32_t type;
    int32_t mode;
    int32_t sample_rate_hz;
    float accel_confidence_decay;
    float mahony_kp;
    float mahony_ki;
    float madgwick_beta;
    float rot_roll;
    float rot_pitch;
    float rot_yaw;
    float accel_offsets[3];
    float gyro_offsets[3];
    float gyro_offset_comp_fact[3];
    float gyro_offset_comp_clamp;
};

struct APPConfiguration {
    uint8_t controller_id;
    uint32_t timeout_msec;
    float timeout_brake_current;
    int32_t send_can_status;
    uint32_t send_can_status_rate_hz;
    int32_t can_baud_rate;
    bool pairing_done;
    bool permanent_uart_enabled;
    int32_t shutdown_mode;
    int32_t can_mode;
    uint8_t uavcan_esc_index;
    int32_t uavcan_raw_mode;
    int32_t app_to_use;
    ppm_config app_ppm_conf;
    adc_config app_adc_conf;
    uint32_t app_uart_baudrate;
    chuk_config app_chuk_conf;
    nrf_config app_nrf_conf;
    balance_config app_balance_conf;
    pas_config app_pas_conf;
    imu_config imu_conf;
};
