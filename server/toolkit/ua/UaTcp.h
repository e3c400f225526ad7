#pragma once
// UA TCP framing and UA Secure Conversation chunks (SecurityPolicy None): message headers,
// Hello / Acknowledge / Error, chunk parsing and building, and reassembly with limits.
// Shared by the server connection and the client.
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/SharedPool.h"
#include "server/toolkit/ua/security/ChunkSecurity.h"

namespace zentarc::ua {

inline constexpr size_t kTcpHeaderSize = 8;
inline constexpr uint32_t kMinBufferSize = 8192;   // the smallest chunk size UA TCP allows
inline constexpr size_t kSymmetricOverhead = 24;   // header, channel, token, sequence header
inline constexpr uint32_t kProtocolVersion = 0;

struct TcpHeader {
  std::string type;  // "HEL", "ACK", "ERR", "RHE", "OPN", "MSG", "CLO"
  char chunk = 'F';  // 'F' final, 'C' intermediate, 'A' abort
  uint32_t size = 0; // whole chunk, header included
};

// Reads the 8-byte header; throws UaError(BadTcpMessageTypeInvalid) for unknown types or
// sizes below the header.
TcpHeader parseTcpHeader(const char* data);

struct HelloMessage {
  uint32_t protocolVersion = kProtocolVersion;
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 0;  // 0: no limit
  uint32_t maxChunkCount = 0;   // 0: no limit
  String endpointUrl;
  ZUA_FIELDS(protocolVersion, receiveBufferSize, sendBufferSize, maxMessageSize, maxChunkCount,
             endpointUrl)
};

struct AcknowledgeMessage {
  uint32_t protocolVersion = kProtocolVersion;
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 0;
  uint32_t maxChunkCount = 0;
  ZUA_FIELDS(protocolVersion, receiveBufferSize, sendBufferSize, maxMessageSize, maxChunkCount)
};

struct ErrorMessage {
  StatusCode error;
  String reason;
  ZUA_FIELDS(error, reason)
};

// A whole HEL/ACK/ERR message: header then body.
std::string frameTcpMessage(std::string_view type, const std::string& body);

// One parsed secure-conversation chunk. `body` points into the caller's buffer (or into the
// plain text its security gave).
struct Chunk {
  TcpHeader header;
  uint32_t channelId = 0;
  // OPN only: asymmetric security header
  String securityPolicyUri;
  ByteString senderCertificate;
  ByteString receiverThumbprint;
  // MSG / CLO only: symmetric security header
  uint32_t tokenId = 0;
  size_t securedOffset = 0;  // where the sequence header (encrypted or not) begins
  uint32_t sequenceNumber = 0;
  uint32_t requestId = 0;
  std::string_view body;
};

// Parses the headers of an OPN, MSG or CLO chunk of exactly `size` bytes up to its security
// header. Throws UaError.
Chunk parseChunkHeader(const char* data, size_t size);
// Reads the sequence header and body from a chunk's plain text.
void readSequenceHeader(Chunk& chunk, std::string_view plain);
// Parses a whole chunk that carries no security (SecurityPolicy None).
Chunk parseChunk(const char* data, size_t size);

// Sizes agreed in Hello / Acknowledge for one direction of a connection.
struct ChunkLimits {
  uint32_t maxChunkSize = 65536;
  uint32_t maxChunkCount = 0;    // 0: no limit
  uint32_t maxMessageSize = 0;   // 0: no limit
};

// Appends the chunks of one message to `out`. OPN is always one chunk (its body must fit).
// Returns false (appending nothing) when the message breaks the limits.
bool appendOpenChunk(std::string& out, uint32_t channelId, const String& policyUri,
                     uint32_t& sequenceNumber, uint32_t requestId, std::string_view body,
                     const ChunkLimits& limits);
// One MSG or CLO chunk with no security; chunkType 'C', 'F' or 'A'.
void appendPlainChunk(std::string& out, std::string_view type, char chunkType, uint32_t channelId,
                      uint32_t tokenId, uint32_t sequenceNumber, uint32_t requestId, std::string_view body);
// MSG and CLO chunks, secured as `security` says (none given: no security).
bool appendSymmetricChunks(std::string& out, std::string_view type, uint32_t channelId,
                           uint32_t tokenId, uint32_t& sequenceNumber, uint32_t requestId,
                           std::string_view body, const ChunkLimits& limits,
                           const SymmetricSecurity* security = nullptr);

// Next sequence number, wrapping as the UA rule allows (after 4294966271 back to a small one).
uint32_t nextSequenceNumber(uint32_t n);
// Whether `received` may follow `last`.
bool sequenceNumberFollows(uint32_t last, uint32_t received);

// Collects MSG chunks per request id until the final one. Limits count chunks per message,
// the bytes of all partial messages together (the agreed message size), the number of
// messages assembled at once, and, when given, a pool shared with other connections, of
// which this connection's client (its address) has a share.
class MessageAssembler {
 public:
  explicit MessageAssembler(ChunkLimits limits, size_t maxPending = 64, SharedPool* shared = nullptr)
      : limits_(limits), maxPending_(maxPending), shared_(shared) {}
  ~MessageAssembler() { clear(); }
  MessageAssembler(MessageAssembler&& other) noexcept { *this = std::move(other); }
  MessageAssembler& operator=(MessageAssembler&& other) noexcept;
  void setLimits(ChunkLimits limits) { limits_ = limits; }
  const ChunkLimits& limits() const { return limits_; }
  // Whose share of the shared pool the partial messages count against (nothing held yet).
  void setClient(std::string client) { client_ = std::move(client); }
  // The whole body when `chunk` is final; nullopt when more chunks are due or it was an abort.
  // Throws UaError(BadTcpMessageTooLarge) over this connection's limits and
  // UaError(BadTcpNotEnoughResources) when the shared pool, or the client's share, is spent.
  std::optional<std::string> add(const Chunk& chunk);
  // Drops every partial message and gives its bytes back.
  void clear();
  size_t pendingBytes() const { return pendingBytes_; }
  // Whether earlier chunks of this request are held, and how many bytes of it.
  bool assembling(uint32_t requestId) const { return pending_.count(requestId) != 0; }
  size_t assembledBytes(uint32_t requestId) const {
    auto it = pending_.find(requestId);
    return it == pending_.end() ? 0 : it->second.body.size();
  }

 private:
  struct Pending {
    std::string body;
    size_t charged = 0;  // the body's capacity, as counted against the limits
    uint32_t chunks = 0;
  };
  void drop(std::map<uint32_t, Pending>::iterator it);

  ChunkLimits limits_;
  size_t maxPending_ = 64;
  SharedPool* shared_ = nullptr;
  std::string client_;
  size_t pendingBytes_ = 0;
  std::map<uint32_t, Pending> pending_;
};

}  // namespace zentarc::ua
