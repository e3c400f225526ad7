#include "server/mqtt/sparkplug/MetricCatalogue.h"

#include <algorithm>

namespace zentarc::mqtt::sparkplug {

const char* nodeMetricName(NodeMetric metric) {
  switch (metric) {
    case NodeMetric::BdSeq: return kBdSeqName;
    case NodeMetric::Rebirth: return kRebirthName;
    case NodeMetric::Plcs: return "Diagnostics/Plcs";
    case NodeMetric::PlcsFailing: return "Diagnostics/PlcsFailing";
    case NodeMetric::Tags: return "Diagnostics/Tags";
    case NodeMetric::HistoryDropped: return "Diagnostics/HistoryDropped";
  }
  return "";
}

DataType nodeMetricType(NodeMetric metric) {
  switch (metric) {
    case NodeMetric::BdSeq: return DataType::UInt64;
    case NodeMetric::Rebirth: return DataType::Boolean;
    case NodeMetric::HistoryDropped: return DataType::UInt64;
    default: return DataType::UInt32;
  }
}

MetricCatalogue::MetricCatalogue(const PublishedPlant& plant)
    : tagAlias_(plant.tags.size()), tags_(plant.plcs.size()), names_(plant.tags.size()), byName_(plant.plcs.size()) {
  for (std::size_t i = 0; i < plant.tags.size(); ++i) {
    tags_[plant.tags[i].plc].push_back(i);
    names_[i] = plant.tags[i].tag->getName();
  }
  std::uint64_t next = kNodeMetrics;
  for (std::size_t p = 0; p < plant.plcs.size(); ++p) {
    plcs_.emplace(plant.plcs[p], p);
    plcBase_.push_back(next);
    next += kDiagnosticsMetrics;
    for (std::size_t tag : tags_[p]) {
      tagAlias_[tag] = next++;
      byName_[p].emplace(names_[tag], tag);
    }
  }
  end_ = next;
}

std::optional<MetricCatalogue::Entry> MetricCatalogue::byAlias(std::uint64_t alias) const {
  if (alias < kNodeMetrics) return Entry{Kind::Node, 0, static_cast<std::size_t>(alias)};
  if (alias >= end_) return std::nullopt;
  // The last PLC whose aliases start at or before this one.
  const auto it = std::upper_bound(plcBase_.begin(), plcBase_.end(), alias);
  const std::size_t plc = static_cast<std::size_t>(it - plcBase_.begin()) - 1;
  const std::uint64_t offset = alias - plcBase_[plc];
  if (offset < kDiagnosticsMetrics) return Entry{Kind::Diagnostics, plc, static_cast<std::size_t>(offset)};
  return Entry{Kind::Tag, plc, tags_[plc][static_cast<std::size_t>(offset - kDiagnosticsMetrics)]};
}

std::optional<std::size_t> MetricCatalogue::plcByName(std::string_view device) const {
  const auto it = plcs_.find(std::string(device));
  if (it == plcs_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::size_t> MetricCatalogue::tagByName(std::size_t plc, std::string_view name) const {
  const auto it = byName_[plc].find(std::string(name));
  if (it == byName_[plc].end()) return std::nullopt;
  return it->second;
}

}  // namespace zentarc::mqtt::sparkplug
