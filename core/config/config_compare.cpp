#include "core/config/config_compare.h"

#include "core/config/config_fields.h"

#include <cmath>
#include <spdlog/spdlog.h>

namespace {

// Single-precision difference below 0.01; a NaN difference is never equal.
bool withinTolerance(float a, float b) {
    return static_cast<double>(std::fabs(a - b)) < 0.01;
}

template <class Record>
bool exactlyEqual(const FieldDescriptor<Record>& field, const Record& a, const Record& b) {
    return getInteger(field.in(a)) == getInteger(field.in(b));
}

constexpr std::string_view kBmsPrefix = "bms.";

} // namespace

bool floatWithinTolerance(float a, float b) {
    return withinTolerance(a, b);
}

bool floatEquals(float a, float b) {
    spdlog::trace("float {} == {} ?", a, b);
    return withinTolerance(a, b);
}

bool appConfigEquals(const APPConfiguration& a, const APPConfiguration& b) {
    for (const auto* field : appCompareOrder()) {
        const bool equal = field->type == FieldType::Float32
                               ? withinTolerance(getFloat(field->in(a)), getFloat(field->in(b)))
                               : exactlyEqual(*field, a, b);
        if (!equal) {
            return false;
        }
    }
    return true;
}

bool mcConfigEquals(const MCConfiguration& a, const MCConfiguration& b) {
    for (const auto* field : mcCompareOrder()) {
        const bool equal = field->type == FieldType::Float32
                               ? floatEquals(getFloat(field->in(a)), getFloat(field->in(b)))
                               : exactlyEqual(*field, a, b);
        if (equal) {
            continue;
        }
        // The battery-management record is compared as one step: its own field is named
        // first, then the step itself.
        if (field->key.substr(0, kBmsPrefix.size()) == kBmsPrefix) {
            spdlog::error("Not same {}", field->key.substr(kBmsPrefix.size()));
            spdlog::error("Not same {}", "bms");
        } else {
            spdlog::error("Not same {}", compareLabel(field->key));
        }
        return false;
    }
    return true;
}
