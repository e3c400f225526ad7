#include "server/mqtt/JsonFormat.h"

#include "server/mqtt/JsonValues.h"
#include "server/mqtt/StatusNames.h"
#include "server/mqtt/TopicNames.h"

namespace zentarc::mqtt {

namespace {

constexpr std::string_view kSetLevel = "/set";
constexpr std::string_view kResultLevel = "/result";

}  // namespace

JsonFormat::JsonFormat(const PublishedPlant& plant, const std::string& prefix, const std::string& node)
    : plant_(plant), node_(node), base_(prefix + "/" + encodeTopicLevel(node)) {
  plcTopics_.reserve(plant.plcs.size());
  std::vector<std::string> plcLevels;
  for (const std::string& name : plant.plcs) {
    plcLevels.push_back(base_ + "/" + encodeTopicLevel(name));
    plcTopics_.push_back(plcLevels.back() + "/" + kStateLevel);
  }
  tagTopics_.reserve(plant.tags.size());
  setTopics_.reserve(plant.tags.size());
  for (std::size_t i = 0; i < plant.tags.size(); ++i) {
    const PublishedTag& t = plant.tags[i];
    tagTopics_.push_back(plcLevels[t.plc] + "/" + encodeTopicLevel(t.tag->getName()));
    setTopics_.emplace(tagTopics_.back() + std::string(kSetLevel), i);
  }
}

std::string JsonFormat::clientId() const { return "opczentarc-" + node_; }

Outgoing JsonFormat::nodeState(bool online) const {
  return {base_ + "/" + kStateLevel, online ? kOnline : kOffline, true};
}

std::string tagPayload(const TagState& state, bool readable, WallTime now) {
  std::string p;
  p.reserve(64);
  if (!readable) {
    // As an OPC UA client monitoring it would be told.
    p += "{\"value\":null,\"status\":\"BadNotReadable\",\"ts\":";
    json::appendTimestamp(p, now);
    p += '}';
    return p;
  }
  const std::string_view status = statusName(state.snapshot);
  p += "{\"value\":";
  // A Bad status carries no value: the last one is not the device's now.
  if (isBad(status)) p += "null";
  else appendTagValue(p, state.snapshot.value);
  p += ",\"status\":";
  json::appendString(p, status);
  p += ",\"ts\":";
  json::appendTimestamp(p, state.snapshot.timeStamp);
  p += '}';
  return p;
}

void JsonFormat::tagStates(std::span<const TagState> states, WallTime now, std::vector<Outgoing>& out) {
  for (const TagState& s : states)
    out.push_back({tagTopics_[s.tag], tagPayload(s, plant_.tags[s.tag].readable, now), true});
}

void JsonFormat::plcState(std::size_t plc, const PlcState& state, WallTime now, std::vector<Outgoing>& out) {
  const PlcDiagnostics& d = state.diagnostics;
  std::string p = "{\"state\":";
  json::appendString(p, d.state);
  p += ",\"connected\":";
  p += d.connected ? "true" : "false";
  p += ",\"cpu\":";
  json::appendString(p, d.cpuState);
  p += ",\"lastResultCode\":";
  json::appendInteger(p, d.lastResultCode);
  p += ",\"lastResult\":";
  json::appendString(p, state.resultText);
  p += ",\"ts\":";
  json::appendTimestamp(p, d.lastChange == WallTime{} ? now : d.lastChange);
  p += '}';
  out.push_back({plcTopics_[plc], std::move(p), true});
}

std::vector<std::string> JsonFormat::writeFilters() const { return {base_ + "/+/+" + std::string(kSetLevel)}; }

WriteCommand JsonFormat::decodeWrite(std::string_view topic, std::string_view payload) const {
  WriteCommand c;
  if (topic.size() < kSetLevel.size() || topic.substr(topic.size() - kSetLevel.size()) != kSetLevel) return c;
  c.resultTopic = std::string(topic) + std::string(kResultLevel);
  json::Value request;
  std::string error;
  const bool parsed = json::parse(payload, request, error);
  const json::Value* value = &request;
  if (parsed && request.kind == json::Value::Kind::Object) {
    // The id is echoed whatever else is wrong, so the sender can match the answer.
    if (const json::Value* id = request.member("id")) c.idJson = json::serialize(*id);
    value = request.member("value");
  }
  const auto it = setTopics_.find(std::string(topic));
  if (it == setTopics_.end()) {
    c.status = "BadNodeIdUnknown";
    return c;
  }
  c.tag = it->second;
  if (!parsed || !value) {
    c.status = "BadDecodingError";
    return c;
  }
  const PublishedTag& tag = plant_.tags[c.tag];
  c.status = std::string(toTagValue(*value, tag.type, tag.count, c.value));
  return c;
}

Outgoing JsonFormat::writeResult(const WriteCommand& command, std::string_view status, WallTime now) const {
  std::string p = "{\"status\":";
  json::appendString(p, status);
  p += ",\"ts\":";
  json::appendTimestamp(p, now);
  if (!command.idJson.empty()) {
    p += ",\"id\":";
    p += command.idJson;
  }
  p += '}';
  return {command.resultTopic, std::move(p), false};
}

}  // namespace zentarc::mqtt
