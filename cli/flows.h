#pragma once
// The three things lpfp_cli does with the first connected controller. Each returns the
// process exit status: 0 when it did what was asked, 1 when it failed (the failure is logged).
// Errors of the device layer that a flow cannot judge (the device list cannot be built, the
// device does not open) are thrown to the caller.

#include <string>

// List the devices, show the first, ask the bridge for its status and the controller for its
// firmware version.
int testDevice();

// Read the controller's current (defaults false) or factory default records and write them
// as "<basename>.app.xml" and "<basename>.mc.xml", or to standard output when basename is empty.
int getConfiguration(const std::string& basename, bool defaults);

// Apply the XML documents whose paths are not empty, each laid over the controller's default
// record, and verify every write by reading the record back.
int setConfiguration(const std::string& appPath, const std::string& mcPath);
