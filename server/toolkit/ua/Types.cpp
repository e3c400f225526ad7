#include "server/toolkit/ua/Types.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>

namespace zentarc::ua {

namespace {
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const std::string& in) {
  std::string out;
  size_t i = 0;
  while (i + 2 < in.size()) {
    uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out += {kB64[n >> 18], kB64[(n >> 12) & 63], kB64[(n >> 6) & 63], kB64[n & 63]};
    i += 3;
  }
  if (i + 1 == in.size()) {
    uint32_t n = uint8_t(in[i]) << 16;
    out += {kB64[n >> 18], kB64[(n >> 12) & 63], '=', '='};
  } else if (i + 2 == in.size()) {
    uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += {kB64[n >> 18], kB64[(n >> 12) & 63], kB64[(n >> 6) & 63], '='};
  }
  return out;
}

std::optional<std::string> base64Decode(const std::string& in) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : in) {
    if (c == '=') break;
    const char* p = std::strchr(kB64, c);
    if (c == 0 || p == nullptr) return std::nullopt;
    acc = (acc << 6) | static_cast<uint32_t>(p - kB64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

template <typename T>
bool parseUnsigned(const std::string& s, T& out) {
  if (s.empty() || s.size() > 10) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > std::numeric_limits<T>::max()) return false;
  out = static_cast<T>(v);
  return true;
}
}  // namespace

// ---------------------------------------------------------------- DateTime

DateTime DateTime::now() {
  using namespace std::chrono;
  auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return DateTime{kUnixEpochTicks + us * 10};
}

DateTime DateTime::fromUnixMillis(int64_t ms) { return DateTime{kUnixEpochTicks + ms * 10000}; }

int64_t DateTime::toUnixMillis() const { return (ticks - kUnixEpochTicks) / 10000; }

std::string DateTime::toString() const {
  int64_t ms = toUnixMillis();
  std::time_t secs = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  int millis = static_cast<int>(ms - static_cast<int64_t>(secs) * 1000);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buf;
}

// ---------------------------------------------------------------- Guid

std::string Guid::toString() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", data1, data2,
                data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return buf;
}

std::optional<Guid> Guid::parse(const std::string& t) {
  if (t.size() != 36 || t[8] != '-' || t[13] != '-' || t[18] != '-' || t[23] != '-')
    return std::nullopt;
  auto hex = [&](size_t pos, size_t len, uint64_t& out) {
    out = 0;
    for (size_t i = pos; i < pos + len; ++i) {
      char c = t[i];
      int d = (c >= '0' && c <= '9') ? c - '0'
              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                       : -1;
      if (d < 0) return false;
      out = out * 16 + static_cast<uint64_t>(d);
    }
    return true;
  };
  Guid g;
  uint64_t a, b, c, d, e;
  if (!hex(0, 8, a) || !hex(9, 4, b) || !hex(14, 4, c) || !hex(19, 4, d) || !hex(24, 12, e))
    return std::nullopt;
  g.data1 = static_cast<uint32_t>(a);
  g.data2 = static_cast<uint16_t>(b);
  g.data3 = static_cast<uint16_t>(c);
  g.data4[0] = static_cast<uint8_t>(d >> 8);
  g.data4[1] = static_cast<uint8_t>(d);
  for (int i = 0; i < 6; ++i) g.data4[2 + i] = static_cast<uint8_t>(e >> (40 - 8 * i));
  return g;
}

// ---------------------------------------------------------------- NodeId

bool NodeId::isNull() const {
  if (namespaceIndex != 0) return false;
  switch (identifier.index()) {
    case 0: return std::get<uint32_t>(identifier) == 0;
    case 1: return std::get<String>(identifier).empty();
    case 2: return std::get<Guid>(identifier) == Guid{};
    default: return std::get<ByteString>(identifier).data.empty();
  }
}

std::string NodeId::toString() const {
  std::string out;
  if (namespaceIndex != 0) out = "ns=" + std::to_string(namespaceIndex) + ";";
  switch (identifier.index()) {
    case 0: return out + "i=" + std::to_string(std::get<uint32_t>(identifier));
    case 1: return out + "s=" + std::get<String>(identifier);
    case 2: return out + "g=" + std::get<Guid>(identifier).toString();
    default: return out + "b=" + base64Encode(std::get<ByteString>(identifier).data);
  }
}

std::optional<NodeId> NodeId::parse(const std::string& text) {
  std::string rest = text;
  uint16_t ns = 0;
  if (rest.rfind("ns=", 0) == 0) {
    size_t semi = rest.find(';');
    if (semi == std::string::npos || !parseUnsigned(rest.substr(3, semi - 3), ns))
      return std::nullopt;
    rest = rest.substr(semi + 1);
  }
  if (rest.size() < 2 || rest[1] != '=') return std::nullopt;
  std::string body = rest.substr(2);
  switch (rest[0]) {
    case 'i': {
      uint32_t id;
      if (!parseUnsigned(body, id)) return std::nullopt;
      return NodeId(ns, id);
    }
    case 's':
      if (body.empty()) return std::nullopt;
      return NodeId(ns, body);
    case 'g': {
      auto g = Guid::parse(body);
      if (!g) return std::nullopt;
      return NodeId(ns, *g);
    }
    case 'b': {
      auto b = base64Decode(body);
      if (!b) return std::nullopt;
      return NodeId(ns, ByteString{*b});
    }
    default:
      return std::nullopt;
  }
}

bool NodeId::operator<(const NodeId& o) const {
  if (namespaceIndex != o.namespaceIndex) return namespaceIndex < o.namespaceIndex;
  if (identifier.index() != o.identifier.index()) return identifier.index() < o.identifier.index();
  return toString() < o.toString();
}

size_t NodeIdHash::operator()(const NodeId& id) const {
  size_t h = std::hash<uint16_t>()(id.namespaceIndex) * 31 + id.identifier.index();
  switch (id.identifier.index()) {
    case 0: return h ^ (std::hash<uint32_t>()(std::get<uint32_t>(id.identifier)) << 1);
    case 1: return h ^ (std::hash<std::string>()(std::get<String>(id.identifier)) << 1);
    case 2: return h ^ (std::hash<std::string>()(std::get<Guid>(id.identifier).toString()) << 1);
    default: return h ^ (std::hash<std::string>()(std::get<ByteString>(id.identifier).data) << 1);
  }
}

// ---------------------------------------------------------------- Variant

namespace {
std::string scalarToString(const Scalar& s) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return "null";
        } else if constexpr (std::is_same_v<T, bool>) {
          return x ? "true" : "false";
        } else if constexpr (std::is_same_v<T, int8_t> || std::is_same_v<T, int16_t> ||
                             std::is_same_v<T, int32_t> || std::is_same_v<T, int64_t>) {
          return std::to_string(static_cast<int64_t>(x));
        } else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, uint16_t> ||
                             std::is_same_v<T, uint32_t> || std::is_same_v<T, uint64_t>) {
          return std::to_string(static_cast<uint64_t>(x));
        } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
          std::ostringstream o;
          o.precision(std::is_same_v<T, float> ? 7 : 15);
          o << x;
          return o.str();
        } else if constexpr (std::is_same_v<T, String>) {
          return "\"" + x + "\"";
        } else if constexpr (std::is_same_v<T, DateTime>) {
          return x.toString();
        } else if constexpr (std::is_same_v<T, Guid>) {
          return x.toString();
        } else if constexpr (std::is_same_v<T, ByteString>) {
          return "b\"" + base64Encode(x.data) + "\"";
        } else if constexpr (std::is_same_v<T, XmlElement>) {
          return x.xml;
        } else if constexpr (std::is_same_v<T, NodeId>) {
          return x.toString();
        } else if constexpr (std::is_same_v<T, ExpandedNodeId>) {
          return x.nodeId.toString();
        } else if constexpr (std::is_same_v<T, StatusCode>) {
          return statusCodeName(x);
        } else if constexpr (std::is_same_v<T, QualifiedName>) {
          return x.namespaceIndex ? std::to_string(x.namespaceIndex) + ":" + x.name : x.name;
        } else if constexpr (std::is_same_v<T, LocalizedText>) {
          return "\"" + x.text.value_or("") + "\"";
        } else if constexpr (std::is_same_v<T, ExtensionObject>) {
          return "<structure " + x.typeId.toString() + ">";
        } else if constexpr (std::is_same_v<T, std::shared_ptr<Variant>>) {
          return x ? x->toString() : "null";
        } else if constexpr (std::is_same_v<T, std::shared_ptr<DataValue>>) {
          return x && x->value ? x->value->toString() : "null";
        } else {
          return "<diagnostics>";
        }
      },
      s);
}

bool scalarEqual(const Scalar& a, const Scalar& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& x) -> bool {
        using T = std::decay_t<decltype(x)>;
        const T& y = std::get<T>(b);
        if constexpr (std::is_same_v<T, std::shared_ptr<DataValue>> ||
                      std::is_same_v<T, std::shared_ptr<Variant>> ||
                      std::is_same_v<T, std::shared_ptr<DiagnosticInfo>>) {
          if (!x || !y) return !x && !y;
          return *x == *y;
        } else {
          return x == y;
        }
      },
      a);
}
}  // namespace

std::string Variant::toString() const {
  if (type == VariantType::Null) return "null";
  if (!isArray) return scalarToString(scalar);
  std::string out = "[";
  for (size_t i = 0; i < array.size(); ++i) {
    if (i) out += ", ";
    out += scalarToString(array[i]);
  }
  return out + "]";
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.type != b.type || a.isArray != b.isArray || a.arrayDimensions != b.arrayDimensions)
    return false;
  if (!a.isArray) return scalarEqual(a.scalar, b.scalar);
  if (a.array.size() != b.array.size()) return false;
  for (size_t i = 0; i < a.array.size(); ++i)
    if (!scalarEqual(a.array[i], b.array[i])) return false;
  return true;
}

bool operator==(const DiagnosticInfo& a, const DiagnosticInfo& b) {
  if (a.symbolicId != b.symbolicId || a.namespaceUri != b.namespaceUri ||
      a.localizedText != b.localizedText || a.locale != b.locale ||
      a.additionalInfo != b.additionalInfo || a.innerStatusCode != b.innerStatusCode)
    return false;
  if (!a.innerDiagnosticInfo || !b.innerDiagnosticInfo)
    return !a.innerDiagnosticInfo && !b.innerDiagnosticInfo;
  return *a.innerDiagnosticInfo == *b.innerDiagnosticInfo;
}

}  // namespace zentarc::ua
