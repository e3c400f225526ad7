#pragma once
// The memory areas of a GE PLC that a tag can name: the word tables (%R, %AI, %AQ),
// addressed in 16-bit words, and the bit tables (%I, %Q, %T, %M, %SA, %SB, %SC, %S, %G),
// addressed in bits. The selector bytes are the values the PLC's read and write messages
// carry to choose the area and the unit of address and count.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentarc::configfile {

enum class MemoryArea : std::uint8_t { R, AI, AQ, I, Q, T, M, G, S, SA, SB, SC };

struct MemoryAreaEntry {
  MemoryArea area;
  std::string_view name;       // as the file and the editor write it: "R", "AI", "SA", ...
  bool bitArea;                // addressed in bits; false: in 16-bit words
  std::uint8_t wordSelector;   // word areas only (0 for bit areas)
  std::uint8_t byteSelector;   // bit areas only
  std::uint8_t bitSelector;    // bit areas only
  bool readOnly;               // the system status bits are served read-only
};

// In the order the editor offers them: R first (the default), then AI, AQ, I, Q, M, T, G,
// S, SA, SB, SC.
inline constexpr std::array<MemoryAreaEntry, 12> kMemoryAreas{{
    {MemoryArea::R, "R", false, 0x08, 0, 0, false},
    {MemoryArea::AI, "AI", false, 0x0A, 0, 0, false},
    {MemoryArea::AQ, "AQ", false, 0x0C, 0, 0, false},
    {MemoryArea::I, "I", true, 0, 0x10, 0x46, false},
    {MemoryArea::Q, "Q", true, 0, 0x12, 0x48, false},
    {MemoryArea::M, "M", true, 0, 0x16, 0x4C, false},
    {MemoryArea::T, "T", true, 0, 0x14, 0x4A, false},
    {MemoryArea::G, "G", true, 0, 0x38, 0x56, false},
    {MemoryArea::S, "S", true, 0, 0x1E, 0x54, true},
    {MemoryArea::SA, "SA", true, 0, 0x18, 0x4E, true},
    {MemoryArea::SB, "SB", true, 0, 0x1A, 0x50, true},
    {MemoryArea::SC, "SC", true, 0, 0x1C, 0x52, true},
}};

const MemoryAreaEntry& memoryAreaEntry(MemoryArea area);
inline std::string_view memoryAreaName(MemoryArea area) { return memoryAreaEntry(area).name; }
inline bool isBitArea(MemoryArea area) { return memoryAreaEntry(area).bitArea; }
inline bool isReadOnlyArea(MemoryArea area) { return memoryAreaEntry(area).readOnly; }

// The file's element text: exact upper-case names only ("AI", not "ai").
std::optional<MemoryArea> memoryAreaForFileName(std::string_view name);
// A name as users type it: any letter case ("ai", "Sa").
std::optional<MemoryArea> memoryAreaForName(std::string_view name);

// An address as users write it: "17" (a %R address), "R17", "%R17", "AI17", "%ai00017".
// Any letter case, an optional '%', leading zeros; the number is 1 to 65535.
struct AreaAddress {
  MemoryArea area = MemoryArea::R;
  std::uint32_t number = 0;  // 1-based word or bit number
};
std::optional<AreaAddress> parseAreaAddress(std::string_view text);
// "%AI17", "%I17", "%R17".
std::string formatAreaAddress(MemoryArea area, std::uint32_t number);

}  // namespace zentarc::configfile
