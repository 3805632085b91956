#include "core/ops/device_choice.h"

#include <cstring>

DeviceChoice chooseDevice(const std::vector<DeviceInfoNode>& devices, const std::string& serial) {
    DeviceChoice choice;
    if (serial.empty()) {
        if (devices.empty()) {
            choice.error = "No VARKO 5 devices found";
        } else if (devices.size() > 1) {
            choice.error =
                "Multiple FTDI devices detected. Please connect only one device at a time when configuring";
        } else {
            choice.index = 0;
        }
        return choice;
    }
    std::string known;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string candidate = serialNumberOf(devices[i]);
        if (candidate == serial) {
            choice.index = static_cast<int>(i);
            return choice;
        }
        known += (known.empty() ? "" : ", ") + candidate;
    }
    choice.error = "No device with serial number " + serial +
                   (devices.empty() ? " (no device connected)" : " (connected: " + known + ")");
    return choice;
}
