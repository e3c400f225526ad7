#include "server/toolkit/ua/services/AttributeRead.h"

#include <algorithm>
#include <charconv>

#include "server/toolkit/ua/services/ValueMapping.h"

namespace zentarc::ua {

namespace {

using A = AttributeId;

bool isType(NodeClass c) {
  return c == NodeClass::ObjectType || c == NodeClass::VariableType ||
         c == NodeClass::ReferenceType || c == NodeClass::DataType;
}

DataValue good(Variant v) {
  DataValue dv;
  dv.value = std::move(v);
  return dv;
}

DataValue bad(StatusCode s) {
  DataValue dv;
  dv.status = s;
  return dv;
}

void stamp(DataValue& dv, TimestampsToReturn ts, DateTime source, DateTime now = DateTime::now()) {
  if (ts == TimestampsToReturn::Source || ts == TimestampsToReturn::Both) dv.sourceTimestamp = source;
  if (ts == TimestampsToReturn::Server || ts == TimestampsToReturn::Both) dv.serverTimestamp = now;
}

}  // namespace

DataValue statusOnly(StatusCode status) { return bad(status); }

bool hasAttribute(const Node& node, uint32_t attributeId) {
  const NodeClass c = node.nodeClass;
  switch (static_cast<A>(attributeId)) {
    case A::NodeId: case A::NodeClass: case A::BrowseName: case A::DisplayName:
    case A::Description: case A::WriteMask: case A::UserWriteMask:
      return true;
    case A::IsAbstract: return isType(c);
    case A::Symmetric: case A::InverseName: return c == NodeClass::ReferenceType;
    case A::ContainsNoLoops: return c == NodeClass::View;
    case A::EventNotifier: return c == NodeClass::Object || c == NodeClass::View;
    case A::Value: case A::DataType: case A::ValueRank: case A::ArrayDimensions:
      return c == NodeClass::Variable || c == NodeClass::VariableType;
    case A::AccessLevel: case A::UserAccessLevel: case A::MinimumSamplingInterval:
    case A::Historizing:
      return c == NodeClass::Variable;
    default: return false;
  }
}

DataValue tagValueFrom(const SODaSCacheSnapshot& snap, TimestampsToReturn timestamps,
                       DateTime serverTime) {
  DataValue dv;
  const StatusCode s = statusForCache(snap);
  // A Bad status carries no value: the last value is not the device's now.
  if (!s.isBad()) dv.value = toVariant(snap.value);
  if (s.value != Status::Good) dv.status = s;
  stamp(dv, timestamps, toDateTime(snap.timeStamp), serverTime);
  return dv;
}

DataValue readTagValue(const Node& node, TimestampsToReturn timestamps) {
  return tagValueFrom(node.cache->getSnapshot(), timestamps, DateTime::now());
}

DataValue readAttribute(const Node& node, uint32_t attributeId, const String& indexRange,
                        TimestampsToReturn timestamps) {
  if (!hasAttribute(node, attributeId)) return bad(Status::BadAttributeIdInvalid);
  if (!indexRange.empty() && attributeId != static_cast<uint32_t>(A::Value))
    return bad(Status::BadIndexRangeNoData);
  switch (static_cast<A>(attributeId)) {
    case A::NodeId: return good(Variant::of(node.nodeId));
    case A::NodeClass: return good(Variant::of(static_cast<int32_t>(node.nodeClass)));
    case A::BrowseName: return good(Variant::of(node.browseName()));
    case A::DisplayName: return good(Variant::of(node.displayName()));
    case A::Description: return good(Variant::of(node.description()));
    case A::WriteMask: case A::UserWriteMask: return good(Variant::of(uint32_t{0}));
    case A::IsAbstract: return good(Variant::of(node.isAbstract));
    case A::Symmetric: return good(Variant::of(node.symmetric));
    case A::InverseName:
      return good(Variant::of(node.details ? node.details->inverseName : LocalizedText()));
    case A::ContainsNoLoops: return good(Variant::of(true));
    case A::EventNotifier: return good(Variant::of(node.eventNotifier));
    case A::DataType: return good(Variant::of(node.dataType));
    case A::ValueRank: return good(Variant::of(node.valueRank));
    case A::ArrayDimensions:
      if (node.valueRank != 1) return good(Variant());
      return good(Variant::arrayOf(std::vector<uint32_t>{node.arrayLength}));
    case A::AccessLevel: case A::UserAccessLevel: return good(Variant::of(node.accessLevel));
    case A::MinimumSamplingInterval: return good(Variant::of(node.minimumSamplingInterval));
    case A::Historizing: return good(Variant::of(false));
    case A::Value: break;
    default: return bad(Status::BadAttributeIdInvalid);
  }
  if (node.nodeClass == NodeClass::Variable && !(node.accessLevel & kAccessCurrentRead))
    return bad(Status::BadNotReadable);
  uint32_t first = 0, last = 0;
  if (!indexRange.empty() && !parseIndexRange(indexRange, first, last))
    return bad(Status::BadIndexRangeInvalid);
  DataValue dv;
  if (node.tag) {
    dv = readTagValue(node, timestamps);
  } else if (node.details && node.details->timedValueSource) {
    TimedValue v = node.details->timedValueSource();
    dv.value = std::move(v.value);
    stamp(dv, timestamps, v.sourceTime);
  } else {
    if (node.details) dv.value = node.details->valueSource ? node.details->valueSource() : node.details->value;
    else dv.value = Variant();
    stamp(dv, timestamps, DateTime::now());
  }
  if (!indexRange.empty() && dv.value) {
    const StatusCode s = applyIndexRange(*dv.value, first, last);
    if (s.isBad()) return bad(s);
  }
  return dv;
}

bool parseIndexRange(const String& text, uint32_t& first, uint32_t& last) {
  auto number = [](const char* b, const char* e, uint32_t& out) {
    if (b == e) return false;
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e;
  };
  const char* b = text.data();
  const char* e = b + text.size();
  const char* colon = std::find(b, e, ':');
  if (colon == e) {
    if (!number(b, e, first)) return false;
    last = first;
    return true;
  }
  return number(b, colon, first) && number(colon + 1, e, last) && first < last;
}

StatusCode applyIndexRange(Variant& value, uint32_t first, uint32_t last) {
  if (value.isArray) {
    if (first >= value.array.size()) return Status::BadIndexRangeNoData;
    const size_t end = std::min<size_t>(value.array.size(), size_t{last} + 1);
    value.array = std::vector<Scalar>(value.array.begin() + first, value.array.begin() + end);
    value.arrayDimensions.clear();
    return Status::Good;
  }
  if (const String* s = value.get<String>()) {
    if (first >= s->size()) return Status::BadIndexRangeNoData;
    value = Variant::of(s->substr(first, size_t{last} - first + 1));
    return Status::Good;
  }
  return Status::BadIndexRangeNoData;
}

}  // namespace zentarc::ua
