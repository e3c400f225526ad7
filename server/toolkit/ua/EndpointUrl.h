#pragma once
// Splitting "opc.tcp://host:port/path" into its parts.
#include <cstdint>
#include <optional>
#include <string>

namespace zentarc::ua {

struct EndpointAddress {
  std::string host;
  uint16_t port = 4840;
  std::string path;
};

// nullopt unless the scheme is opc.tcp and host and port are well formed.
std::optional<EndpointAddress> parseEndpointUrl(const std::string& url);

}  // namespace zentarc::ua
