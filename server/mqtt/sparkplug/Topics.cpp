#include "server/mqtt/sparkplug/Topics.h"

namespace zentarc::mqtt::sparkplug {

std::string_view messageTypeName(MessageType type) {
  switch (type) {
    case MessageType::NBIRTH: return "NBIRTH";
    case MessageType::NDEATH: return "NDEATH";
    case MessageType::DBIRTH: return "DBIRTH";
    case MessageType::DDEATH: return "DDEATH";
    case MessageType::NDATA: return "NDATA";
    case MessageType::DDATA: return "DDATA";
    case MessageType::NCMD: return "NCMD";
    case MessageType::DCMD: return "DCMD";
  }
  return "";
}

std::string topicOf(std::string_view group, MessageType type, std::string_view node, std::string_view device) {
  std::string t;
  t.reserve(kNamespace.size() + group.size() + node.size() + device.size() + 12);
  t.append(kNamespace).append("/").append(group).append("/").append(messageTypeName(type)).append("/").append(node);
  if (!device.empty()) t.append("/").append(device);
  return t;
}

std::string stateTopic(std::string_view host) { return std::string(kNamespace) + "/STATE/" + std::string(host); }

std::optional<Command> parseCommandTopic(std::string_view topic, std::string_view group, std::string_view node) {
  const std::string base = std::string(kNamespace) + "/" + std::string(group) + "/";
  if (topic.substr(0, base.size()) != base) return std::nullopt;
  topic.remove_prefix(base.size());
  Command c;
  if (topic.substr(0, 5) == "NCMD/") c.type = MessageType::NCMD;
  else if (topic.substr(0, 5) == "DCMD/") c.type = MessageType::DCMD;
  else return std::nullopt;
  topic.remove_prefix(5);
  if (topic.substr(0, node.size()) != node) return std::nullopt;
  topic.remove_prefix(node.size());
  if (c.type == MessageType::NCMD) {
    if (!topic.empty()) return std::nullopt;
    return c;
  }
  if (topic.size() < 2 || topic[0] != '/' || topic.find('/', 1) != std::string_view::npos) return std::nullopt;
  c.device = std::string(topic.substr(1));
  return c;
}

std::string idProblem(std::string_view id) {
  if (id.empty()) return "is empty";
  for (const char ch : id) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '/' || c == '+' || c == '#') return std::string("holds '") + ch + "'";
    if (c < 0x20 || c == 0x7F) return "holds a control character";
  }
  return {};
}

}  // namespace zentarc::mqtt::sparkplug
