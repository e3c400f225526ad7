#include "server/mqtt/sparkplug/DataTypes.h"

namespace zentarc::mqtt::sparkplug {

DataType dataTypeOf(VARTYPE tagType) {
  switch (tagType) {
    case VT_I2: return DataType::Int16;
    case VT_UI2: return DataType::UInt16;
    case VT_I4: return DataType::Int32;
    case VT_UI4: return DataType::UInt32;
    case VT_R4: return DataType::Float;
    case VT_BOOL: return DataType::Boolean;
    case VT_BSTR: return DataType::String;
    case VT_ARRAY | VT_I1: return DataType::Int8Array;
    case VT_ARRAY | VT_UI1: return DataType::UInt8Array;
    case VT_ARRAY | VT_I2: return DataType::Int16Array;
    case VT_ARRAY | VT_UI2: return DataType::UInt16Array;
    case VT_ARRAY | VT_I4: return DataType::Int32Array;
    case VT_ARRAY | VT_UI4: return DataType::UInt32Array;
    case VT_ARRAY | VT_R4: return DataType::FloatArray;
    case VT_ARRAY | VT_BOOL: return DataType::BooleanArray;
    default: return DataType::Unknown;
  }
}

VARTYPE arrayElementOf(DataType type) {
  switch (type) {
    case DataType::Int8Array: return VT_I1;
    case DataType::UInt8Array: return VT_UI1;
    case DataType::Int16Array: return VT_I2;
    case DataType::UInt16Array: return VT_UI2;
    case DataType::Int32Array: return VT_I4;
    case DataType::UInt32Array: return VT_UI4;
    case DataType::FloatArray: return VT_R4;
    case DataType::BooleanArray: return VT_BOOL;
    default: return VT_EMPTY;
  }
}

bool isSigned(DataType type) {
  return type == DataType::Int8 || type == DataType::Int16 || type == DataType::Int32 || type == DataType::Int64;
}

std::string_view dataTypeName(DataType type) {
  switch (type) {
    case DataType::Int8: return "Int8";
    case DataType::Int16: return "Int16";
    case DataType::Int32: return "Int32";
    case DataType::Int64: return "Int64";
    case DataType::UInt8: return "UInt8";
    case DataType::UInt16: return "UInt16";
    case DataType::UInt32: return "UInt32";
    case DataType::UInt64: return "UInt64";
    case DataType::Float: return "Float";
    case DataType::Double: return "Double";
    case DataType::Boolean: return "Boolean";
    case DataType::String: return "String";
    case DataType::DateTime: return "DateTime";
    case DataType::Text: return "Text";
    case DataType::Int8Array: return "Int8Array";
    case DataType::Int16Array: return "Int16Array";
    case DataType::Int32Array: return "Int32Array";
    case DataType::Int64Array: return "Int64Array";
    case DataType::UInt8Array: return "UInt8Array";
    case DataType::UInt16Array: return "UInt16Array";
    case DataType::UInt32Array: return "UInt32Array";
    case DataType::UInt64Array: return "UInt64Array";
    case DataType::FloatArray: return "FloatArray";
    case DataType::DoubleArray: return "DoubleArray";
    case DataType::BooleanArray: return "BooleanArray";
    case DataType::StringArray: return "StringArray";
    case DataType::DateTimeArray: return "DateTimeArray";
    default: return "Unknown";
  }
}

}  // namespace zentarc::mqtt::sparkplug
