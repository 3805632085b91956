#include "simulator/records.h"

#include "core/config/config_codec.h"
#include "core/config/config_fields.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

constexpr char kStateHeader[] = "VARKO5-SIM-STATE 1\n";
constexpr std::size_t kStateHeaderSize = sizeof kStateHeader - 1;

// Plausible values for every field of a record, each exactly representable in its wire
// encoding: packed floats are quarter steps, scaled float16 fields whole numbers (their// scales are 10, 100
// or 1000, so value x scale is whole and within 16 bits), integers small.
template <class Field, class Record> void fillPlausible(const std::vector<Field>& fields, Record& record) {
    int position = 0;
    for (const Field& field : fields) {
        ++position;
        const FieldRef ref = field.in(record);
        switch (field.type) {
        case FieldType::Float32:
            setFloat(ref, static_cast<float>(position % 23 + 1) *
                              (field.wire == WireEncoding::Float16 ? 1.0f : 0.25f));
            break;
        case FieldType::Bool:
            setInteger(ref, position % 2);
            break;
        case FieldType::Enum:
            setInteger(ref, position % 3);
            break;
        case FieldType::Int8:
            setInteger(ref, position % 7 - 1);
            break;
        default:
            setInteger(ref, position % 97 + 1);
            break;
        }
    }
}

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::pair<std::string, int>, std::shared_ptr<SimRecords>>& registry() {
    static std::map<std::pair<std::string, int>, std::shared_ptr<SimRecords>> records;
    return records;
}

} // namespace

MCConfiguration simulatorDefaultMcConfig() {
    MCConfiguration record{};
    fillPlausible(mcFields(), record);
    record.l_current_max = 60.0f;
    record.l_current_min = -60.0f;
    record.l_in_current_max = 40.0f;
    record.l_in_current_min = -20.0f;
    record.l_abs_current_max = 130.0f;
    record.l_min_erpm = -100000.0f;
    record.l_max_erpm = 100000.0f;
    record.l_min_vin = 8.0f;
    record.l_max_vin = 57.0f;
    record.l_battery_cut_start = 10.0f;
    record.l_battery_cut_end = 8.0f;
    record.l_temp_fet_start = 85.0f;
    record.l_temp_fet_end = 100.0f;
    record.l_temp_motor_start = 85.0f;
    record.l_temp_motor_end = 100.0f;
    record.l_min_duty = 0.0078125f;
    record.l_max_duty = 0.9375f;
    record.l_watt_max = 1500000.0f;
    record.l_watt_min = -1500000.0f;
    record.l_current_max_scale = 1.0f;
    record.l_current_min_scale = 1.0f;
    const std::int8_t hallTable[8] = {-1, 1, 3, 2, 5, 6, 4, -1};
    std::copy(std::begin(hallTable), std::end(hallTable), std::begin(record.hall_table));
    record.foc_f_sw = 25000.0f;
    record.si_motor_poles = 14;
    record.si_battery_cells = 12;
    record.bms.t_limit_start = 45.0f;
    record.bms.t_limit_end = 65.0f;
    record.bms.soc_limit_start = 0.25f;
    record.bms.soc_limit_end = 0.125f;
    // Not carried on the wire: a controller never reports them.
    record.lo_current_max = 0.0f;
    record.lo_current_min = 0.0f;
    record.lo_in_current_max = 0.0f;
    record.lo_in_current_min = 0.0f;
    record.lo_current_motor_max_now = 0.0f;
    record.lo_current_motor_min_now = 0.0f;
    return record;
}

APPConfiguration simulatorDefaultAppConfig() {
    APPConfiguration record{};
    fillPlausible(appFields(), record);
    record.controller_id = 0;
    record.timeout_msec = 1000;
    record.timeout_brake_current = 0.0f;
    record.send_can_status_rate_hz = 50;
    record.app_to_use = 2;
    record.app_ppm_conf.hyst = 0.25f;
    record.app_ppm_conf.pulse_start = 1.0f;
    record.app_ppm_conf.pulse_end = 2.0f;
    record.app_ppm_conf.pulse_center = 1.5f;
    record.app_adc_conf.update_rate_hz = 500;
    record.imu_conf.sample_rate_hz = 1000;
    return record;
}

std::shared_ptr<SimRecords> simulatorSharedRecords(const std::string& scenarioText, int index) {
    const std::lock_guard<std::mutex> lock(registryMutex());
    auto& slot = registry()[{scenarioText, index}];
    if (!slot)
        slot = std::make_shared<SimRecords>();
    return slot;
}

void simulatorForgetRecords() {
    const std::lock_guard<std::mutex> lock(registryMutex());
    registry().clear();
}

bool loadSimState(const std::string& path, SimRecords& records) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t expected = kStateHeaderSize + APP_CONFIG_PAYLOAD_SIZE + MC_CONFIG_PAYLOAD_SIZE;
    if (bytes.size() != expected || std::memcmp(bytes.data(), kStateHeader, kStateHeaderSize) != 0)
        return false;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data()) + kStateHeaderSize;
    SimRecords loaded = records;
    if (!appConfigFromBytes(data, loaded.app) ||
        !mcConfigFromBytes(data + APP_CONFIG_PAYLOAD_SIZE, loaded.mc))
        return false;
    records = loaded;
    return true;
}

bool saveSimState(const std::string& path, const SimRecords& records) {
    std::vector<std::uint8_t> bytes(kStateHeaderSize + APP_CONFIG_PAYLOAD_SIZE + MC_CONFIG_PAYLOAD_SIZE);
    std::memcpy(bytes.data(), kStateHeader, kStateHeaderSize);
    appConfigToBytes(bytes.data() + kStateHeaderSize, records.app);
    mcConfigToBytes(bytes.data() + kStateHeaderSize + APP_CONFIG_PAYLOAD_SIZE, records.mc);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}
