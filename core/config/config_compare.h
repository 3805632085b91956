#pragma once
// Field-by-field equality of two records, used to verify a write by its read-back copy.
// float32 fields are equal when their single-precision difference is below 0.01; every other
// field must be identical.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

// The tolerance rule alone, silent: single-precision difference below 0.01, NaN never equal.
bool floatWithinTolerance(float a, float b);
// Tolerance rule with a trace line "float {} == {} ?".
bool floatEquals(float a, float b);
// Silent.
bool appConfigEquals(const APPConfiguration& a, const APPConfiguration& b);
// Logs "Not same {}" at error level for the first difference in its fixed order.
bool mcConfigEquals(const MCConfiguration& a, const MCConfiguration& b);
