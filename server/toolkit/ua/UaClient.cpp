#include "server/toolkit/ua/UaClient.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "server/toolkit/ua/ClientSessionSetup.h"
#include "server/toolkit/ua/EndpointUrl.h"

namespace zentarc::ua {

using SteadyClock = std::chrono::steady_clock;

UaClient::UaClient(UaClientOptions options) : options_(std::move(options)) {}
UaClient::~UaClient() { disconnect(); }

StatusCode UaClient::failWith(StatusCode st, const std::string& text) {
  error_ = text;
  if (st.value == Status::BadConnectionClosed || st.value == Status::BadTimeout ||
      st.value == Status::BadCommunicationError || st.value == Status::BadDecodingError ||
      st.value == Status::BadTcpMessageTooLarge || st.value == Status::BadUnknownResponse ||
      st.value == Status::BadSecureChannelClosed)
    closeSocket();
  return st;
}

void UaClient::closeSocket() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  sessionActive_ = false;
}

StatusCode UaClient::sendAll(const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    ssize_t n = send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n > 0) {
      at += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, static_cast<int>(options_.timeout.count())) <= 0)
        return failWith(Status::BadTimeout, "send timed out");
      continue;
    }
    return failWith(Status::BadConnectionClosed, std::string("send failed: ") + std::strerror(errno));
  }
  return Status::Good;
}

StatusCode UaClient::readChunk(std::string& chunk, SteadyClock::time_point deadline) {
  chunk.clear();
  size_t want = kTcpHeaderSize;
  while (chunk.size() < want) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) return failWith(Status::BadTimeout, "no response in time");
    pollfd p{fd_, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return failWith(Status::BadTimeout, "no response in time");
    char buf[65536];
    size_t room = std::min(sizeof buf, want - chunk.size());
    ssize_t n = recv(fd_, buf, room, 0);
    if (n == 0) return failWith(Status::BadConnectionClosed, "server closed the connection");
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return failWith(Status::BadConnectionClosed, std::string("receive failed: ") + std::strerror(errno));
    }
    chunk.append(buf, static_cast<size_t>(n));
    if (chunk.size() == kTcpHeaderSize && want == kTcpHeaderSize) {
      TcpHeader h;
      try {
        h = parseTcpHeader(chunk.data());
      } catch (const UaError& e) {
        return failWith(e.code(), "malformed message from the server");
      }
      uint32_t limit = std::max(options_.receiveBufferSize, kMinBufferSize);
      if (h.size > limit) return failWith(Status::BadTcpMessageTooLarge, "chunk larger than our buffer");
      want = h.size;
    }
  }
  if (std::string_view(chunk.data(), 3) == "ERR") {
    ErrorMessage err;
    try {
      Decoder d(chunk.data() + kTcpHeaderSize, chunk.size() - kTcpHeaderSize);
      d.read(err);
    } catch (const UaError&) {
      err.error = Status::BadCommunicationError;
    }
    StatusCode st = err.error.isBad() ? err.error : StatusCode(Status::BadCommunicationError);
    error_ = std::string("server error ") + statusCodeName(st) + (err.reason.empty() ? "" : ": " + err.reason);
    closeSocket();
    return st;
  }
  return Status::Good;
}

StatusCode UaClient::openChannel(const std::string& endpointUrl) {
  disconnect();
  error_.clear();
  auto addr = parseEndpointUrl(endpointUrl);
  if (!addr) return failWith(Status::BadTcpEndpointUrlInvalid, "invalid endpoint URL \"" + endpointUrl + "\"");
  endpointUrl_ = endpointUrl;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  std::string port = std::to_string(addr->port);
  if (getaddrinfo(addr->host.c_str(), port.c_str(), &hints, &res) != 0 || !res)
    return failWith(Status::BadTcpEndpointUrlInvalid, "cannot resolve host \"" + addr->host + "\"");
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (!options_.localAddress.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (inet_pton(AF_INET, options_.localAddress.c_str(), &local.sin_addr) != 1 ||
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      freeaddrinfo(res);
      closeSocket();
      return failWith(Status::BadCommunicationError, "cannot connect from " + options_.localAddress);
    }
  }
  int rc = ::connect(fd_, res->ai_addr, res->ai_addrlen);
  freeaddrinfo(res);
  if (rc != 0 && errno != EINPROGRESS) {
    std::string why = std::strerror(errno);
    closeSocket();
    return failWith(Status::BadCommunicationError, "cannot connect to " + addr->host + ":" + port + ": " + why);
  }
  pollfd p{fd_, POLLOUT, 0};
  if (poll(&p, 1, static_cast<int>(options_.connectTimeout.count())) <= 0) {
    closeSocket();
    return failWith(Status::BadTimeout, "connecting to " + addr->host + ":" + port + " timed out");
  }
  int err = 0;
  socklen_t len = sizeof err;
  getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
  if (err != 0) {
    closeSocket();
    return failWith(Status::BadCommunicationError,
                    "cannot connect to " + addr->host + ":" + port + ": " + std::strerror(err));
  }
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  HelloMessage hello;
  hello.receiveBufferSize = options_.receiveBufferSize;
  hello.sendBufferSize = options_.sendBufferSize;
  hello.maxMessageSize = options_.maxMessageSize;
  hello.maxChunkCount = options_.maxChunkCount;
  hello.endpointUrl = endpointUrl;
  StatusCode st = sendAll(frameTcpMessage("HEL", encode(hello)));
  if (!st.isGood()) return st;
  std::string chunk;
  st = readChunk(chunk, SteadyClock::now() + options_.connectTimeout);
  if (!st.isGood()) return st;
  if (std::string_view(chunk.data(), 3) != "ACK")
    return failWith(Status::BadUnknownResponse, "server did not acknowledge the Hello");
  try {
    Decoder d(chunk.data() + kTcpHeaderSize, chunk.size() - kTcpHeaderSize);
    d.read(ack_);
  } catch (const UaError&) {
    return failWith(Status::BadDecodingError, "malformed Acknowledge");
  }
  sendLimits_ = {std::min(ack_.receiveBufferSize, options_.sendBufferSize), ack_.maxChunkCount,
                 ack_.maxMessageSize};
  assembler_ = MessageAssembler({options_.receiveBufferSize, options_.maxChunkCount, options_.maxMessageSize});
  sequence_ = 1;
  return openSecureChannel(SecurityTokenRequestType::Issue);
}

StatusCode UaClient::openSecureChannel(SecurityTokenRequestType type) {
  OpenSecureChannelRequest req;
  prepareHeader(req.requestHeader);
  req.requestType = type;
  req.securityMode = security_.secure() ? security_.mode() : MessageSecurityMode::None;
  req.clientNonce = security_.newNonce();
  req.requestedLifetime = options_.requestedTokenLifetimeMs;
  std::string body;
  Encoder e(body);
  e.write(NodeId(0, OpenSecureChannelRequest::kEncodingId));
  e.write(req);
  std::string out;
  uint32_t id = ++requestId_;
  const uint32_t channelId = type == SecurityTokenRequestType::Issue ? 0 : token_.channelId;
  bool fits;
  if (security_.secure()) {
    fits = security_.secureOpen(out, channelId, sequence_, id, body, sendLimits_.maxChunkSize);
    if (fits) sequence_ = nextSequenceNumber(sequence_);
  } else {
    fits = appendOpenChunk(out, channelId, kSecurityPolicyNone, sequence_, id, body, sendLimits_);
  }
  if (!fits) return failWith(Status::BadEncodingLimitsExceeded, "OpenSecureChannel too large");
  StatusCode st = sendAll(out);
  if (!st.isGood()) return st;
  auto deadline = SteadyClock::now() + options_.timeout;
  for (;;) {
    std::string chunk;
    st = readChunk(chunk, deadline);
    if (!st.isGood()) return st;
    if (std::string_view(chunk.data(), 3) != "OPN") continue;  // a late answer to something else
    try {
      Chunk c = parseChunkHeader(chunk.data(), chunk.size());
      if (security_.secure())
        readSequenceHeader(c, security_.unsecureOpen(chunk.data(), chunk.size(), c.securedOffset, openPlain_));
      else
        readSequenceHeader(c, std::string_view(chunk).substr(c.securedOffset));
      if (c.requestId != id) continue;
      Decoder d(c.body.data(), c.body.size());
      NodeId t;
      d.read(t);
      if (t.isNumeric(ServiceFault::kEncodingId)) {
        ServiceFault f;
        d.read(f);
        return failWith(f.responseHeader.serviceResult, "OpenSecureChannel refused");
      }
      OpenSecureChannelResponse resp;
      d.read(resp);
      if (security_.secure()) {
        if (resp.serverNonce.data.size() != security_.policy().nonceLength)
          return failWith(Status::BadNonceInvalid, "server nonce of the wrong length");
        security_.addToken(resp.securityToken.tokenId, req.clientNonce.data, resp.serverNonce.data);
      }
      token_ = resp.securityToken;
      tokenIssued_ = SteadyClock::now();
      return Status::Good;
    } catch (const UaError& e) {
      return failWith(e.code(), std::string("OpenSecureChannel response refused: ") + e.what());
    }
  }
}

Chunk UaClient::unsecure(std::string& chunk) {
  Chunk c = parseChunkHeader(chunk.data(), chunk.size());
  if (security_.secure() && c.header.type != "OPN") {
    const SymmetricSecurity receiving = security_.receiving(c.tokenId);
    if (!receiving.keys) throw UaError(Status::BadSecureChannelTokenUnknown, "answer under an unknown token");
    readSequenceHeader(c, unsecureSymmetricChunk(chunk.data(), chunk.size(), receiving));
  } else {
    readSequenceHeader(c, std::string_view(chunk).substr(c.securedOffset));
  }
  return c;
}

StatusCode UaClient::discover(const std::string& endpointUrl, std::vector<EndpointDescription>& endpoints) {
  security_ = ClientSecurity();
  StatusCode st = openChannel(endpointUrl);
  if (!st.isGood()) return st;
  GetEndpointsRequest ge;
  ge.endpointUrl = endpointUrl;
  GetEndpointsResponse ger;
  st = call(ge, ger);
  disconnect();
  endpoints = std::move(ger.endpoints);
  return st;
}

StatusCode UaClient::chooseSecurity(const std::string& endpointUrl) {
  const SecurityPolicy* policy = securityPolicyByName(options_.securityPolicy);
  if (!policy) return failWith(Status::BadSecurityPolicyRejected, "unknown security policy \"" + options_.securityPolicy + "\"");
  if (!policy->secure) {
    security_ = ClientSecurity();
    return Status::Good;
  }
  if (!options_.certificate || !options_.privateKey)
    return failWith(Status::BadCertificateInvalid, "a secure policy needs our own certificate and key");
  std::vector<EndpointDescription> endpoints;
  StatusCode st = discover(endpointUrl, endpoints);
  if (!st.isGood()) return st;
  const EndpointDescription* ep = findEndpoint(endpoints, policy->uri, options_.securityMode);
  if (!ep)
    return failWith(Status::BadSecurityPolicyRejected, std::string("the server offers no ") + policy->name + " endpoint in that mode");
  Certificate server = Certificate::fromDer(ep->serverCertificate.data);
  if (!server || (server.selfSigned() && !server.signedBy(server.publicKey())))
    return failWith(Status::BadCertificateInvalid, "the server's certificate is not valid");
  security_ = ClientSecurity(*policy, options_.securityMode, options_.certificate, options_.privateKey, std::move(server));
  return Status::Good;
}

StatusCode UaClient::renewIfDue() {
  if (token_.revisedLifetime == 0) return Status::Good;
  auto age = SteadyClock::now() - tokenIssued_;
  if (age < std::chrono::milliseconds(token_.revisedLifetime) * 3 / 4) return Status::Good;
  return openSecureChannel(SecurityTokenRequestType::Renew);
}

StatusCode UaClient::identityToken(const CreateSessionResponse& session, ExtensionObject& token) {
  const std::string channelPolicy = security_.policy().uri;
  const MessageSecurityMode mode = security_.secure() ? security_.mode() : MessageSecurityMode::None;
  const EndpointDescription* ep = findEndpoint(session.serverEndpoints, channelPolicy, mode);
  if (options_.userName.empty()) {
    const UserTokenPolicy* p = ep ? findTokenPolicy(*ep, UserTokenType::Anonymous) : nullptr;
    token = toExtensionObject(AnonymousIdentityToken{p ? p->policyId : anonymousPolicyId(session.serverEndpoints)});
    return Status::Good;
  }
  const UserTokenPolicy* p = ep ? findTokenPolicy(*ep, UserTokenType::UserName) : nullptr;
  if (!p) return failWith(Status::BadIdentityTokenInvalid, "the server takes no user names on this endpoint");
  UserNameIdentityToken user;
  user.policyId = p->policyId;
  user.userName = options_.userName;
  // The token's own policy, else the channel's; a password never travels in clear text
  // unless the channel itself encrypts.
  const SecurityPolicy* tokenPolicy = p->securityPolicyUri.empty() ? &security_.policy()
                                                                   : securityPolicyByUri(p->securityPolicyUri);
  if (!tokenPolicy) return failWith(Status::BadSecurityPolicyRejected, "unknown policy for the user token");
  if (tokenPolicy->secure) {
    const Certificate server = Certificate::fromDer(session.serverCertificate.data);
    if (!server || !encryptUserPassword(server, *tokenPolicy, options_.password, session.serverNonce.data, user.password))
      return failWith(Status::BadCertificateInvalid, "cannot encrypt the password for the server's certificate");
    user.encryptionAlgorithm = tokenPolicy->asymmetricEncryptionUri;
  } else if (mode == MessageSecurityMode::SignAndEncrypt) {
    user.password = ByteString{options_.password};
  } else {
    return failWith(Status::BadSecurityPolicyRejected, "the password would travel unencrypted");
  }
  token = toExtensionObject(user);
  return Status::Good;
}

StatusCode UaClient::createAndActivateSession() {
  CreateSessionRequest cs;
  cs.clientDescription.applicationUri = options_.applicationUri;
  cs.clientDescription.productUri = "urn:zentarc-ua";
  cs.clientDescription.applicationName = LocalizedText("en", "zentarc-ua");
  cs.clientDescription.applicationType = ApplicationType::Client;
  cs.endpointUrl = endpointUrl_;
  cs.sessionName = options_.sessionName;
  cs.clientNonce = ByteString{randomNonce()};
  if (security_.secure()) cs.clientCertificate = ByteString{security_.ownCertificate().der()};
  cs.requestedSessionTimeout = options_.requestedSessionTimeoutMs;
  cs.maxResponseMessageSize = options_.maxMessageSize;
  StatusCode st = call(cs, sessionInfo_);
  if (!st.isGood()) {
    if (error_.empty()) error_ = std::string("CreateSession failed: ") + statusCodeName(st);
    return st;
  }
  // The server proves it holds the key of the certificate its endpoint showed.
  if (security_.secure() && (sessionInfo_.serverCertificate.data != security_.serverCertificate().der() ||
                             !security_.serverSignatureValid(cs.clientNonce.data, sessionInfo_.serverSignature)))
    return failWith(Status::BadApplicationSignatureInvalid, "the server's session signature does not verify");
  authToken_ = sessionInfo_.authenticationToken;
  ExtensionObject identity;
  st = identityToken(sessionInfo_, identity);
  if (!st.isGood()) return st;
  st = activateSession(identity, sessionInfo_.serverNonce);
  if (!st.isGood()) {
    if (error_.empty()) error_ = std::string("ActivateSession failed: ") + statusCodeName(st);
    return st;
  }
  sessionActive_ = true;
  return Status::Good;
}

StatusCode UaClient::activateSession(const ExtensionObject& identity, const ByteString& serverNonce) {
  ActivateSessionRequest as;
  as.clientSignature = security_.clientSignature(serverNonce.data);
  as.userIdentityToken = identity;
  as.localeIds = {"en"};
  ActivateSessionResponse ar;
  StatusCode st = call(as, ar);
  if (st.isGood()) lastServerNonce_ = ar.serverNonce;
  return st;
}

StatusCode UaClient::connect(const std::string& endpointUrl) {
  StatusCode st = chooseSecurity(endpointUrl);
  if (!st.isGood()) return st;
  st = openChannel(endpointUrl);
  if (!st.isGood()) return st;
  return createAndActivateSession();
}

void UaClient::disconnect(bool deleteSubscriptions) {
  if (fd_ < 0) return;
  if (sessionActive_) {
    CloseSessionRequest req;
    req.deleteSubscriptions = deleteSubscriptions;
    CloseSessionResponse resp;
    (void)call(req, resp, std::chrono::milliseconds(1000));
    sessionActive_ = false;
  }
  if (fd_ >= 0) {
    CloseSecureChannelRequest clo;
    prepareHeader(clo.requestHeader);
    std::string body;
    Encoder e(body);
    e.write(NodeId(0, CloseSecureChannelRequest::kEncodingId));
    e.write(clo);
    std::string out;
    const SymmetricSecurity sending = security_.sending();
    appendSymmetricChunks(out, "CLO", token_.channelId, token_.tokenId, sequence_, ++requestId_, body, sendLimits_,
                          &sending);
    (void)sendAll(out);
  }
  closeSocket();
}

void UaClient::prepareHeader(RequestHeader& h) {
  h.authenticationToken = authToken_;
  h.timestamp = DateTime::now();
  h.requestHandle = ++requestHandle_;
  h.timeoutHint = static_cast<uint32_t>(options_.timeout.count());
  h.auditEntryId = options_.auditEntryId;
}

StatusCode UaClient::exchange(const std::string& body, std::string& reply,
                              std::chrono::milliseconds timeout) {
  if (fd_ < 0) return failWith(Status::BadServerNotConnected, "not connected");
  uint32_t id = ++requestId_;
  StatusCode st = sendRequest(body, id);
  if (!st.isGood()) return st;
  // The server gets the timeout as its hint; we wait a little longer so that its own answer
  // (say, a device timeout) arrives rather than ours.
  auto deadline = SteadyClock::now() + (timeout.count() > 0 ? timeout : options_.timeout) +
                  std::chrono::milliseconds(1000);
  for (;;) {
    std::string chunk;
    st = readChunk(chunk, deadline);
    if (!st.isGood()) return st;
    try {
      if (std::string_view(chunk.data(), 3) != "MSG") continue;
      Chunk c = unsecure(chunk);
      std::optional<std::string> whole = assembler_.add(c);
      if (!whole || c.requestId != id) continue;  // parts, or a late answer to an abandoned call
      reply = std::move(*whole);
      return Status::Good;
    } catch (const UaError& e) {
      return failWith(e.code(), std::string("malformed response: ") + e.what());
    }
  }
}

StatusCode UaClient::sendRequest(const std::string& body, uint32_t requestId) {
  if (fd_ < 0) return failWith(Status::BadServerNotConnected, "not connected");
  StatusCode st = renewIfDue();
  if (!st.isGood()) return st;
  std::string out;
  const SymmetricSecurity sending = security_.sending();
  if (security_.secure() && !sending.keys) return failWith(Status::BadSecureChannelClosed, "no security token");
  if (!appendSymmetricChunks(out, "MSG", token_.channelId, token_.tokenId, sequence_, requestId, body, sendLimits_,
                             &sending))
    return failWith(Status::BadRequestTooLarge, "request larger than the server accepts");
  return sendAll(out);
}

StatusCode UaClient::read(const std::vector<ReadValueId>& nodes, std::vector<DataValue>& results,
                          double maxAge) {
  ReadRequest req;
  req.maxAge = maxAge;
  req.timestampsToReturn = TimestampsToReturn::Both;
  req.nodesToRead = nodes;
  ReadResponse resp;
  StatusCode st = call(req, resp);
  if (st.isGood() && resp.results.size() != nodes.size())
    return failWith(Status::BadUnknownResponse, "server returned the wrong number of results");
  results = std::move(resp.results);
  return st;
}

StatusCode UaClient::write(const std::vector<WriteValue>& nodes, std::vector<StatusCode>& results) {
  WriteRequest req;
  req.nodesToWrite = nodes;
  WriteResponse resp;
  StatusCode st = call(req, resp);
  if (st.isGood() && resp.results.size() != nodes.size())
    return failWith(Status::BadUnknownResponse, "server returned the wrong number of results");
  results = std::move(resp.results);
  return st;
}

StatusCode UaClient::browse(const BrowseDescription& node, std::vector<ReferenceDescription>& refs) {
  refs.clear();
  BrowseRequest req;
  req.nodesToBrowse = {node};
  BrowseResponse resp;
  StatusCode st = call(req, resp);
  if (!st.isGood()) return st;
  if (resp.results.size() != 1) return failWith(Status::BadUnknownResponse, "wrong number of browse results");
  BrowseResult r = std::move(resp.results[0]);
  // Bounded: a server that keeps handing out continuation points is cut off.
  for (int pages = 0; pages < 10000; ++pages) {
    if (!r.statusCode.isGood()) return r.statusCode;
    for (auto& ref : r.references) refs.push_back(std::move(ref));
    if (r.continuationPoint.data.empty()) return Status::Good;
    BrowseNextRequest next;
    next.continuationPoints = {r.continuationPoint};
    BrowseNextResponse nr;
    st = call(next, nr);
    if (!st.isGood()) return st;
    if (nr.results.size() != 1) return failWith(Status::BadUnknownResponse, "wrong number of browse results");
    r = std::move(nr.results[0]);
  }
  return failWith(Status::BadUnknownResponse, "browse did not end");
}

}  // namespace zentarc::ua
