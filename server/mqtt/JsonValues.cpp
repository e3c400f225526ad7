#include "server/mqtt/JsonValues.h"

#include <cmath>
#include <limits>
#include <vector>

namespace zentarc::mqtt {

namespace {

constexpr std::string_view kTypeMismatch = "BadTypeMismatch";
constexpr std::string_view kOutOfRange = "BadOutOfRange";

template <class E>
void appendIntegers(std::string& out, const SOCmnVariant& v) {
  out += '[';
  bool first = true;
  for (E e : v.arrayData<E>()) {
    if (!first) out += ',';
    first = false;
    json::appendInteger(out, e);
  }
  out += ']';
}

// A whole number in `n`; false with the status otherwise.
std::string_view wholeNumber(const json::Value& v, std::int64_t& n) {
  if (v.kind != json::Value::Kind::Number) return kTypeMismatch;
  if (v.isInteger) {
    n = v.integer;
    return {};
  }
  if (v.integerTooLarge || !std::isfinite(v.number)) return kOutOfRange;
  if (std::trunc(v.number) != v.number) return kTypeMismatch;  // 1.5 is no Int16
  if (std::fabs(v.number) >= 9.2e18) return kOutOfRange;
  n = static_cast<std::int64_t>(v.number);
  return {};
}

template <class T>
std::string_view integerOf(const json::Value& v, T& out) {
  std::int64_t n = 0;
  if (const std::string_view s = wholeNumber(v, n); !s.empty()) return s;
  if (n < std::numeric_limits<T>::min() || n > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
    return kOutOfRange;
  out = static_cast<T>(n);
  return {};
}

std::string_view floatOf(const json::Value& v, float& out) {
  if (v.kind == json::Value::Kind::String) {
    // What the publishing side writes for the values JSON has no numbers for.
    if (v.text == "NaN") out = std::numeric_limits<float>::quiet_NaN();
    else if (v.text == "Infinity") out = std::numeric_limits<float>::infinity();
    else if (v.text == "-Infinity") out = -std::numeric_limits<float>::infinity();
    else return kTypeMismatch;
    return {};
  }
  if (v.kind != json::Value::Kind::Number) return kTypeMismatch;
  if (!std::isfinite(v.number) || std::fabs(v.number) > std::numeric_limits<float>::max()) return kOutOfRange;
  out = static_cast<float>(v.number);
  return {};
}

std::string_view boolOf(const json::Value& v, VARIANT_BOOL& out) {
  if (v.kind != json::Value::Kind::Bool) return kTypeMismatch;
  out = v.boolean ? VARIANT_TRUE : VARIANT_FALSE;
  return {};
}

template <class E, class Convert>
std::string_view arrayOf(const json::Value& v, VARTYPE element, std::uint32_t count, Convert convert,
                         SOCmnVariant& out) {
  if (v.kind != json::Value::Kind::Array || v.items.size() != count) return kTypeMismatch;
  std::vector<E> items(count);
  for (std::uint32_t i = 0; i < count; ++i)
    if (const std::string_view s = convert(v.items[i], items[i]); !s.empty()) return s;
  out = SOCmnVariant::fromArray<E>(element, std::span<const E>(items));
  return {};
}

}  // namespace

void appendTagValue(std::string& out, const SOCmnVariant& v) {
  switch (v.vt()) {
    case VT_I2: json::appendInteger(out, v.iVal()); return;
    case VT_UI2: json::appendInteger(out, v.uiVal()); return;
    case VT_I4: json::appendInteger(out, v.lVal()); return;
    case VT_UI4: json::appendInteger(out, v.ulVal()); return;
    case VT_R4: json::appendFloat(out, v.fltVal()); return;
    case VT_BOOL: out += v.boolVal() != VARIANT_FALSE ? "true" : "false"; return;
    case VT_BSTR: {
      std::u16string s = v.bstrVal();
      while (!s.empty() && s.back() == u'\0') s.pop_back();
      json::appendString(out, SOCmnUtf16ToUtf8(s));
      return;
    }
    case VT_ARRAY | VT_I1: appendIntegers<std::int8_t>(out, v); return;
    case VT_ARRAY | VT_UI1: appendIntegers<std::uint8_t>(out, v); return;
    case VT_ARRAY | VT_I2: appendIntegers<std::int16_t>(out, v); return;
    case VT_ARRAY | VT_UI2: appendIntegers<std::uint16_t>(out, v); return;
    case VT_ARRAY | VT_I4: appendIntegers<std::int32_t>(out, v); return;
    case VT_ARRAY | VT_UI4: appendIntegers<std::uint32_t>(out, v); return;
    case VT_ARRAY | VT_R4: {
      out += '[';
      bool first = true;
      for (float f : v.arrayData<float>()) {
        if (!first) out += ',';
        first = false;
        json::appendFloat(out, f);
      }
      out += ']';
      return;
    }
    case VT_ARRAY | VT_BOOL: {
      out += '[';
      bool first = true;
      for (VARIANT_BOOL b : v.arrayData<VARIANT_BOOL>()) {
        if (!first) out += ',';
        first = false;
        out += b != VARIANT_FALSE ? "true" : "false";
      }
      out += ']';
      return;
    }
    default: out += "null"; return;
  }
}

std::string_view toTagValue(const json::Value& v, VARTYPE type, std::uint32_t count, SOCmnVariant& out) {
  std::string_view s;
  switch (type) {
    case VT_I2: { std::int16_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromI2(x); return s; }
    case VT_UI2: { std::uint16_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromUI2(x); return s; }
    case VT_I4: { std::int32_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromI4(x); return s; }
    case VT_UI4: { std::uint32_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromUI4(x); return s; }
    case VT_R4: { float x = 0; if ((s = floatOf(v, x)).empty()) out = SOCmnVariant::fromR4(x); return s; }
    case VT_BOOL: { VARIANT_BOOL x = 0; if ((s = boolOf(v, x)).empty()) out = SOCmnVariant::fromBool(x != 0); return s; }
    case VT_BSTR: {
      if (v.kind != json::Value::Kind::String) return kTypeMismatch;
      std::u16string text = SOCmnUtf8ToUtf16(v.text);
      // The PLC keeps 8 bits per character: anything wider would be stored as another one.
      for (char16_t c : text)
        if (c > 0xFF) return kOutOfRange;
      out = SOCmnVariant::fromBstr(std::move(text));
      return {};
    }
    case VT_ARRAY | VT_I1: return arrayOf<std::int8_t>(v, VT_I1, count, integerOf<std::int8_t>, out);
    case VT_ARRAY | VT_UI1: return arrayOf<std::uint8_t>(v, VT_UI1, count, integerOf<std::uint8_t>, out);
    case VT_ARRAY | VT_I2: return arrayOf<std::int16_t>(v, VT_I2, count, integerOf<std::int16_t>, out);
    case VT_ARRAY | VT_UI2: return arrayOf<std::uint16_t>(v, VT_UI2, count, integerOf<std::uint16_t>, out);
    case VT_ARRAY | VT_I4: return arrayOf<std::int32_t>(v, VT_I4, count, integerOf<std::int32_t>, out);
    case VT_ARRAY | VT_UI4: return arrayOf<std::uint32_t>(v, VT_UI4, count, integerOf<std::uint32_t>, out);
    case VT_ARRAY | VT_R4: return arrayOf<float>(v, VT_R4, count, floatOf, out);
    case VT_ARRAY | VT_BOOL: return arrayOf<VARIANT_BOOL>(v, VT_BOOL, count, boolOf, out);
    default: return kTypeMismatch;
  }
}

}  // namespace zentarc::mqtt
