#include "server/toolkit/ua/ClientSessionSetup.h"

#include <random>

namespace zentarc::ua {

// Servers refuse a nonce they have seen before, so every session gets fresh random bytes.
std::string randomNonce() {
  std::random_device device;
  std::string nonce(32, '\0');
  for (auto& c : nonce) c = static_cast<char>(device() & 0xFF);
  return nonce;
}

// The anonymous policy of the endpoint we talk on (SecurityPolicy None); policy ids differ
// between endpoints, so the first match there wins over anything offered elsewhere.
std::string anonymousPolicyId(const std::vector<EndpointDescription>& endpoints) {
  for (bool noneOnly : {true, false})
    for (const auto& ep : endpoints) {
      if (noneOnly && ep.securityPolicyUri != kSecurityPolicyNone) continue;
      for (const auto& p : ep.userIdentityTokens)
        if (p.tokenType == UserTokenType::Anonymous) return p.policyId;
    }
  return "anonymous";
}

const EndpointDescription* findEndpoint(const std::vector<EndpointDescription>& endpoints,
                                        std::string_view policyUri, MessageSecurityMode mode) {
  for (const auto& ep : endpoints)
    if (ep.securityPolicyUri == policyUri && ep.securityMode == mode) return &ep;
  return nullptr;
}

const UserTokenPolicy* findTokenPolicy(const EndpointDescription& endpoint, UserTokenType type) {
  for (const auto& p : endpoint.userIdentityTokens)
    if (p.tokenType == type) return &p;
  return nullptr;
}

}  // namespace zentarc::ua
