#pragma once
// What a client puts into CreateSession and ActivateSession.
#include <string>
#include <vector>

#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

std::string randomNonce();
std::string anonymousPolicyId(const std::vector<EndpointDescription>& endpoints);

}  // namespace zentarc::ua
