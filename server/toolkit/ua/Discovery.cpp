#include "server/toolkit/ua/Discovery.h"

#include <unistd.h>

#include "server/toolkit/ua/UaServer.h"

namespace zentarc::ua {

std::string advertisedEndpointUrl(const UaServerConfig& config, const std::string& clientUrl) {
  if (clientUrl.rfind("opc.tcp://", 0) == 0) return clientUrl;
  std::string url = config.endpointUrl;
  const std::string wildcard = "0.0.0.0";
  size_t at = url.find(wildcard);
  if (at != std::string::npos) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == 0) std::snprintf(host, sizeof host, "localhost");
    url.replace(at, wildcard.size(), host);
  }
  return url;
}

ApplicationDescription serverDescription(const UaServerConfig& config, const std::string& url) {
  ApplicationDescription d;
  d.applicationUri = config.applicationUri;
  d.productUri = config.productUri;
  d.applicationName = LocalizedText("en", config.applicationName);
  d.applicationType = ApplicationType::Server;
  d.discoveryUrls = {url};
  return d;
}

std::vector<EndpointDescription> serverEndpoints(const UaServerConfig& config,
                                                 const std::string& url) {
  EndpointDescription e;
  e.endpointUrl = url;
  e.server = serverDescription(config, url);
  e.securityMode = MessageSecurityMode::None;
  e.securityPolicyUri = kSecurityPolicyNone;
  UserTokenPolicy anonymous;
  anonymous.policyId = kAnonymousPolicyId;
  anonymous.tokenType = UserTokenType::Anonymous;
  anonymous.securityPolicyUri = kSecurityPolicyNone;
  e.userIdentityTokens = {anonymous};
  e.transportProfileUri = kTransportProfileBinary;
  e.securityLevel = 0;
  return {e};
}

void registerDiscoveryServices(ServiceTable& table, const UaServerConfig& config) {
  table.add<GetEndpointsRequest, GetEndpointsResponse>(
      [&config](RequestContext&, GetEndpointsRequest& req, const Reply<GetEndpointsResponse>& reply) {
        GetEndpointsResponse resp;
        bool wantsBinary = req.profileUris.empty();
        for (const auto& p : req.profileUris) wantsBinary |= p == kTransportProfileBinary;
        if (wantsBinary) resp.endpoints = serverEndpoints(config, advertisedEndpointUrl(config, req.endpointUrl));
        reply(std::move(resp));
      },
      ServiceTable::Needs::Nothing);
  table.add<FindServersRequest, FindServersResponse>(
      [&config](RequestContext&, FindServersRequest& req, const Reply<FindServersResponse>& reply) {
        FindServersResponse resp;
        bool wanted = req.serverUris.empty();
        for (const auto& u : req.serverUris) wanted |= u == config.applicationUri;
        if (wanted)
          resp.servers.push_back(serverDescription(config, advertisedEndpointUrl(config, req.endpointUrl)));
        reply(std::move(resp));
      },
      ServiceTable::Needs::Nothing);
}

}  // namespace zentarc::ua
