#include "server/plc/AreaRuns.h"

#include <algorithm>

#include "server/plc/RegisterBlock.h"

namespace zentarc {

namespace ge = plc::ge;
using configfile::MemoryArea;

std::uint8_t areaSelector(MemoryArea area, ge::Unit unit) {
  const configfile::MemoryAreaEntry& e = configfile::memoryAreaEntry(area);
  switch (unit) {
    case ge::Unit::Word: return e.bitArea ? 0 : e.wordSelector;
    case ge::Unit::Byte: return e.bitArea ? e.byteSelector : 0;
    case ge::Unit::Bit: return e.bitArea ? e.bitSelector : 0;
  }
  return 0;
}

ge::Unit readUnit(MemoryArea area) { return configfile::isBitArea(area) ? ge::Unit::Byte : ge::Unit::Word; }

std::uint32_t maxPieceUnits(ge::Unit unit, std::uint32_t first) {
  switch (unit) {
    case ge::Unit::Word: return ge::kMaxRegisters;
    case ge::Unit::Byte: return ge::kMaxDataBytes;
    case ge::Unit::Bit: return 8 * ge::kMaxDataBytes - first % 8;
  }
  return 0;
}

namespace {

// One piece of units between the buffer's entries and a message's data bytes.
void unitsToData(ge::Unit unit, std::uint32_t first, std::uint32_t count, const std::uint16_t* units,
                 std::uint8_t* data) {
  switch (unit) {
    case ge::Unit::Word:
      for (std::uint32_t i = 0; i < count; ++i) ge::putWord(data + 2 * i, units[i]);
      return;
    case ge::Unit::Byte:
      for (std::uint32_t i = 0; i < count; ++i) data[i] = static_cast<std::uint8_t>(units[i]);
      return;
    case ge::Unit::Bit: {
      // A bit write sends 0 in the bits of its bytes it does not write.
      const std::uint32_t shift = first % 8;
      std::fill_n(data, ge::dataBytes(unit, static_cast<std::uint16_t>(first), count), 0);
      for (std::uint32_t k = 0; k < count; ++k)
        if (units[k] != 0) data[(shift + k) / 8] = static_cast<std::uint8_t>(data[(shift + k) / 8] | 1u << ((shift + k) % 8));
      return;
    }
  }
}

void dataToUnits(ge::Unit unit, std::uint32_t first, std::uint32_t count, const std::uint8_t* data,
                 std::uint16_t* units) {
  switch (unit) {
    case ge::Unit::Word:
      for (std::uint32_t i = 0; i < count; ++i) units[i] = ge::getWord(data + 2 * i);
      return;
    case ge::Unit::Byte:
      for (std::uint32_t i = 0; i < count; ++i) units[i] = data[i];
      return;
    case ge::Unit::Bit: {
      const std::uint32_t shift = first % 8;
      for (std::uint32_t k = 0; k < count; ++k) units[k] = (data[(shift + k) / 8] >> ((shift + k) % 8)) & 1u;
      return;
    }
  }
}

}  // namespace

plc::ResultCode readAreaRun(RegisterAccess& io, MemoryArea area, ge::Unit unit, std::uint32_t first,
                            std::uint32_t length, std::uint16_t* units) {
  if (area == MemoryArea::R && unit == ge::Unit::Word) return readRegisterRun(io, first, length, units);
  const std::uint8_t selector = areaSelector(area, unit);
  if (selector == 0) return plc::kInvalidArgument;
  std::uint8_t data[ge::kMaxDataBytes];
  for (std::uint32_t done = 0; done < length;) {
    const std::uint32_t at = first + done;
    const std::uint32_t piece = std::min(maxPieceUnits(unit, at), length - done);
    const plc::ResultCode code =
        io.ReadMemory(selector, unit, static_cast<std::uint16_t>(at), static_cast<std::uint16_t>(piece), data);
    if (code != plc::kOk) return code;
    dataToUnits(unit, at, piece, data, units + done);
    done += piece;
  }
  return plc::kOk;
}

plc::ResultCode writeAreaRun(RegisterAccess& io, MemoryArea area, ge::Unit unit, std::uint32_t first,
                             std::uint32_t length, const std::uint16_t* units) {
  if (area == MemoryArea::R && unit == ge::Unit::Word) return writeRegisterRun(io, first, length, units);
  const std::uint8_t selector = areaSelector(area, unit);
  if (selector == 0) return plc::kInvalidArgument;
  std::uint8_t data[ge::kMaxDataBytes];
  for (std::uint32_t done = 0; done < length;) {
    const std::uint32_t at = first + done;
    const std::uint32_t piece = std::min(maxPieceUnits(unit, at), length - done);
    unitsToData(unit, at, piece, units + done, data);
    const plc::ResultCode code =
        io.WriteMemory(selector, unit, static_cast<std::uint16_t>(at), static_cast<std::uint16_t>(piece), data);
    if (code != plc::kOk) return code;
    done += piece;
  }
  return plc::kOk;
}

}  // namespace zentarc
