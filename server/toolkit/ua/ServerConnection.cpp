#include "server/toolkit/ua/ServerConnection.h"

#include <algorithm>

#include "server/toolkit/ua/ServicesDiscovery.h"
#include "server/toolkit/ua/security/SecurityLog.h"

namespace zentarc::ua {

namespace {
// An emptied output buffer keeps at most this much of its storage.
constexpr size_t kKeptOutputCapacity = 256 * 1024;

// Clients may keep using a token for a quarter of its lifetime after it should have been renewed.
std::chrono::milliseconds withGrace(uint32_t lifetimeMs) {
  return std::chrono::milliseconds(static_cast<int64_t>(lifetimeMs) * 5 / 4);
}

uint32_t requestHandleOf(std::string_view responseBody) {
  // encoding id NodeId, then ResponseHeader: timestamp, requestHandle
  try {
    Decoder d(responseBody.data(), responseBody.size());
    NodeId id;
    d.read(id);
    DateTime t;
    d.read(t);
    uint32_t handle = 0;
    d.read(handle);
    return handle;
  } catch (const UaError&) {
    return 0;
  }
}
}  // namespace

ServerConnection::ServerConnection(uint64_t id, ConnectionHost& host, const UaServerLimits& limits,
                                   Clock clock, ServerSecurity* security)
    : id_(id), host_(host), limits_(limits), clock_(std::move(clock)),
      acceptedAt_(clock_()), assembler_(ChunkLimits{}, 64, host.inputBudget()), security_(security) {
  receiveLimits_ = {limits_.receiveBufferSize, limits_.maxChunkCount, limits_.maxMessageSize};
}

void ServerConnection::fail(StatusCode code, const std::string& reason) {
  if (state_ == State::Closed) return;
  out_ += frameTcpMessage("ERR", encode(ErrorMessage{code, reason}));
  closeReason_ = code;
  state_ = State::Closed;
  assembler_.clear();
}

void ServerConnection::setPeer(std::string peer) {
  peer_ = std::move(peer);
  assembler_.setClient(peerAddress(peer_));
}

void ServerConnection::markSent(size_t n) {
  sent_ = std::min(sent_ + n, out_.size());
  // What went out is dropped in large steps, not per send; a large answer's storage goes
  // back with it.
  if (sent_ == out_.size()) {
    if (out_.capacity() > kKeptOutputCapacity) std::string().swap(out_);
    else out_.clear();
    sent_ = 0;
  } else if (sent_ > (1u << 20)) {
    out_.erase(0, sent_);
    sent_ = 0;
  }
}

bool ServerConnection::hasWaitingChunk() const {
  if (state_ == State::Closed || in_.size() < kTcpHeaderSize) return false;
  uint32_t size;
  std::memcpy(&size, in_.data() + 4, 4);
  return in_.size() >= size;
}

void ServerConnection::onBytes(const char* data, size_t size) {
  if (state_ == State::Closed) return;
  if (size) in_.append(data, size);
  size_t at = 0;
  try {
    // A few chunks per turn, so that one busy client cannot keep the others waiting.
    for (uint32_t turn = 0; turn < limits_.chunksPerTurn; ++turn) {
      if (state_ == State::Closed || in_.size() - at < kTcpHeaderSize || paused()) break;
      TcpHeader h = parseTcpHeader(in_.data() + at);
      uint32_t limit = state_ == State::AwaitHello ? kMinBufferSize : receiveLimits_.maxChunkSize;
      if (h.size > limit) throw UaError(Status::BadTcpMessageTooLarge, "chunk larger than the agreed buffer");
      if (in_.size() - at < h.size) break;
      processChunk(in_.data() + at, h.size);
      at += h.size;
    }
  } catch (const UaError& e) {
    fail(e.code(), e.what());
  } catch (const std::bad_alloc&) {
    fail(Status::BadTcpNotEnoughResources, "out of memory");
  }
  if (state_ == State::Closed) {
    in_.clear();
  } else {
    in_.erase(0, at);
  }
}

void ServerConnection::processChunk(char* data, size_t size) {
  std::string_view type(data, 3);
  if (state_ == State::AwaitHello) {
    if (type != "HEL") throw UaError(Status::BadTcpMessageTypeInvalid, "expected Hello");
    onHello(data + kTcpHeaderSize, size - kTcpHeaderSize);
    return;
  }
  if (type == "HEL") throw UaError(Status::BadTcpMessageTypeInvalid, "second Hello");
  if (type != "OPN" && type != "MSG" && type != "CLO")
    throw UaError(Status::BadTcpMessageTypeInvalid, "unexpected message type");
  Chunk chunk = parseChunkHeader(data, size);
  if (type == "OPN") {
    onOpen(data, size, chunk);
    return;
  }
  if (state_ != State::Open) throw UaError(Status::BadTcpSecureChannelUnknown, "no secure channel open");
  if (chunk.channelId != channelId_) throw UaError(Status::BadSecureChannelIdInvalid, "wrong channel id");
  auto tok = tokens_.find(chunk.tokenId);
  if (tok == tokens_.end() || clock_() > tok->second.expiry)
    throw UaError(Status::BadSecureChannelTokenUnknown, "unknown or expired security token");
  if (policy_->secure) {
    const SymmetricSecurity receiving{mode_, &tok->second.keys.client};
    readSequenceHeader(chunk, unsecureSymmetricChunk(data, size, receiving));
  } else {
    readSequenceHeader(chunk, std::string_view(data + chunk.securedOffset, size - chunk.securedOffset));
  }
  // The client has taken the newest token: our answers follow.
  if (chunk.tokenId == currentTokenId_) sendTokenId_ = currentTokenId_;
  checkSequence(chunk.sequenceNumber);
  if (type == "CLO") {
    closeReason_ = Status::Good;
    state_ = State::Closed;
    assembler_.clear();
    return;
  }
  onMessage(chunk);
}

void ServerConnection::checkSequence(uint32_t sequenceNumber) {
  if (haveReceivedSequence_ && !sequenceNumberFollows(lastReceivedSequence_, sequenceNumber))
    throw UaError(Status::BadSequenceNumberInvalid, "sequence number out of order");
  haveReceivedSequence_ = true;
  lastReceivedSequence_ = sequenceNumber;
}

void ServerConnection::onHello(const char* body, size_t size) {
  HelloMessage hello;
  try {
    Decoder d(body, size);
    d.read(hello);
  } catch (const UaError&) {
    throw UaError(Status::BadDecodingError, "malformed Hello");
  }
  if (hello.endpointUrl.size() > 4096)
    throw UaError(Status::BadTcpEndpointUrlInvalid, "endpoint URL too long");
  if (hello.receiveBufferSize < kMinBufferSize || hello.sendBufferSize < kMinBufferSize)
    throw UaError(Status::BadTcpInternalError, "buffer sizes below 8192");
  endpointUrl_ = hello.endpointUrl;
  AcknowledgeMessage ack;
  ack.receiveBufferSize = std::min(limits_.receiveBufferSize, hello.sendBufferSize);
  ack.sendBufferSize = std::min(limits_.sendBufferSize, hello.receiveBufferSize);
  ack.maxMessageSize = limits_.maxMessageSize;
  ack.maxChunkCount = limits_.maxChunkCount;
  receiveLimits_ = {ack.receiveBufferSize, limits_.maxChunkCount, limits_.maxMessageSize};
  sendLimits_ = {ack.sendBufferSize, hello.maxChunkCount, hello.maxMessageSize};
  assembler_.setLimits(receiveLimits_);
  out_ += frameTcpMessage("ACK", encode(ack));
  state_ = State::AwaitOpen;
}

void ServerConnection::unsecureOpen(char* data, size_t size, Chunk& chunk, std::string& plain) {
  const SecurityPolicy* policy = securityPolicyByUri(chunk.securityPolicyUri);
  if (!policy) throw UaError(Status::BadSecurityPolicyRejected, "unknown security policy");
  if (state_ == State::Open && policy != policy_)
    throw UaError(Status::BadSecurityPolicyRejected, "renewal under another security policy");
  if (!policy->secure) {
    // A None channel serves discovery even when no None endpoint is offered.
    readSequenceHeader(chunk, std::string_view(data + chunk.securedOffset, size - chunk.securedOffset));
    return;
  }
  if (!security_ || !security_->offers(*policy) || !security_->hasCertificate())
    throw UaError(Status::BadSecurityPolicyRejected, "security policy not offered");
  const Certificate& ours = security_->pki->ownCertificate();
  if (!crypto::equalInConstantTime(chunk.receiverThumbprint.data, ours.thumbprint()))
    throw UaError(Status::BadCertificateInvalid, "not encrypted for our certificate");
  const Certificate sender = Certificate::fromDer(chunk.senderCertificate.data);
  if (!sender) throw UaError(Status::BadCertificateInvalid, "client certificate does not parse");
  if (state_ == State::Open) {
    // A renewal shows the same certificate, which must still be trusted and valid.
    if (sender.der() != clientCertificate_.der())
      throw UaError(Status::BadSecurityChecksFailed, "renewal with another certificate");
    const StatusCode still = security_->pki->recheck(sender);
    if (!still.isGood()) {
      host_.securityEvent(peer_,
                          "renewal of the channel of certificate " + SecurityLog::quoted(sender.commonName()) +
                              " from " + peer_ + " refused: " + statusCodeName(still),
                          "closed " + sender.thumbprint());
      throw UaError(still, "client certificate no longer accepted");
    }
  } else {
    bool copied = false;
    const StatusCode verdict = security_->pki->validate(sender, *policy, &copied);
    if (!verdict.isGood()) {
      host_.securityEvent(peer_,
                          "certificate " + SecurityLog::quoted(sender.commonName()) + " of " + peer_ +
                              " refused: " + statusCodeName(verdict) +
                              (copied ? " (a copy is in rejected/certs; move it to trusted/certs to accept it)" : ""),
                          sender.thumbprint());
      throw UaError(verdict, "client certificate refused");
    }
  }
  // What we decrypt is bounded before any RSA work: an OpenSecureChannel request takes a
  // few blocks of our key.
  const size_t block = security_->pki->ownKey().sizeBytes();
  if (size - chunk.securedOffset > size_t{limits_.maxOpenSecureChannelBlocks} * block)
    throw UaError(Status::BadSecurityChecksFailed, "OpenSecureChannel request too large");
  const AsymmetricSecurity security{policy, &security_->pki->ownKey(), ours.der(), &sender};
  readSequenceHeader(chunk, unsecureOpenChunk(data, size, chunk.securedOffset, security, plain));
  if (state_ != State::Open) {
    policy_ = policy;
    clientCertificate_ = sender;
  }
}

void ServerConnection::onOpen(char* data, size_t size, Chunk& chunk) {
  if (chunk.header.chunk != 'F') throw UaError(Status::BadTcpMessageTypeInvalid, "chunked OpenSecureChannel");
  unsecureOpen(data, size, chunk, scratch_);
  checkSequence(chunk.sequenceNumber);
  OpenSecureChannelRequest req;
  {
    Decoder d(chunk.body.data(), chunk.body.size());
    NodeId type;
    d.read(type);
    if (!type.isNumeric(OpenSecureChannelRequest::kEncodingId))
      throw UaError(Status::BadTcpMessageTypeInvalid, "OPN without OpenSecureChannelRequest");
    d.read(req);
  }
  const bool secure = policy_->secure;
  const bool modeFits = secure ? req.securityMode == MessageSecurityMode::Sign ||
                                     req.securityMode == MessageSecurityMode::SignAndEncrypt
                               : req.securityMode == MessageSecurityMode::None;
  if (!modeFits || (state_ == State::Open && req.securityMode != mode_))
    throw UaError(Status::BadSecurityModeRejected, "security mode does not fit the policy");
  if (secure && req.clientNonce.data.size() != policy_->nonceLength)
    throw UaError(Status::BadNonceInvalid, "client nonce of the wrong length");
  if (req.requestType == SecurityTokenRequestType::Issue) {
    if (state_ != State::AwaitOpen) throw UaError(Status::BadTcpSecureChannelUnknown, "channel already open");
    channelId_ = host_.newChannelId();
    mode_ = req.securityMode;
    auto info = std::make_shared<ChannelInfo>();
    info->policy = policy_;
    info->mode = mode_;
    info->clientCertificate = clientCertificate_;
    info->peer = peer_;
    info->client = secure ? "certificate " + clientCertificate_.thumbprint() : "address " + peerAddress(peer_);
    channel_ = std::move(info);
    // Without security and without a None endpoint, the channel only finds the others: its
    // requests are small.
    discoveryOnly_ = !secure && security_ && !security_->offersNone();
    if (discoveryOnly_) {
      ChunkLimits small = assembler_.limits();
      small.maxMessageSize = std::min(small.maxMessageSize ? small.maxMessageSize : limits_.maxDiscoveryMessageSize,
                                      limits_.maxDiscoveryMessageSize);
      assembler_.setLimits(small);
    }
  } else if (req.requestType == SecurityTokenRequestType::Renew) {
    if (state_ != State::Open || chunk.channelId != channelId_)
      throw UaError(Status::BadTcpSecureChannelUnknown, "renewal of an unknown channel");
  } else {
    throw UaError(Status::BadRequestTypeInvalid, "unknown token request type");
  }
  uint32_t lifetime = req.requestedLifetime == 0 ? limits_.maxTokenLifetimeMs : req.requestedLifetime;
  lifetime = std::clamp(lifetime, limits_.minTokenLifetimeMs, limits_.maxTokenLifetimeMs);
  SteadyTime now = clock_();
  const ByteString serverNonce{secure ? crypto::randomBytes(policy_->nonceLength) : std::string()};
  ++currentTokenId_;
  Token token{now + withGrace(lifetime), {}};
  if (secure) token.keys = deriveChannelKeys(*policy_, req.clientNonce.data, serverNonce.data);
  tokens_[currentTokenId_] = std::move(token);
  // The first token is used at once; a renewed one once the client has used it.
  if (sendTokenId_ == 0) sendTokenId_ = currentTokenId_;
  // Older tokens stay valid until their own expiry; forget those already past it.
  std::erase_if(tokens_, [now, this](const auto& kv) { return kv.second.expiry < now && kv.first != sendTokenId_; });

  OpenSecureChannelResponse resp;
  resp.responseHeader.timestamp = DateTime::now();
  resp.responseHeader.requestHandle = req.requestHeader.requestHandle;
  resp.serverProtocolVersion = kProtocolVersion;
  resp.securityToken = {channelId_, currentTokenId_, DateTime::now(), lifetime};
  resp.serverNonce = serverNonce;
  std::string body;
  Encoder e(body);
  e.write(NodeId(0, OpenSecureChannelResponse::kEncodingId));
  e.write(resp);
  bool sent;
  if (secure) {
    const AsymmetricSecurity security{policy_, &security_->pki->ownKey(), security_->pki->ownCertificate().der(),
                                      &clientCertificate_};
    sent = appendSecuredOpenChunk(out_, channelId_, sendSequence_, chunk.requestId, body, security,
                                  sendLimits_.maxChunkSize);
    if (sent) sendSequence_ = nextSequenceNumber(sendSequence_);
  } else {
    ChunkLimits oneChunk = sendLimits_;
    sent = appendOpenChunk(out_, channelId_, kSecurityPolicyNone, sendSequence_, chunk.requestId, body, oneChunk);
  }
  if (!sent) throw UaError(Status::BadTcpInternalError, "OpenSecureChannel response too large");
  state_ = State::Open;
}

void ServerConnection::onMessage(const Chunk& chunk) {
  // A request of many chunks shows its type in the first: one the channel may not carry is
  // refused there, and one with a bound of its own (a session request) is held to it.
  if (chunk.header.chunk == 'C' && !assembler_.assembling(chunk.requestId)) {
    NodeId type;
    try {
      Decoder d(chunk.body.data(), chunk.body.size());
      d.read(type);
    } catch (const UaError&) {
    }
    const uint32_t id = type.isNumeric() && type.namespaceIndex == 0 ? type.numericId() : 0;
    if (discoveryOnly_ && !isDiscoveryRequest(id))
      throw UaError(Status::BadSecurityPolicyRejected, "a channel without security serves discovery only");
    if (const size_t limit = id ? host_.requestLimit(id) : 0) requestLimits_[chunk.requestId] = limit;
  }
  std::optional<std::string> body = assembler_.add(chunk);
  if (auto it = requestLimits_.find(chunk.requestId); it != requestLimits_.end()) {
    if (chunk.header.chunk != 'C') {
      requestLimits_.erase(it);
    } else if (assembler_.assembledBytes(chunk.requestId) > it->second) {
      throw UaError(Status::BadRequestTooLarge, "request larger than its kind may be");
    }
  }
  if (body) host_.onServiceRequest(*this, chunk.requestId, std::move(*body));
}

SymmetricSecurity ServerConnection::sendingSecurity() const {
  if (!policy_->secure) return {};
  auto it = tokens_.find(sendTokenId_);
  return it == tokens_.end() ? SymmetricSecurity{} : SymmetricSecurity{mode_, &it->second.keys.server};
}

void ServerConnection::sendResponse(uint32_t requestId, std::string_view body) {
  if (state_ != State::Open) return;
  const SymmetricSecurity security = sendingSecurity();
  if (policy_->secure && !security.keys) return fail(Status::BadSecureChannelClosed, "no token to send with");
  if (appendSymmetricChunks(out_, "MSG", channelId_, sendTokenId_, sendSequence_, requestId, body, sendLimits_,
                            &security))
    return;
  std::string fault = encodeServiceFault(requestHandleOf(body), Status::BadResponseTooLarge);
  if (!appendSymmetricChunks(out_, "MSG", channelId_, sendTokenId_, sendSequence_, requestId, fault, sendLimits_,
                             &security))
    fail(Status::BadTcpInternalError, "cannot send even a fault");
}

bool ServerConnection::recheckCertificate() {
  if (state_ != State::Open || !policy_->secure || !security_ || !security_->pki) return false;
  const StatusCode still = security_->pki->recheck(clientCertificate_);
  if (still.isGood()) return false;
  host_.securityEvent(peer_,
                      "channel of certificate " + SecurityLog::quoted(clientCertificate_.commonName()) + " from " +
                          peer_ + " closed: " + statusCodeName(still),
                      "closed " + clientCertificate_.thumbprint());
  fail(still, "client certificate no longer accepted");
  return true;
}

void ServerConnection::tick() {
  if (state_ == State::Closed) return;
  SteadyTime now = clock_();
  if (state_ != State::Open) {
    if (now - acceptedAt_ > std::chrono::milliseconds(limits_.helloTimeoutMs))
      fail(Status::BadTimeout, "no secure channel opened in time");
    return;
  }
  auto current = tokens_.find(currentTokenId_);
  if (current == tokens_.end() || now > current->second.expiry)
    fail(Status::BadSecureChannelClosed, "security token expired without renewal");
}

}  // namespace zentarc::ua
