#include "server/toolkit/ua/security/ServerSecurity.h"

namespace zentarc::ua {

std::vector<const SecurityPolicy*> securePolicies() {
  std::vector<const SecurityPolicy*> out;
  for (const SecurityPolicy& p : securityPolicies())
    if (p.secure) out.push_back(&p);
  return out;
}

ServerSecurity ServerSecurity::unsecured() {
  ServerSecurity s;
  s.policies = {&noneSecurityPolicy()};
  s.anonymous = AnonymousAccess::Write;
  return s;
}

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
