#pragma once
// Which fields of two records differ, for people who want to see what a configuration change
// would do. Fields are visited in document order and judged by the same rule as the write
// verification: float32 values within 0.01 of each other are equal, everything else must be
// identical.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <string>
#include <string_view>
#include <vector>

struct FieldDifference {
    std::string_view record; // "APPConfiguration" or "MCConfiguration"
    std::string_view key;    // the field's XML key
    std::string left;        // both values as their XML text
    std::string right;
};

std::vector<FieldDifference> diffAppConfig(const APPConfiguration& left, const APPConfiguration& right);
std::vector<FieldDifference> diffMcConfig(const MCConfiguration& left, const MCConfiguration& right);
