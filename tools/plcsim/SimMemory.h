#pragma once
// The memory of a simulated PLC: every area, each with a size of its own (in words for the
// word tables, in bits for the bit tables), read and written in words, bytes or bits as the
// messages ask. Words are held little-endian, so a word area read in bytes gives what a
// PLC's wire carries. An area takes memory only once something is written to it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/configfile/MemoryArea.h"
#include "server/plc/GeMessages.h"

namespace zentarc::plcsim {

using configfile::MemoryArea;

// Every area holds up to 65536 words or bits.
inline constexpr std::uint32_t kMaxAreaUnits = 65536;

class SimMemory {
 public:
  SimMemory();

  // Words, or bits (rounded up to whole bytes); 0 to 65536.
  void setSize(MemoryArea area, std::uint32_t units);
  std::uint32_t size(MemoryArea area) const { return sizes_[slot(area)]; }

  // True when `count` units of `unit` from the 0-based `index` lie inside the area, and the
  // unit suits it (words in a word table; bytes or bits in a bit table).
  bool contains(MemoryArea area, plc::ge::Unit unit, std::uint16_t index, std::size_t count) const;
  // The data bytes of such a request (see ge::dataBytes); a bit read gives 0 in the bits
  // around the ones asked for. Only within contains().
  std::vector<std::uint8_t> read(MemoryArea area, plc::ge::Unit unit, std::uint16_t index, std::size_t count) const;
  // A bit write changes exactly its `count` bits.
  void write(MemoryArea area, plc::ge::Unit unit, std::uint16_t index, std::size_t count, const std::uint8_t* data);

  // Outside the size these read as 0 and writes are dropped.
  std::uint16_t word(MemoryArea area, std::uint32_t index) const;
  void setWord(MemoryArea area, std::uint32_t index, std::uint16_t value);
  bool bit(MemoryArea area, std::uint32_t index) const;
  void setBit(MemoryArea area, std::uint32_t index, bool on);

 private:
  static std::size_t slot(MemoryArea area) { return static_cast<std::size_t>(area); }
  std::size_t byteSize(MemoryArea area) const;
  std::uint8_t byteAt(MemoryArea area, std::size_t i) const;
  std::uint8_t* bytesFor(MemoryArea area);  // allocated on first use

  std::array<std::uint32_t, configfile::kMemoryAreas.size()> sizes_{};
  std::array<std::vector<std::uint8_t>, configfile::kMemoryAreas.size()> bytes_;
};

}  // namespace zentarc::plcsim
