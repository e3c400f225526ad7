#pragma once
// The names and aliases of every metric this edge node declares: its own (bdSeq, Node
// Control/Rebirth and the server's figures), then for each PLC its figures and its tags. An
// alias is unique across the node and the same for the same configuration on every run, so
// hosts may bind to it; names are the tags' own.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "server/mqtt/PayloadFormat.h"
#include "server/mqtt/sparkplug/DeviceMetrics.h"

namespace zentarc::mqtt::sparkplug {

// The node's own metrics, aliases 0 and up in this order.
enum class NodeMetric : std::size_t { BdSeq, Rebirth, Plcs, PlcsFailing, Tags, HistoryDropped };
inline constexpr std::size_t kNodeMetrics = 6;
inline constexpr const char* kBdSeqName = "bdSeq";
inline constexpr const char* kRebirthName = "Node Control/Rebirth";
const char* nodeMetricName(NodeMetric metric);
DataType nodeMetricType(NodeMetric metric);

class MetricCatalogue {
 public:
  explicit MetricCatalogue(const PublishedPlant& plant);

  enum class Kind { Node, Diagnostics, Tag };
  struct Entry {
    Kind kind = Kind::Node;
    std::size_t plc = 0;    // Diagnostics, Tag
    std::size_t index = 0;  // the node metric, the figure, or the tag (index into the plant's tags)
  };

  static std::uint64_t nodeAlias(NodeMetric metric) { return static_cast<std::uint64_t>(metric); }
  std::uint64_t diagnosticsAlias(std::size_t plc, std::size_t figure) const { return plcBase_[plc] + figure; }
  std::uint64_t tagAlias(std::size_t tag) const { return tagAlias_[tag]; }
  std::optional<Entry> byAlias(std::uint64_t alias) const;

  // The PLC a device id names, and a tag of a PLC by its name.
  std::optional<std::size_t> plcByName(std::string_view device) const;
  std::optional<std::size_t> tagByName(std::size_t plc, std::string_view name) const;
  const std::vector<std::size_t>& tagsOf(std::size_t plc) const { return tags_[plc]; }
  const std::string& tagName(std::size_t tag) const { return names_[tag]; }
  std::size_t plcCount() const { return tags_.size(); }

 private:
  std::vector<std::uint64_t> plcBase_;  // each PLC's first alias
  std::vector<std::uint64_t> tagAlias_;
  std::vector<std::vector<std::size_t>> tags_;  // each PLC's tags, in plant order
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::size_t> plcs_;
  std::vector<std::unordered_map<std::string, std::size_t>> byName_;  // per PLC
  std::uint64_t end_ = 0;
};

}  // namespace zentarc::mqtt::sparkplug
