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

// The policies a server offers unless told otherwise: every secure one, in Sign and
// SignAndEncrypt, and not SecurityPolicy None.
std::vector<const SecurityPolicy*> securePolicies();

struct ServerSecurity {
  // Secure unless the caller says otherwise: a server that offers them needs a certificate
  // (pki), and anonymous clients may read but not write.
  std::vector<const SecurityPolicy*> policies = securePolicies();  // offered endpoints
  AnonymousAccess anonymous = AnonymousAccess::Read;
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

  // SecurityPolicy None only, anonymous clients writing: for tests and benchmarks on
  // loopback, which must ask for it by name.
  static ServerSecurity unsecured();
};

// A secure channel as the session services see it.
struct ChannelInfo {
  const SecurityPolicy* policy = &noneSecurityPolicy();
  MessageSecurityMode mode = MessageSecurityMode::None;
  Certificate clientCertificate;  // secure channels only
  std::string peer;               // the client's address and port, for the log
  // Who the client is when its share of the server's pools is counted: its certificate on
  // a secure channel, its address on a channel without security.
  std::string client;
  bool secure() const { return policy->secure; }
};

}  // namespace zentarc::ua
