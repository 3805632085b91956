#pragma once
// The records a simulated controller holds: its defaults, the current records each device of
// a scenario shares across opens, and the state files that carry them from one process to the
// next.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <memory>
#include <string>

// The records a fresh simulated controller holds, current and default alike. Every value
// survives the wire encoding unchanged.
MCConfiguration simulatorDefaultMcConfig();
APPConfiguration simulatorDefaultAppConfig();

struct SimRecords {
    APPConfiguration app = simulatorDefaultAppConfig();
    MCConfiguration mc = simulatorDefaultMcConfig();
};

// The current records of one device of one scenario, shared by every open in this process.
std::shared_ptr<SimRecords> simulatorSharedRecords(const std::string& scenarioText, int index);
// Forget every scenario's in-memory records (tests start afresh with it).
void simulatorForgetRecords();

// State files: a short header, then both payloads. False when the file is missing or damaged.
bool loadSimState(const std::string& path, SimRecords& records);
bool saveSimState(const std::string& path, const SimRecords& records);
