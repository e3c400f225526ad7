#include "server/toolkit/ua/Binary.h"

#include <algorithm>
#include <cstdint>

namespace zentarc::ua {

namespace {
// NodeId encoding bytes.
constexpr uint8_t kTwoByte = 0, kFourByte = 1, kNumeric = 2, kString = 3, kGuid = 4,
                  kByteString = 5;
constexpr uint8_t kNamespaceUriFlag = 0x80, kServerIndexFlag = 0x40;
}  // namespace

// ---------------------------------------------------------------- Encoder

void Encoder::write(const String& v) {
  if (v.size() > 0x7FFFFFFFu) throw UaError(Status::BadEncodingLimitsExceeded, "string too long");
  write(static_cast<int32_t>(v.size()));
  out_.append(v);
}

void Encoder::write(const Guid& v) {
  raw(v.data1);
  raw(v.data2);
  raw(v.data3);
  writeRaw(v.data4.data(), v.data4.size());
}

void Encoder::write(const ByteString& v) {
  if (v.data.empty()) {
    write(int32_t{-1});
    return;
  }
  write(v.data);
}

void Encoder::write(const XmlElement& v) { write(v.xml); }

void Encoder::write(const NodeId& v) {
  // Local ids use the one flag-free form; ExpandedNodeId adds its flags itself.
  switch (v.identifier.index()) {
    case 0: {
      uint32_t id = std::get<uint32_t>(v.identifier);
      if (v.namespaceIndex == 0 && id <= 0xFF) {
        write(kTwoByte);
        write(static_cast<uint8_t>(id));
      } else if (v.namespaceIndex <= 0xFF && id <= 0xFFFF) {
        write(kFourByte);
        write(static_cast<uint8_t>(v.namespaceIndex));
        write(static_cast<uint16_t>(id));
      } else {
        write(kNumeric);
        write(v.namespaceIndex);
        write(id);
      }
      break;
    }
    case 1:
      write(kString);
      write(v.namespaceIndex);
      write(std::get<String>(v.identifier));
      break;
    case 2:
      write(kGuid);
      write(v.namespaceIndex);
      write(std::get<Guid>(v.identifier));
      break;
    default:
      write(kByteString);
      write(v.namespaceIndex);
      write(std::get<ByteString>(v.identifier));
      break;
  }
}

void Encoder::write(const ExpandedNodeId& v) {
  size_t at = out_.size();
  write(v.nodeId);
  if (!v.namespaceUri.empty()) out_[at] = static_cast<char>(out_[at] | kNamespaceUriFlag);
  if (v.serverIndex != 0) out_[at] = static_cast<char>(out_[at] | kServerIndexFlag);
  if (!v.namespaceUri.empty()) write(v.namespaceUri);
  if (v.serverIndex != 0) write(v.serverIndex);
}

void Encoder::write(const QualifiedName& v) {
  write(v.namespaceIndex);
  write(v.name);
}

void Encoder::write(const LocalizedText& v) {
  uint8_t mask = (v.locale ? 1 : 0) | (v.text ? 2 : 0);
  write(mask);
  if (v.locale) write(*v.locale);
  if (v.text) write(*v.text);
}

void Encoder::write(const ExtensionObject& v) {
  write(v.typeId);
  write(v.encoding);
  if (v.encoding != 0) write(v.body);
}

void Encoder::writeScalar(VariantType type, const Scalar& s) {
  if (static_cast<size_t>(type) != s.index())
    throw UaError(Status::BadEncodingError, "variant element of another type");
  std::visit(
      [this](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
        } else if constexpr (std::is_same_v<T, std::shared_ptr<DataValue>> ||
                             std::is_same_v<T, std::shared_ptr<Variant>> ||
                             std::is_same_v<T, std::shared_ptr<DiagnosticInfo>>) {
          if (!x) throw UaError(Status::BadEncodingError, "null nested value");
          write(*x);
        } else {
          write(x);
        }
      },
      s);
}

template <typename T>
void Encoder::packed(const std::vector<Scalar>& array) {
  const size_t at = out_.size();
  out_.resize(at + array.size() * sizeof(T));
  char* p = out_.data() + at;
  for (const Scalar& s : array) {
    const T* x = std::get_if<T>(&s);
    if (!x) {
      out_.resize(at);
      throw UaError(Status::BadEncodingError, "variant element of another type");
    }
    if constexpr (std::is_same_v<T, bool>) *p = *x ? 1 : 0;
    else std::memcpy(p, x, sizeof(T));
    p += sizeof(T);
  }
}

void Encoder::write(const Variant& v) {
  if (v.type == VariantType::Null) {
    write(uint8_t{0});
    return;
  }
  uint8_t mask = static_cast<uint8_t>(v.type);
  if (v.isArray) {
    mask |= 0x80;
    if (!v.arrayDimensions.empty()) mask |= 0x40;
  }
  write(mask);
  if (!v.isArray) {
    writeScalar(v.type, v.scalar);
    return;
  }
  write(static_cast<int32_t>(v.array.size()));
  switch (v.type) {
    case VariantType::Boolean: packed<bool>(v.array); break;
    case VariantType::SByte: packed<int8_t>(v.array); break;
    case VariantType::Byte: packed<uint8_t>(v.array); break;
    case VariantType::Int16: packed<int16_t>(v.array); break;
    case VariantType::UInt16: packed<uint16_t>(v.array); break;
    case VariantType::Int32: packed<int32_t>(v.array); break;
    case VariantType::UInt32: packed<uint32_t>(v.array); break;
    case VariantType::Int64: packed<int64_t>(v.array); break;
    case VariantType::UInt64: packed<uint64_t>(v.array); break;
    case VariantType::Float: packed<float>(v.array); break;
    case VariantType::Double: packed<double>(v.array); break;
    default:
      for (const auto& s : v.array) writeScalar(v.type, s);
  }
  if (!v.arrayDimensions.empty()) write(v.arrayDimensions);
}

void Encoder::write(const DataValue& v) {
  uint8_t mask = (v.value ? 0x01 : 0) | (v.status ? 0x02 : 0) | (v.sourceTimestamp ? 0x04 : 0) |
                 (v.serverTimestamp ? 0x08 : 0) | (v.sourcePicoseconds ? 0x10 : 0) |
                 (v.serverPicoseconds ? 0x20 : 0);
  write(mask);
  if (v.value) write(*v.value);
  if (v.status) write(*v.status);
  if (v.sourceTimestamp) write(*v.sourceTimestamp);
  if (v.sourcePicoseconds) write(*v.sourcePicoseconds);
  if (v.serverTimestamp) write(*v.serverTimestamp);
  if (v.serverPicoseconds) write(*v.serverPicoseconds);
}

void Encoder::write(const DiagnosticInfo& v) {
  uint8_t mask = (v.symbolicId ? 0x01 : 0) | (v.namespaceUri ? 0x02 : 0) |
                 (v.localizedText ? 0x04 : 0) | (v.locale ? 0x08 : 0) |
                 (v.additionalInfo ? 0x10 : 0) | (v.innerStatusCode ? 0x20 : 0) |
                 (v.innerDiagnosticInfo ? 0x40 : 0);
  write(mask);
  if (v.symbolicId) write(*v.symbolicId);
  if (v.namespaceUri) write(*v.namespaceUri);
  if (v.locale) write(*v.locale);
  if (v.localizedText) write(*v.localizedText);
  if (v.additionalInfo) write(*v.additionalInfo);
  if (v.innerStatusCode) write(*v.innerStatusCode);
  if (v.innerDiagnosticInfo) write(*v.innerDiagnosticInfo);
}

// ---------------------------------------------------------------- Decoder

void Decoder::fail(const char* what) const { throw UaError(Status::BadDecodingError, what); }

Decoder::DepthGuard::DepthGuard(Decoder& dec) : d(dec) {
  if (++d.depth_ > d.limits_.maxDepth) {
    --d.depth_;
    d.fail("nesting too deep");
  }
}

size_t Decoder::decodedBudget(const DecodeLimits& limits, size_t inputSize) {
  const size_t perByte = limits.decodedPerInputByte;
  const size_t scaled = inputSize > (SIZE_MAX - limits.decodedFloor) / (perByte ? perByte : 1)
                            ? SIZE_MAX
                            : limits.decodedFloor + inputSize * perByte;
  return std::min(scaled, limits.decodedCap);
}

void Decoder::charge(size_t count, size_t size) {
  const size_t left = budget_ - spent_;
  if (size != 0 && count > left / size)
    throw UaError(Status::BadEncodingLimitsExceeded, "decoded values would outgrow the message");
  spent_ += count * size;
}

void Decoder::skip(size_t n) {
  need(n);
  p_ += n;
}

void Decoder::read(bool& v) {
  uint8_t b;
  raw(b);
  v = b != 0;
}

int32_t Decoder::readArrayLength() {
  int32_t n;
  read(n);
  if (n < -1) fail("negative array length");
  if (n > 0 && (static_cast<uint32_t>(n) > limits_.maxArrayLength ||
                static_cast<size_t>(n) > remaining()))
    fail("array length beyond the message");
  return n;
}

void Decoder::read(String& v) {
  int32_t n;
  read(n);
  if (n < -1) fail("negative string length");
  if (n <= 0) {
    v.clear();
    return;
  }
  if (static_cast<uint32_t>(n) > limits_.maxStringLength) fail("string too long");
  need(static_cast<size_t>(n));
  charge(static_cast<size_t>(n), 1);
  v.assign(reinterpret_cast<const char*>(p_), static_cast<size_t>(n));
  p_ += n;
}

void Decoder::read(Guid& v) {
  raw(v.data1);
  raw(v.data2);
  raw(v.data3);
  need(8);
  std::memcpy(v.data4.data(), p_, 8);
  p_ += 8;
}

void Decoder::read(ByteString& v) { read(v.data); }
void Decoder::read(XmlElement& v) { read(v.xml); }

void Decoder::read(NodeId& v) {
  uint8_t enc;
  read(enc);
  if (enc & (kNamespaceUriFlag | kServerIndexFlag)) fail("expanded flags in a NodeId");
  readNodeIdBody(enc, v);
}

void Decoder::readNodeIdBody(uint8_t enc, NodeId& v) {
  switch (enc) {
    case kTwoByte: {
      uint8_t id;
      read(id);
      v = NodeId(0, uint32_t{id});
      break;
    }
    case kFourByte: {
      uint8_t ns;
      uint16_t id;
      read(ns);
      read(id);
      v = NodeId(ns, uint32_t{id});
      break;
    }
    case kNumeric: {
      uint16_t ns;
      uint32_t id;
      read(ns);
      read(id);
      v = NodeId(ns, id);
      break;
    }
    case kString: {
      uint16_t ns;
      String s;
      read(ns);
      read(s);
      v = NodeId(ns, std::move(s));
      break;
    }
    case kGuid: {
      uint16_t ns;
      Guid g;
      read(ns);
      read(g);
      v = NodeId(ns, g);
      break;
    }
    case kByteString: {
      uint16_t ns;
      ByteString b;
      read(ns);
      read(b);
      v = NodeId(ns, std::move(b));
      break;
    }
    default:
      fail("unknown NodeId encoding");
  }
}

void Decoder::read(ExpandedNodeId& v) {
  uint8_t enc;
  read(enc);
  readNodeIdBody(enc & 0x3F, v.nodeId);
  v.namespaceUri.clear();
  v.serverIndex = 0;
  if (enc & kNamespaceUriFlag) read(v.namespaceUri);
  if (enc & kServerIndexFlag) read(v.serverIndex);
}

void Decoder::read(QualifiedName& v) {
  read(v.namespaceIndex);
  read(v.name);
}

void Decoder::read(LocalizedText& v) {
  uint8_t mask;
  read(mask);
  if (mask & ~0x03) fail("bad LocalizedText mask");
  v.locale.reset();
  v.text.reset();
  if (mask & 1) read(v.locale.emplace());
  if (mask & 2) read(v.text.emplace());
}

void Decoder::read(ExtensionObject& v) {
  read(v.typeId);
  read(v.encoding);
  if (v.encoding > 2) fail("bad ExtensionObject encoding");
  v.body.clear();
  if (v.encoding != 0) read(v.body);
}

Scalar Decoder::readScalar(VariantType type) {
  auto get = [this](auto x) -> Scalar {
    read(x);
    return Scalar(std::move(x));
  };
  switch (type) {
    case VariantType::Null: return Scalar{};
    case VariantType::Boolean: return get(bool{});
    case VariantType::SByte: return get(int8_t{});
    case VariantType::Byte: return get(uint8_t{});
    case VariantType::Int16: return get(int16_t{});
    case VariantType::UInt16: return get(uint16_t{});
    case VariantType::Int32: return get(int32_t{});
    case VariantType::UInt32: return get(uint32_t{});
    case VariantType::Int64: return get(int64_t{});
    case VariantType::UInt64: return get(uint64_t{});
    case VariantType::Float: return get(float{});
    case VariantType::Double: return get(double{});
    case VariantType::String: return get(String{});
    case VariantType::DateTime: return get(DateTime{});
    case VariantType::Guid: return get(Guid{});
    case VariantType::ByteString: return get(ByteString{});
    case VariantType::XmlElement: return get(XmlElement{});
    case VariantType::NodeId: return get(NodeId{});
    case VariantType::ExpandedNodeId: return get(ExpandedNodeId{});
    case VariantType::StatusCode: return get(StatusCode{});
    case VariantType::QualifiedName: return get(QualifiedName{});
    case VariantType::LocalizedText: return get(LocalizedText{});
    case VariantType::ExtensionObject: return get(ExtensionObject{});
    case VariantType::DataValue: {
      charge(1, sizeof(DataValue));
      auto p = std::make_shared<DataValue>();
      read(*p);
      return Scalar(std::move(p));
    }
    case VariantType::Variant: {
      charge(1, sizeof(Variant));
      auto p = std::make_shared<Variant>();
      read(*p);
      return Scalar(std::move(p));
    }
    case VariantType::DiagnosticInfo: {
      charge(1, sizeof(DiagnosticInfo));
      auto p = std::make_shared<DiagnosticInfo>();
      read(*p);
      return Scalar(std::move(p));
    }
  }
  fail("unknown variant type");
}

void Decoder::read(Variant& v) {
  DepthGuard guard(*this);
  uint8_t mask;
  read(mask);
  uint8_t typeId = mask & 0x3F;
  if (typeId > static_cast<uint8_t>(VariantType::DiagnosticInfo)) fail("unknown variant type");
  v = Variant{};
  v.type = static_cast<VariantType>(typeId);
  if (!(mask & 0x80)) {
    if (mask & 0x40) fail("array dimensions on a scalar");
    v.scalar = readScalar(v.type);
    return;
  }
  // Null takes no byte on the wire, so an array of it would cost memory for nothing sent.
  if (v.type == VariantType::Null) fail("array of Null");
  v.isArray = true;
  int32_t n = readArrayLength();
  if (n > 0) {
    charge(static_cast<size_t>(n), sizeof(Scalar));
    v.array.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) v.array.push_back(readScalar(v.type));
  }
  if (mask & 0x40) {
    read(v.arrayDimensions);
    int64_t product = v.arrayDimensions.empty() ? 0 : 1;
    for (int32_t d : v.arrayDimensions) {
      if (d < 0) fail("negative array dimension");
      product *= d;
      if (product > n) break;
    }
    if (product != n) fail("array dimensions do not match the length");
  }
}

void Decoder::read(DataValue& v) {
  DepthGuard guard(*this);
  uint8_t mask;
  read(mask);
  if (mask & 0xC0) fail("bad DataValue mask");
  v = DataValue{};
  if (mask & 0x01) read(v.value.emplace());
  if (mask & 0x02) read(v.status.emplace());
  if (mask & 0x04) read(v.sourceTimestamp.emplace());
  if (mask & 0x10) read(v.sourcePicoseconds.emplace());
  if (mask & 0x08) read(v.serverTimestamp.emplace());
  if (mask & 0x20) read(v.serverPicoseconds.emplace());
}

void Decoder::read(DiagnosticInfo& v) {
  DepthGuard guard(*this);
  uint8_t mask;
  read(mask);
  if (mask & 0x80) fail("bad DiagnosticInfo mask");
  v = DiagnosticInfo{};
  if (mask & 0x01) read(v.symbolicId.emplace());
  if (mask & 0x02) read(v.namespaceUri.emplace());
  if (mask & 0x08) read(v.locale.emplace());
  if (mask & 0x04) read(v.localizedText.emplace());
  if (mask & 0x10) read(v.additionalInfo.emplace());
  if (mask & 0x20) read(v.innerStatusCode.emplace());
  if (mask & 0x40) {
    charge(1, sizeof(DiagnosticInfo));
    v.innerDiagnosticInfo = std::make_shared<DiagnosticInfo>();
    read(*v.innerDiagnosticInfo);
  }
}

}  // namespace zentarc::ua
