#include "core/config/config_codec.h"

#include "core/config/byte_buffer.h"
#include "core/config/config_fields.h"

namespace {

template <class Record>
void appendField(std::uint8_t* buffer, const FieldDescriptor<Record>& field, const Record& record,
                 std::int32_t& index) {
    const FieldRef ref = field.in(record);
    // Narrower wire encodings keep the low-order bits of the value.
    const auto bits = static_cast<std::uint64_t>(field.type == FieldType::Float32 ? 0 : getInteger(ref));
    switch (field.wire) {
    case WireEncoding::None:
        break;
    case WireEncoding::Uint8:
        appendUint8(buffer, static_cast<std::uint8_t>(bits), index);
        break;
    case WireEncoding::Uint16:
        appendUint16(buffer, static_cast<std::uint16_t>(bits), index);
        break;
    case WireEncoding::Int16:
        appendInt16(buffer, static_cast<std::int16_t>(static_cast<std::uint16_t>(bits)), index);
        break;
    case WireEncoding::Uint32:
        appendUint32(buffer, static_cast<std::uint32_t>(bits), index);
        break;
    case WireEncoding::Int32:
        appendInt32(buffer, static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)), index);
        break;
    case WireEncoding::Float16:
        appendFloat16(buffer, getFloat(ref), field.scale, index);
        break;
    case WireEncoding::Float32Packed:
        appendFloat32Packed(buffer, getFloat(ref), index);
        break;
    }
}

// Each wire reader yields its natural value (zero- or sign-extended); storing it keeps the
// low-order bits of the field's width, which is exactly the widening the controller expects.
template <class Record>
void readField(const std::uint8_t* buffer, const FieldDescriptor<Record>& field, Record& record,
               std::int32_t& index) {
    const FieldRef ref = field.in(record);
    switch (field.wire) {
    case WireEncoding::None:
        break;
    case WireEncoding::Uint8:
        setInteger(ref, readUint8(buffer, index));
        break;
    case WireEncoding::Uint16:
        setInteger(ref, readUint16(buffer, index));
        break;
    case WireEncoding::Int16:
        setInteger(ref, readInt16(buffer, index));
        break;
    case WireEncoding::Uint32:
        setInteger(ref, readUint32(buffer, index));
        break;
    case WireEncoding::Int32:
        setInteger(ref, readInt32(buffer, index));
        break;
    case WireEncoding::Float16:
        setFloat(ref, readFloat16(buffer, field.scale, index));
        break;
    case WireEncoding::Float32Packed:
        setFloat(ref, readFloat32Packed(buffer, index));
        break;
    }
}

template <class Record, class Order>
std::int32_t encode(std::uint8_t* buffer, const Record& record, std::uint32_t signature, const Order& order) {
    std::int32_t index = 0;
    appendUint32(buffer, signature, index);
    for (const auto* field : order) {
        appendField(buffer, *field, record, index);
    }
    return index;
}

template <class Record, class Order>
bool decode(const std::uint8_t* buffer, Record& record, std::uint32_t signature, const Order& order) {
    std::int32_t index = 0;
    if (readUint32(buffer, index) != signature) {
        return false;
    }
    for (const auto* field : order) {
        readField(buffer, *field, record, index);
    }
    return true;
}

} // namespace

std::int32_t appConfigToBytes(std::uint8_t* buffer, const APPConfiguration& record) {
    return encode(buffer, record, APP_CONFIG_SIGNATURE, appPayloadOrder());
}

std::int32_t mcConfigToBytes(std::uint8_t* buffer, const MCConfiguration& record) {
    return encode(buffer, record, MC_CONFIG_SIGNATURE, mcPayloadOrder());
}

bool appConfigFromBytes(const std::uint8_t* buffer, APPConfiguration& record) {
    return decode(buffer, record, APP_CONFIG_SIGNATURE, appPayloadOrder());
}

bool mcConfigFromBytes(const std::uint8_t* buffer, MCConfiguration& record) {
    return decode(buffer, record, MC_CONFIG_SIGNATURE, mcPayloadOrder());
}
