#include "server/plc/TagUnits.h"

#include <algorithm>
#include <array>

#include "server/plc/AreaRuns.h"

namespace zentarc {

namespace ge = plc::ge;

namespace {

bool isBooleanType(VARTYPE vt) { return vt == VT_BOOL || vt == (VT_ARRAY | VT_BOOL); }

}  // namespace

TagPlacement readPlacement(const PlcTag& tag) {
  const TagExtent e = tagExtent(tag);
  return {readUnit(tag.area), e.first, e.span};
}

TagPlacement writePlacement(const PlcTag& tag) {
  const VARTYPE vt = tag.getNativeDatatype();
  if (!configfile::isBitArea(tag.area) || !isBooleanType(vt) || !isKnownDatatype(vt)) return readPlacement(tag);
  return {ge::Unit::Bit, tag.address, vt == VT_BOOL ? 1u : tag.count};
}

bool sameMemory(const RegisterBlock& block, configfile::MemoryArea area, ge::Unit unit) {
  return block.area == area && block.unit == unit;
}

bool worthBridgingIn(const RegisterBlock& block, const TagPlacement& place, std::uint32_t bridgeRegisters) {
  if (block.unit == ge::Unit::Word)
    return worthBridging(block.firstRegister, block.lastRegister(), place.first, place.span, bridgeRegisters);
  return worthBridging(block.firstRegister, block.lastRegister(), place.first, place.span, 2 * bridgeRegisters,
                       maxPieceUnits(block.unit, 0));
}

bool storeFromBlock(RegisterBlock& block, PlcTag& tag, std::chrono::system_clock::time_point readTime,
                    bool keptCurrent) {
  const TagPlacement p = readPlacement(tag);
  if (p.span == 0 || !sameMemory(block, tag.area, p.unit) || !block.contains(p.first, p.span)) return false;
  const std::uint16_t* units = block.at(p.first);
  if (p.unit == ge::Unit::Word) return storeRegisters(tag, {units, p.span}, readTime, keptCurrent);
  // Most bit-area tags take a few bytes: those need no allocation on every read.
  std::array<std::uint8_t, 64> small;
  std::vector<std::uint8_t> large;
  std::span<std::uint8_t> bytes(small.data(), p.span);
  if (p.span > small.size()) {
    large.resize(p.span);
    bytes = large;
  }
  std::copy(units, units + p.span, bytes.begin());
  return storeBytes(tag, bytes, readTime, keptCurrent);
}

bool bitAreaWriteUnits(const RequestRecord& record, std::vector<std::uint16_t>& units) {
  const PlcTag& tag = *record.tag;
  const TagPlacement p = writePlacement(tag);
  const std::uint8_t offset = tagBitOffset(tag);
  std::vector<std::uint8_t> data(bitAreaDataBytes(tag.getNativeDatatype(), offset, tag.count));
  if (!fillWriteBytes(record, data)) return false;
  units.assign(p.span, 0);
  for (std::uint32_t k = 0; k < p.span; ++k)
    units[k] = p.unit == ge::Unit::Bit ? (data[(offset + k) / 8] >> ((offset + k) % 8)) & 1u : data[k];
  return true;
}

}  // namespace zentarc
