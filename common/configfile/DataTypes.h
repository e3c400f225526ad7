#pragma once
// The fifteen tag data types: the name the file holds, the name the editor shows, and the
// variant type code the server publishes. Order is the order the editor offers them in.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zentarc::configfile {

inline constexpr std::uint16_t kArrayFlag = 0x2000;

enum TypeCode : std::uint16_t {
  VT_EMPTY = 0,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
};

struct DataTypeEntry {
  std::string_view fileName;
  std::string_view displayName;
  std::uint16_t code;
};

inline constexpr std::array<DataTypeEntry, 15> kDataTypes{{
    {"VT_BSTR", "string", VT_BSTR},
    {"VT_BOOL", "boolean", VT_BOOL},
    {"VT_UI2", "unsigned 16 bit", VT_UI2},
    {"VT_UI4", "unsigned 32 bit", VT_UI4},
    {"VT_I2", "signed 16 bit", VT_I2},
    {"VT_I4", "signed 32 bit", VT_I4},
    {"VT_R4", "32 bit float", VT_R4},
    {"VT_BOOL ARRAY", "boolean array", kArrayFlag | VT_BOOL},
    {"VT_UI1 ARRAY", "unsigned 8 bit array", kArrayFlag | VT_UI1},
    {"VT_UI2 ARRAY", "unsigned 16 bit array", kArrayFlag | VT_UI2},
    {"VT_UI4 ARRAY", "unsigned 32 bit array", kArrayFlag | VT_UI4},
    {"VT_I1 ARRAY", "signed 8 bit array", kArrayFlag | VT_I1},
    {"VT_I2 ARRAY", "signed 16 bit array", kArrayFlag | VT_I2},
    {"VT_I4 ARRAY", "signed 32 bit array", kArrayFlag | VT_I4},
    {"VT_R4 ARRAY", "32 bit float array", kArrayFlag | VT_R4},
}};

// Exact, case-sensitive matches; nullptr when the name or code is not in the table.
const DataTypeEntry* findByFileName(std::string_view fileName);
const DataTypeEntry* findByDisplayName(std::string_view displayName);
const DataTypeEntry* findByCode(std::uint16_t code);

// Type code for a file type name; 0 (no type) for anything not in the table.
std::uint16_t typeCodeForFileName(std::string_view fileName);

inline constexpr bool isArrayType(std::uint16_t code) { return (code & kArrayFlag) != 0; }

}  // namespace zentarc::configfile
