#pragma once
// The JSON format: one retained topic per tag, <prefix>/<node>/<PLC>/<tag>, holding
// {"value": ..., "status": "Good", "ts": "..."}; <prefix>/<node>/<PLC>/$state with the PLC's
// diagnostics; <prefix>/<node>/$state online or offline; writes on <tag topic>/set
// ({"value": ...} or a bare value, with an optional "id") answered on <tag topic>/set/result.
#include <string>
#include <unordered_map>
#include <vector>

#include "server/mqtt/PayloadFormat.h"

namespace zentarc::mqtt {

inline constexpr const char* kStateLevel = "$state";
inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";

class JsonFormat : public PayloadFormat {
 public:
  // prefix as given (it may hold several levels); node is encoded as one level. The plant
  // must outlive the format.
  JsonFormat(const PublishedPlant& plant, const std::string& prefix, const std::string& node);

  std::string clientId() const override;
  Outgoing nodeState(bool online) const override;
  void tagStates(std::span<const TagState> states, WallTime now, std::vector<Outgoing>& out) override;
  void plcState(std::size_t plc, const PlcState& state, WallTime now, std::vector<Outgoing>& out) override;
  std::vector<std::string> writeFilters() const override;
  WriteCommand decodeWrite(std::string_view topic, std::string_view payload) const override;
  Outgoing writeResult(const WriteCommand& command, std::string_view status, WallTime now) const override;

  const std::string& base() const { return base_; }  // <prefix>/<node>
  const std::string& tagTopic(std::size_t tag) const { return tagTopics_[tag]; }
  const std::string& plcStateTopic(std::size_t plc) const { return plcTopics_[plc]; }

 private:
  const PublishedPlant& plant_;
  std::string node_;
  std::string base_;
  std::vector<std::string> tagTopics_;
  std::vector<std::string> plcTopics_;  // each PLC's $state
  std::unordered_map<std::string, std::size_t> setTopics_;  // <tag topic>/set -> tag
};

// The payload of a tag's state.
std::string tagPayload(const TagState& state, bool readable, WallTime now);

}  // namespace zentarc::mqtt
