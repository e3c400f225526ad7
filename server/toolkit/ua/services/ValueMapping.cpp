#include "server/toolkit/ua/services/ValueMapping.h"

#include "server/toolkit/ua/NodeIds.h"

namespace zentarc::ua {

uint32_t dataTypeForVartype(VARTYPE vt) {
  switch (vt & ~VT_ARRAY) {
    case VT_I2: return Id::Int16;
    case VT_UI2: return Id::UInt16;
    case VT_I4: return Id::Int32;
    case VT_UI4: return Id::UInt32;
    case VT_R4: return Id::Float;
    case VT_BOOL: return Id::Boolean;
    case VT_BSTR: return (vt & VT_ARRAY) ? 0 : Id::String;
    case VT_I1: return (vt & VT_ARRAY) ? Id::SByte : 0;
    case VT_UI1: return (vt & VT_ARRAY) ? Id::Byte : 0;
    default: return 0;
  }
}

namespace {

template <typename E, typename T = E>
Variant arrayVariant(const SOCmnVariant& v) {
  auto data = v.arrayData<E>();
  Variant r;
  r.isArray = true;
  r.type = static_cast<VariantType>(Scalar(T{}).index());
  r.array.reserve(data.size());
  for (const E& x : data) r.array.emplace_back(std::in_place_type<T>, static_cast<T>(x));
  return r;
}

template <typename T>
bool elementsOf(const Variant& v, std::vector<T>& out) {
  out.clear();
  out.reserve(v.array.size());
  for (const auto& s : v.array) {
    const T* x = std::get_if<T>(&s);
    if (!x) return false;
    out.push_back(*x);
  }
  return true;
}

}  // namespace

Variant toVariant(const SOCmnVariant& value) {
  switch (value.vt()) {
    case VT_I2: return Variant::of(value.iVal());
    case VT_UI2: return Variant::of(value.uiVal());
    case VT_I4: return Variant::of(value.lVal());
    case VT_UI4: return Variant::of(value.ulVal());
    case VT_R4: return Variant::of(value.fltVal());
    case VT_BOOL: return Variant::of(value.boolVal() != VARIANT_FALSE);
    case VT_BSTR: {
      std::u16string s = value.bstrVal();
      while (!s.empty() && s.back() == u'\0') s.pop_back();
      return Variant::of(SOCmnUtf16ToUtf8(s));
    }
    case VT_ARRAY | VT_I1: return arrayVariant<int8_t>(value);
    case VT_ARRAY | VT_UI1: return arrayVariant<uint8_t>(value);
    case VT_ARRAY | VT_I2: return arrayVariant<int16_t>(value);
    case VT_ARRAY | VT_UI2: return arrayVariant<uint16_t>(value);
    case VT_ARRAY | VT_I4: return arrayVariant<int32_t>(value);
    case VT_ARRAY | VT_UI4: return arrayVariant<uint32_t>(value);
    case VT_ARRAY | VT_R4: return arrayVariant<float>(value);
    case VT_ARRAY | VT_BOOL: {
      auto data = value.arrayData<int16_t>();
      std::vector<bool> out;
      out.reserve(data.size());
      for (int16_t b : data) out.push_back(b != VARIANT_FALSE);
      Variant r;
      r.isArray = true;
      r.type = VariantType::Boolean;
      for (bool b : out) r.array.emplace_back(b);
      return r;
    }
    default: return Variant();
  }
}

namespace {

template <typename T>
StatusCode arrayFrom(const Variant& v, VARTYPE element, uint32_t count, SOCmnVariant& out) {
  std::vector<T> items;
  if (!elementsOf(v, items) || items.size() != count) return Status::BadTypeMismatch;
  out = SOCmnVariant::fromArray<T>(element, std::span<const T>(items));
  return Status::Good;
}

template <typename T>
const T* scalarOf(const Variant& v, VariantType type) {
  return v.type == type && !v.isArray ? std::get_if<T>(&v.scalar) : nullptr;
}

}  // namespace

StatusCode fromVariant(const Variant& value, VARTYPE vt, uint32_t count, SOCmnVariant& out) {
  const uint32_t wanted = dataTypeForVartype(vt);
  if (wanted == 0 || static_cast<uint32_t>(value.type) != wanted) return Status::BadTypeMismatch;
  const bool wantArray = (vt & VT_ARRAY) != 0;
  if (value.isArray != wantArray) return Status::BadTypeMismatch;
  if (!value.arrayDimensions.empty() && value.arrayDimensions.size() != 1)
    return Status::BadTypeMismatch;
  switch (vt) {
    case VT_I2: out = SOCmnVariant::fromI2(*scalarOf<int16_t>(value, VariantType::Int16)); break;
    case VT_UI2: out = SOCmnVariant::fromUI2(*scalarOf<uint16_t>(value, VariantType::UInt16)); break;
    case VT_I4: out = SOCmnVariant::fromI4(*scalarOf<int32_t>(value, VariantType::Int32)); break;
    case VT_UI4: out = SOCmnVariant::fromUI4(*scalarOf<uint32_t>(value, VariantType::UInt32)); break;
    case VT_R4: out = SOCmnVariant::fromR4(*scalarOf<float>(value, VariantType::Float)); break;
    case VT_BOOL: out = SOCmnVariant::fromBool(*scalarOf<bool>(value, VariantType::Boolean)); break;
    case VT_BSTR: {
      std::u16string s = SOCmnUtf8ToUtf16(*scalarOf<String>(value, VariantType::String));
      // The PLC keeps 8 bits per character: anything wider would be stored as another one.
      for (char16_t c : s)
        if (c > 0xFF) return Status::BadOutOfRange;
      out = SOCmnVariant::fromBstr(std::move(s));
      break;
    }
    case VT_ARRAY | VT_I1: return arrayFrom<int8_t>(value, VT_I1, count, out);
    case VT_ARRAY | VT_UI1: return arrayFrom<uint8_t>(value, VT_UI1, count, out);
    case VT_ARRAY | VT_I2: return arrayFrom<int16_t>(value, VT_I2, count, out);
    case VT_ARRAY | VT_UI2: return arrayFrom<uint16_t>(value, VT_UI2, count, out);
    case VT_ARRAY | VT_I4: return arrayFrom<int32_t>(value, VT_I4, count, out);
    case VT_ARRAY | VT_UI4: return arrayFrom<uint32_t>(value, VT_UI4, count, out);
    case VT_ARRAY | VT_R4: return arrayFrom<float>(value, VT_R4, count, out);
    case VT_ARRAY | VT_BOOL: {
      std::vector<bool> items;
      if (!elementsOf(value, items) || items.size() != count) return Status::BadTypeMismatch;
      std::vector<VARIANT_BOOL> bools;
      bools.reserve(items.size());
      for (bool b : items) bools.push_back(b ? VARIANT_TRUE : VARIANT_FALSE);
      out = SOCmnVariant::fromArray<VARIANT_BOOL>(VT_BOOL, std::span<const VARIANT_BOOL>(bools));
      return Status::Good;
    }
    default: return Status::BadTypeMismatch;
  }
  return Status::Good;
}

StatusCode statusForQuality(uint16_t quality) {
  switch (quality & 0xFF) {
    case 0xC0: return Status::Good;
    case 0x18: return Status::BadCommunicationError;
    case 0x0C: return Status::BadDeviceFailure;
    case 0x1C: return Status::BadOutOfService;
    case 0x04: return Status::BadOutOfRange;  // the PLC refuses the tag's address
    case 0x20: return Status::BadWaitingForInitialData;
    default: break;
  }
  if ((quality & 0xC0) == 0xC0) return Status::Good;
  if ((quality & 0xC0) == 0x40) return Status::Uncertain;
  return Status::Bad;
}

StatusCode statusForCache(const SODaSCacheSnapshot& snapshot) {
  StatusCode s = statusForQuality(snapshot.quality);
  if (s.isGood() && snapshot.waitingForInitialData) return Status::BadWaitingForInitialData;
  return s;
}

DateTime toDateTime(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  return DateTime::fromUnixMillis(duration_cast<milliseconds>(t.time_since_epoch()).count());
}

}  // namespace zentarc::ua
