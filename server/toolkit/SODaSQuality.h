#pragma once
// OPC DA qualities (16-bit; the server uses the low byte) and their display texts.
#include <cstdint>

#include "server/toolkit/SOCmnString.h"

inline constexpr std::uint16_t OPC_QUALITY_BAD = 0x00;
inline constexpr std::uint16_t OPC_QUALITY_CONFIG_ERROR = 0x04;
inline constexpr std::uint16_t OPC_QUALITY_NOT_CONNECTED = 0x08;
inline constexpr std::uint16_t OPC_QUALITY_DEVICE_FAILURE = 0x0C;
inline constexpr std::uint16_t OPC_QUALITY_SENSOR_FAILURE = 0x10;
inline constexpr std::uint16_t OPC_QUALITY_LAST_KNOWN = 0x14;
inline constexpr std::uint16_t OPC_QUALITY_COMM_FAILURE = 0x18;
inline constexpr std::uint16_t OPC_QUALITY_OUT_OF_SERVICE = 0x1C;
inline constexpr std::uint16_t OPC_QUALITY_WAITING_FOR_INITIAL_DATA = 0x20;
inline constexpr std::uint16_t OPC_QUALITY_UNCERTAIN = 0x40;
inline constexpr std::uint16_t OPC_QUALITY_GOOD = 0xC0;
inline constexpr std::uint16_t OPC_QUALITY_MASK = 0xC0;

// "GOOD", "BAD (comm failure)", "UNCERTAIN (last usable)", ..., with " [low limited]" and the
// like appended for limit bits.
SOCmnString quality2string(std::uint16_t quality);
