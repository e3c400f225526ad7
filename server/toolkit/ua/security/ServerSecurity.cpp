#include "server/toolkit/ua/security/ServerSecurity.h"

namespace zentarc::ua {

bool ServerSecurity::offers(const SecurityPolicy& p) const {
  for (const SecurityPolicy* q : policies)
    if (q == &p) return true;
  return false;
}

const SecurityPolicy& ServerSecurity::passwordPolicyForNone() const {
  const SecurityPolicy* best = nullptr;
  for (const SecurityPolicy* p : policies)
    if (p->secure && (!best || p->rank > best->rank)) best = p;
  return best ? *best : *securityPolicyByName("Basic256Sha256");
}

}  // namespace zentarc::ua
