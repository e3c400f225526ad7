#pragma once
// What a client puts into CreateSession and ActivateSession.
#include <string>
#include <string_view>
#include <vector>

#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

std::string randomNonce();
std::string anonymousPolicyId(const std::vector<EndpointDescription>& endpoints);
// The endpoint of `policyUri` in `mode`, or null.
const EndpointDescription* findEndpoint(const std::vector<EndpointDescription>& endpoints,
                                        std::string_view policyUri, MessageSecurityMode mode);
// The first user token policy of `type` an endpoint offers, or null.
const UserTokenPolicy* findTokenPolicy(const EndpointDescription& endpoint, UserTokenType type);

}  // namespace zentarc::ua
