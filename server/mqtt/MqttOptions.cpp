#include "server/mqtt/MqttOptions.h"

#include <charconv>

#include <unistd.h>

#include "server/mqtt/sparkplug/Topics.h"

namespace zentarc::mqtt {

const char* formatName(Format format) { return format == Format::Sparkplug ? "sparkplug" : "json"; }

std::string BrokerAddress::socketHost() const {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
  return host;
}

bool parseBrokerUrl(const std::string& url, BrokerAddress& address, std::string& error) {
  BrokerAddress a;
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    a.tls = true;
    rest = url.substr(8);
  } else {
    error = "the broker must be mqtt://host[:port] or mqtts://host[:port], not \"" + url + "\"";
    return false;
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string portText;
  bool hasPort = false;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) {
      error = "unclosed '[' in the broker address \"" + url + "\"";
      return false;
    }
    a.host = rest.substr(0, close + 1);
    const std::string after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') {
        error = "unexpected text after the address in \"" + url + "\"";
        return false;
      }
      portText = after.substr(1);
      hasPort = true;
    }
  } else {
    const auto colon = rest.find(':');
    a.host = rest.substr(0, colon);
    hasPort = colon != std::string::npos;
    if (hasPort) portText = rest.substr(colon + 1);
  }
  if (a.host.empty() || a.host == "[]") {
    error = "no host in the broker address \"" + url + "\"";
    return false;
  }
  for (char c : a.host)
    if (c == '/' || c == '@' || c == '?' || c == '#' || static_cast<unsigned char>(c) <= ' ') {
      error = "the broker address \"" + url + "\" holds a path, user or blank; give only host and port";
      return false;
    }
  a.port = a.tls ? 8883 : 1883;
  if (hasPort) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), value);
    if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() || value == 0 ||
        value > 65535) {
      error = "the port of \"" + url + "\" must be a number from 1 to 65535";
      return false;
    }
    a.port = static_cast<std::uint16_t>(value);
  }
  address = std::move(a);
  return true;
}

bool checkPrefix(const std::string& prefix, std::string& error) {
  if (prefix.empty()) {
    error = "the MQTT prefix must not be empty";
    return false;
  }
  if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string::npos) {
    error = "the MQTT prefix \"" + prefix + "\" has an empty topic level";
    return false;
  }
  if (prefix.front() == '$') {
    error = "the MQTT prefix must not begin with '$' (brokers keep such topics for themselves)";
    return false;
  }
  for (char c : prefix) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '+' || c == '#' || u < 0x20 || u == 0x7F) {
      error = "the MQTT prefix \"" + prefix + "\" holds a wildcard ('+', '#') or a control character";
      return false;
    }
  }
  return true;
}

bool checkOptions(const MqttOptions& o, std::string& error) {
  BrokerAddress address;
  if (!parseBrokerUrl(o.url, address, error)) return false;
  if (!checkPrefix(o.prefix, error)) return false;
  if (o.node.empty()) {
    error = "the MQTT node name must not be empty";
    return false;
  }
  if (o.rateMs < kMinRateMs || o.rateMs > kMaxRateMs) {
    error = "the MQTT rate must be " + std::to_string(kMinRateMs) + " to " + std::to_string(kMaxRateMs) + " ms";
    return false;
  }
  if (o.bufferBytes == 0) {
    error = "the MQTT buffer must hold at least 1 MB";
    return false;
  }
  if (!address.tls && (!o.caFile.empty() || !o.certFile.empty() || !o.keyFile.empty())) {
    error = "a CA, client certificate or key needs an mqtts:// broker";
    return false;
  }
  if (o.certFile.empty() != o.keyFile.empty()) {
    error = "a client certificate needs its key, and a key its certificate";
    return false;
  }
  if (!o.password.empty() && o.user.empty()) {
    error = "an MQTT password needs a user name";
    return false;
  }
  if (o.format == Format::Sparkplug) {
    // Each is one level of the Sparkplug topics.
    for (const auto& [id, what] : {std::pair{&o.sparkplugGroup, "group"}, std::pair{&o.node, "edge node"}}) {
      if (const std::string problem = sparkplug::idProblem(*id); !problem.empty()) {
        error = std::string("the Sparkplug ") + what + " id \"" + *id + "\" " + problem;
        return false;
      }
    }
    if (!o.sparkplugHost.empty()) {
      if (const std::string problem = sparkplug::idProblem(o.sparkplugHost); !problem.empty()) {
        error = "the Sparkplug host id \"" + o.sparkplugHost + "\" " + problem;
        return false;
      }
    }
  }
  return true;
}

std::string defaultNodeName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "opczentarc";
  return name;
}

}  // namespace zentarc::mqtt
