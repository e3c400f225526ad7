#pragma once
// The Sparkplug B topic namespace: spBv1.0/<group>/<message type>/<edge node>[/<device>],
// and spBv1.0/STATE/<host> where a primary host application says whether it is online.
// Group, node, device and host ids are single topic levels: they may hold no '/', '+' or
// '#' and no control character, and are never empty.
#include <optional>
#include <string>
#include <string_view>

namespace zentarc::mqtt::sparkplug {

inline constexpr std::string_view kNamespace = "spBv1.0";

enum class MessageType { NBIRTH, NDEATH, DBIRTH, DDEATH, NDATA, DDATA, NCMD, DCMD };

std::string_view messageTypeName(MessageType type);

// A node's message (NBIRTH, NDEATH, NDATA, NCMD) or a device's (the others, with `device`).
std::string topicOf(std::string_view group, MessageType type, std::string_view node, std::string_view device = {});
std::string stateTopic(std::string_view host);

// A command addressed to this node: NCMD (device empty) or DCMD for a device. Nothing for
// any other topic.
struct Command {
  MessageType type = MessageType::NCMD;
  std::string device;
};
std::optional<Command> parseCommandTopic(std::string_view topic, std::string_view group, std::string_view node);

// Empty when `id` can be a group, node, device or host id; else what is wrong with it
// ("is empty", "holds '/'", "holds a control character"), for a message that names it.
std::string idProblem(std::string_view id);

}  // namespace zentarc::mqtt::sparkplug
