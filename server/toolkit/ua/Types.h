#pragma once
// The OPC UA built-in types as plain values. Encoding lives in Binary.h.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "server/toolkit/ua/StatusCodes.h"

namespace zentarc::ua {

using String = std::string;  // UTF-8; a null string decodes as empty

// Ticks of 100 ns since 1601-01-01 UTC.
struct DateTime {
  int64_t ticks = 0;
  static DateTime now();
  static DateTime fromUnixMillis(int64_t ms);
  int64_t toUnixMillis() const;
  std::string toString() const;  // ISO 8601, UTC, milliseconds
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};
  std::string toString() const;  // 8-4-4-4-12 hex digits
  static std::optional<Guid> parse(const std::string& text);
  friend bool operator==(const Guid&, const Guid&) = default;
};

// Raw bytes; empty and null are both the empty string (encoded as null).
struct ByteString {
  std::string data;
  friend bool operator==(const ByteString&, const ByteString&) = default;
};

struct XmlElement {
  std::string xml;
  friend bool operator==(const XmlElement&, const XmlElement&) = default;
};

struct NodeId {
  uint16_t namespaceIndex = 0;
  std::variant<uint32_t, String, Guid, ByteString> identifier{uint32_t{0}};

  NodeId() = default;
  NodeId(uint16_t ns, uint32_t numeric) : namespaceIndex(ns), identifier(numeric) {}
  NodeId(uint16_t ns, String s) : namespaceIndex(ns), identifier(std::move(s)) {}
  NodeId(uint16_t ns, Guid g) : namespaceIndex(ns), identifier(g) {}
  NodeId(uint16_t ns, ByteString b) : namespaceIndex(ns), identifier(std::move(b)) {}
  static NodeId numeric(uint32_t id, uint16_t ns = 0) { return NodeId(ns, id); }

  bool isNull() const;
  bool isNumeric() const { return identifier.index() == 0; }
  uint32_t numericId() const { return isNumeric() ? std::get<uint32_t>(identifier) : 0; }
  bool isNumeric(uint32_t id, uint16_t ns = 0) const {
    return namespaceIndex == ns && isNumeric() && numericId() == id;
  }
  // "i=85", "ns=1;s=Tag1", "ns=2;g=...", "ns=3;b=<base64>"
  std::string toString() const;
  static std::optional<NodeId> parse(const std::string& text);
  friend bool operator==(const NodeId&, const NodeId&) = default;
  bool operator<(const NodeId& o) const;
};

struct NodeIdHash {
  size_t operator()(const NodeId& id) const;
};

struct ExpandedNodeId {
  NodeId nodeId;
  String namespaceUri;  // empty: not present
  uint32_t serverIndex = 0;
  ExpandedNodeId() = default;
  ExpandedNodeId(NodeId id) : nodeId(std::move(id)) {}  // NOLINT: local ids convert freely
  friend bool operator==(const ExpandedNodeId&, const ExpandedNodeId&) = default;
};

struct QualifiedName {
  uint16_t namespaceIndex = 0;
  String name;
  friend bool operator==(const QualifiedName&, const QualifiedName&) = default;
};

struct LocalizedText {
  std::optional<String> locale;
  std::optional<String> text;
  LocalizedText() = default;
  LocalizedText(String t) : text(std::move(t)) {}  // NOLINT: plain text is the common case
  LocalizedText(String loc, String t) : locale(std::move(loc)), text(std::move(t)) {}
  friend bool operator==(const LocalizedText&, const LocalizedText&) = default;
};

// A structure in its encoded form. Encoding byte: 0 no body, 1 binary, 2 XML.
struct ExtensionObject {
  NodeId typeId;            // the encoding id, e.g. Id::AnonymousIdentityToken
  uint8_t encoding = 0;
  std::string body;
  bool empty() const { return encoding == 0; }
  friend bool operator==(const ExtensionObject&, const ExtensionObject&) = default;
};

struct Variant;
struct DataValue;
struct DiagnosticInfo;

// Built-in type ids as the binary encoding numbers them.
enum class VariantType : uint8_t {
  Null = 0, Boolean = 1, SByte = 2, Byte = 3, Int16 = 4, UInt16 = 5, Int32 = 6, UInt32 = 7,
  Int64 = 8, UInt64 = 9, Float = 10, Double = 11, String = 12, DateTime = 13, Guid = 14,
  ByteString = 15, XmlElement = 16, NodeId = 17, ExpandedNodeId = 18, StatusCode = 19,
  QualifiedName = 20, LocalizedText = 21, ExtensionObject = 22, DataValue = 23, Variant = 24,
  DiagnosticInfo = 25
};

// One value of any built-in type; the alternative index equals the VariantType number.
using Scalar = std::variant<std::monostate, bool, int8_t, uint8_t, int16_t, uint16_t, int32_t,
                            uint32_t, int64_t, uint64_t, float, double, String, DateTime, Guid,
                            ByteString, XmlElement, NodeId, ExpandedNodeId, StatusCode,
                            QualifiedName, LocalizedText, ExtensionObject,
                            std::shared_ptr<DataValue>, std::shared_ptr<Variant>,
                            std::shared_ptr<DiagnosticInfo>>;

struct Variant {
  VariantType type = VariantType::Null;
  bool isArray = false;
  Scalar scalar;                        // when !isArray
  std::vector<Scalar> array;            // when isArray; every element of `type`
  std::vector<int32_t> arrayDimensions; // optional; one-dimensional arrays leave it empty

  Variant() = default;
  template <typename T>
  static Variant of(T value) {
    Variant v;
    v.scalar = Scalar(std::move(value));
    v.type = static_cast<VariantType>(v.scalar.index());
    return v;
  }
  // Text is a String, never a Boolean.
  static Variant of(const char* text) { return of(String(text)); }
  template <typename T>
  static Variant arrayOf(const std::vector<T>& values) {
    Variant v;
    v.isArray = true;
    v.type = static_cast<VariantType>(Scalar(T{}).index());
    v.array.reserve(values.size());
    for (const auto& x : values) v.array.emplace_back(x);
    return v;
  }
  static Variant arrayOfType(VariantType t, std::vector<Scalar> values) {
    Variant v;
    v.isArray = true;
    v.type = t;
    v.array = std::move(values);
    return v;
  }
  bool isEmpty() const { return type == VariantType::Null; }
  template <typename T>
  const T* get() const { return isArray ? nullptr : std::get_if<T>(&scalar); }
  // Human-readable form for tools and logs: "42", "[1, 2, 3]", "\"text\"".
  std::string toString() const;
  friend bool operator==(const Variant& a, const Variant& b);
};

struct DataValue {
  std::optional<Variant> value;
  std::optional<StatusCode> status;
  std::optional<DateTime> sourceTimestamp;
  std::optional<uint16_t> sourcePicoseconds;
  std::optional<DateTime> serverTimestamp;
  std::optional<uint16_t> serverPicoseconds;
  friend bool operator==(const DataValue&, const DataValue&) = default;
};

struct DiagnosticInfo {
  std::optional<int32_t> symbolicId;
  std::optional<int32_t> namespaceUri;
  std::optional<int32_t> localizedText;
  std::optional<int32_t> locale;
  std::optional<String> additionalInfo;
  std::optional<StatusCode> innerStatusCode;
  std::shared_ptr<DiagnosticInfo> innerDiagnosticInfo;
  friend bool operator==(const DiagnosticInfo& a, const DiagnosticInfo& b);
};

// Node attribute ids.
enum class AttributeId : uint32_t {
  NodeId = 1, NodeClass = 2, BrowseName = 3, DisplayName = 4, Description = 5, WriteMask = 6,
  UserWriteMask = 7, IsAbstract = 8, Symmetric = 9, InverseName = 10, ContainsNoLoops = 11,
  EventNotifier = 12, Value = 13, DataType = 14, ValueRank = 15, ArrayDimensions = 16,
  AccessLevel = 17, UserAccessLevel = 18, MinimumSamplingInterval = 19, Historizing = 20,
  Executable = 21, UserExecutable = 22, DataTypeDefinition = 23, RolePermissions = 24,
  UserRolePermissions = 25, AccessRestrictions = 26, AccessLevelEx = 27
};

enum class NodeClass : int32_t {
  Unspecified = 0, Object = 1, Variable = 2, Method = 4, ObjectType = 8, VariableType = 16,
  ReferenceType = 32, DataType = 64, View = 128
};

}  // namespace zentarc::ua
