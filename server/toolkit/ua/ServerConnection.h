#pragma once
// One client connection on the server side, without sockets: bytes in, bytes out. It runs UA
// TCP (Hello / Acknowledge / Error) and the secure channel (OpenSecureChannel under any
// offered policy, the client's certificate judged by the PKI, chunks signed and encrypted,
// token renewal with fresh keys, sequence numbers, chunking both ways) and hands whole
// service requests to its host. Any protocol or security fault queues an Error message and
// marks the connection for closing.
#include <map>
#include <memory>
#include <string>

#include "server/toolkit/ua/ServerLimits.h"
#include "server/toolkit/ua/ServicesSecureChannel.h"
#include "server/toolkit/ua/UaTcp.h"
#include "server/toolkit/ua/security/ServerSecurity.h"

namespace zentarc::ua {

class ServerConnection;

class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  virtual uint32_t newChannelId() = 0;
  // A whole MSG body (encoding id and request) arrived.
  virtual void onServiceRequest(ServerConnection& connection, uint32_t requestId,
                                std::string body) = 0;
  // Where the partial messages of every connection draw their bytes from, each address with
  // its share (none: no limit beyond each connection's own).
  virtual SharedPool* inputBudget() { return nullptr; }
  // The most a request with this encoding id may take, when less than any message (0: no
  // bound of its own); a request that grows past it closes the channel at once.
  virtual size_t requestLimit(uint32_t /*encodingId*/) { return 0; }
  // Something an operator should know, such as a refused certificate. With a key (a
  // certificate's thumbprint), the first event about it is always logged.
  virtual void securityEvent(const std::string& /*peer*/, const std::string& /*text*/,
                             const std::string& /*key*/ = {}) {}
};

class ServerConnection {
 public:
  enum class State { AwaitHello, AwaitOpen, Open, Closed };

  // `security` outlives the connection (none: SecurityPolicy None only).
  ServerConnection(uint64_t id, ConnectionHost& host, const UaServerLimits& limits,
                   Clock clock = &std::chrono::steady_clock::now, ServerSecurity* security = nullptr);

  // Feeds received bytes; never throws. A few chunks are handled per call, and none while
  // the answers not yet sent are over the pause bound; the rest waits for resume().
  void onBytes(const char* data, size_t size);
  // Handles more of the chunks already received.
  void resume() { onBytes(nullptr, 0); }
  // A whole chunk is waiting to be handled (so no more should be read for now).
  bool hasWaitingChunk() const;
  // Whether to read from the client now.
  bool wantsInput() const { return state_ != State::Closed && !paused() && !hasWaitingChunk(); }
  // Checks the Hello deadline and token lifetimes.
  void tick();
  // Sends a response body in chunks; one too large for the client becomes a ServiceFault
  // BadResponseTooLarge.
  void sendResponse(uint32_t requestId, std::string_view body);
  // Queues an Error message and closes.
  void fail(StatusCode code, const std::string& reason);

  // Everything queued for the client (tests take it whole), what of it is still to be
  // sent, and the note that `n` more bytes of it went out.
  std::string& outgoing() { return out_; }
  std::string_view unsent() const { return std::string_view(out_).substr(std::min(sent_, out_.size())); }
  void markSent(size_t n);
  size_t backlog() const { return out_.size() > sent_ ? out_.size() - sent_ : 0; }
  bool paused() const { return backlog() >= limits_.outputPauseBytes; }
  void discardOutput() {
    out_.clear();
    sent_ = 0;
  }
  bool closing() const { return state_ == State::Closed; }
  State state() const { return state_; }
  uint64_t id() const { return id_; }
  uint32_t channelId() const { return channelId_; }
  const std::string& endpointUrl() const { return endpointUrl_; }
  const StatusCode& closeReason() const { return closeReason_; }
  const ChunkLimits& sendLimits() const { return sendLimits_; }
  // What the channel turned out to be (policy, mode, client certificate); set at opening.
  const std::shared_ptr<const ChannelInfo>& channel() const { return channel_; }
  // The client's "address:port"; its address is whose share partial messages count against.
  void setPeer(std::string peer);
  // Closes the channel when its client's certificate is no longer trusted or valid; true
  // when it did.
  bool recheckCertificate();
  size_t pendingInputBytes() const { return assembler_.pendingBytes(); }

 private:
  struct Token {
    SteadyTime expiry;  // end of its life, with grace
    ChannelKeys keys;   // none with SecurityPolicy None
  };

  void processChunk(char* data, size_t size);
  void onHello(const char* body, size_t size);
  void onOpen(char* data, size_t size, Chunk& chunk);
  // Checks the asymmetric security of an OpenSecureChannel chunk and reads its sequence
  // header; the first one also fixes the channel's policy and client certificate.
  void unsecureOpen(char* data, size_t size, Chunk& chunk, std::string& plain);
  void onMessage(const Chunk& chunk);
  void checkSequence(uint32_t sequenceNumber);
  SymmetricSecurity sendingSecurity() const;

  uint64_t id_;
  ConnectionHost& host_;
  UaServerLimits limits_;
  Clock clock_;
  State state_ = State::AwaitHello;
  StatusCode closeReason_;
  SteadyTime acceptedAt_;
  std::string in_;
  std::string out_;
  size_t sent_ = 0;
  std::string endpointUrl_;
  ChunkLimits sendLimits_;
  ChunkLimits receiveLimits_;
  MessageAssembler assembler_;

  ServerSecurity* security_;
  std::string peer_;
  const SecurityPolicy* policy_ = &noneSecurityPolicy();
  MessageSecurityMode mode_ = MessageSecurityMode::None;
  Certificate clientCertificate_;
  std::shared_ptr<const ChannelInfo> channel_;
  std::string scratch_;  // plain text of the last OpenSecureChannel chunk
  // A channel without security on a server that offers none: discovery requests only.
  bool discoveryOnly_ = false;
  // Requests being assembled that have a bound of their own, by request id.
  std::map<uint32_t, size_t> requestLimits_;

  uint32_t channelId_ = 0;
  uint32_t currentTokenId_ = 0;  // the newest token issued
  uint32_t sendTokenId_ = 0;     // the token our chunks use: the newest once the client used it
  std::map<uint32_t, Token> tokens_;
  bool haveReceivedSequence_ = false;
  uint32_t lastReceivedSequence_ = 0;
  uint32_t sendSequence_ = 1;
};

}  // namespace zentarc::ua
