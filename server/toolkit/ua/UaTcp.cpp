#include "server/toolkit/ua/UaTcp.h"

namespace zentarc::ua {

namespace {
void putU32(std::string& out, size_t at, uint32_t v) {
  std::memcpy(&out[at], &v, 4);
}

bool knownType(std::string_view t) {
  return t == "HEL" || t == "ACK" || t == "ERR" || t == "RHE" || t == "OPN" || t == "MSG" ||
         t == "CLO";
}
}  // namespace

TcpHeader parseTcpHeader(const char* data) {
  TcpHeader h;
  h.type.assign(data, 3);
  h.chunk = data[3];
  std::memcpy(&h.size, data + 4, 4);
  if (!knownType(h.type)) throw UaError(Status::BadTcpMessageTypeInvalid, "unknown message type");
  if (h.chunk != 'F' && h.chunk != 'C' && h.chunk != 'A')
    throw UaError(Status::BadTcpMessageTypeInvalid, "unknown chunk type");
  if (h.size < kTcpHeaderSize) throw UaError(Status::BadTcpMessageTypeInvalid, "message size too small");
  return h;
}

std::string frameTcpMessage(std::string_view type, const std::string& body) {
  std::string out;
  out.reserve(kTcpHeaderSize + body.size());
  out.append(type.data(), 3);
  out.push_back('F');
  out.append(4, '\0');
  out.append(body);
  putU32(out, 4, static_cast<uint32_t>(out.size()));
  return out;
}

Chunk parseChunkHeader(const char* data, size_t size) {
  Chunk c;
  c.header = parseTcpHeader(data);
  if (c.header.size != size) throw UaError(Status::BadDecodingError, "chunk size mismatch");
  Decoder d(data + kTcpHeaderSize, size - kTcpHeaderSize);
  d.read(c.channelId);
  if (c.header.type == "OPN") {
    d.read(c.securityPolicyUri);
    d.read(c.senderCertificate);
    d.read(c.receiverThumbprint);
  } else if (c.header.type == "MSG" || c.header.type == "CLO") {
    d.read(c.tokenId);
  } else {
    throw UaError(Status::BadTcpMessageTypeInvalid, "not a secure channel message");
  }
  c.securedOffset = size - d.remaining();
  return c;
}

void readSequenceHeader(Chunk& c, std::string_view plain) {
  Decoder d(plain.data(), plain.size());
  d.read(c.sequenceNumber);
  d.read(c.requestId);
  c.body = std::string_view(reinterpret_cast<const char*>(d.position()), d.remaining());
}

Chunk parseChunk(const char* data, size_t size) {
  Chunk c = parseChunkHeader(data, size);
  readSequenceHeader(c, std::string_view(data + c.securedOffset, size - c.securedOffset));
  return c;
}

bool appendOpenChunk(std::string& out, uint32_t channelId, const String& policyUri,
                     uint32_t& sequenceNumber, uint32_t requestId, std::string_view body,
                     const ChunkLimits& limits) {
  std::string chunk = "OPNF";
  chunk.append(4, '\0');
  Encoder e(chunk);
  e.write(channelId);
  e.write(policyUri);
  e.write(ByteString{});
  e.write(ByteString{});
  e.write(sequenceNumber);
  e.write(requestId);
  chunk.append(body);
  if (limits.maxChunkSize && chunk.size() > limits.maxChunkSize) return false;
  putU32(chunk, 4, static_cast<uint32_t>(chunk.size()));
  sequenceNumber = nextSequenceNumber(sequenceNumber);
  out += chunk;
  return true;
}

void appendPlainChunk(std::string& out, std::string_view type, char chunkType, uint32_t channelId,
                      uint32_t tokenId, uint32_t sequenceNumber, uint32_t requestId, std::string_view body) {
  const size_t start = out.size();
  out.append(type.data(), 3);
  out.push_back(chunkType);
  out.append(4, '\0');
  Encoder e(out);
  e.write(channelId);
  e.write(tokenId);
  e.write(sequenceNumber);
  e.write(requestId);
  out.append(body);
  putU32(out, start + 4, static_cast<uint32_t>(out.size() - start));
}

bool appendSymmetricChunks(std::string& out, std::string_view type, uint32_t channelId,
                           uint32_t tokenId, uint32_t& sequenceNumber, uint32_t requestId,
                           std::string_view body, const ChunkLimits& limits,
                           const SymmetricSecurity* security) {
  if (limits.maxMessageSize && body.size() > limits.maxMessageSize) return false;
  const bool secured = security && security->secured();
  const MessageSecurityMode mode = secured ? security->mode : MessageSecurityMode::None;
  size_t perChunk = maxSymmetricBody(limits.maxChunkSize ? limits.maxChunkSize : kMinBufferSize, mode);
  if (perChunk == 0) perChunk = maxSymmetricBody(kMinBufferSize, mode);
  size_t count = body.empty() ? 1 : (body.size() + perChunk - 1) / perChunk;
  if (limits.maxChunkCount && count > limits.maxChunkCount) return false;
  out.reserve(out.size() + body.size() + count * (kSymmetricOverhead + 64));
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t n = std::min(perChunk, body.size() - at);
    const char chunkType = i + 1 == count ? 'F' : 'C';
    if (secured) {
      appendSecuredSymmetricChunk(out, type, chunkType, channelId, tokenId, sequenceNumber, requestId,
                                  body.substr(at, n), *security);
    } else {
      appendPlainChunk(out, type, chunkType, channelId, tokenId, sequenceNumber, requestId, body.substr(at, n));
    }
    sequenceNumber = nextSequenceNumber(sequenceNumber);
    at += n;
  }
  return true;
}

uint32_t nextSequenceNumber(uint32_t n) { return n >= 4294966271u ? 1 : n + 1; }

bool sequenceNumberFollows(uint32_t last, uint32_t received) {
  if (received == last + 1 && last != 0xFFFFFFFFu) return true;
  // After the wrap point the sender restarts below 1024.
  return last >= 4294966271u && received < 1024;
}

MessageAssembler& MessageAssembler::operator=(MessageAssembler&& other) noexcept {
  if (this == &other) return *this;
  clear();
  limits_ = other.limits_;
  maxPending_ = other.maxPending_;
  shared_ = other.shared_;
  client_ = std::move(other.client_);
  pendingBytes_ = other.pendingBytes_;
  pending_ = std::move(other.pending_);
  other.pending_.clear();
  other.pendingBytes_ = 0;
  return *this;
}

void MessageAssembler::clear() {
  if (shared_) shared_->give(client_, pendingBytes_);
  pendingBytes_ = 0;
  pending_.clear();
}

void MessageAssembler::drop(std::map<uint32_t, Pending>::iterator it) {
  const size_t n = it->second.charged;
  pendingBytes_ -= n;
  if (shared_) shared_->give(client_, n);
  pending_.erase(it);
}

std::optional<std::string> MessageAssembler::add(const Chunk& chunk) {
  if (chunk.header.chunk == 'A') {
    auto it = pending_.find(chunk.requestId);
    if (it != pending_.end()) drop(it);
    return std::nullopt;
  }
  auto it = pending_.find(chunk.requestId);
  if (it == pending_.end()) {
    if (chunk.header.chunk == 'F') return std::string(chunk.body);  // the common single chunk
    if (pending_.size() >= maxPending_)
      throw UaError(Status::BadTcpNotEnoughResources, "too many partial messages");
    it = pending_.emplace(chunk.requestId, Pending{}).first;
  }
  Pending& p = it->second;
  ++p.chunks;
  if (limits_.maxChunkCount && p.chunks > limits_.maxChunkCount) {
    drop(it);
    throw UaError(Status::BadTcpMessageTooLarge, "too many chunks");
  }
  const size_t n = chunk.body.size();
  // All partial messages of a connection together stay within one message's size.
  if (limits_.maxMessageSize && p.body.size() + n > limits_.maxMessageSize) {
    drop(it);
    throw UaError(Status::BadTcpMessageTooLarge, "message too large");
  }
  // What is counted is the memory held: a body grows by doubling, never past the limit.
  size_t want = p.charged;
  if (p.body.size() + n > p.charged) {
    want = std::max(p.body.size() + n, p.charged * 2);
    if (limits_.maxMessageSize) want = std::min<size_t>(want, limits_.maxMessageSize);
  }
  const size_t more = want - p.charged;
  if (limits_.maxMessageSize && pendingBytes_ + more > limits_.maxMessageSize) {
    drop(it);
    throw UaError(Status::BadTcpMessageTooLarge, "partial messages too large");
  }
  if (shared_ && !shared_->take(client_, more)) {
    drop(it);
    throw UaError(Status::BadTcpNotEnoughResources, shared_->usedBy(client_) + more > shared_->share()
                                                         ? "too many partial messages from one address"
                                                         : "too many partial messages on the server");
  }
  pendingBytes_ += more;
  p.charged = want;
  if (more) p.body.reserve(want);
  p.body.append(chunk.body);
  if (chunk.header.chunk == 'C') return std::nullopt;
  std::string whole = std::move(p.body);
  drop(it);
  return whole;
}

}  // namespace zentarc::ua
