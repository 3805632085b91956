#include "core/config/config_diff.h"

#include "core/config/config_compare.h"
#include "core/config/config_fields.h"
#include "core/config/config_xml.h"

namespace {

template <class Record, class Order>
std::vector<FieldDifference> diff(std::string_view recordName, const Order& order, const Record& left,
                                  const Record& right) {
    std::vector<FieldDifference> differences;
    for (const auto* field : order) {
        const FieldRef a = field->in(left);
        const FieldRef b = field->in(right);
        const bool equal = isFloat(field->type) ? floatWithinTolerance(getFloat(a), getFloat(b))
                                                : getInteger(a) == getInteger(b);
        if (!equal) {
            differences.push_back(
                {recordName, field->key, fieldXmlText(*field, left), fieldXmlText(*field, right)});
        }
    }
    return differences;
}

} // namespace

std::vector<FieldDifference> diffAppConfig(const APPConfiguration& left, const APPConfiguration& right) {
    return diff(APP_ROOT, appXmlOrder(), left, right);
}

std::vector<FieldDifference> diffMcConfig(const MCConfiguration& left, const MCConfiguration& right) {
    return diff(MC_ROOT, mcXmlOrder(), left, right);
}
