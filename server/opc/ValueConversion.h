#pragma once
// Register words <-> typed values, qualities for result codes, and the text of a value.
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

// OPC quality for a communication result code.
std::uint16_t qualityForError(std::int64_t code);

// Text of a value for the status dialog (UTF-8).
std::string formatValue(VARTYPE vt, std::uint16_t count, const SOCmnVariant& value);
std::string formatValue(const PlcTag& tag, const SOCmnVariant& value);

}  // namespace zentarc
