#pragma once
// What the server offers for security and how it judges clients: the policies of its
// endpoints, anonymous access, its PKI folder (certificate, key, trust list) and its users;
// and what one secure channel turned out to be.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "server/toolkit/ua/ServicesCommon.h"
#include "server/toolkit/ua/security/Pki.h"

namespace zentarc::ua {

class UserDirectory;

enum class AnonymousAccess { Off, Read, Write };

struct ServerSecurity {
  std::vector<const SecurityPolicy*> policies{&noneSecurityPolicy()};  // offered endpoints
  AnonymousAccess anonymous = AnonymousAccess::Write;
  std::shared_ptr<Pki> pki;               // needed for any secure policy and for user names
  std::shared_ptr<UserDirectory> users;   // null: user names are not offered
  std::function<void(const std::string&)> log;  // security events, e.g. failed activations

  bool offers(const SecurityPolicy& p) const;
  bool offersNone() const { return offers(noneSecurityPolicy()); }
  bool hasCertificate() const { return pki && pki->ownCertificate() && pki->ownKey(); }
  bool offersUserNames() const { return users && hasCertificate(); }
  // What encrypts a password sent over a None channel: the strongest secure policy offered,
  // else Basic256Sha256.
  const SecurityPolicy& passwordPolicyForNone() const;
};

// A secure channel as the session services see it.
struct ChannelInfo {
  const SecurityPolicy* policy = &noneSecurityPolicy();
  MessageSecurityMode mode = MessageSecurityMode::None;
  Certificate clientCertificate;  // secure channels only
  std::string peer;               // the client's address, for the log
  bool secure() const { return policy->secure; }
};

}  // namespace zentarc::ua
