#include "tools/zentarc-ua/ValueText.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "server/toolkit/ua/NodeIds.h"

namespace zentarc::uatool {

using namespace ua;

std::optional<NodeId> parseNode(const std::string& text) {
  if (text.empty()) return std::nullopt;
  if (auto id = NodeId::parse(text)) return id;
  if (text.find('=') != std::string::npos && (text.rfind("ns=", 0) == 0 || text[1] == '='))
    return std::nullopt;  // looks like a node id but is not one
  return NodeId(1, text);
}

namespace {

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

template <typename T>
std::optional<Scalar> integer(const std::string& t) {
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  if constexpr (std::is_signed_v<T>) {
    long long v = std::strtoll(t.c_str(), &end, 0);
    if (errno || *end || v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
      return std::nullopt;
    return Scalar(static_cast<T>(v));
  } else {
    if (t[0] == '-') return std::nullopt;
    unsigned long long v = std::strtoull(t.c_str(), &end, 0);
    if (errno || *end || v > std::numeric_limits<T>::max()) return std::nullopt;
    return Scalar(static_cast<T>(v));
  }
}

template <typename T>
std::optional<Scalar> real(const std::string& t) {
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(t.c_str(), &end);
  if (*end || !std::isfinite(v)) return std::nullopt;
  if (std::is_same_v<T, float> && std::fabs(v) > std::numeric_limits<float>::max()) return std::nullopt;
  return Scalar(static_cast<T>(v));
}

std::optional<Scalar> boolean(const std::string& t) {
  if (t == "true" || t == "1" || t == "TRUE" || t == "True") return Scalar(true);
  if (t == "false" || t == "0" || t == "FALSE" || t == "False") return Scalar(false);
  return std::nullopt;
}

std::optional<Scalar> scalarOf(const std::string& raw, uint32_t type, bool trimIt) {
  std::string t = trimIt ? trim(raw) : raw;
  switch (type) {
    case Id::Boolean: return boolean(t);
    case Id::SByte: return integer<int8_t>(t);
    case Id::Byte: return integer<uint8_t>(t);
    case Id::Int16: return integer<int16_t>(t);
    case Id::UInt16: return integer<uint16_t>(t);
    case Id::Int32: return integer<int32_t>(t);
    case Id::UInt32: return integer<uint32_t>(t);
    case Id::Int64: return integer<int64_t>(t);
    case Id::UInt64: return integer<uint64_t>(t);
    case Id::Float: return real<float>(t);
    case Id::Double: return real<double>(t);
    case Id::String: return Scalar(raw);
    case Id::LocalizedText: return Scalar(LocalizedText(raw));
    default: return std::nullopt;
  }
}

}  // namespace

std::string dataTypeName(const NodeId& t) {
  static const char* names[] = {"",       "Boolean", "SByte",  "Byte",   "Int16",
                                "UInt16", "Int32",   "UInt32", "Int64",  "UInt64",
                                "Float",  "Double",  "String", "DateTime"};
  if (t.namespaceIndex == 0 && t.isNumeric() && t.numericId() >= 1 && t.numericId() <= 13)
    return names[t.numericId()];
  if (t.isNumeric(Id::LocalizedText)) return "LocalizedText";
  return t.toString();
}

std::optional<Variant> parseValue(const std::string& text, const NodeId& dataType,
                                  int32_t valueRank, std::string& error) {
  uint32_t type = dataType.namespaceIndex == 0 && dataType.isNumeric() ? dataType.numericId() : 0;
  if (!scalarOf(type == Id::Boolean ? "true" : type == Id::String || type == Id::LocalizedText ? "x" : "0",
                type, true)) {
    error = "cannot write values of data type " + dataTypeName(dataType);
    return std::nullopt;
  }
  VariantType vt = type == Id::LocalizedText ? VariantType::LocalizedText
                                              : static_cast<VariantType>(type);
  if (valueRank >= 1) {
    std::string body = trim(text);
    if (body.size() >= 2 && body.front() == '[' && body.back() == ']') body = body.substr(1, body.size() - 2);
    std::vector<Scalar> items;
    if (!trim(body).empty()) {
      size_t start = 0;
      for (;;) {
        size_t comma = body.find(',', start);
        std::string part = body.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        auto s = scalarOf(type == Id::String ? part : trim(part), type, type != Id::String);
        if (!s) {
          error = "\"" + trim(part) + "\" is not a " + dataTypeName(dataType) + " (element " +
                  std::to_string(items.size() + 1) + ")";
          return std::nullopt;
        }
        items.push_back(std::move(*s));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    }
    return Variant::arrayOfType(vt, std::move(items));
  }
  auto s = scalarOf(text, type, type != Id::String && type != Id::LocalizedText);
  if (!s) {
    error = "\"" + text + "\" is not a " + dataTypeName(dataType);
    return std::nullopt;
  }
  Variant v;
  v.type = vt;
  v.scalar = std::move(*s);
  return v;
}

}  // namespace zentarc::uatool
