#pragma once
// The three original things lpfp_cli does with one connected controller. Each returns the
// process exit status: 0 when it did what was asked, 1 when it failed (the failure is logged).
// Errors of the device layer that a flow cannot judge (the device list cannot be built, the
// device does not open) are thrown to the caller.

#include "cli/lpfp_flows.h"
#include "core/device/device_list.h"

#include <string>

// List the devices, show the first, ask the bridge for its status and the controller for its
// firmware version.
// With a serial number, the device that has it.
int testDevice(const std::string& serial = {});

// Read the controller's current (defaults false) or factory default records and write them
// as "<basename>.app.xml" and "<basename>.mc.xml", or to standard output when basename is empty.
// A serial number chooses the device among several; without one the list must hold exactly one.
int getConfiguration(const std::string& basename, bool defaults, const std::string& serial = {});

// Apply the XML documents whose paths are not empty, each laid over the controller's default
// record, and verify every write by reading the record back.
// Device choice as for getConfiguration. Unless backup is disabled, the current records are
// saved as an LPFP backup after the firmware check and before anything is sent; when that
// fails nothing is sent.
int setConfiguration(const std::string& appPath, const std::string& mcPath, const std::string& serial = {},
                     const BackupSettings& backup = {});

// Shared with the LPFP flows: the device block printed for the device at list index, and
// opening it (chip identifier line, the flows' time-outs, an empty receive queue). "Failed to
// open device" goes to the caller.
void printDeviceBlock(const DeviceInfoNode& node, int index);
DeviceHandle openDevice(int index);
