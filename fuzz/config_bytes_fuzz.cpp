// Arbitrary payloads through both binary decoders and back through the encoders. (A second
// round is not byte-stable by design: scaled floats truncate, so n/S*S may land on n-1.)
#include "fuzz/harness.h"

#include "core/config/config_codec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <class Record, class Encode, class Decode>
void roundTrip(const std::uint8_t* data, std::size_t size, std::uint32_t signature, std::int32_t length,
               Encode encode, Decode decode) {
    std::uint8_t payload[512] = {};
    payload[0] = static_cast<std::uint8_t>(signature >> 24);
    payload[1] = static_cast<std::uint8_t>(signature >> 16);
    payload[2] = static_cast<std::uint8_t>(signature >> 8);
    payload[3] = static_cast<std::uint8_t>(signature);
    std::memcpy(payload + 4, data, size < 508 ? size : 508);
    Record record{};
    if (!decode(payload, record)) {
        std::abort();
    }
    std::uint8_t first[512] = {};
    std::uint8_t second[512] = {};
    if (encode(first, record) != length) {
        std::abort();
    }
    Record again{};
    if (!decode(first, again) || encode(second, again) != length) {
        std::abort();
    }
}

} // namespace

void fuzzConfigBytes(const std::uint8_t* data, std::size_t size) {
    // Unforced: any bytes at all, signature or not.
    std::uint8_t raw[512] = {};
    std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    APPConfiguration app{};
    MCConfiguration mc{};
    appConfigFromBytes(raw, app);
    mcConfigFromBytes(raw, mc);
    // Forced signature, so every field is decoded from fuzzer bytes.
    roundTrip<APPConfiguration>(data, size, APP_CONFIG_SIGNATURE, APP_CONFIG_PAYLOAD_SIZE, appConfigToBytes,
                                appConfigFromBytes);
    roundTrip<MCConfiguration>(data, size, MC_CONFIG_SIGNATURE, MC_CONFIG_PAYLOAD_SIZE, mcConfigToBytes,
                               mcConfigFromBytes);
}
