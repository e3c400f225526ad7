#pragma once
// Register words <-> typed values, qualities for result codes, and the text of a value.
// Tags of the bit tables (%I, %Q, ...) are carried in bytes: bytes 2k and 2k+1 form register
// k (low byte first) and convert as registers do; booleans are bits of those bytes.
#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "server/toolkit/SOCmnVariant.h"

namespace zentarc {

class PlcTag;
struct RequestRecord;

inline constexpr std::array<std::uint16_t, 16> maskTable{
    0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080,
    0x0100, 0x0200, 0x0400, 0x0800, 0x1000, 0x2000, 0x4000, 0x8000};

// Number of registers a tag of the type occupies (0 for an unknown type). The 16-bit form
// is what blocks use; the loader checks the full figure so that no tag's span wraps.
std::uint16_t registerSpan(VARTYPE vt, std::uint16_t bit, std::uint16_t count);
std::uint32_t registerSpanWide(VARTYPE vt, std::uint16_t bit, std::uint16_t count);
bool isKnownDatatype(VARTYPE vt);
std::uint16_t registerSpan(const PlcTag& tag);

// Fills `value` from the registers by the rules of the type. `value` is normally the
// cache's copy; when it is not of the type and length expected it is made so first.
// False (value untouched) when fewer registers than the span are given or the type is
// unknown.
bool registersToValue(VARTYPE vt, std::uint16_t bit, std::uint16_t count,
                      std::span<const std::uint16_t> registers, SOCmnVariant& value);
// The client's value into the registers; false when its type differs from vt, an array is
// shorter than count, or the buffer is shorter than the span. Registers keep their contents
// where the value does not cover them (other bits, the last odd byte).
bool valueToRegisters(VARTYPE vt, std::uint16_t bit, std::uint16_t count,
                      const SOCmnVariant& value, std::span<std::uint16_t> registers);

// Converts the tag's registers and stores the value with quality GOOD in its cache, stamped
// with readTime. False (cache untouched) on a short buffer. keptCurrent false: a one-off
// read of a tag nothing polls, stored without making the cache current.
bool storeRegisters(PlcTag& tag, std::span<const std::uint16_t> registers,
                    std::chrono::system_clock::time_point readTime = std::chrono::system_clock::now(),
                    bool keptCurrent = true);
// The request's write value into the buffer of the tag's registers; true when converted.
bool fillWriteRegisters(const RequestRecord& record, std::span<std::uint16_t> registers);

// The bytes of a bit-area tag: `bytes` starts at the byte holding the tag's first bit, and
// `bitOffset` (0 to 7) is that bit's place in it (0 for the byte-aligned types). False (value
// untouched) when fewer bytes than the tag takes are given or the type is unknown.
bool bytesToValue(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count, std::span<const std::uint8_t> bytes,
                  SOCmnVariant& value);
// The data a write of the value sends: for VT_BOOL and VT_BOOL ARRAY a bit write's data (its
// bits from bitOffset upwards, every other bit 0), for the other types exactly their bytes.
// False when the value's type differs, an array is short, or the buffer is too small.
bool valueToBytes(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count, const SOCmnVariant& value,
                  std::span<std::uint8_t> bytes);
// Bytes a bit-area tag's data takes: for booleans the bytes its bits touch.
std::uint32_t bitAreaDataBytes(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count);

// Where a tag lies in the unit its area is read in: registers of a word table, bytes of a
// bit table. span 0 for a tag of no known type.
struct TagExtent {
  std::uint32_t first = 0;
  std::uint32_t span = 0;
};
TagExtent tagExtent(const PlcTag& tag);
// Bit of its first byte where a bit-area tag begins (0 in word areas).
std::uint8_t tagBitOffset(const PlcTag& tag);
// The tag's data in its area's unit (registers, or bytes for a bit table) into its cache.
bool storeBytes(PlcTag& tag, std::span<const std::uint8_t> bytes,
                std::chrono::system_clock::time_point readTime = std::chrono::system_clock::now(),
                bool keptCurrent = true);
// The request's write value as a bit-area write's data; true when converted.
bool fillWriteBytes(const RequestRecord& record, std::span<std::uint8_t> bytes);

// OPC quality for a communication result code.
std::uint16_t qualityForError(std::int64_t code);

// Text of a value for the status dialog (UTF-8).
std::string formatValue(VARTYPE vt, std::uint16_t count, const SOCmnVariant& value);
std::string formatValue(const PlcTag& tag, const SOCmnVariant& value);

}  // namespace zentarc
