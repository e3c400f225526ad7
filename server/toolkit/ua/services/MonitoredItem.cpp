#include "server/toolkit/ua/services/MonitoredItem.h"

#include <cmath>

#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/services/AttributeRead.h"

namespace zentarc::ua {

namespace {

// Info bits of a status code: InfoType DataValue with the Overflow flag.
constexpr uint32_t kOverflowBits = 0x0480;

std::optional<double> numeric(const Scalar& s) {
  return std::visit(
      [](const auto& x) -> std::optional<double> {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
          return static_cast<double>(x);
        else
          return std::nullopt;
      },
      s);
}

bool isNumericType(VariantType t) {
  return t >= VariantType::SByte && t <= VariantType::Double;
}

bool exceedsDeadband(const Variant& a, const Variant& b, double deadband) {
  if (a.type != b.type || a.isArray != b.isArray) return true;
  if (!a.isArray) {
    auto x = numeric(a.scalar), y = numeric(b.scalar);
    if (!x || !y) return !(a == b);
    return std::fabs(*x - *y) > deadband;
  }
  if (a.array.size() != b.array.size()) return true;
  for (size_t i = 0; i < a.array.size(); ++i) {
    auto x = numeric(a.array[i]), y = numeric(b.array[i]);
    if (!x || !y) return !(a == b);
    if (std::fabs(*x - *y) > deadband) return true;
  }
  return false;
}

}  // namespace

MonitoredItem::MonitoredItem(uint32_t id, const Node& node, const ReadValueId& target,
                             TimestampsToReturn timestamps)
    : id(id), node(node), attributeId(target.attributeId), timestamps(timestamps) {
  if (!target.indexRange.empty()) indexRange_ = std::make_unique<const String>(target.indexRange);
  if (node.cache && attributeId == static_cast<uint32_t>(AttributeId::Value)) cache_ = node.cache;
}

const String& MonitoredItem::indexRange() const {
  static const String none;
  return indexRange_ ? *indexRange_ : none;
}

void MonitoredItem::clearQueue() {
  std::vector<DataValue>().swap(queue_);
  pending_ = false;
}

StatusCode MonitoredItem::setFilter(const ExtensionObject& eo) {
  if (eo.empty() && eo.typeId.isNull()) {
    if (filter.trigger != DataChangeFilter{}.trigger) lastCount_ = ~uint64_t{0};
    filter = DataChangeFilter{};
    return Status::Good;
  }
  DataChangeFilter f;
  try {
    if (!fromExtensionObject(eo, f)) return Status::BadMonitoredItemFilterUnsupported;
  } catch (const UaError&) {
    return Status::BadMonitoredItemFilterInvalid;
  }
  if (attributeId != static_cast<uint32_t>(AttributeId::Value)) return Status::BadFilterNotAllowed;
  if (f.trigger < DataChangeTrigger::Status || f.trigger > DataChangeTrigger::StatusValueTimestamp)
    return Status::BadMonitoredItemFilterInvalid;
  if (f.deadbandType > 2) return Status::BadDeadbandFilterInvalid;
  // Percent needs an engineering range, which tags do not have.
  if (f.deadbandType == static_cast<uint32_t>(DeadbandType::Percent))
    return Status::BadMonitoredItemFilterUnsupported;
  if (f.deadbandType == static_cast<uint32_t>(DeadbandType::Absolute)) {
    if (f.deadbandValue < 0 || std::isnan(f.deadbandValue)) return Status::BadDeadbandFilterInvalid;
    const uint32_t dt = node.dataType.numericId();
    if (node.dataType.namespaceIndex != 0 || !isNumericType(static_cast<VariantType>(dt)))
      return Status::BadFilterNotAllowed;
  }
  // The counter that tells a change may be another one now: look at the next sample.
  if (f.trigger != filter.trigger) lastCount_ = ~uint64_t{0};
  filter = f;
  return Status::Good;
}

void MonitoredItem::setQueue(uint32_t size, bool oldest) {
  queueSize = size == 0 ? 1 : size;
  discardOldest = oldest;
  if (pending_ && queueSize > 1) {
    queue_.push_back(last_);
    pending_ = false;
  }
  if (queue_.size() > queueSize) {
    if (discardOldest) queue_.erase(queue_.begin(), queue_.end() - queueSize);
    else queue_.resize(queueSize);
  }
}

bool MonitoredItem::followsDevice() const {
  if (!cache_ || queueSize != 1) return false;
  const uint32_t rate = cache_->getDeviceRefreshRate();
  return rate == 0 || rate >= samplingInterval;
}

void MonitoredItem::resetSampling() {
  sampled_ = false;
  lastCount_ = 0;
}

bool MonitoredItem::sample() {
  if (mode == MonitoringMode::Disabled) return false;
  DataValue now;
  if (cache_) {
    // Unless timestamps count, a store that changed neither value nor quality (a PLC polled
    // every second whose values hold still) needs no look at the value.
    const uint64_t count = filter.trigger == DataChangeTrigger::StatusValueTimestamp ? cache_->getUpdateCount()
                                                                                      : cache_->getChangeCount();
    if (sampled_ && count == lastCount_) return false;
    lastCount_ = count;
    const SODaSCacheSnapshot snapshot = cache_->getSnapshot();
    // Nothing current yet (the tag is not polled, or not yet): the first notification comes
    // with the first value read or the failure to read it, never with a value nobody keeps
    // current.
    if (snapshot.waitingForInitialData && snapshot.quality == OPC_QUALITY_GOOD) return false;
    now = tagValueFrom(snapshot, timestamps, DateTime::now());
    if (!(node.accessLevel & kAccessCurrentRead)) now = statusOnly(Status::BadNotReadable);
  } else {
    now = readAttribute(node, attributeId, indexRange(), timestamps);
  }
  if (indexRange_ && cache_ && now.value) {
    uint32_t first = 0, last = 0;
    if (parseIndexRange(*indexRange_, first, last)) {
      const StatusCode s = applyIndexRange(*now.value, first, last);
      if (s.isBad()) now = statusOnly(s);
    }
  }
  if (sampled_ && !changed(last_, now)) return false;
  sampled_ = true;
  last_ = std::move(now);
  enqueue();
  return true;
}

bool MonitoredItem::changed(const DataValue& before, const DataValue& now) const {
  const uint32_t s0 = before.status ? before.status->value : 0;
  const uint32_t s1 = now.status ? now.status->value : 0;
  if (s0 != s1) return true;
  if (filter.trigger == DataChangeTrigger::Status) return false;
  const bool has0 = before.value.has_value(), has1 = now.value.has_value();
  if (has0 != has1) return true;
  if (has0) {
    if (filter.deadbandType == static_cast<uint32_t>(DeadbandType::Absolute)) {
      if (exceedsDeadband(*before.value, *now.value, filter.deadbandValue)) return true;
    } else if (!(*before.value == *now.value)) {
      return true;
    }
  }
  if (filter.trigger == DataChangeTrigger::StatusValueTimestamp &&
      before.sourceTimestamp != now.sourceTimestamp)
    return true;
  // Non-tag values (e.g. CurrentTime) are compared by value only; the server timestamp of a
  // repeated value is not a change.
  return false;
}

void MonitoredItem::enqueue() {
  if (queueSize == 1) {
    // Whatever waited is replaced by the newest value, which last_ holds.
    if (!queue_.empty()) std::vector<DataValue>().swap(queue_);
    pending_ = true;
    return;
  }
  if (queue_.size() < queueSize) {
    queue_.push_back(last_);
    return;
  }
  auto markOverflow = [](DataValue& dv) {
    dv.status = StatusCode((dv.status ? dv.status->value : 0) | kOverflowBits);
  };
  if (discardOldest) {
    queue_.erase(queue_.begin());
    queue_.push_back(last_);
    markOverflow(queue_.front());
  } else {
    queue_.back() = last_;
    markOverflow(queue_.back());
  }
}

}  // namespace zentarc::ua
