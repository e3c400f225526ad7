#include "server/mqtt/sparkplug/HostState.h"

#include "server/mqtt/JsonText.h"

namespace zentarc::mqtt::sparkplug {

bool parseHostState(std::string_view payload, HostState& out, std::string& error) {
  json::Value v;
  if (!json::parse(payload, v, error)) return false;
  const json::Value* online = v.kind == json::Value::Kind::Object ? v.member("online") : nullptr;
  const json::Value* timestamp = v.kind == json::Value::Kind::Object ? v.member("timestamp") : nullptr;
  if (!online || online->kind != json::Value::Kind::Bool) {
    error = "no \"online\": true or false";
    return false;
  }
  if (!timestamp || !timestamp->isInteger || timestamp->integer < 0) {
    error = "no \"timestamp\" in milliseconds";
    return false;
  }
  out.online = online->boolean;
  out.timestamp = static_cast<std::uint64_t>(timestamp->integer);
  return true;
}

}  // namespace zentarc::mqtt::sparkplug
