#pragma once
// A client session as the service layer sees it. Sessions live on the server's IO thread;
// handlers receive them through RequestContext and must not keep raw pointers past a call.
#include <chrono>
#include <memory>

#include "server/toolkit/ua/ServicesCommon.h"
#include "server/toolkit/ua/security/Certificate.h"

namespace zentarc::ua {

// Service-layer state hung on a session (subscriptions, registered nodes, ...).
class SessionAttachment {
 public:
  virtual ~SessionAttachment() = default;
  // Whether the session keeps nothing a client could come back for (subscriptions, work
  // under way): such a session whose connection is gone may make room for another.
  virtual bool holdsNothing() const { return true; }
};

// Who a session's client proved to be at its last activation.
struct SessionIdentity {
  UserTokenType type = UserTokenType::Anonymous;
  String policyId;
  String userName;  // UserName tokens
  friend bool operator==(const SessionIdentity&, const SessionIdentity&) = default;
};

struct Session {
  NodeId sessionId;
  NodeId authenticationToken;
  String name;
  ApplicationDescription clientDescription;
  uint32_t channelId = 0;  // the secure channel it is bound to (changes on re-activation)
  uint64_t connectionId = 0;
  bool activated = false;
  bool activating = false;   // a password check is under way
  SessionIdentity identity;  // valid once activated
  bool mayWrite = true;      // what the identity's role allows
  std::string credential;    // UserName identities: the digest of the user's entry they proved
  // Whose share of the server's pools the session counts against (see ChannelInfo::client).
  std::string client;
  Certificate clientCertificate;  // of the channel that created it (secure channels)
  std::string clientThumbprint;   // its thumbprint
  ByteString serverNonce;        // the last one given to the client
  double timeoutMs = 0;
  uint32_t maxResponseMessageSize = 0;  // 0: no limit beyond the channel's
  std::chrono::steady_clock::time_point createdAt;
  std::chrono::steady_clock::time_point lastActivity;
  std::shared_ptr<SessionAttachment> attachment;

  template <typename T>
  T* attachmentAs() const { return dynamic_cast<T*>(attachment.get()); }
};

}  // namespace zentarc::ua
