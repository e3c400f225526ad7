#include "server/toolkit/ua/EndpointUrl.h"

namespace zentarc::ua {

std::optional<EndpointAddress> parseEndpointUrl(const std::string& url) {
  const std::string scheme = "opc.tcp://";
  if (url.size() <= scheme.size() || url.compare(0, scheme.size(), scheme) != 0) return std::nullopt;
  std::string rest = url.substr(scheme.size());
  EndpointAddress a;
  size_t slash = rest.find('/');
  if (slash != std::string::npos) {
    a.path = rest.substr(slash);
    rest = rest.substr(0, slash);
  }
  size_t colon = rest.rfind(':');
  if (!rest.empty() && rest[0] == '[') {  // [IPv6]:port
    size_t close = rest.find(']');
    if (close == std::string::npos) return std::nullopt;
    a.host = rest.substr(1, close - 1);
    colon = rest.size() > close + 1 && rest[close + 1] == ':' ? close + 1 : std::string::npos;
    if (rest.size() > close + 1 && colon == std::string::npos) return std::nullopt;
  } else {
    a.host = rest.substr(0, colon);
  }
  if (colon != std::string::npos) {
    std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5) return std::nullopt;
    uint32_t p = 0;
    for (char c : port) {
      if (c < '0' || c > '9') return std::nullopt;
      p = p * 10 + static_cast<uint32_t>(c - '0');
    }
    if (p > 65535) return std::nullopt;
    a.port = static_cast<uint16_t>(p);
  }
  if (a.host.empty()) return std::nullopt;
  return a;
}

}  // namespace zentarc::ua
