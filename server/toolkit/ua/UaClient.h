#pragma once
// A small synchronous OPC UA client on our codec: one connection under any security policy
// we serve, anonymous or with a user name. Used by the command-line tool, tests and
// benchmarks. Not thread-safe: one client per thread.
#include <chrono>
#include <string>

#include "server/toolkit/ua/ServicesAttribute.h"
#include "server/toolkit/ua/ServicesDiscovery.h"
#include "server/toolkit/ua/ServicesMonitoredItem.h"
#include "server/toolkit/ua/ServicesSecureChannel.h"
#include "server/toolkit/ua/ServicesSession.h"
#include "server/toolkit/ua/ServicesSubscription.h"
#include "server/toolkit/ua/ServicesView.h"
#include "server/toolkit/ua/UaTcp.h"
#include "server/toolkit/ua/security/ClientSecurity.h"

namespace zentarc::ua {

struct UaClientOptions {
  std::chrono::milliseconds connectTimeout{5000};  // TCP connect and Hello
  std::chrono::milliseconds timeout{15000};         // each request (sent as its hint)
  uint32_t requestedTokenLifetimeMs = 600'000;
  double requestedSessionTimeoutMs = 60'000;
  std::string sessionName = "zentarc-ua";
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 64u * 1024 * 1024;
  uint32_t maxChunkCount = 0;
  std::string localAddress;  // the IPv4 address to connect from (empty: the system's choice)
  std::string auditEntryId;  // sent in every request header (for a server's audit log)
  // Security: a policy by name ("None", "Basic256Sha256", ...) and, for a secure one, the
  // mode and our own certificate and key; the server's certificate is the one its endpoint
  // shows. An empty user name is anonymous.
  std::string securityPolicy = "None";
  MessageSecurityMode securityMode = MessageSecurityMode::SignAndEncrypt;
  Certificate certificate;
  crypto::Key privateKey;
  std::string applicationUri = "urn:zentarc-ua";  // as in our certificate
  std::string userName;
  std::string password;
};

class UaClient {
 public:
  explicit UaClient(UaClientOptions options = {});
  ~UaClient();
  UaClient(const UaClient&) = delete;
  UaClient& operator=(const UaClient&) = delete;

  // Hello, OpenSecureChannel, CreateSession, ActivateSession. A secure policy first asks the
  // endpoints over SecurityPolicy None for the server's certificate.
  StatusCode connect(const std::string& endpointUrl);
  // Hello and OpenSecureChannel only (discovery, tests), with the security chosen so far
  // (None until connect() chose another).
  StatusCode openChannel(const std::string& endpointUrl);
  // Uses `security` for the next openChannel (tests that speak to the channel directly).
  void setChannelSecurity(ClientSecurity security) { security_ = std::move(security); }
  // The server's endpoints as the last discovery found them.
  StatusCode discover(const std::string& endpointUrl, std::vector<EndpointDescription>& endpoints);
  StatusCode createAndActivateSession();
  // ActivateSession again with `identity` (the session whose token we hold; tests take over
  // sessions or change users with it), signed over `serverNonce`, the last the server gave.
  StatusCode activateSession(const ExtensionObject& identity, const ByteString& serverNonce);
  const ByteString& lastServerNonce() const { return lastServerNonce_; }
  // Renews the security token now.
  StatusCode renewToken() { return openSecureChannel(SecurityTokenRequestType::Renew); }
  // The audit entry id later requests carry (see UaClientOptions).
  void setAuditEntryId(std::string id) { options_.auditEntryId = std::move(id); }
  // CloseSession (if any), CloseSecureChannel, close the socket. Safe to call twice.
  void disconnect(bool deleteSubscriptions = true);
  bool connected() const { return fd_ >= 0; }
  // Why the last failure happened, in words.
  const std::string& errorText() const { return error_; }

  // Sends any request and waits for its response. The header's authentication token, handle
  // and timestamp are filled in. The result is the service result (a ServiceFault's status
  // included) or a transport failure.
  template <typename Req, typename Resp>
  StatusCode call(Req& request, Resp& response, std::chrono::milliseconds timeout = {}) {
    prepareHeader(request.requestHeader);
    std::string body;
    Encoder e(body);
    e.write(NodeId(0, Req::kEncodingId));
    e.write(request);
    std::string reply;
    StatusCode st = exchange(body, reply, timeout);
    if (!st.isGood()) return st;
    return decodeResponse(reply, response);
  }

  // Sends a request without waiting for its answer (tests and benchmarks pipeline with it);
  // a later call skips the answers it finds on its way.
  template <typename Req>
  StatusCode post(Req& request) {
    prepareHeader(request.requestHeader);
    std::string body;
    Encoder e(body);
    e.write(NodeId(0, Req::kEncodingId));
    e.write(request);
    return sendRequest(body, ++requestId_);
  }

  // Conveniences for the common services.
  StatusCode read(const std::vector<ReadValueId>& nodes, std::vector<DataValue>& results,
                  double maxAge = 0);
  StatusCode write(const std::vector<WriteValue>& nodes, std::vector<StatusCode>& results);
  StatusCode browse(const BrowseDescription& node, std::vector<ReferenceDescription>& refs);

  const AcknowledgeMessage& acknowledge() const { return ack_; }
  const ChannelSecurityToken& securityToken() const { return token_; }
  const NodeId& authenticationToken() const { return authToken_; }
  // Sends later requests with this token (session transfer, tests of refusals).
  void setAuthenticationToken(NodeId token) { authToken_ = std::move(token); }
  const CreateSessionResponse& session() const { return sessionInfo_; }
  int socketFd() const { return fd_; }

 private:
  void prepareHeader(RequestHeader& h);
  StatusCode exchange(const std::string& body, std::string& reply, std::chrono::milliseconds timeout);
  StatusCode sendRequest(const std::string& body, uint32_t requestId);
  StatusCode renewIfDue();
  StatusCode openSecureChannel(SecurityTokenRequestType type);
  StatusCode sendAll(const std::string& bytes);
  // Reads one chunk (header and body) into `chunk`.
  StatusCode readChunk(std::string& chunk, std::chrono::steady_clock::time_point deadline);
  // Checks a chunk's security (in place) and reads its headers.
  Chunk unsecure(std::string& chunk);
  StatusCode chooseSecurity(const std::string& endpointUrl);
  StatusCode identityToken(const CreateSessionResponse& session, ExtensionObject& token);
  StatusCode failWith(StatusCode st, const std::string& text);
  void closeSocket();

  template <typename Resp>
  StatusCode decodeResponse(const std::string& reply, Resp& response) {
    try {
      Decoder d(reply);
      NodeId type;
      d.read(type);
      if (type.isNumeric(ServiceFault::kEncodingId)) {
        ServiceFault f;
        d.read(f);
        error_ = std::string("service fault ") + statusCodeName(f.responseHeader.serviceResult);
        return f.responseHeader.serviceResult.isGood() ? StatusCode(Status::BadUnknownResponse)
                                                       : f.responseHeader.serviceResult;
      }
      if (!type.isNumeric(Resp::kEncodingId))
        return failWith(Status::BadUnknownResponse, "unexpected response type " + type.toString());
      d.read(response);
      return response.responseHeader.serviceResult;
    } catch (const UaError& e) {
      return failWith(e.code(), std::string("malformed response: ") + e.what());
    }
  }

  UaClientOptions options_;
  int fd_ = -1;
  std::string error_;
  std::string endpointUrl_;
  AcknowledgeMessage ack_;
  ClientSecurity security_;
  std::string openPlain_;  // plain text of the last OpenSecureChannel answer
  ChunkLimits sendLimits_;
  MessageAssembler assembler_{ChunkLimits{}};
  ChannelSecurityToken token_;
  std::chrono::steady_clock::time_point tokenIssued_{};
  uint32_t sequence_ = 1;
  uint32_t requestId_ = 0;
  uint32_t requestHandle_ = 0;
  NodeId authToken_;
  CreateSessionResponse sessionInfo_;
  ByteString lastServerNonce_;
  bool sessionActive_ = false;
};

}  // namespace zentarc::ua
