#pragma once
// GetEndpoints and FindServers: an endpoint per offered policy and mode, with its user tokens.
#include "server/toolkit/ua/ServiceTable.h"
#include "server/toolkit/ua/ServicesDiscovery.h"

namespace zentarc::ua {

struct UaServerConfig;

// The endpoint URL to show a client: the URL it used to reach us when it gave one (of a
// plausible length), else ours with a wildcard host replaced by this machine's name.
std::string advertisedEndpointUrl(const UaServerConfig& config, const std::string& clientUrl);
ApplicationDescription serverDescription(const UaServerConfig& config, const std::string& url);
std::vector<EndpointDescription> serverEndpoints(const UaServerConfig& config,
                                                 const std::string& url);
// GetEndpoints and FindServers; a request whose endpoint URL is longer than the limit is
// refused (BadTcpEndpointUrlInvalid) rather than answered with it again and again.
void registerDiscoveryServices(ServiceTable& table, const UaServerConfig& config);

inline constexpr const char* kAnonymousPolicyId = "anonymous";
inline constexpr const char* kUserNamePolicyId = "username";

}  // namespace zentarc::ua
