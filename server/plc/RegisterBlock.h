#pragma once
// What the three block kinds share: a run of consecutive registers with a buffer for their
// values, and the joining rules that decide whether a tag's registers belong to the run.
// A block lies in one memory area and counts in its unit: registers of a word table, bytes
// of a bit table (bits for a bit write); the rules below hold in that unit.
//
// Ranges are kept in 32 bits: a block may reach register 65535 and so cover 65536
// registers, and its buffer has 64 registers of slack beyond that.
#include <cstdint>
#include <vector>

#include "common/configfile/MemoryArea.h"
#include "server/plc/GeMessages.h"
#include "server/plc/RegisterAccess.h"
#include "server/plc/ResultCodes.h"

namespace zentarc {

// Registers a piece of a read or write may carry.
inline constexpr std::uint32_t kMaxPieceRegisters = 512;
// Unused registers a read may bridge between a block and a tag.
inline constexpr std::uint32_t kMaxReadGap = 10;
inline constexpr std::uint32_t kBufferSlack = 64;

// Capacity of a new block's buffer: the length truncated to a multiple of 64, plus 64.
constexpr std::uint32_t initialCapacity(std::uint32_t length) {
  return length / kBufferSlack * kBufferSlack + kBufferSlack;
}

// Read rule (cyclic and read blocks): a tag at `first` with `span` registers is near the
// block [blockFirst, blockLast] when at most 10 unused registers lie between them.
constexpr bool isNearForRead(std::uint32_t blockFirst, std::uint32_t blockLast, std::uint32_t first,
                             std::uint32_t span) {
  if (span == 0) return false;
  if (first > blockFirst) return first <= blockLast + 1 + kMaxReadGap;
  return blockFirst - first <= kMaxReadGap;
}

// What reading `length` registers costs, in registers: each message of at most 512 counts as
// `perRoundTrip` registers, the time one more round trip takes. In the bytes of a bit table
// the same holds with 1024 a message and the round trip in bytes.
constexpr std::uint64_t readCost(std::uint32_t length, std::uint32_t perRoundTrip,
                                 std::uint32_t perPiece = kMaxPieceRegisters) {
  return std::uint64_t{(length + perPiece - 1) / perPiece} * perRoundTrip + length;
}

// Whether reading the tag along with the block costs less than reading it apart: the unused
// registers between them take less time than the round trip they save, and bridging them
// adds no message of its own. Tags near by the rule above always join.
constexpr bool worthBridging(std::uint32_t blockFirst, std::uint32_t blockLast, std::uint32_t first,
                             std::uint32_t span, std::uint32_t perRoundTrip,
                             std::uint32_t perPiece = kMaxPieceRegisters) {
  if (span == 0) return false;
  if (isNearForRead(blockFirst, blockLast, first, span)) return true;
  const std::uint32_t low = first < blockFirst ? first : blockFirst;
  const std::uint32_t high = first + span - 1 > blockLast ? first + span - 1 : blockLast;
  return readCost(high - low + 1, perRoundTrip, perPiece) <
         readCost(blockLast - blockFirst + 1, perRoundTrip, perPiece) + readCost(span, perRoundTrip, perPiece);
}

// Write rule: a write joins when it overlaps the block or follows it directly, or replaces
// the block's first register alone. Anything else would leave a register between the two
// without a value, or start before the block, so it gets a block of its own.
constexpr bool joinsForWrite(std::uint32_t blockFirst, std::uint32_t blockLast, std::uint32_t first,
                             std::uint32_t span) {
  if (span == 0) return false;
  if (first > blockFirst) return first <= blockLast + 1;
  return first == blockFirst && span == 1;
}

class RegisterBlock {
 public:
  RegisterBlock(std::uint32_t first, std::uint32_t length);
  virtual ~RegisterBlock() = default;
  RegisterBlock(const RegisterBlock&) = delete;
  RegisterBlock& operator=(const RegisterBlock&) = delete;

  std::uint32_t lastRegister() const { return firstRegister + length - 1; }  // length > 0
  bool contains(std::uint32_t first, std::uint32_t span) const {
    return length > 0 && first >= firstRegister && first + span <= firstRegister + length;
  }
  // The block afterwards covers its range and [first, first + span - 1]. With keepContents
  // the buffer keeps each register's value in its new place.
  void cover(std::uint32_t first, std::uint32_t span, bool keepContents);
  // Sets the range outright (contents are not kept).
  void setRange(std::uint32_t first, std::uint32_t newLength);

  // The whole range, in ascending pieces of at most 512 registers (1024 bytes); stops at the
  // first failure and returns its code.
  plc::ResultCode readAll(RegisterAccess& io);

  // The registers of a tag at `first` (inside the block).
  std::uint16_t* at(std::uint32_t first) { return buffer.data() + (first - firstRegister); }

  std::uint32_t firstRegister = 0;
  std::uint32_t length = 0;
  std::uint32_t capacity = 0;
  std::vector<std::uint16_t> buffer;  // capacity registers
  bool holdsArray = false;            // its first tag is an array: nothing else joins
  bool bridgedWide = false;           // reads unused registers beyond the gap always bridged
  configfile::MemoryArea area = configfile::MemoryArea::R;
  plc::ge::Unit unit = plc::ge::Unit::Word;  // what one buffer entry holds

 private:
  void ensureCapacity(std::uint32_t newLength, std::uint32_t shift, bool keepContents);
};

// Reads or writes `length` registers from `first` in ascending pieces of at most 512.
plc::ResultCode readRegisterRun(RegisterAccess& io, std::uint32_t first, std::uint32_t length,
                                std::uint16_t* destination);
plc::ResultCode writeRegisterRun(RegisterAccess& io, std::uint32_t first, std::uint32_t length,
                                 const std::uint16_t* source);

}  // namespace zentarc
