#include "server/mqtt/sparkplug/Payload.h"

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/wire_format_lite.h>

#include "SparkplugB.pb.h"
#include "server/mqtt/sparkplug/ArrayPacking.h"

namespace zentarc::mqtt::sparkplug {

namespace {

using PbMetric = pb::Payload::Metric;
using google::protobuf::internal::WireFormatLite;

constexpr std::uint32_t kInt32Type = static_cast<std::uint32_t>(DataType::Int32);

// The small integer types travel in int_value (signed ones as their 32-bit two's complement);
// UInt32 and the 64-bit ones in long_value, as the reference implementation and the hosts
// built on it read them.
bool setInteger(PbMetric& m, DataType type, std::uint64_t raw) {
  switch (type) {
    case DataType::Int8:
    case DataType::Int16:
    case DataType::Int32:
    case DataType::UInt8:
    case DataType::UInt16:
      m.set_int_value(static_cast<std::uint32_t>(raw));
      return true;
    case DataType::UInt32:
    case DataType::Int64:
    case DataType::UInt64:
    case DataType::DateTime:
      m.set_long_value(raw);
      return true;
    default:
      return false;
  }
}

bool setReal(PbMetric& m, DataType type, double value) {
  if (type == DataType::Float) m.set_float_value(static_cast<float>(value));
  else if (type == DataType::Double) m.set_double_value(value);
  else return false;
  return true;
}

// The PLC's text without the NUL padding after it, as OPC UA shows it.
std::string stringOf(const SOCmnVariant& v) {
  std::u16string_view s = v.bstrVal();
  while (!s.empty() && s.back() == u'\0') s.remove_suffix(1);
  return SOCmnUtf16ToUtf8(s);
}

bool setTagValue(PbMetric& m, DataType type, const SOCmnVariant& v) {
  if (dataTypeOf(v.vt()) != type) return false;
  switch (v.vt()) {
    case VT_I2: return setInteger(m, type, static_cast<std::uint64_t>(static_cast<std::int64_t>(v.iVal())));
    case VT_UI2: return setInteger(m, type, v.uiVal());
    case VT_I4: return setInteger(m, type, static_cast<std::uint64_t>(static_cast<std::int64_t>(v.lVal())));
    case VT_UI4: return setInteger(m, type, v.ulVal());
    case VT_R4: m.set_float_value(v.fltVal()); return true;
    case VT_BOOL: m.set_boolean_value(v.boolVal() != VARIANT_FALSE); return true;
    case VT_BSTR: m.set_string_value(stringOf(v)); return true;
    default: {
      std::string bytes;
      if (!packArray(v, bytes)) return false;
      m.set_bytes_value(std::move(bytes));
      return true;
    }
  }
}

bool setValue(PbMetric& m, DataType type, const MetricValue& value) {
  struct Visitor {
    PbMetric& m;
    DataType type;
    bool operator()(std::monostate) const { return false; }
    bool operator()(bool b) const {
      if (type != DataType::Boolean) return false;
      m.set_boolean_value(b);
      return true;
    }
    bool operator()(std::int64_t n) const { return setInteger(m, type, static_cast<std::uint64_t>(n)); }
    bool operator()(std::uint64_t n) const { return setInteger(m, type, n); }
    bool operator()(float f) const { return setReal(m, type, f); }
    bool operator()(double d) const { return setReal(m, type, d); }
    bool operator()(const std::string& s) const {
      if (type != DataType::String && type != DataType::Text) return false;
      m.set_string_value(s);
      return true;
    }
    bool operator()(const SOCmnVariant& v) const { return setTagValue(m, type, v); }
  };
  return std::visit(Visitor{m, type}, value);
}

void encodeMetric(const Metric& metric, PbMetric& m) {
  if (!metric.name.empty()) m.set_name(metric.name);
  if (metric.alias) m.set_alias(*metric.alias);
  if (metric.timestamp) m.set_timestamp(*metric.timestamp);
  if (metric.datatype != DataType::Unknown) m.set_datatype(static_cast<std::uint32_t>(metric.datatype));
  if (metric.isHistorical) m.set_is_historical(true);
  if (metric.isNull || !setValue(m, metric.datatype, metric.value)) {
    m.clear_value();
    m.set_is_null(true);
  }
  if (metric.quality) {
    pb::Payload::PropertySet* properties = m.mutable_properties();
    properties->add_keys(std::string(kQualityProperty));
    pb::Payload::PropertyValue* q = properties->add_values();
    q->set_type(kInt32Type);
    q->set_int_value(static_cast<std::uint32_t>(*metric.quality));
  }
}

// Whether a metric's encoded body holds a data set, a template or an extension: nothing we
// send or take has them, and their nested metrics and rows would be built unbounded.
bool holdsNestedValue(google::protobuf::io::CodedInputStream& in) {
  std::uint32_t length = 0;
  if (!in.ReadVarint32(&length)) return true;
  const auto limit = in.PushLimit(static_cast<int>(length));
  bool nested = false;
  for (std::uint32_t tag = in.ReadTag(); tag != 0 && !nested; tag = in.ReadTag()) {
    const int field = WireFormatLite::GetTagFieldNumber(tag);
    nested = field == PbMetric::kDatasetValueFieldNumber || field == PbMetric::kTemplateValueFieldNumber ||
             field == PbMetric::kExtensionValueFieldNumber || !WireFormatLite::SkipField(&in, tag);
  }
  nested = nested || !in.ConsumedEntireMessage();
  in.PopLimit(limit);
  return nested;
}

// Counts the metrics of an encoded payload without building them, so that a message of
// millions of tiny metrics is refused before protobuf allocates each one; false also for a
// metric that holds nested values (then `nested` is set).
bool countMetrics(std::string_view bytes, std::size_t& count, bool& nested) {
  google::protobuf::io::CodedInputStream in(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                            static_cast<int>(bytes.size()));
  count = 0;
  for (;;) {
    const std::uint32_t tag = in.ReadTag();
    if (tag == 0) return in.ConsumedEntireMessage();
    if (WireFormatLite::GetTagFieldNumber(tag) == pb::Payload::kMetricsFieldNumber &&
        WireFormatLite::GetTagWireType(tag) == WireFormatLite::WIRETYPE_LENGTH_DELIMITED) {
      ++count;
      nested = holdsNestedValue(in);
      if (nested) return false;
      continue;
    }
    if (!WireFormatLite::SkipField(&in, tag)) return false;
  }
}

MetricValue decodeValue(const PbMetric& m, DataType type, std::uint32_t maxArrayElements) {
  switch (m.value_case()) {
    case PbMetric::kIntValue:
      if (isSigned(type)) return static_cast<std::int64_t>(static_cast<std::int32_t>(m.int_value()));
      return static_cast<std::uint64_t>(m.int_value());
    case PbMetric::kLongValue:
      if (isSigned(type)) return static_cast<std::int64_t>(m.long_value());
      return m.long_value();
    case PbMetric::kFloatValue: return m.float_value();
    case PbMetric::kDoubleValue: return m.double_value();
    case PbMetric::kBooleanValue: return m.boolean_value();
    case PbMetric::kStringValue: return m.string_value();
    case PbMetric::kBytesValue: {
      SOCmnVariant array;
      if (unpackArray(type, m.bytes_value(), maxArrayElements, array)) return array;
      return std::monostate{};
    }
    default: return std::monostate{};
  }
}

std::optional<std::int32_t> qualityOf(const PbMetric& m) {
  if (!m.has_properties()) return std::nullopt;
  const pb::Payload::PropertySet& p = m.properties();
  for (int i = 0; i < p.keys_size() && i < p.values_size(); ++i) {
    if (p.keys(i) != kQualityProperty) continue;
    const pb::Payload::PropertyValue& v = p.values(i);
    if (v.value_case() == pb::Payload::PropertyValue::kIntValue) return static_cast<std::int32_t>(v.int_value());
    if (v.value_case() == pb::Payload::PropertyValue::kLongValue) return static_cast<std::int32_t>(v.long_value());
  }
  return std::nullopt;
}

}  // namespace

std::string encodePayload(const Payload& payload) {
  pb::Payload p;
  if (payload.timestamp) p.set_timestamp(*payload.timestamp);
  if (payload.seq) p.set_seq(*payload.seq);
  p.mutable_metrics()->Reserve(static_cast<int>(payload.metrics.size()));
  for (const Metric& metric : payload.metrics) encodeMetric(metric, *p.add_metrics());
  return p.SerializeAsString();
}

bool decodePayload(std::string_view bytes, Payload& out, std::string& error, const DecodeLimits& limits) {
  if (bytes.size() > limits.maxBytes) {
    error = "payload of " + std::to_string(bytes.size()) + " bytes exceeds the limit of " +
            std::to_string(limits.maxBytes);
    return false;
  }
  std::size_t count = 0;
  bool nested = false;
  if (!countMetrics(bytes, count, nested)) {
    error = nested ? "a metric holds a data set, a template or an extension, which are not taken"
                   : "not a Sparkplug B payload";
    return false;
  }
  if (count > limits.maxMetrics) {
    error = std::to_string(count) + " metrics exceed the limit of " + std::to_string(limits.maxMetrics);
    return false;
  }
  pb::Payload p;
  if (!p.ParseFromArray(bytes.data(), static_cast<int>(bytes.size()))) {
    error = "not a Sparkplug B payload";
    return false;
  }
  out = Payload{};
  if (p.has_timestamp()) out.timestamp = p.timestamp();
  if (p.has_seq()) out.seq = p.seq();
  out.metrics.reserve(static_cast<std::size_t>(p.metrics_size()));
  for (const PbMetric& m : p.metrics()) {
    Metric& metric = out.metrics.emplace_back();
    metric.name = m.name();
    if (m.has_alias()) metric.alias = m.alias();
    if (m.has_timestamp()) metric.timestamp = m.timestamp();
    metric.datatype = static_cast<DataType>(m.datatype());
    metric.isNull = m.is_null();
    metric.isHistorical = m.is_historical();
    metric.quality = qualityOf(m);
    if (!metric.isNull) metric.value = decodeValue(m, metric.datatype, limits.maxArrayElements);
  }
  return true;
}

}  // namespace zentarc::mqtt::sparkplug
