#include "loader/parameter_table.h"

#include "core/config/c_number.h"
#include "core/config/config_codec.h"
#include "core/config/config_compare.h"
#include "core/config/config_diff.h"
#include "core/config/config_validate.h"
#include "core/config/config_xml.h"
#include "core/config/file_io.h"
#include "core/ops/session.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace {

template <class Field> ParameterEntry makeEntry(RecordKind record, const Field* field);

template <> ParameterEntry makeEntry(RecordKind record, const AppField* field) {
    ParameterEntry entry;
    entry.record = record;
    entry.app = field;
    entry.key = field->key;
    entry.type = field->type;
    return entry;
}

template <> ParameterEntry makeEntry(RecordKind record, const McField* field) {
    ParameterEntry entry;
    entry.record = record;
    entry.mc = field;
    entry.key = field->key;
    entry.type = field->type;
    // Only the lo_ fields stay off the wire, and the controller keeps nothing it is not sent.
    entry.stored = field->wire != WireEncoding::None;
    return entry;
}

// One record's entries, group by group, each group's keys in document order.
template <class Order>
void appendRecord(std::vector<ParameterEntry>& entries, RecordKind record, const Order& order) {
    std::vector<ParameterEntry> placed;
    for (const auto* field : order) {
        ParameterEntry entry = makeEntry(record, field);
        const auto group = parameterGroupOf(record, field->key);
        if (!group) {
            throw std::logic_error("The parameter view has no group for " + std::string(field->key));
        }
        entry.group = *group;
        placed.push_back(entry);
    }
    for (const ParameterGroup group : parameterGroupsOf(record)) {
        for (const ParameterEntry& entry : placed) {
            if (entry.group == group) {
                entries.push_back(entry);
            }
        }
    }
}

FieldRef refOf(const ParameterEntry& entry, LpfpConfiguration& pair) {
    return entry.app != nullptr ? entry.app->in(pair.app) : entry.mc->in(pair.mc);
}
FieldRef refOf(const ParameterEntry& entry, const LpfpConfiguration& pair) {
    return entry.app != nullptr ? entry.app->in(pair.app) : entry.mc->in(pair.mc);
}

// A value as typed, before it is stored.
struct TypedValue {
    float real = 0.0f;
    std::int64_t whole = 0;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// [sign] digits, nothing else.
std::optional<std::int64_t> parseWhole(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || !isDigit(text.front())) {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// [sign] (digits [. digits] | . digits) [e [sign] digits], nothing else; no infinities, no NaN.
std::optional<double> parseDecimal(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        const std::size_t exponentStart = i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
        }
        if (i == exponentStart) {
            return std::nullopt;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    // from_chars takes no plus sign; the grammar above has been checked already.
    const std::size_t from = text.front() == '+' ? 1 : 0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + from, text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// The number in a text the value checker has accepted.
std::optional<TypedValue> parseTyped(const ParameterEntry& entry, std::string_view text) {
    text = trimmed(text);
    TypedValue typed;
    if (entry.type == FieldType::Float32) {
        const auto value = parseDecimal(text);
        // Beyond the largest float the conversion would have no defined result.
        if (!value || std::fabs(*value) > static_cast<double>(std::numeric_limits<float>::max())) {
            return std::nullopt;
        }
        typed.real = static_cast<float>(*value);
        return typed;
    }
    const auto value = parseWhole(text);
    if (!value) {
        return std::nullopt;
    }
    typed.whole = *value;
    return typed;
}

// 1 / scale as a document would write it: "0.1".
std::string stepText(float scale) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, 1.0 / static_cast<double>(scale),
                                      std::chars_format::general, 8);
    return std::string(text, result.ptr);
}

bool allowedByTheChecker(const ParameterEntry& entry, std::string_view text) {
    return entry.app != nullptr ? valueAllowed(*entry.app, text) : valueAllowed(*entry.mc, text);
}

void store(const ParameterEntry& entry, LpfpConfiguration& pair, const TypedValue& typed) {
    const FieldRef ref = refOf(entry, pair);
    if (entry.type == FieldType::Float32) {
        setFloat(ref, typed.real);
    } else {
        setInteger(ref, typed.whole);
    }
}

// The controller keeps what its encoding carries: the value goes through the record's own
// encoder and decoder, and must come back equal by the verification's rule.
bool survivesTheWire(const ParameterEntry& entry, const TypedValue& typed) {
    LpfpConfiguration sent{};
    store(entry, sent, typed);
    LpfpConfiguration received{};
    if (entry.app != nullptr) {
        std::uint8_t payload[APP_CONFIG_PAYLOAD_SIZE];
        appConfigToBytes(payload, sent.app);
        appConfigFromBytes(payload, received.app);
    } else {
        std::uint8_t payload[MC_CONFIG_PAYLOAD_SIZE];
        mcConfigToBytes(payload, sent.mc);
        mcConfigFromBytes(payload, received.mc);
    }
    return !differingKeys(sent, received).count({entry.record, entry.key});
}

} // namespace

const std::vector<ParameterEntry>& parameterEntries() {
    static const std::vector<ParameterEntry> entries = [] {
        std::vector<ParameterEntry> list;
        appendRecord(list, RecordKind::App, appXmlOrder());
        appendRecord(list, RecordKind::Mc, mcXmlOrder());
        return list;
    }();
    return entries;
}

std::string_view recordName(RecordKind record) {
    return record == RecordKind::App ? APP_ROOT : MC_ROOT;
}

std::string entryText(const ParameterEntry& entry, const LpfpConfiguration& pair) {
    return entry.app != nullptr ? fieldXmlText(*entry.app, pair.app) : fieldXmlText(*entry.mc, pair.mc);
}

void copyEntry(const ParameterEntry& entry, const LpfpConfiguration& from, LpfpConfiguration& to) {
    const FieldRef source = refOf(entry, from);
    const FieldRef target = refOf(entry, to);
    if (entry.type == FieldType::Float32) {
        setFloat(target, getFloat(source));
    } else {
        setInteger(target, getInteger(source));
    }
}

KeySet differingKeys(const LpfpConfiguration& a, const LpfpConfiguration& b) {
    KeySet keys;
    for (const FieldDifference& difference : diffAppConfig(a.app, b.app)) {
        keys.insert({RecordKind::App, difference.key});
    }
    for (const FieldDifference& difference : diffMcConfig(a.mc, b.mc)) {
        keys.insert({RecordKind::Mc, difference.key});
    }
    return keys;
}

KeySet changedKeys(const LpfpConfiguration& a, const LpfpConfiguration& b) {
    KeySet keys;
    for (const ParameterEntry& entry : parameterEntries()) {
        if (entryText(entry, a) != entryText(entry, b)) {
            keys.insert({entry.record, entry.key});
        }
    }
    return keys;
}

bool valueFits(const ParameterEntry& entry, std::string_view text) {
    // The checker knows the ranges the field and its wire encoding carry; the trip through
    // the encoding adds what a range cannot say: a float16 of scale 10 keeps one decimal.
    if (!entry.stored || !allowedByTheChecker(entry, text)) {
        return false;
    }
    const auto typed = parseTyped(entry, text);
    return typed && survivesTheWire(entry, *typed);
}

std::string allowedText(const ParameterEntry& entry) {
    if (!entry.stored) {
        return "nothing: the controller does not keep this value";
    }
    std::string text = entry.app != nullptr ? allowedValues(*entry.app) : allowedValues(*entry.mc);
    const float scale = entry.app != nullptr ? entry.app->scale : entry.mc->scale;
    const WireEncoding wire = entry.app != nullptr ? entry.app->wire : entry.mc->wire;
    // Steps finer than the 0.01 of the verification come back equal; coarser ones do not.
    if (wire == WireEncoding::Float16 && scale < 100.0f) {
        text += ", in steps of " + stepText(scale);
    }
    return text;
}

bool setEntryText(const ParameterEntry& entry, LpfpConfiguration& pair, std::string_view text) {
    if (!valueFits(entry, text)) {
        return false;
    }
    store(entry, pair, *parseTyped(entry, text));
    return true;
}

ParameterSnapshot readParameterSnapshot(ControllerSession& session) {
    // Whatever an earlier exchange left in the receive queue must not be taken for a reply.
    session.link().flush();
    ParameterSnapshot snapshot;
    snapshot.current = readRecords(session, RecordSet::Current);
    snapshot.defaults = readRecords(session, RecordSet::Default);
    return snapshot;
}

ApplyResult applyParameterRecords(ControllerSession& session, const std::optional<APPConfiguration>& app,
                                  const std::optional<MCConfiguration>& mc, const ProgressFn& progress) {
    ApplyOptions options;
    options.policy = FailurePolicy::AttemptEveryRecord;
    options.backup = BackupSettings{true, {}};
    session.link().flush();
    return applyRecords(session, app, mc, options, progress);
}
