#pragma once
// One description of every field of both configuration records: its XML key, where it lives
// in the record, its type and its encoding on the wire. The binary codec, the XML documents
// and the comparisons walk these descriptions, each in its own order, so a field is declared
// once and cannot drift between them.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

enum class FieldType : std::uint8_t { Float32, Bool, Enum, Uint8, Int8, Uint16, Int32, Uint32 };

// How a field travels in the controller's payload. None: the field is not carried at all.
enum class WireEncoding : std::uint8_t { None, Uint8, Uint16, Int16, Int32, Uint32, Float16, Float32Packed };

// How a field's value is written and read in an XML document.
//   Float: "%.8g"; Int: "%d", 64-bit parse; Int32Parse: "%d", 32-bit parse;
//   Unsigned: "%u", 64-bit parse; Boolean: "0"/"1", 64-bit parse, non-zero is true.
enum class XmlKind : std::uint8_t { Float, Int, Int32Parse, Unsigned, Boolean };

using FieldRef =
    std::variant<float*, bool*, std::int32_t*, std::uint8_t*, std::int8_t*, std::uint16_t*, std::uint32_t*>;

template <class Record> struct FieldDescriptor {
    std::string_view key;
    FieldType type;
    WireEncoding wire;
    float scale; // the S of a scaled float16; unused otherwise
    FieldRef (*ref)(Record&);

    FieldRef in(Record& record) const { return ref(record); }
    // Reading through a const record: the reference is only ever read from.
    FieldRef in(const Record& record) const { return ref(const_cast<Record&>(record)); }
};

using McField = FieldDescriptor<MCConfiguration>;
using AppField = FieldDescriptor<APPConfiguration>;

XmlKind xmlKindOf(FieldType type);
bool isFloat(FieldType type);

// Every field, in the order the records declare them: 157 and 149 entries.
const std::vector<McField>& mcFields();
const std::vector<AppField>& appFields();

// The orders the codec, the documents and the comparisons walk, as pointers into the tables
// above. The motor payload leaves out the six lo_ fields (151 entries); the application
// payload is the application table as declared.
const std::vector<const McField*>& mcPayloadOrder();
const std::vector<const McField*>& mcXmlOrder();
const std::vector<const McField*>& mcCompareOrder();
const std::vector<const AppField*>& appPayloadOrder();
const std::vector<const AppField*>& appXmlOrder();
const std::vector<const AppField*>& appCompareOrder();

// Which fields an order given by keys must name: all of them, or those carried on the wire.
enum class OrderCoverage : std::uint8_t { EveryField, WireFields };

// The fields an order names, as pointers into the table. Throws std::logic_error naming the
// key when a key is not in the table, is named twice or (for WireFields) names a field the
// wire does not carry, and when a field the order must cover is not named at all. The orders
// above are built with it, so a table and its orders cannot drift apart unnoticed.
std::vector<const McField*> resolveFieldOrder(const std::vector<McField>& table,
                                              const std::vector<std::string_view>& keys,
                                              OrderCoverage coverage);
std::vector<const AppField*> resolveFieldOrder(const std::vector<AppField>& table,
                                               const std::vector<std::string_view>& keys,
                                               OrderCoverage coverage);

// Generic access to a field's value. Integers are handed out widened to 64 bits with their
// own signedness; storing keeps the low-order bits of the field's width (two's complement),
// and a bool stores "non-zero".
std::int64_t getInteger(const FieldRef& field);
void setInteger(const FieldRef& field, std::int64_t value);
float getFloat(const FieldRef& field);
void setFloat(const FieldRef& field, float value);

// The label the comparison log gives a field: its key, but "hall_table[3]" for an element
// of an array whose key is "hall_table__3".
std::string compareLabel(std::string_view key);
