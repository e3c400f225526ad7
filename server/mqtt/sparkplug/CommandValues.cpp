#include "server/mqtt/sparkplug/CommandValues.h"

#include <cmath>
#include <limits>

namespace zentarc::mqtt::sparkplug {

namespace {

constexpr std::string_view kTypeMismatch = "BadTypeMismatch";
constexpr std::string_view kOutOfRange = "BadOutOfRange";

template <class T>
std::string_view integerOf(const MetricValue& v, T& out) {
  if (const auto* s = std::get_if<std::int64_t>(&v)) {
    if (*s < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        (*s > 0 && static_cast<std::uint64_t>(*s) > std::numeric_limits<T>::max()))
      return kOutOfRange;
    out = static_cast<T>(*s);
    return {};
  }
  if (const auto* u = std::get_if<std::uint64_t>(&v)) {
    if (*u > std::numeric_limits<T>::max()) return kOutOfRange;
    out = static_cast<T>(*u);
    return {};
  }
  return kTypeMismatch;
}

std::string_view floatOf(const MetricValue& v, float& out) {
  if (const auto* f = std::get_if<float>(&v)) {
    out = *f;
    return {};
  }
  if (const auto* d = std::get_if<double>(&v)) {
    if (std::isfinite(*d) && std::fabs(*d) > std::numeric_limits<float>::max()) return kOutOfRange;
    out = static_cast<float>(*d);
    return {};
  }
  return kTypeMismatch;
}

std::string_view textOf(const MetricValue& v, SOCmnVariant& out) {
  const auto* s = std::get_if<std::string>(&v);
  if (!s) return kTypeMismatch;
  std::u16string text = SOCmnUtf8ToUtf16(*s);
  // The PLC keeps 8 bits per character: anything wider would be stored as another one.
  for (char16_t c : text)
    if (c > 0xFF) return kOutOfRange;
  out = SOCmnVariant::fromBstr(std::move(text));
  return {};
}

std::string_view arrayOf(const MetricValue& v, VARTYPE type, std::uint32_t count, SOCmnVariant& out) {
  const auto* a = std::get_if<SOCmnVariant>(&v);
  if (!a || a->vt() != type || a->arrayCount() != count) return kTypeMismatch;
  out = *a;
  return {};
}

}  // namespace

std::string_view toTagValue(const Metric& metric, VARTYPE type, std::uint32_t count, SOCmnVariant& out) {
  if (metric.isNull) return kTypeMismatch;
  const MetricValue& v = metric.value;
  std::string_view s;
  switch (type) {
    case VT_I2: { std::int16_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromI2(x); return s; }
    case VT_UI2: { std::uint16_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromUI2(x); return s; }
    case VT_I4: { std::int32_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromI4(x); return s; }
    case VT_UI4: { std::uint32_t x = 0; if ((s = integerOf(v, x)).empty()) out = SOCmnVariant::fromUI4(x); return s; }
    case VT_R4: { float x = 0; if ((s = floatOf(v, x)).empty()) out = SOCmnVariant::fromR4(x); return s; }
    case VT_BOOL: {
      const auto* b = std::get_if<bool>(&v);
      if (!b) return kTypeMismatch;
      out = SOCmnVariant::fromBool(*b);
      return {};
    }
    case VT_BSTR: return textOf(v, out);
    default:
      if ((type & VT_ARRAY) != 0) return arrayOf(v, type, count, out);
      return kTypeMismatch;
  }
}

}  // namespace zentarc::mqtt::sparkplug
