#include "server/toolkit/ua/Discovery.h"

#include <unistd.h>

#include "server/toolkit/ua/UaServer.h"

namespace zentarc::ua {

std::string advertisedEndpointUrl(const UaServerConfig& config, const std::string& clientUrl) {
  // Only a URL of a plausible length is shown back (it goes into every endpoint).
  if (clientUrl.rfind("opc.tcp://", 0) == 0 && clientUrl.size() <= config.limits.maxEndpointUrlLength) return clientUrl;
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
  const ServerSecurity& security = config.security;
  const std::string certificate = security.hasCertificate() ? security.pki->ownCertificate().der() : std::string();
  std::vector<EndpointDescription> out;
  for (const SecurityPolicy* policy : security.policies) {
    if (policy->secure && !security.hasCertificate()) continue;
    std::vector<MessageSecurityMode> modes = {MessageSecurityMode::None};
    if (policy->secure) modes = {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt};
    for (MessageSecurityMode mode : modes) {
      EndpointDescription e;
      e.endpointUrl = url;
      e.server = serverDescription(config, url);
      e.serverCertificate = ByteString{certificate};
      e.securityMode = mode;
      e.securityPolicyUri = policy->uri;
      if (security.anonymous != AnonymousAccess::Off) {
        UserTokenPolicy anonymous;
        anonymous.policyId = kAnonymousPolicyId;
        anonymous.tokenType = UserTokenType::Anonymous;
        e.userIdentityTokens.push_back(anonymous);
      }
      if (security.offersUserNames()) {
        // A password always travels encrypted: by this policy, or on a None channel by the
        // strongest one we offer.
        UserTokenPolicy userName;
        userName.policyId = kUserNamePolicyId;
        userName.tokenType = UserTokenType::UserName;
        userName.securityPolicyUri = policy->secure ? policy->uri : security.passwordPolicyForNone().uri;
        e.userIdentityTokens.push_back(userName);
      }
      e.transportProfileUri = kTransportProfileBinary;
      e.securityLevel = static_cast<uint8_t>(policy->rank * 2 + (mode == MessageSecurityMode::SignAndEncrypt ? 1 : 0));
      out.push_back(std::move(e));
    }
  }
  return out;
}

void registerDiscoveryServices(ServiceTable& table, const UaServerConfig& config) {
  table.add<GetEndpointsRequest, GetEndpointsResponse>(
      [&config](RequestContext&, GetEndpointsRequest& req, const Reply<GetEndpointsResponse>& reply) {
        if (req.endpointUrl.size() > config.limits.maxEndpointUrlLength)
          return reply.fault(Status::BadTcpEndpointUrlInvalid);
        GetEndpointsResponse resp;
        bool wantsBinary = req.profileUris.empty();
        for (const auto& p : req.profileUris) wantsBinary |= p == kTransportProfileBinary;
        if (wantsBinary) resp.endpoints = serverEndpoints(config, advertisedEndpointUrl(config, req.endpointUrl));
        reply(std::move(resp));
      },
      ServiceTable::Needs::Nothing);
  table.add<FindServersRequest, FindServersResponse>(
      [&config](RequestContext&, FindServersRequest& req, const Reply<FindServersResponse>& reply) {
        if (req.endpointUrl.size() > config.limits.maxEndpointUrlLength)
          return reply.fault(Status::BadTcpEndpointUrlInvalid);
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
