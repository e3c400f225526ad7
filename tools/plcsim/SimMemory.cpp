#include "tools/plcsim/SimMemory.h"

#include <algorithm>

namespace zentarc::plcsim {

namespace ge = zentarc::plc::ge;

SimMemory::SimMemory() { sizes_.fill(kMaxAreaUnits); }

void SimMemory::setSize(MemoryArea area, std::uint32_t units) {
  sizes_[slot(area)] = std::min(units, kMaxAreaUnits);
  auto& bytes = bytes_[slot(area)];
  if (!bytes.empty()) bytes.resize(byteSize(area), 0);
}

std::size_t SimMemory::byteSize(MemoryArea area) const {
  const std::size_t units = sizes_[slot(area)];
  return configfile::isBitArea(area) ? (units + 7) / 8 : 2 * units;
}

bool SimMemory::contains(MemoryArea area, ge::Unit unit, std::uint16_t index, std::size_t count) const {
  const bool bitArea = configfile::isBitArea(area);
  if (bitArea == (unit == ge::Unit::Word)) return false;
  switch (unit) {
    case ge::Unit::Word: return std::size_t{index} + count <= sizes_[slot(area)];
    case ge::Unit::Byte: return std::size_t{index} + count <= byteSize(area);
    case ge::Unit::Bit: return std::size_t{index} + count <= byteSize(area) * 8;
  }
  return false;
}

std::uint8_t SimMemory::byteAt(MemoryArea area, std::size_t i) const {
  const auto& bytes = bytes_[slot(area)];
  return i < bytes.size() ? bytes[i] : 0;
}

std::uint8_t* SimMemory::bytesFor(MemoryArea area) {
  auto& bytes = bytes_[slot(area)];
  if (bytes.empty()) bytes.assign(byteSize(area), 0);
  return bytes.data();
}

std::vector<std::uint8_t> SimMemory::read(MemoryArea area, ge::Unit unit, std::uint16_t index,
                                          std::size_t count) const {
  std::vector<std::uint8_t> data(ge::dataBytes(unit, index, count), 0);
  if (unit == ge::Unit::Bit) {
    const std::size_t shift = index % 8;
    for (std::size_t k = 0; k < count; ++k)
      if (bit(area, index + k)) data[(shift + k) / 8] |= static_cast<std::uint8_t>(1u << ((shift + k) % 8));
    return data;
  }
  const std::size_t first = unit == ge::Unit::Word ? 2u * index : index;
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = byteAt(area, first + i);
  return data;
}

void SimMemory::write(MemoryArea area, ge::Unit unit, std::uint16_t index, std::size_t count,
                      const std::uint8_t* data) {
  if (unit == ge::Unit::Bit) {
    const std::size_t shift = index % 8;
    for (std::size_t k = 0; k < count; ++k) setBit(area, index + k, (data[(shift + k) / 8] >> ((shift + k) % 8)) & 1);
    return;
  }
  const std::size_t first = unit == ge::Unit::Word ? 2u * index : index;
  const std::size_t length = ge::dataBytes(unit, index, count);
  if (first + length > byteSize(area)) return;
  std::copy_n(data, length, bytesFor(area) + first);
}

std::uint16_t SimMemory::word(MemoryArea area, std::uint32_t index) const {
  if (index >= sizes_[slot(area)]) return 0;
  return static_cast<std::uint16_t>(byteAt(area, 2u * index) | (byteAt(area, 2u * index + 1) << 8));
}

void SimMemory::setWord(MemoryArea area, std::uint32_t index, std::uint16_t value) {
  if (index >= sizes_[slot(area)]) return;
  ge::putWord(bytesFor(area) + 2u * index, value);
}

bool SimMemory::bit(MemoryArea area, std::uint32_t index) const { return (byteAt(area, index / 8) >> (index % 8)) & 1; }

void SimMemory::setBit(MemoryArea area, std::uint32_t index, bool on) {
  if (index / 8 >= byteSize(area)) return;
  std::uint8_t& b = bytesFor(area)[index / 8];
  const auto mask = static_cast<std::uint8_t>(1u << (index % 8));
  b = static_cast<std::uint8_t>(on ? (b | mask) : (b & ~mask));
}

}  // namespace zentarc::plcsim
