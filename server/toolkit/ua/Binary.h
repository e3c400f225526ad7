#pragma once
// OPC UA binary encoding of the built-in types and of structures that list their fields with
// ZUA_FIELDS. The decoder trusts nothing: every length is checked against the bytes left and
// against the limits, and nesting is bounded, so hostile input ends in UaError, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "server/toolkit/ua/Types.h"

// Lists a structure's fields in wire order; gives it encode and decode for free.
#define ZUA_FIELDS(...)                                   \
  template <typename ZuaV>                                \
  void fields(ZuaV& zuaV) { zuaV(__VA_ARGS__); }          \
  template <typename ZuaV>                                \
  void fields(ZuaV& zuaV) const { zuaV(__VA_ARGS__); }

namespace zentarc::ua {

// A protocol failure carrying the status code to report.
class UaError : public std::runtime_error {
 public:
  UaError(StatusCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
  StatusCode code() const { return code_; }

 private:
  StatusCode code_;
};

struct DecodeLimits {
  uint32_t maxStringLength = 16u * 1024 * 1024;
  uint32_t maxArrayLength = 1u * 1024 * 1024;
  int maxDepth = 32;
  // Memory the decoded values of one input may take: a floor plus a small multiple of the
  // input's size, never more than the cap. A few wire bytes can stand for a large structure
  // (one byte for an empty DataValue), so without it a long array of small elements costs
  // far more memory than the bytes that carried it.
  size_t decodedFloor = 8u * 1024 * 1024;
  uint32_t decodedPerInputByte = 16;
  size_t decodedCap = 64u * 1024 * 1024;
};

class Encoder {
 public:
  explicit Encoder(std::string& out) : out_(out) {}

  void write(bool v) { out_.push_back(v ? 1 : 0); }
  void write(int8_t v) { raw(v); }
  void write(uint8_t v) { raw(v); }
  void write(int16_t v) { raw(v); }
  void write(uint16_t v) { raw(v); }
  void write(int32_t v) { raw(v); }
  void write(uint32_t v) { raw(v); }
  void write(int64_t v) { raw(v); }
  void write(uint64_t v) { raw(v); }
  void write(float v) { raw(v); }
  void write(double v) { raw(v); }
  void write(const String& v);
  void write(const char* v) { write(String(v)); }
  void write(const DateTime& v) { raw(v.ticks); }
  void write(const Guid& v);
  void write(const ByteString& v);
  void write(const XmlElement& v);
  void write(const NodeId& v);
  void write(const ExpandedNodeId& v);
  void write(StatusCode v) { raw(v.value); }
  void write(const QualifiedName& v);
  void write(const LocalizedText& v);
  void write(const ExtensionObject& v);
  void write(const Variant& v);
  void write(const DataValue& v);
  void write(const DiagnosticInfo& v);

  template <typename T>
    requires std::is_enum_v<T>
  void write(T v) {
    write(static_cast<std::underlying_type_t<T>>(v));
  }
  template <typename T>
  void write(const std::vector<T>& v) {
    write(static_cast<int32_t>(v.size()));
    for (const auto& x : v) write(x);
  }
  void write(const std::vector<bool>& v) {
    write(static_cast<int32_t>(v.size()));
    for (bool x : v) write(x);
  }
  template <typename T>
    requires requires(const T& t, Encoder& e) { t.fields(e); }
  void write(const T& s) {
    s.fields(*this);
  }
  // Visitor entry used by ZUA_FIELDS.
  template <typename... Ts>
  void operator()(const Ts&... fields) {
    (write(fields), ...);
  }

  void writeScalar(VariantType type, const Scalar& s);
  void writeRaw(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
  std::string& buffer() { return out_; }

 private:
  // The elements of an array of a fixed-size number type, in one go (large tag arrays would
  // otherwise cost a visit and an append per element).
  template <typename T>
  void packed(const std::vector<Scalar>& array);
  template <typename T>
  void raw(T v) {
    char b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));  // the wire is little-endian, like every host we build for
    out_.append(b, sizeof(T));
  }
  std::string& out_;
};

class Decoder {
 public:
  Decoder(const void* data, size_t size, DecodeLimits limits = {})
      : p_(static_cast<const uint8_t*>(data)), end_(p_ + size), limits_(limits),
        budget_(decodedBudget(limits, size)) {}
  explicit Decoder(const std::string& s, DecodeLimits limits = {})
      : Decoder(s.data(), s.size(), limits) {}

  size_t remaining() const { return static_cast<size_t>(end_ - p_); }
  bool atEnd() const { return p_ == end_; }
  const uint8_t* position() const { return p_; }
  void skip(size_t n);

  void read(bool& v);
  void read(int8_t& v) { raw(v); }
  void read(uint8_t& v) { raw(v); }
  void read(int16_t& v) { raw(v); }
  void read(uint16_t& v) { raw(v); }
  void read(int32_t& v) { raw(v); }
  void read(uint32_t& v) { raw(v); }
  void read(int64_t& v) { raw(v); }
  void read(uint64_t& v) { raw(v); }
  void read(float& v) { raw(v); }
  void read(double& v) { raw(v); }
  void read(String& v);
  void read(DateTime& v) { raw(v.ticks); }
  void read(Guid& v);
  void read(ByteString& v);
  void read(XmlElement& v);
  void read(NodeId& v);
  void read(ExpandedNodeId& v);
  void read(StatusCode& v) { raw(v.value); }
  void read(QualifiedName& v);
  void read(LocalizedText& v);
  void read(ExtensionObject& v);
  void read(Variant& v);
  void read(DataValue& v);
  void read(DiagnosticInfo& v);

  template <typename T>
    requires std::is_enum_v<T>
  void read(T& v) {
    std::underlying_type_t<T> u{};
    read(u);
    v = static_cast<T>(u);
  }
  template <typename T>
  void read(std::vector<T>& v) {
    int32_t n = readArrayLength();
    v.clear();
    if (n <= 0) return;
    charge(static_cast<size_t>(n), sizeof(T));
    v.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
      v.emplace_back();
      read(v.back());
    }
  }
  void read(std::vector<bool>& v) {
    int32_t n = readArrayLength();
    if (n > 0) charge(static_cast<size_t>(n), 1);
    v.assign(static_cast<size_t>(n < 0 ? 0 : n), false);
    for (int32_t i = 0; i < n; ++i) {
      bool b;
      read(b);
      v[static_cast<size_t>(i)] = b;
    }
  }
  template <typename T>
    requires requires(T& t, Decoder& d) { t.fields(d); }
  void read(T& s) {
    s.fields(*this);
  }
  template <typename... Ts>
  void operator()(Ts&... fields) {
    (read(fields), ...);
  }

  // An array length: -1 (null) gives 0; larger than the limit or than the bytes left (every
  // element takes at least one byte) is an error, so no lying length makes us allocate.
  int32_t readArrayLength();
  Scalar readScalar(VariantType type);

  // Counts `count` decoded elements of `size` bytes against the input's budget before they
  // are allocated; over it is UaError(BadEncodingLimitsExceeded).
  void charge(size_t count, size_t size);
  size_t decodedBytes() const { return spent_; }
  static size_t decodedBudget(const DecodeLimits& limits, size_t inputSize);

  [[noreturn]] void fail(const char* what) const;

 private:
  template <typename T>
  void raw(T& v) {
    need(sizeof(T));
    std::memcpy(&v, p_, sizeof(T));
    p_ += sizeof(T);
  }
  void readNodeIdBody(uint8_t encoding, NodeId& v);
  void need(size_t n) const {
    if (remaining() < n) fail("truncated input");
  }
  struct DepthGuard {
    explicit DepthGuard(Decoder& d);
    ~DepthGuard() { --d.depth_; }
    Decoder& d;
  };

  const uint8_t* p_;
  const uint8_t* end_;
  DecodeLimits limits_;
  size_t budget_;
  size_t spent_ = 0;
  int depth_ = 0;
};

// Encodes `value` alone.
template <typename T>
std::string encode(const T& value) {
  std::string out;
  Encoder e(out);
  e.write(value);
  return out;
}

// Decodes a T that must fill `bytes` exactly.
template <typename T>
T decode(const std::string& bytes, DecodeLimits limits = {}) {
  Decoder d(bytes, limits);
  T v{};
  d.read(v);
  if (!d.atEnd()) d.fail("trailing bytes");
  return v;
}

// Structures that travel in ExtensionObjects or messages name their encoding id as kEncodingId.
template <typename T>
ExtensionObject toExtensionObject(const T& value) {
  ExtensionObject eo;
  eo.typeId = NodeId(0, T::kEncodingId);
  eo.encoding = 1;
  Encoder e(eo.body);
  e.write(value);
  return eo;
}

// True when `eo` holds a binary T; throws UaError when its body does not decode.
template <typename T>
bool fromExtensionObject(const ExtensionObject& eo, T& out, DecodeLimits limits = {}) {
  if (eo.encoding != 1 || !eo.typeId.isNumeric(T::kEncodingId)) return false;
  Decoder d(eo.body, limits);
  d.read(out);
  return true;
}

}  // namespace zentarc::ua
