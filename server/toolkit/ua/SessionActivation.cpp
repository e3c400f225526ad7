// ActivateSession: the client's proof of its certificate, the identity it claims, and the
// move of a session to another channel.
#include <openssl/crypto.h>

#include <cstring>

#include "server/toolkit/ua/Discovery.h"
#include "server/toolkit/ua/SessionManager.h"
#include "server/toolkit/ua/UaServer.h"

namespace zentarc::ua {

namespace {

// The secret of an encrypted UserName token: length (of what follows), password, nonce.
bool splitSecret(const std::string& secret, const std::string& nonce, std::string& password) {
  if (secret.size() < 4) return false;
  uint32_t length;
  std::memcpy(&length, secret.data(), 4);
  if (length != secret.size() - 4 || length < nonce.size()) return false;
  if (!crypto::equalInConstantTime(std::string_view(secret).substr(secret.size() - nonce.size()), nonce))
    return false;
  password = secret.substr(4, length - nonce.size());
  return true;
}

bool writerRole(AnonymousAccess a) { return a == AnonymousAccess::Write; }

}  // namespace

StatusCode SessionManager::readIdentity(const RequestContext& ctx, const ExtensionObject& token,
                                        SessionIdentity& identity, std::string& password, bool& encrypted) {
  const ServerSecurity& security = config_.security;
  encrypted = false;
  if (token.encoding == 0 || token.typeId.isNumeric(Id::AnonymousIdentityToken)) {
    AnonymousIdentityToken anonymous;
    if (token.encoding != 0 && !fromExtensionObject(token, anonymous)) return Status::BadIdentityTokenInvalid;
    identity.type = UserTokenType::Anonymous;
    identity.policyId = anonymous.policyId.empty() ? String(kAnonymousPolicyId) : anonymous.policyId;
    if (identity.policyId != kAnonymousPolicyId || security.anonymous == AnonymousAccess::Off)
      return Status::BadIdentityTokenInvalid;
    return Status::Good;
  }
  UserNameIdentityToken user;
  if (!token.typeId.isNumeric(Id::UserNameIdentityToken) || !fromExtensionObject(token, user))
    return Status::BadIdentityTokenInvalid;  // certificates and issued tokens are not offered
  if (!security.offersUserNames() || user.policyId != kUserNamePolicyId || !UserDirectory::validName(user.userName))
    return Status::BadIdentityTokenInvalid;
  identity.type = UserTokenType::UserName;
  identity.policyId = user.policyId;
  identity.userName = user.userName;
  const ChannelInfo* channel = ctx.channel.get();
  const bool secure = channel && channel->secure();
  if (user.encryptionAlgorithm.empty()) {
    // A password in clear text only inside a channel that encrypts everything.
    if (!secure || channel->mode != MessageSecurityMode::SignAndEncrypt) return Status::BadIdentityTokenInvalid;
    password = user.password.data;
    return Status::Good;
  }
  const SecurityPolicy& policy = secure ? *channel->policy : security.passwordPolicyForNone();
  if (user.encryptionAlgorithm != policy.asymmetricEncryptionUri) return Status::BadIdentityTokenInvalid;
  password = user.password.data;
  encrypted = true;
  return Status::Good;
}

StatusCode SessionManager::openPassword(const RequestContext& ctx, const Session& s, std::string& password) {
  const ServerSecurity& security = config_.security;
  const ChannelInfo* channel = ctx.channel.get();
  const SecurityPolicy& policy =
      channel && channel->secure() ? *channel->policy : security.passwordPolicyForNone();
  // A password takes a block or two of our key; the decryption of more would only cost us.
  const size_t block = security.pki->ownKey().sizeBytes();
  if (password.size() > size_t{config_.limits.maxPasswordBlocks} * block) return Status::BadIdentityTokenInvalid;
  std::string secret;
  const bool opened = crypto::rsaDecrypt(security.pki->ownKey(), policy.asymmetricEncryption, password, secret);
  const bool ok = opened && splitSecret(secret, s.serverNonce.data, password);
  OPENSSL_cleanse(secret.data(), secret.size());
  return ok ? StatusCode(Status::Good) : StatusCode(Status::BadIdentityTokenInvalid);
}

void SessionManager::activateSession(RequestContext& ctx, ActivateSessionRequest& req,
                                     const Reply<ActivateSessionResponse>& reply) {
  auto it = sessions_.find(req.requestHeader.authenticationToken);
  if (it == sessions_.end()) return reply.fault(Status::BadSessionIdInvalid);
  Session& s = *it->second;
  if (s.activating) return reply.fault(Status::BadTooManyOperations);
  // The first activation comes over the channel that created the session.
  if (!s.activated && s.channelId != ctx.channelId) return reply.fault(Status::BadSecureChannelIdInvalid);
  const ChannelInfo* channel = ctx.channel.get();
  const bool secure = channel && channel->secure();
  const std::string peer = channel ? channel->peer : std::string("?");
  if (secure) {
    // The same application: the channel's certificate, and a signature by its key over our
    // certificate and the nonce we gave last.
    if (channel->clientCertificate.thumbprint() != s.clientThumbprint) return reply.fault(Status::BadSecurityChecksFailed);
    const ServerSecurity& security = config_.security;
    const SignatureData& sig = req.clientSignature;
    if (sig.algorithm != channel->policy->asymmetricSignatureUri ||
        !crypto::rsaVerify(channel->clientCertificate.publicKey(), channel->policy->asymmetricSignature,
                           security.pki->ownCertificate().der() + s.serverNonce.data, sig.signature.data)) {
      logFailure(peer, "session activation refused: the client's signature does not verify");
      return reply.fault(Status::BadApplicationSignatureInvalid);
    }
  } else if (!s.clientThumbprint.empty()) {
    return reply.fault(Status::BadSecurityChecksFailed);  // made on a secure channel, not to be moved off it
  }
  SessionIdentity identity;
  std::string password;
  bool encrypted = false;
  StatusCode read = readIdentity(ctx, req.userIdentityToken, identity, password, encrypted);
  // Another channel takes the session over only with the identity it has now.
  if (read.isGood() && s.activated && s.channelId != ctx.channelId && !(identity == s.identity)) {
    logFailure(peer, "session move refused: another identity");
    return reply.fault(Status::BadIdentityTokenRejected);
  }
  const NodeId token = s.authenticationToken;
  if (read.isGood() && identity.type == UserTokenType::Anonymous) {
    const UserRole role = writerRole(config_.security.anonymous) ? UserRole::Writer : UserRole::Reader;
    return finishActivation(token, ctx.connectionId, ctx.channelId, identity, UserGrant{role, {}}, peer, reply);
  }
  // Guessing slows down before any work is spent on the password.
  const std::string address = peerAddress(peer);
  if (read.isGood()) {
    const LoginThrottle::Verdict verdict = throttle_.admit(identity.userName, address);
    if (verdict == LoginThrottle::Verdict::Wait) {
      const auto wait = throttle_.waitFor(identity.userName, address);
      logFailure(peer, "login of user " + SecurityLog::quoted(identity.userName) + " refused after failed ones; next try in " +
                           std::to_string((wait.count() + 999) / 1000) + " s");
      return reply.fault(Status::BadIdentityTokenRejected);
    }
    if (verdict == LoginThrottle::Verdict::Busy) return reply.fault(Status::BadTooManyOperations);
    if (encrypted) read = openPassword(ctx, s, password);
    if (!read.isGood()) throttle_.finished(identity.userName, address, false);
  }
  if (!read.isGood()) {
    OPENSSL_cleanse(password.data(), password.size());
    logFailure(peer, "session activation refused (" + std::string(statusCodeName(read)) + ") for " +
                         (identity.userName.empty() ? std::string("an anonymous client")
                                                    : "user " + SecurityLog::quoted(identity.userName)));
    return reply.fault(read);
  }
  // The password is checked on the worker; the answer comes back to this thread.
  s.activating = true;
  std::weak_ptr<bool> alive = alive_;
  const uint64_t connection = ctx.connectionId;
  const uint32_t channelId = ctx.channelId;
  const bool queued = passwords_ && passwords_->submit(identity.userName, std::move(password),
      [this, alive, token, connection, channelId, identity, peer, reply](std::optional<UserGrant> grant) {
        if (!post_) return;
        post_([this, alive, token, connection, channelId, identity, peer, reply, grant] {
          if (!alive.lock()) return;
          throttle_.finished(identity.userName, peerAddress(peer), grant.has_value());
          finishActivation(token, connection, channelId, identity, grant, peer, reply);
        });
      });
  OPENSSL_cleanse(password.data(), password.size());
  if (!queued) {
    s.activating = false;
    throttle_.abandoned(address);
    return reply.fault(Status::BadTooManyOperations);
  }
}

void SessionManager::finishActivation(const NodeId& authToken, uint64_t connectionId, uint32_t channelId,
                                      SessionIdentity identity, std::optional<UserGrant> grant,
                                      const std::string& peer, const Reply<ActivateSessionResponse>& reply) {
  auto it = sessions_.find(authToken);
  if (it == sessions_.end()) return reply.fault(Status::BadSessionIdInvalid);
  Session& s = *it->second;
  s.activating = false;
  if (!grant) {
    logFailure(peer, "failed activation of user " + SecurityLog::quoted(identity.userName));
    return reply.fault(Status::BadIdentityTokenRejected);
  }
  s.identity = std::move(identity);
  s.mayWrite = grant->role == UserRole::Writer;
  s.credential = std::move(grant->credential);
  s.channelId = channelId;
  s.connectionId = connectionId;
  s.activated = true;
  s.lastActivity = clock_();
  s.serverNonce = ByteString{crypto::randomBytes(32)};  // each nonce is used once
  ActivateSessionResponse resp;
  resp.serverNonce = s.serverNonce;
  reply(std::move(resp));
}

}  // namespace zentarc::ua
