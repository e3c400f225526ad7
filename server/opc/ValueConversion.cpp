#include "server/opc/ValueConversion.h"

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <vector>
#include <algorithm>

#include "common/configfile/Latin1.h"
#include "common/configfile/TagRules.h"
#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"

namespace zentarc {

namespace {

constexpr VARTYPE kArray = VT_ARRAY;

std::uint8_t byteAt(std::span<const std::uint16_t> r, std::size_t i) {
  const std::uint16_t word = r[i / 2];
  return static_cast<std::uint8_t>(i % 2 == 0 ? word & 0xFF : word >> 8);
}

void setByteAt(std::span<std::uint16_t> r, std::size_t i, std::uint8_t value) {
  std::uint16_t& word = r[i / 2];
  if (i % 2 == 0) word = static_cast<std::uint16_t>((word & 0xFF00) | value);
  else word = static_cast<std::uint16_t>((word & 0x00FF) | (value << 8));
}

std::uint32_t pairAt(std::span<const std::uint16_t> r, std::size_t first) {
  return (static_cast<std::uint32_t>(r[first]) << 16) | r[first + 1];
}

void setPairAt(std::span<std::uint16_t> r, std::size_t first, std::uint32_t pattern) {
  r[first] = static_cast<std::uint16_t>(pattern >> 16);
  r[first + 1] = static_cast<std::uint16_t>(pattern & 0xFFFF);
}

bool bitAt(std::span<const std::uint16_t> r, std::uint32_t k) { return (r[k / 16] & maskTable[k % 16]) != 0; }

void setBitAt(std::span<std::uint16_t> r, std::uint32_t k, bool on) {
  if (on) r[k / 16] = static_cast<std::uint16_t>(r[k / 16] | maskTable[k % 16]);
  else r[k / 16] = static_cast<std::uint16_t>(r[k / 16] & ~maskTable[k % 16]);
}

// The cache's copy must have the type and, for strings and arrays, the configured length.
void shapeValue(VARTYPE vt, std::uint16_t count, SOCmnVariant& value) {
  bool fits = value.vt() == vt;
  if (fits && vt == VT_BSTR) fits = value.bstrVal().size() == count;
  if (fits && (vt & kArray)) fits = value.arrayCount() == count;
  if (!fits) value = SOCmnVariant::zeroOf(vt, count);
}

template <class E>
bool takeElements(const SOCmnVariant& value, std::uint16_t count, std::span<const E>& out) {
  out = value.arrayData<E>();
  if (out.size() < count) return false;
  out = out.first(count);
  return true;
}

}  // namespace

bool isKnownDatatype(VARTYPE vt) {
  switch (vt) {
    case VT_I2: case VT_UI2: case VT_BOOL: case VT_I4: case VT_UI4: case VT_R4: case VT_BSTR:
    case kArray | VT_I2: case kArray | VT_UI2: case kArray | VT_I4: case kArray | VT_UI4:
    case kArray | VT_R4: case kArray | VT_I1: case kArray | VT_UI1: case kArray | VT_BOOL:
      return true;
    default:
      return false;
  }
}

std::uint32_t registerSpanWide(VARTYPE vt, std::uint16_t bit, std::uint16_t count) {
  // One table for the server and the loader's rule of what a tag may occupy.
  return configfile::registerSpan(vt, bit, count);
}

std::uint16_t registerSpan(VARTYPE vt, std::uint16_t bit, std::uint16_t count) {
  return static_cast<std::uint16_t>(registerSpanWide(vt, bit, count));
}

std::uint16_t registerSpan(const PlcTag& tag) {
  return registerSpan(tag.getNativeDatatype(), tag.bit, tag.count);
}

bool registersToValue(VARTYPE vt, std::uint16_t bit, std::uint16_t count,
                      std::span<const std::uint16_t> r, SOCmnVariant& value) {
  if (!isKnownDatatype(vt) || r.size() < registerSpanWide(vt, bit, count)) return false;
  if (vt == VT_BOOL && bit > 15) return false;
  // Scalars are assigned whole below; strings and arrays are filled element by element.
  if (vt == VT_BSTR || (vt & kArray)) shapeValue(vt, count, value);
  switch (vt) {
    case VT_I2: value = SOCmnVariant::fromI2(static_cast<std::int16_t>(r[0])); break;
    case VT_UI2: value = SOCmnVariant::fromUI2(r[0]); break;
    case VT_I4: value = SOCmnVariant::fromI4(static_cast<std::int32_t>(pairAt(r, 0))); break;
    case VT_UI4: value = SOCmnVariant::fromUI4(pairAt(r, 0)); break;
    case VT_R4: value = SOCmnVariant::fromR4(std::bit_cast<float>(pairAt(r, 0))); break;
    case VT_BOOL: value = SOCmnVariant::fromBool((r[0] & maskTable[bit]) != 0); break;
    case VT_BSTR: {
      std::u16string& s = *value.mutableBstr();
      for (std::size_t i = 0; i < count; ++i) s[i] = byteAt(r, i);
      break;
    }
    case kArray | VT_I2: {
      auto e = value.mutableArrayData<std::int16_t>();
      for (std::size_t i = 0; i < count; ++i) e[i] = static_cast<std::int16_t>(r[i]);
      break;
    }
    case kArray | VT_UI2: {
      auto e = value.mutableArrayData<std::uint16_t>();
      for (std::size_t i = 0; i < count; ++i) e[i] = r[i];
      break;
    }
    case kArray | VT_I4: {
      auto e = value.mutableArrayData<std::int32_t>();
      for (std::size_t i = 0; i < count; ++i) e[i] = static_cast<std::int32_t>(pairAt(r, 2 * i));
      break;
    }
    case kArray | VT_UI4: {
      auto e = value.mutableArrayData<std::uint32_t>();
      for (std::size_t i = 0; i < count; ++i) e[i] = pairAt(r, 2 * i);
      break;
    }
    case kArray | VT_R4: {
      auto e = value.mutableArrayData<float>();
      for (std::size_t i = 0; i < count; ++i) e[i] = std::bit_cast<float>(pairAt(r, 2 * i));
      break;
    }
    case kArray | VT_I1: {
      auto e = value.mutableArrayData<std::int8_t>();
      for (std::size_t i = 0; i < count; ++i) e[i] = static_cast<std::int8_t>(byteAt(r, i));
      break;
    }
    case kArray | VT_UI1: {
      auto e = value.mutableArrayData<std::uint8_t>();
      for (std::size_t i = 0; i < count; ++i) e[i] = byteAt(r, i);
      break;
    }
    case kArray | VT_BOOL: {
      auto e = value.mutableArrayData<std::int16_t>();
      for (std::uint32_t i = 0; i < count; ++i) e[i] = bitAt(r, bit + i) ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    }
    default: return false;
  }
  return true;
}

bool valueToRegisters(VARTYPE vt, std::uint16_t bit, std::uint16_t count, const SOCmnVariant& value,
                      std::span<std::uint16_t> r) {
  if (!isKnownDatatype(vt) || value.vt() != vt || r.size() < registerSpanWide(vt, bit, count)) return false;
  switch (vt) {
    case VT_I2: r[0] = static_cast<std::uint16_t>(value.iVal()); return true;
    case VT_UI2: r[0] = value.uiVal(); return true;
    case VT_I4: setPairAt(r, 0, static_cast<std::uint32_t>(value.lVal())); return true;
    case VT_UI4: setPairAt(r, 0, value.ulVal()); return true;
    case VT_R4: setPairAt(r, 0, std::bit_cast<std::uint32_t>(value.fltVal())); return true;
    case VT_BOOL:
      if (bit > 15) return false;
      setBitAt(r, bit, value.boolVal() != 0);
      return true;
    case VT_BSTR: {
      const std::u16string& s = value.bstrVal();
      for (std::size_t i = 0; i < count; ++i)
        setByteAt(r, i, i < s.size() ? static_cast<std::uint8_t>(s[i] & 0xFF) : 0);
      return true;
    }
    default: break;
  }
  // Arrays: exactly `count` elements are written.
  switch (vt) {
    case kArray | VT_I2: {
      std::span<const std::int16_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) r[i] = static_cast<std::uint16_t>(e[i]);
      return true;
    }
    case kArray | VT_UI2: {
      std::span<const std::uint16_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) r[i] = e[i];
      return true;
    }
    case kArray | VT_I4: {
      std::span<const std::int32_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) setPairAt(r, 2 * i, static_cast<std::uint32_t>(e[i]));
      return true;
    }
    case kArray | VT_UI4: {
      std::span<const std::uint32_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) setPairAt(r, 2 * i, e[i]);
      return true;
    }
    case kArray | VT_R4: {
      std::span<const float> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) setPairAt(r, 2 * i, std::bit_cast<std::uint32_t>(e[i]));
      return true;
    }
    case kArray | VT_I1: {
      std::span<const std::int8_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) setByteAt(r, i, static_cast<std::uint8_t>(e[i]));
      return true;
    }
    case kArray | VT_UI1: {
      std::span<const std::uint8_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::size_t i = 0; i < count; ++i) setByteAt(r, i, e[i]);
      return true;
    }
    case kArray | VT_BOOL: {
      std::span<const std::int16_t> e;
      if (!takeElements(value, count, e)) return false;
      for (std::uint32_t i = 0; i < count; ++i) setBitAt(r, bit + i, e[i] != 0);
      return true;
    }
    default: return false;
  }
}

bool storeRegisters(PlcTag& tag, std::span<const std::uint16_t> registers,
                    std::chrono::system_clock::time_point readTime, bool keptCurrent) {
  // Built afresh rather than from the cached value: every register of the span is converted,
  // and a string or array in the cache may be shared with readers anyway.
  SOCmnVariant value;
  if (!registersToValue(tag.getNativeDatatype(), tag.bit, tag.count, registers, value)) return false;
  tag.cache().storeDeviceValue(std::move(value), OPC_QUALITY_GOOD, readTime, keptCurrent);
  return true;
}

bool fillWriteRegisters(const RequestRecord& record, std::span<std::uint16_t> registers) {
  if (!record.request || !record.tag) return false;
  const PlcTag& tag = *record.tag;
  return valueToRegisters(tag.getNativeDatatype(), tag.bit, tag.count, record.request->getWriteValue(),
                          registers);
}

namespace {

bool isBooleanType(VARTYPE vt) { return vt == VT_BOOL || vt == (kArray | VT_BOOL); }

// Bytes as the registers they form, low byte first; a missing last high byte is 0.
std::vector<std::uint16_t> bytesAsRegisters(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint16_t> r((bytes.size() + 1) / 2, 0);
  for (std::size_t i = 0; i < bytes.size(); ++i) r[i / 2] = static_cast<std::uint16_t>(r[i / 2] | bytes[i] << (8 * (i % 2)));
  return r;
}

}  // namespace

std::uint32_t bitAreaDataBytes(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count) {
  if (vt == VT_BOOL) return 1;
  if (vt == (kArray | VT_BOOL)) return count == 0 ? 0 : (bitOffset + std::uint32_t{count} + 7) / 8;
  return configfile::bitAreaByteSize(vt, count);
}

bool bytesToValue(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count, std::span<const std::uint8_t> bytes,
                  SOCmnVariant& value) {
  if (!isKnownDatatype(vt) || bitOffset > 7) return false;
  const std::uint32_t need = bitAreaDataBytes(vt, bitOffset, count);
  if (bytes.size() < need) return false;
  const std::vector<std::uint16_t> r = bytesAsRegisters(bytes.first(need));
  // A boolean's bit is counted from bit 0 of the first byte; the other types start on it.
  return registersToValue(vt, isBooleanType(vt) ? bitOffset : 0, count, r, value);
}

bool valueToBytes(VARTYPE vt, std::uint8_t bitOffset, std::uint16_t count, const SOCmnVariant& value,
                  std::span<std::uint8_t> bytes) {
  if (!isKnownDatatype(vt) || bitOffset > 7) return false;
  const std::uint32_t need = bitAreaDataBytes(vt, bitOffset, count);
  if (bytes.size() < need) return false;
  // From zero: a bit write's other bits are sent as 0, and the other types take their
  // bytes whole.
  const std::uint16_t bit = isBooleanType(vt) ? bitOffset : 0;
  std::vector<std::uint16_t> r(std::max<std::uint32_t>(registerSpanWide(vt, bit, count), (need + 1) / 2), 0);
  if (!valueToRegisters(vt, bit, count, value, r)) return false;
  for (std::uint32_t i = 0; i < need; ++i) bytes[i] = static_cast<std::uint8_t>(r[i / 2] >> (8 * (i % 2)));
  return true;
}

std::uint8_t tagBitOffset(const PlcTag& tag) {
  return configfile::isBitArea(tag.area) ? static_cast<std::uint8_t>(tag.address % 8) : 0;
}

TagExtent tagExtent(const PlcTag& tag) {
  const VARTYPE vt = tag.getNativeDatatype();
  if (!configfile::isBitArea(tag.area)) return {tag.address, registerSpan(tag)};
  if (!isKnownDatatype(vt)) return {tag.address / 8u, 0};
  return {tag.address / 8u, bitAreaDataBytes(vt, tagBitOffset(tag), tag.count)};
}

bool storeBytes(PlcTag& tag, std::span<const std::uint8_t> bytes, std::chrono::system_clock::time_point readTime,
                bool keptCurrent) {
  SOCmnVariant value;
  if (!bytesToValue(tag.getNativeDatatype(), tagBitOffset(tag), tag.count, bytes, value)) return false;
  tag.cache().storeDeviceValue(std::move(value), OPC_QUALITY_GOOD, readTime, keptCurrent);
  return true;
}

bool fillWriteBytes(const RequestRecord& record, std::span<std::uint8_t> bytes) {
  if (!record.request || !record.tag) return false;
  const PlcTag& tag = *record.tag;
  return valueToBytes(tag.getNativeDatatype(), tagBitOffset(tag), tag.count, record.request->getWriteValue(), bytes);
}

std::uint16_t qualityForError(std::int64_t code) {
  if ((code >= 1 && code <= 4) || (code >= 16 && code <= 18) || code == 32 || code == 33 ||
      (code >= 50 && code <= 52))
    return OPC_QUALITY_COMM_FAILURE;
  if (code == 64 || code == 65) return OPC_QUALITY_DEVICE_FAILURE;
  if (code == 66) return OPC_QUALITY_OUT_OF_SERVICE;
  return OPC_QUALITY_BAD;
}

std::string formatValue(VARTYPE vt, std::uint16_t count, const SOCmnVariant& value) {
  char text[64];
  switch (vt) {
    case VT_I2: std::snprintf(text, sizeof text, "%d", value.iVal()); return text;
    case VT_UI2: std::snprintf(text, sizeof text, "%d", static_cast<int>(value.uiVal())); return text;
    case VT_I4: std::snprintf(text, sizeof text, "%ld", static_cast<long>(value.lVal())); return text;
    case VT_UI4: std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value.ulVal())); return text;
    case VT_R4: std::snprintf(text, sizeof text, "%f", static_cast<double>(value.fltVal())); return text;
    case VT_BOOL: return value.boolVal() != 0 ? "TRUE" : "FALSE";
    case VT_BSTR: {
      // The low bytes are the register bytes, i.e. ISO-8859-1 characters; text ends at NUL.
      const std::u16string& s = value.bstrVal();
      std::string bytes;
      for (std::size_t i = 0; i < s.size() && i < count; ++i) {
        const auto b = static_cast<char>(s[i] & 0xFF);
        if (b == '\0') break;
        bytes.push_back(b);
      }
      return configfile::latin1ToUtf8(bytes);
    }
    default: return "[..]";
  }
}

std::string formatValue(const PlcTag& tag, const SOCmnVariant& value) {
  return formatValue(tag.getNativeDatatype(), tag.count, value);
}

}  // namespace zentarc
