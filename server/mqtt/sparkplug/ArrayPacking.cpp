#include "server/mqtt/sparkplug/ArrayPacking.h"

#include <bit>
#include <cstring>
#include <vector>

namespace zentarc::mqtt::sparkplug {

namespace {

template <class E>
void appendLittleEndian(std::string& out, E element) {
  using U = std::make_unsigned_t<std::conditional_t<std::is_same_v<E, float>, std::int32_t, E>>;
  const U bits = std::bit_cast<U>(element);
  for (std::size_t i = 0; i < sizeof(U); ++i) out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

template <class E>
E readLittleEndian(const unsigned char* p) {
  using U = std::make_unsigned_t<std::conditional_t<std::is_same_v<E, float>, std::int32_t, E>>;
  U bits = 0;
  for (std::size_t i = 0; i < sizeof(U); ++i) bits |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  return std::bit_cast<E>(bits);
}

template <class E>
void packElements(const SOCmnVariant& v, std::string& out) {
  const std::span<const E> elements = v.arrayData<E>();
  out.reserve(out.size() + elements.size() * sizeof(E));
  for (E e : elements) appendLittleEndian(out, e);
}

void packBooleans(const SOCmnVariant& v, std::string& out) {
  const std::span<const VARIANT_BOOL> elements = v.arrayData<VARIANT_BOOL>();
  appendLittleEndian(out, static_cast<std::uint32_t>(elements.size()));
  for (std::size_t i = 0; i < elements.size(); i += 8) {
    unsigned char byte = 0;
    for (std::size_t bit = 0; bit < 8 && i + bit < elements.size(); ++bit)
      if (elements[i + bit] != VARIANT_FALSE) byte |= static_cast<unsigned char>(0x80u >> bit);
    out += static_cast<char>(byte);
  }
}

template <class E>
bool unpackElements(VARTYPE element, std::string_view bytes, std::uint32_t maxElements, SOCmnVariant& out) {
  if (bytes.size() % sizeof(E) != 0 || bytes.size() / sizeof(E) > maxElements) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::vector<E> elements(bytes.size() / sizeof(E));
  for (std::size_t i = 0; i < elements.size(); ++i) elements[i] = readLittleEndian<E>(p + i * sizeof(E));
  out = SOCmnVariant::fromArray<E>(element, std::span<const E>(elements));
  return true;
}

bool unpackBooleans(std::string_view bytes, std::uint32_t maxElements, SOCmnVariant& out) {
  if (bytes.size() < 4) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::uint32_t count = readLittleEndian<std::uint32_t>(p);
  // The count says how many bits of the packed bytes are elements; the bytes must be exactly
  // enough for it, so a count taken from a peer never sizes anything larger than its message.
  if (count > maxElements || (static_cast<std::uint64_t>(count) + 7) / 8 != bytes.size() - 4) return false;
  std::vector<VARIANT_BOOL> elements(count);
  for (std::uint32_t i = 0; i < count; ++i)
    elements[i] = (p[4 + i / 8] & (0x80u >> (i % 8))) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  out = SOCmnVariant::fromArray<VARIANT_BOOL>(VT_BOOL, std::span<const VARIANT_BOOL>(elements));
  return true;
}

}  // namespace

bool packArray(const SOCmnVariant& v, std::string& out) {
  switch (v.vt()) {
    case VT_ARRAY | VT_I1: packElements<std::int8_t>(v, out); return true;
    case VT_ARRAY | VT_UI1: packElements<std::uint8_t>(v, out); return true;
    case VT_ARRAY | VT_I2: packElements<std::int16_t>(v, out); return true;
    case VT_ARRAY | VT_UI2: packElements<std::uint16_t>(v, out); return true;
    case VT_ARRAY | VT_I4: packElements<std::int32_t>(v, out); return true;
    case VT_ARRAY | VT_UI4: packElements<std::uint32_t>(v, out); return true;
    case VT_ARRAY | VT_R4: packElements<float>(v, out); return true;
    case VT_ARRAY | VT_BOOL: packBooleans(v, out); return true;
    default: return false;
  }
}

bool unpackArray(DataType type, std::string_view bytes, std::uint32_t maxElements, SOCmnVariant& out) {
  switch (type) {
    case DataType::Int8Array: return unpackElements<std::int8_t>(VT_I1, bytes, maxElements, out);
    case DataType::UInt8Array: return unpackElements<std::uint8_t>(VT_UI1, bytes, maxElements, out);
    case DataType::Int16Array: return unpackElements<std::int16_t>(VT_I2, bytes, maxElements, out);
    case DataType::UInt16Array: return unpackElements<std::uint16_t>(VT_UI2, bytes, maxElements, out);
    case DataType::Int32Array: return unpackElements<std::int32_t>(VT_I4, bytes, maxElements, out);
    case DataType::UInt32Array: return unpackElements<std::uint32_t>(VT_UI4, bytes, maxElements, out);
    case DataType::FloatArray: return unpackElements<float>(VT_R4, bytes, maxElements, out);
    case DataType::BooleanArray: return unpackBooleans(bytes, maxElements, out);
    default: return false;
  }
}

}  // namespace zentarc::mqtt::sparkplug
