#pragma once
// Which of the connected bridges a command works on.

#include "core/device/device_list.h"

#include <string>
#include <vector>

struct DeviceChoice {
    int index = -1;    // list index of the chosen device, -1 when none could be chosen
    std::string error; // why not, as the message to log
};

// With an empty serial number the usual rules: the only device listed; none or several are
// refused. With a serial number: the device that has it, whatever else is connected.
DeviceChoice chooseDevice(const std::vector<DeviceInfoNode>& devices, const std::string& serial);
