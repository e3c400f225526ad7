#include "server/mqtt/sparkplug/HistoryStore.h"

namespace zentarc::mqtt::sparkplug {

namespace {

struct ValueBytes {
  std::size_t operator()(std::monostate) const { return 0; }
  std::size_t operator()(bool) const { return 1; }
  std::size_t operator()(std::int64_t) const { return 8; }
  std::size_t operator()(std::uint64_t) const { return 8; }
  std::size_t operator()(float) const { return 4; }
  std::size_t operator()(double) const { return 8; }
  std::size_t operator()(const std::string& s) const { return s.size(); }
  std::size_t operator()(const SOCmnVariant& v) const {
    if (v.vt() == VT_BSTR) return v.bstrVal().size() * 2;
    return v.isArray() ? v.arrayCount() * 4 : 8;
  }
};

}  // namespace

HistoryStore::HistoryStore(std::size_t devices, std::size_t limitBytes) : devices_(devices), limit_(limitBytes) {}

std::size_t HistoryStore::costOf(const Metric& metric) {
  return sizeof(Entry) + metric.name.size() + std::visit(ValueBytes{}, metric.value);
}

void HistoryStore::add(std::size_t device, Metric metric) {
  const std::size_t cost = costOf(metric);
  while (count_ > 0 && bytes_ + cost > limit_) dropOldest();
  devices_[device].push_back(Entry{nextOrder_++, cost, std::move(metric)});
  bytes_ += cost;
  ++count_;
}

std::vector<Metric> HistoryStore::take(std::size_t device, std::size_t max) {
  std::deque<Entry>& d = devices_[device];
  std::vector<Metric> out;
  out.reserve(std::min(max, d.size()));
  while (!d.empty() && out.size() < max) {
    Entry& e = d.front();
    e.metric.isHistorical = true;
    bytes_ -= e.bytes;
    --count_;
    out.push_back(std::move(e.metric));
    d.pop_front();
  }
  return out;
}

void HistoryStore::dropOldest() {
  std::deque<Entry>* oldest = nullptr;
  for (std::deque<Entry>& d : devices_)
    if (!d.empty() && (!oldest || d.front().order < oldest->front().order)) oldest = &d;
  if (!oldest) return;
  bytes_ -= oldest->front().bytes;
  --count_;
  ++dropped_;
  oldest->pop_front();
}

}  // namespace zentarc::mqtt::sparkplug
