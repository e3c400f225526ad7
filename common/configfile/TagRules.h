#pragma once
// What makes a tag loadable: the one rule that the server's loader applies when it reads
// the file and the editor applies wherever a name or a value is set (dialogs, label edits,
// paste, bulk rename, CSV import, file open), so that the editor never saves a tag the
// server would skip.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/configfile/MemoryArea.h"

namespace zentarc::configfile {

// A PLC's register table: 16-bit register indexes 0 to 65535, that is R1 to R65536.
inline constexpr std::uint32_t kLastRegisterNumber = 65536;
// The file's address, bit and element count are read as unsigned 16-bit numbers, and
// the address is 1-based.
inline constexpr std::uint32_t kMaxFileNumber = 65535;
inline constexpr std::uint32_t kMaxAddress = kMaxFileNumber;
// A single boolean is one bit of one register.
inline constexpr std::uint32_t kMaxBooleanBit = 15;

// Registers a tag of the type occupies (0 for a code not in the type table).
std::uint32_t registerSpan(std::uint16_t typeCode, std::uint32_t bit, std::uint32_t count);

// Bytes a tag of a type other than VT_BOOL and VT_BOOL ARRAY occupies in a bit area:
// 2 for 16-bit types, 4 for 32-bit types, n for an n-character string and for 8-bit
// arrays, n times the element size for other arrays (0 for a boolean or unknown type).
std::uint32_t bitAreaByteSize(std::uint16_t typeCode, std::uint32_t count);

// What a tag occupies in its area's unit: registers in a word area; bits in a bit area
// (one for VT_BOOL, `count` for VT_BOOL ARRAY, eight per byte for every other type).
std::uint32_t areaSpan(MemoryArea area, std::uint16_t typeCode, std::uint32_t bit, std::uint32_t count);

enum class NameFault {
  None,
  Empty,     // no text at all
  Blank,     // blanks only
  Control,   // a line break, a tab or another control character
};

// Names of tags and PLCs (UTF-8): not empty, not blanks only, no control characters or
// line breaks. Dots, spaces and '&' are fine.
NameFault checkName(std::string_view utf8);
// A short phrase for messages: "the name is empty", "the name is blanks only", ...
std::string_view nameFaultText(NameFault fault);

// Names are unique without regard to letter case: two names are the same when their
// folded forms are equal. Folds ASCII and Latin-1 capitals; other bytes stay.
std::string foldName(std::string_view utf8);

// The numbers of a tag as wide values, so that a negative or oversized value held by
// the editor is judged rather than wrapped.
struct TagNumbers {
  std::uint16_t typeCode = 0;  // 0: no known type (loaded, never read)
  long long address = 0;       // 1-based register number
  long long bit = 0;
  long long elements = 0;
  MemoryArea area = MemoryArea::R;  // address is a word number in word areas, a bit number in bit areas
};

enum class TagFault {
  AddressOutOfRange,   // not 1 to 65535
  BitOutOfRange,       // not 0 to 65535
  ElementsOutOfRange,  // not 0 to 65535
  BooleanBitAbove15,   // a single boolean's bit above 15
  PastLastRegister,    // the registers (or bits) run past the area's 65536th
  NotByteAligned,      // a type other than a boolean in a bit area starts off a byte (address not 8k+1)
  BitInBitArea,        // a databit other than 0 in a bit area, where the address names the bit
};

// Every fault of the numbers, in the order above; empty when the tag is loadable.
std::vector<TagFault> checkTagNumbers(const TagNumbers& tag);

}  // namespace zentarc::configfile
