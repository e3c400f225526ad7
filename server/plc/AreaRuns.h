#pragma once
// Runs of one memory area read and written in pieces that each fit a message. The register
// table goes through the register calls, as it always has; the other word tables and the
// bit tables through their selectors. A block's buffer holds one unit per entry: a register
// of a word table, or a byte (reads, byte writes) or a bit (bit writes) of a bit table.
#include <cstdint>

#include "common/configfile/MemoryArea.h"
#include "server/plc/GeMessages.h"
#include "server/plc/RegisterAccess.h"

namespace zentarc {

// The selector of the area in the unit; 0 when the area has no such unit (words of a bit
// table, bytes or bits of a word table).
std::uint8_t areaSelector(configfile::MemoryArea area, plc::ge::Unit unit);
// The unit blocks read an area in: words of a word table, bytes of a bit table.
plc::ge::Unit readUnit(configfile::MemoryArea area);
// Units one message carries at most from `first`: 512 words, 1024 bytes, or the bits of
// 1024 bytes.
std::uint32_t maxPieceUnits(plc::ge::Unit unit, std::uint32_t first);

// `length` units from `first`, in ascending pieces; stops at the first failure and returns
// its code.
plc::ResultCode readAreaRun(RegisterAccess& io, configfile::MemoryArea area, plc::ge::Unit unit, std::uint32_t first,
                            std::uint32_t length, std::uint16_t* units);
plc::ResultCode writeAreaRun(RegisterAccess& io, configfile::MemoryArea area, plc::ge::Unit unit,
                             std::uint32_t first, std::uint32_t length, const std::uint16_t* units);

}  // namespace zentarc
