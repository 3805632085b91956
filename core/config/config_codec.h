#pragma once
// The controller's binary payload of each record: a signature word, then every carried field
// in the controller's fixed order and encoding, without padding, length or checksum.

#include "core/config/app_configuration.h"
#include "core/config/mc_configuration.h"

#include <cstdint>

constexpr std::uint32_t APP_CONFIG_SIGNATURE = 0xC29AD144;
constexpr std::uint32_t MC_CONFIG_SIGNATURE = 0x83D6207A;
constexpr std::int32_t APP_CONFIG_PAYLOAD_SIZE = 418;
constexpr std::int32_t MC_CONFIG_PAYLOAD_SIZE = 457;

// Write the payload at the start of buffer (room for the full payload is the caller's) and
// return its length: always 418 / 457.
std::int32_t appConfigToBytes(std::uint8_t* buffer, const APPConfiguration& record);
std::int32_t mcConfigToBytes(std::uint8_t* buffer, const MCConfiguration& record);

// Decode a payload that starts at buffer (the full payload length must be readable). False,
// record untouched, when the signature does not match. The motor record's lo_ fields are not
// carried and keep their values.
bool appConfigFromBytes(const std::uint8_t* buffer, APPConfiguration& record);
bool mcConfigFromBytes(const std::uint8_t* buffer, MCConfiguration& record);
