#pragma once
// One client connection on the server side, without sockets: bytes in, bytes out. It runs UA
// TCP (Hello / Acknowledge / Error) and the secure channel (OpenSecureChannel with policy None,
// token renewal, sequence numbers, chunking both ways) and hands whole service requests to
// its host. Any protocol fault queues an Error message and marks the connection for closing.
#include <map>
#include <string>

#include "server/toolkit/ua/ServerLimits.h"
#include "server/toolkit/ua/ServicesSecureChannel.h"
#include "server/toolkit/ua/UaTcp.h"

namespace zentarc::ua {

class ServerConnection;

class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  virtual uint32_t newChannelId() = 0;
  // A whole MSG body (encoding id and request) arrived.
  virtual void onServiceRequest(ServerConnection& connection, uint32_t requestId,
                                std::string body) = 0;
  // Where the partial messages of every connection draw their bytes from (none: no limit
  // beyond each connection's own).
  virtual ByteBudget* inputBudget() { return nullptr; }
};

class ServerConnection {
 public:
  enum class State { AwaitHello, AwaitOpen, Open, Closed };

  ServerConnection(uint64_t id, ConnectionHost& host, const UaServerLimits& limits,
                   Clock clock = &std::chrono::steady_clock::now);

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
  size_t pendingInputBytes() const { return assembler_.pendingBytes(); }

 private:
  void processChunk(const char* data, size_t size);
  void onHello(const char* body, size_t size);
  void onOpen(const Chunk& chunk);
  void onMessage(const Chunk& chunk);
  void checkSequence(uint32_t sequenceNumber);

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

  uint32_t channelId_ = 0;
  uint32_t currentTokenId_ = 0;
  std::map<uint32_t, SteadyTime> tokenExpiry_;  // token id -> end of its life (with grace)
  bool haveReceivedSequence_ = false;
  uint32_t lastReceivedSequence_ = 0;
  uint32_t sendSequence_ = 1;
};

}  // namespace zentarc::ua
