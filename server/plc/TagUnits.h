#pragma once
// A tag in the units its blocks count in: registers of a word table; bytes of a bit table
// for reads and for the writes of every type but the booleans, whose writes count bits
// (a bit write changes exactly its bits, so no other bit is ever read and written back).
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/GeMessages.h"
#include "server/plc/RegisterBlock.h"

namespace zentarc {

struct TagPlacement {
  plc::ge::Unit unit = plc::ge::Unit::Word;
  std::uint32_t first = 0;
  std::uint32_t span = 0;  // 0: a tag of no known type
};

TagPlacement readPlacement(const PlcTag& tag);
TagPlacement writePlacement(const PlcTag& tag);
// True when the block may hold the tag: the same area and unit.
bool sameMemory(const RegisterBlock& block, configfile::MemoryArea area, plc::ge::Unit unit);
// worthBridging in the block's unit, for a PLC where one more round trip is worth
// `bridgeRegisters` registers (twice as many bytes).
bool worthBridgingIn(const RegisterBlock& block, const TagPlacement& place, std::uint32_t bridgeRegisters);

// Converts the tag's units in the block and stores the value with quality GOOD; false when
// the block does not cover the tag.
bool storeFromBlock(RegisterBlock& block, PlcTag& tag, std::chrono::system_clock::time_point readTime,
                    bool keptCurrent = true);
// The record's value as the units of its write placement in a bit table (bytes, or bits
// 0/1 for the booleans); false when the value cannot be converted.
bool bitAreaWriteUnits(const RequestRecord& record, std::vector<std::uint16_t>& units);

}  // namespace zentarc
