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
};

class ServerConnection {
 public:
  enum class State { AwaitHello, AwaitOpen, Open, Closed };

  ServerConnection(uint64_t id, ConnectionHost& host, const UaServerLimits& limits,
                   Clock clock = &std::chrono::steady_clock::now);

  // Feeds received bytes; never throws.
  void onBytes(const char* data, size_t size);
  // Checks the Hello deadline and token lifetimes.
  void tick();
  // Sends a response body in chunks; one too large for the client becomes a ServiceFault
  // BadResponseTooLarge.
  void sendResponse(uint32_t requestId, std::string_view body);
  // Queues an Error message and closes.
  void fail(StatusCode code, const std::string& reason);

  std::string& outgoing() { return out_; }
  bool closing() const { return state_ == State::Closed; }
  State state() const { return state_; }
  uint64_t id() const { return id_; }
  uint32_t channelId() const { return channelId_; }
  const std::string& endpointUrl() const { return endpointUrl_; }
  const StatusCode& closeReason() const { return closeReason_; }
  const ChunkLimits& sendLimits() const { return sendLimits_; }

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
