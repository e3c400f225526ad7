#pragma once
// Sparkplug B datatypes by their numbers, and how the tag types map onto them: VT_I2 Int16,
// VT_UI2 UInt16, VT_I4 Int32, VT_UI4 UInt32, VT_R4 Float, VT_BOOL Boolean, VT_BSTR String,
// and each array as the packed array type of its elements.
#include <cstdint>
#include <string_view>

#include "server/toolkit/SOCmnVariant.h"

namespace zentarc::mqtt::sparkplug {

enum class DataType : std::uint32_t {
  Unknown = 0,
  Int8 = 1,
  Int16 = 2,
  Int32 = 3,
  Int64 = 4,
  UInt8 = 5,
  UInt16 = 6,
  UInt32 = 7,
  UInt64 = 8,
  Float = 9,
  Double = 10,
  Boolean = 11,
  String = 12,
  DateTime = 13,
  Text = 14,
  Int8Array = 22,
  Int16Array = 23,
  Int32Array = 24,
  Int64Array = 25,
  UInt8Array = 26,
  UInt16Array = 27,
  UInt32Array = 28,
  UInt64Array = 29,
  FloatArray = 30,
  DoubleArray = 31,
  BooleanArray = 32,
  StringArray = 33,
  DateTimeArray = 34,
};

// The values of the Quality property a metric carries when it is not good.
inline constexpr std::int32_t kQualityBad = 0;
inline constexpr std::int32_t kQualityGood = 192;
inline constexpr std::string_view kQualityProperty = "Quality";

// Unknown for a type no tag has.
DataType dataTypeOf(VARTYPE tagType);
// The array element type (VT_I1 ... VT_BOOL) of one of the eight array types a tag can
// have; VT_EMPTY for every other datatype.
VARTYPE arrayElementOf(DataType type);
bool isSigned(DataType type);  // Int8 to Int64
// "Int16", "FloatArray", ...; "Unknown" for a number we do not name.
std::string_view dataTypeName(DataType type);

}  // namespace zentarc::mqtt::sparkplug
