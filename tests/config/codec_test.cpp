#include "core/config/config_codec.h"
#include "tests/config/config_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Room for either payload plus a sentinel tail that must stay untouched.
constexpr std::size_t kBufferSize = 600;
constexpr std::uint8_t kSentinel = 0xEE;

Bytes encodeMc(const MCConfiguration& record) {
    Bytes buffer(kBufferSize, kSentinel);
    EXPECT_EQ(mcConfigToBytes(buffer.data(), record), 457);
    for (std::size_t i = 457; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kSentinel) << "wrote past the motor payload at " << i;
    }
    buffer.resize(457);
    return buffer;
}

Bytes encodeApp(const APPConfiguration& record) {
    Bytes buffer(kBufferSize, kSentinel);
    EXPECT_EQ(appConfigToBytes(buffer.data(), record), 418);
    for (std::size_t i = 418; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], kSentinel) << "wrote past the application payload at " << i;
    }
    buffer.resize(418);
    return buffer;
}

Bytes slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
}

// The whole payload as the literal tables describe it, field by field from offset 4.
Bytes expectedPayload(std::uint32_t signature, const std::vector<WireExpectation>& fields, std::size_t size) {
    Bytes out = {static_cast<std::uint8_t>(signature >> 24), static_cast<std::uint8_t>(signature >> 16),
                 static_cast<std::uint8_t>(signature >> 8), static_cast<std::uint8_t>(signature)};
    for (const auto& field : fields) {
        EXPECT_EQ(out.size(), static_cast<std::size_t>(field.offset)) << field.key;
        out.insert(out.end(), field.bytes.begin(), field.bytes.end());
    }
    EXPECT_EQ(out.size(), size);
    return out;
}

TEST(ConfigCodec, AllZeroRecordsEncodeToTheSignatureAndZeros) {
    Bytes app = encodeApp(APPConfiguration{});
    EXPECT_EQ(slice(app, 0, 4), Bytes({0xC2, 0x9A, 0xD1, 0x44}));
    EXPECT_EQ(slice(app, 4, 414), Bytes(414, 0));

    Bytes mc = encodeMc(MCConfiguration{});
    EXPECT_EQ(slice(mc, 0, 4), Bytes({0x83, 0xD6, 0x20, 0x7A}));
    EXPECT_EQ(slice(mc, 4, 453), Bytes(453, 0));

    // Decoding the zero payloads over full records clears every carried field.
    APPConfiguration appRecord = sampleAppConfig();
    ASSERT_TRUE(appConfigFromBytes(app.data(), appRecord));
    EXPECT_EQ(differingKeys(appRecord, APPConfiguration{}), std::vector<std::string>{});

    MCConfiguration mcRecord = sampleMcConfig();
    ASSERT_TRUE(mcConfigFromBytes(mc.data(), mcRecord));
    MCConfiguration expected{};
    expected.lo_current_max = mcRecord.lo_current_max;
    expected.lo_current_min = mcRecord.lo_current_min;
    expected.lo_in_current_max = mcRecord.lo_in_current_max;
    expected.lo_in_current_min = mcRecord.lo_in_current_min;
    expected.lo_current_motor_max_now = mcRecord.lo_current_motor_max_now;
    expected.lo_current_motor_min_now = mcRecord.lo_current_motor_min_now;
    EXPECT_EQ(differingKeys(mcRecord, expected), std::vector<std::string>{});
    EXPECT_EQ(mcRecord.lo_current_min, sampleMcConfig().lo_current_min);
}

TEST(ConfigCodec, FullRecordsEncodeByteForByteInPayloadOrder) {
    EXPECT_EQ(encodeApp(sampleAppConfig()), expectedPayload(0xC29AD144, sampleAppWire(), 418));
    EXPECT_EQ(encodeMc(sampleMcConfig()), expectedPayload(0x83D6207A, sampleMcWire(), 457));
}

TEST(ConfigCodec, MotorPayloadOrderDiffersFromTheDeclaration) {
    // A few landmarks, each field holding a value that tells it apart from its neighbours.
    MCConfiguration record{};
    record.pwm_mode = 1;
    record.comm_mode = 2;
    record.motor_type = 3;
    record.sensor_mode = 4;
    record.l_current_max = 1.0f;
    record.lo_current_max = 99.0f; // not carried: must not shift anything
    record.foc_encoder_inverted = true;
    record.foc_encoder_offset = -2.5f;
    record.foc_sensor_mode = 7;
    record.foc_pll_kp = 1.0f;
    record.foc_sl_openloop_time = 2.5f;
    record.foc_sl_openloop_time_ramp = 1.5f;
    record.bms.soc_limit_end = -1.5f;
    const Bytes bytes = encodeMc(record);
    EXPECT_EQ(slice(bytes, 4, 4), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(slice(bytes, 8, 4), Bytes({0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 113, 4), Bytes({0, 0, 0, 0})); // sl_min_erpm follows l_duty_start
    EXPECT_EQ(bytes[169], 0x01);                          // foc_encoder_inverted
    EXPECT_EQ(slice(bytes, 170, 4), Bytes({0xC0, 0x20, 0x00, 0x00}));
    EXPECT_EQ(bytes[198], 7);                                         // foc_sensor_mode
    EXPECT_EQ(slice(bytes, 199, 4), Bytes({0x3F, 0x80, 0x00, 0x00})); // foc_pll_kp
    EXPECT_EQ(slice(bytes, 257, 2), Bytes({0x00, 0x96}));             // time_ramp x100
    EXPECT_EQ(slice(bytes, 259, 2), Bytes({0x00, 0xFA}));             // time x100
    EXPECT_EQ(slice(bytes, 455, 2), Bytes({0xFA, 0x24}));             // soc_limit_end x1000
}

TEST(ConfigCodec, DecodingRestoresEveryCarriedFieldAndKeepsLoFields) {
    const MCConfiguration sample = sampleMcConfig();
    const Bytes mcBytes = expectedPayload(0x83D6207A, sampleMcWire(), 457);
    MCConfiguration decoded{};
    decoded.lo_current_max = -1.25f;
    decoded.lo_current_min = 2.75f;
    decoded.lo_in_current_max = 3.0f;
    decoded.lo_in_current_min = -4.0f;
    decoded.lo_current_motor_max_now = 5.0f;
    decoded.lo_current_motor_min_now = 6.0f;
    ASSERT_TRUE(mcConfigFromBytes(mcBytes.data(), decoded));
    const std::vector<std::string> loKeys = {"lo_current_max",           "lo_current_min",
                                             "lo_in_current_max",        "lo_in_current_min",
                                             "lo_current_motor_max_now", "lo_current_motor_min_now"};
    EXPECT_EQ(differingKeys(decoded, sample), loKeys);
    EXPECT_EQ(decoded.lo_current_max, -1.25f);
    EXPECT_EQ(decoded.lo_current_min, 2.75f);
    EXPECT_EQ(decoded.lo_in_current_max, 3.0f);
    EXPECT_EQ(decoded.lo_in_current_min, -4.0f);
    EXPECT_EQ(decoded.lo_current_motor_max_now, 5.0f);
    EXPECT_EQ(decoded.lo_current_motor_min_now, 6.0f);

    APPConfiguration app{};
    const Bytes appBytes = expectedPayload(0xC29AD144, sampleAppWire(), 418);
    ASSERT_TRUE(appConfigFromBytes(appBytes.data(), app));
    EXPECT_EQ(differingKeys(app, sampleAppConfig()), std::vector<std::string>{});

    // And the encoder's own output goes the same way round.
    MCConfiguration again = sample;
    ASSERT_TRUE(mcConfigFromBytes(encodeMc(sample).data(), again));
    EXPECT_EQ(differingKeys(again, sample), std::vector<std::string>{});
}

TEST(ConfigCodec, WrongSignatureLeavesTheRecordUntouched) {
    const Bytes mcBytes = encodeMc(sampleMcConfig());
    const Bytes appBytes = encodeApp(sampleAppConfig());

    APPConfiguration app = sampleAppConfig();
    app.controller_id = 99;
    const APPConfiguration appBefore = app;
    EXPECT_FALSE(appConfigFromBytes(mcBytes.data(), app));
    EXPECT_EQ(differingKeys(app, appBefore), std::vector<std::string>{});

    MCConfiguration mc{};
    mc.l_current_max = 7.0f;
    const MCConfiguration mcBefore = mc;
    EXPECT_FALSE(mcConfigFromBytes(appBytes.data(), mc));
    EXPECT_EQ(differingKeys(mc, mcBefore), std::vector<std::string>{});

    // A single flipped bit in any signature byte is enough.
    for (std::size_t i = 0; i < 4; ++i) {
        Bytes damaged = appBytes;
        damaged[i] ^= 0x01;
        APPConfiguration target = appBefore;
        EXPECT_FALSE(appConfigFromBytes(damaged.data(), target)) << i;
        EXPECT_EQ(differingKeys(target, appBefore), std::vector<std::string>{});
        Bytes damagedMc = mcBytes;
        damagedMc[3 - i] ^= 0x80;
        MCConfiguration mcTarget = mcBefore;
        EXPECT_FALSE(mcConfigFromBytes(damagedMc.data(), mcTarget)) << i;
        EXPECT_EQ(differingKeys(mcTarget, mcBefore), std::vector<std::string>{});
    }
}

TEST(ConfigCodec, NarrowingOnTheWireAndWideningBack) {
    MCConfiguration mc{};
    mc.pwm_mode = 300;
    mc.si_battery_cells = -1;
    mc.hall_table[2] = -1;
    mc.gpd_buffer_notify_left = 40000;
    mc.gpd_buffer_interpol = -5;
    mc.m_drv8301_oc_adj = 0x1FF;
    mc.m_hall_extra_samples = -2;
    mc.m_fault_stop_time_ms = -2;
    mc.foc_hfi_start_samples = 65535;
    mc.m_encoder_counts = 0xFFFFFFFF;
    mc.bms.soc_limit_start = 0.9f;
    mc.bms.t_limit_start = 45.0f;
    mc.l_current_max = 60.0f;
    mc.l_slow_abs_current = true;
    Bytes bytes = encodeMc(mc);
    EXPECT_EQ(bytes[4], 0x2C);
    EXPECT_EQ(bytes[443], 0xFF);
    EXPECT_EQ(bytes[143], 0xFF);
    EXPECT_EQ(slice(bytes, 313, 2), Bytes({0x9C, 0x40}));
    EXPECT_EQ(slice(bytes, 315, 2), Bytes({0xFF, 0xFB}));
    EXPECT_EQ(bytes[409], 0xFF);
    EXPECT_EQ(bytes[432], 0xFE);
    EXPECT_EQ(slice(bytes, 390, 4), Bytes({0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(slice(bytes, 306, 2), Bytes({0xFF, 0xFF}));
    EXPECT_EQ(slice(bytes, 402, 4), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(slice(bytes, 453, 2), Bytes({0x03, 0x84}));
    EXPECT_EQ(slice(bytes, 449, 2), Bytes({0x11, 0x94}));
    EXPECT_EQ(slice(bytes, 8, 4), Bytes({0x42, 0x70, 0x00, 0x00}));
    EXPECT_EQ(bytes[64], 0x01);

    bytes[7] = 0xFF;   // sensor_mode: an enum byte is zero-extended
    bytes[169] = 0x02; // foc_encoder_inverted: any non-zero byte is true
    MCConfiguration back{};
    ASSERT_TRUE(mcConfigFromBytes(bytes.data(), back));
    EXPECT_EQ(back.pwm_mode, 44);
    EXPECT_EQ(back.si_battery_cells, 255);
    EXPECT_EQ(back.hall_table[2], -1);
    EXPECT_EQ(back.gpd_buffer_notify_left, -25536);
    EXPECT_EQ(back.gpd_buffer_interpol, -5);
    EXPECT_EQ(back.m_drv8301_oc_adj, 255);
    EXPECT_EQ(back.m_hall_extra_samples, 254);
    EXPECT_EQ(back.m_fault_stop_time_ms, -2);
    EXPECT_EQ(back.foc_hfi_start_samples, 65535);
    EXPECT_EQ(back.m_encoder_counts, 0xFFFFFFFFu);
    EXPECT_EQ(back.bms.soc_limit_start, 0.9f);
    EXPECT_EQ(back.bms.t_limit_start, 45.0f);
    EXPECT_EQ(back.l_current_max, 60.0f);
    EXPECT_EQ(back.sensor_mode, 255);
    EXPECT_TRUE(back.foc_encoder_inverted);
    EXPECT_EQ(encodeMc(back)[169], 0x01);

    APPConfiguration app{};
    app.send_can_status_rate_hz = 70000;
    app.app_pas_conf.magnets = 200;
    app.imu_conf.sample_rate_hz = -1;
    app.app_adc_conf.update_rate_hz = 65536;
    app.app_to_use = -1;
    app.timeout_msec = 4000000000u;
    Bytes appBytes = encodeApp(app);
    EXPECT_EQ(slice(appBytes, 14, 2), Bytes({0x11, 0x70}));
    EXPECT_EQ(slice(appBytes, 337, 2), Bytes({0x00, 0xC8}));
    EXPECT_EQ(slice(appBytes, 348, 2), Bytes({0xFF, 0xFF}));
    EXPECT_EQ(slice(appBytes, 136, 2), Bytes({0x00, 0x00}));
    EXPECT_EQ(appBytes[23], 0xFF);
    EXPECT_EQ(slice(appBytes, 5, 4), Bytes({0xEE, 0x6B, 0x28, 0x00}));

    appBytes[337] = 0x01; // magnets: only the low byte of the 16-bit value is kept
    APPConfiguration appBack{};
    ASSERT_TRUE(appConfigFromBytes(appBytes.data(), appBack));
    EXPECT_EQ(appBack.send_can_status_rate_hz, 4464u);
    EXPECT_EQ(appBack.app_pas_conf.magnets, 200);
    EXPECT_EQ(appBack.imu_conf.sample_rate_hz, 65535);
    EXPECT_EQ(appBack.app_adc_conf.update_rate_hz, 0u);
    EXPECT_EQ(appBack.app_to_use, 255);
    EXPECT_EQ(appBack.timeout_msec, 4000000000u);
}

TEST(ConfigCodec, BoundaryValuesOfEveryWireEncodingSurvive) {
    const float fmax = std::numeric_limits<float>::max();
    MCConfiguration high{};
    for (float* f : {&high.l_current_max, &high.foc_current_kp, &high.si_battery_ah}) {
        *f = fmax;
    }
    high.l_current_min = -fmax;
    high.l_in_current_max = 1.5e-38f; // smallest magnitude kept
    high.pwm_mode = 255;
    high.hall_table[0] = 127;
    high.hall_table[1] = -128;
    high.foc_hall_table[0] = 255;
    high.foc_hfi_start_samples = 65535;
    high.gpd_buffer_notify_left = 32767;
    high.gpd_buffer_interpol = -32768;
    high.m_fault_stop_time_ms = std::numeric_limits<std::int32_t>::min();
    high.m_encoder_counts = 0xFFFFFFFFu;
    high.si_battery_cells = 255;
    high.si_motor_poles = 255;
    high.foc_openloop_rpm_low = -32.768f; // -32768 / 1000
    high.foc_sat_comp = 32.75f;
    high.foc_sl_openloop_hyst = -327.68f; // -32768 / 100
    high.foc_sl_openloop_time = 327.67f;  // 32767 / 100
    MCConfiguration back{};
    ASSERT_TRUE(mcConfigFromBytes(encodeMc(high).data(), back));
    EXPECT_EQ(differingKeys(back, high), std::vector<std::string>{});

    APPConfiguration app{};
    app.controller_id = 255;
    app.timeout_msec = 0xFFFFFFFFu;
    app.send_can_status_rate_hz = 65535;
    app.app_uart_baudrate = 0xFFFFFFFFu;
    app.app_balance_conf.hertz = 65535;
    app.app_pas_conf.magnets = 255;
    app.imu_conf.sample_rate_hz = 65535;
    app.app_pas_conf.pedal_rpm_start = -3276.8f; // -32768 / 10
    app.app_pas_conf.pedal_rpm_end = 3276.7f;    // 32767 / 10
    app.imu_conf.gyro_offset_comp_clamp = -fmax;
    APPConfiguration appBack{};
    ASSERT_TRUE(appConfigFromBytes(encodeApp(app).data(), appBack));
    EXPECT_EQ(differingKeys(appBack, app), std::vector<std::string>{});
}

TEST(ConfigCodec, RecordsWithNonFiniteOrHugeFloatsEncodeDefinedBytes) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    MCConfiguration mc{};
    mc.l_current_max = inf;
    mc.l_current_min = -inf;
    mc.l_in_current_max = nan;
    mc.foc_sat_comp = nan;              // x1000 at 279
    mc.foc_temp_comp_base_temp = 1e30f; // x100 at 282
    mc.bms.t_limit_end = -inf;          // x100 at 451
    const Bytes bytes = encodeMc(mc);
    EXPECT_EQ(slice(bytes, 8, 4), Bytes({0x7F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 12, 4), Bytes({0xFF, 0x80, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 16, 4), Bytes({0x7F, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 279, 2), Bytes({0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 282, 2), Bytes({0xFF, 0xFF}));
    EXPECT_EQ(slice(bytes, 451, 2), Bytes({0x00, 0x00}));

    MCConfiguration back{};
    ASSERT_TRUE(mcConfigFromBytes(bytes.data(), back));
    EXPECT_EQ(back.l_current_max, inf);
    EXPECT_EQ(back.l_current_min, -inf);
    EXPECT_EQ(back.l_in_current_max, inf); // the NaN pattern reads as infinity
    EXPECT_EQ(back.foc_temp_comp_base_temp, -0.01f);

    APPConfiguration app{};
    app.app_pas_conf.current_scaling = -1e30f;
    app.timeout_brake_current = nan;
    const Bytes appBytes = encodeApp(app);
    EXPECT_EQ(slice(appBytes, 330, 2), Bytes({0x00, 0x00}));
    EXPECT_EQ(slice(appBytes, 9, 4), Bytes({0x7F, 0xC0, 0x00, 0x00}));
}

} // namespace
