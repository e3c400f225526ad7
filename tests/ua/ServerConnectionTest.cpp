// The connection state machine fed with hand-built bytes: Hello, secure channel, chunking,
// sequence numbers, token renewal and the faults that close a connection.
#include <gtest/gtest.h>

#include "server/toolkit/ua/ServerConnection.h"

using namespace zentarc::ua;
using namespace std::chrono_literals;

namespace {

struct FakeHost : ConnectionHost {
  uint32_t newChannelId() override { return 77; }
  void onServiceRequest(ServerConnection&, uint32_t requestId, std::string body) override {
    requests.emplace_back(requestId, std::move(body));
  }
  std::vector<std::pair<uint32_t, std::string>> requests;
};

struct Fixture {
  FakeHost host;
  SteadyTime now = SteadyTime{} + 1000s;
  UaServerLimits limits;
  std::unique_ptr<ServerConnection> conn;
  uint32_t seq = 1;
  uint32_t tokenId = 0;

  explicit Fixture(UaServerLimits l = {}) : limits(l) {
    conn = std::make_unique<ServerConnection>(1, host, limits, [this] { return now; });
  }

  // Hands the bytes over and lets the connection take every turn it needs, as the server's
  // loop does.
  void feed(const std::string& bytes) {
    conn->onBytes(bytes.data(), bytes.size());
    for (int turns = 0; turns < 10000 && conn->hasWaitingChunk() && !conn->paused(); ++turns) conn->resume();
  }

  std::string take() {
    std::string out = std::move(conn->outgoing());
    conn->outgoing().clear();
    return out;
  }

  void hello(uint32_t clientReceive = 65536, uint32_t maxChunks = 0) {
    HelloMessage h;
    h.receiveBufferSize = clientReceive;
    h.sendBufferSize = 65536;
    h.maxChunkCount = maxChunks;
    h.endpointUrl = "opc.tcp://127.0.0.1:4840";
    feed(frameTcpMessage("HEL", encode(h)));
    std::string out = take();
    ASSERT_EQ(out.substr(0, 4), "ACKF");
  }

  std::string openBody(SecurityTokenRequestType type, uint32_t lifetime = 60000) {
    OpenSecureChannelRequest req;
    req.requestType = type;
    req.requestedLifetime = lifetime;
    std::string body;
    Encoder e(body);
    e.write(NodeId(0, OpenSecureChannelRequest::kEncodingId));
    e.write(req);
    return body;
  }

  OpenSecureChannelResponse open(SecurityTokenRequestType type = SecurityTokenRequestType::Issue,
                                 uint32_t lifetime = 60000) {
    std::string out;
    appendOpenChunk(out, type == SecurityTokenRequestType::Issue ? 0 : 77, kSecurityPolicyNone,
                    seq, 1, openBody(type, lifetime), ChunkLimits{});
    feed(out);
    std::string reply = take();
    OpenSecureChannelResponse resp;
    if (reply.substr(0, 3) != "OPN") return resp;
    Chunk c = parseChunk(reply.data(), reply.size());
    Decoder d(c.body.data(), c.body.size());
    NodeId t;
    d.read(t);
    d.read(resp);
    tokenId = resp.securityToken.tokenId;
    return resp;
  }

  std::string msg(uint32_t requestId, const std::string& body, uint32_t chunkSize = 65536) {
    std::string out;
    appendSymmetricChunks(out, "MSG", 77, tokenId, seq, requestId, body, ChunkLimits{chunkSize, 0, 0});
    return out;
  }

  StatusCode errorSent() {
    std::string out = take();
    size_t at = out.find("ERRF");
    if (at == std::string::npos) return Status::Good;
    ErrorMessage e;
    Decoder d(out.data() + at + 8, out.size() - at - 8);
    d.read(e);
    return e.error;
  }
};

}  // namespace

TEST(ServerConnection, hello_negotiatesTheSmallerBuffers) {
  Fixture f;
  HelloMessage h;
  h.receiveBufferSize = 16384;
  h.sendBufferSize = 1u << 20;
  h.endpointUrl = "opc.tcp://x:1";
  f.feed(frameTcpMessage("HEL", encode(h)));
  std::string out = f.take();
  auto ack = decode<AcknowledgeMessage>(out.substr(8));
  EXPECT_EQ(ack.sendBufferSize, 16384u);
  EXPECT_EQ(ack.receiveBufferSize, f.limits.receiveBufferSize);
  EXPECT_EQ(f.conn->endpointUrl(), "opc.tcp://x:1");
  EXPECT_EQ(f.conn->state(), ServerConnection::State::AwaitOpen);
}

TEST(ServerConnection, protocolFaultsBeforeTheChannel_sendErrorAndClose) {
  {
    Fixture f;  // a message before Hello
    f.feed(f.msg(1, "x"));
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadTcpMessageTypeInvalid));
    EXPECT_TRUE(f.conn->closing());
  }
  {
    Fixture f;  // garbage
    f.feed("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadTcpMessageTypeInvalid));
  }
  {
    Fixture f;  // a Hello claiming to be huge
    std::string h = frameTcpMessage("HEL", encode(HelloMessage{}));
    uint32_t big = 1u << 30;
    std::memcpy(&h[4], &big, 4);
    f.feed(h.substr(0, 8));
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadTcpMessageTooLarge));
  }
  {
    Fixture f;  // a truncated Hello body
    std::string h = frameTcpMessage("HEL", std::string(6, '\0'));
    f.feed(h);
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadDecodingError));
  }
  {
    Fixture f;  // security policy other than None
    f.hello();
    std::string out;
    uint32_t seq = 1;
    appendOpenChunk(out, 0, "http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256", seq, 1,
                    f.openBody(SecurityTokenRequestType::Issue), ChunkLimits{});
    f.feed(out);
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadSecurityPolicyRejected));
  }
  {
    Fixture f;  // MSG before OpenSecureChannel
    f.hello();
    f.feed(f.msg(1, "x"));
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadTcpSecureChannelUnknown));
  }
}

TEST(ServerConnection, byteByByteInput_isReassembled) {
  Fixture f;
  std::string h = frameTcpMessage("HEL", encode(HelloMessage{0, 65536, 65536, 0, 0, "opc.tcp://a:1"}));
  for (char c : h) f.conn->onBytes(&c, 1);
  EXPECT_EQ(f.take().substr(0, 4), "ACKF");
  f.open();
  std::string m = f.msg(5, "payload");
  for (char c : m) f.conn->onBytes(&c, 1);
  ASSERT_EQ(f.host.requests.size(), 1u);
  EXPECT_EQ(f.host.requests[0].second, "payload");
}

TEST(ServerConnection, chunksArriveTogether_areHandledAFewPerTurn) {
  Fixture f;
  f.hello(8192);
  f.open();
  std::string all;
  for (uint32_t id = 10; id < 20; ++id) all += f.msg(id, "request " + std::to_string(id), 8192);
  f.conn->onBytes(all.data(), all.size());
  EXPECT_EQ(f.host.requests.size(), f.limits.chunksPerTurn);
  EXPECT_TRUE(f.conn->hasWaitingChunk());
  EXPECT_FALSE(f.conn->wantsInput());  // nothing more is read until these are handled
  f.conn->resume();
  f.conn->resume();
  f.conn->resume();
  ASSERT_EQ(f.host.requests.size(), 10u);
  EXPECT_EQ(f.host.requests.back().second, "request 19");
  EXPECT_FALSE(f.conn->hasWaitingChunk());
  EXPECT_TRUE(f.conn->wantsInput());
}

TEST(ServerConnection, chunkedRequestAndResponse_roundTrip) {
  Fixture f;
  f.hello(8192);
  OpenSecureChannelResponse r = f.open();
  EXPECT_EQ(r.securityToken.channelId, 77u);
  std::string big(100000, 'q');
  big[0] = 'a';
  big.back() = 'z';
  f.feed(f.msg(9, big, 8192));
  ASSERT_EQ(f.host.requests.size(), 1u);
  EXPECT_EQ(f.host.requests[0].first, 9u);
  EXPECT_EQ(f.host.requests[0].second, big);

  f.conn->sendResponse(9, big);
  std::string out = f.take();
  MessageAssembler as(ChunkLimits{});
  size_t at = 0, chunks = 0;
  std::optional<std::string> whole;
  uint32_t lastSeq = 0;
  while (at < out.size()) {
    TcpHeader h = parseTcpHeader(out.data() + at);
    EXPECT_LE(h.size, 8192u);
    Chunk c = parseChunk(out.data() + at, h.size);
    if (chunks) {
      EXPECT_EQ(c.sequenceNumber, lastSeq + 1);
    }
    lastSeq = c.sequenceNumber;
    whole = as.add(c);
    at += h.size;
    ++chunks;
  }
  EXPECT_GT(chunks, 12u);
  ASSERT_TRUE(whole.has_value());
  EXPECT_EQ(*whole, big);
}

TEST(ServerConnection, responseBeyondTheClientsChunkCount_becomesResponseTooLarge) {
  Fixture f;
  f.hello(8192, 2);
  f.open();
  std::string body;
  Encoder e(body);
  e.write(NodeId(0, 634u));
  ResponseHeader rh;
  rh.requestHandle = 55;
  e.write(rh);
  body.append(50000, 'x');
  f.conn->sendResponse(3, body);
  std::string out = f.take();
  Chunk c = parseChunk(out.data(), out.size());
  Decoder d(c.body.data(), c.body.size());
  NodeId t;
  ServiceFault fault;
  d.read(t);
  d.read(fault);
  EXPECT_TRUE(t.isNumeric(ServiceFault::kEncodingId));
  EXPECT_EQ(fault.responseHeader.serviceResult, StatusCode(Status::BadResponseTooLarge));
  EXPECT_EQ(fault.responseHeader.requestHandle, 55u);
  EXPECT_FALSE(f.conn->closing());
}

TEST(ServerConnection, requestBeyondOurLimits_closesWithTooLarge) {
  UaServerLimits l;
  l.maxChunkCount = 3;
  Fixture f(l);
  f.hello();
  f.open();
  f.feed(f.msg(1, std::string(40000, 'x'), 8192));
  EXPECT_EQ(f.errorSent(), StatusCode(Status::BadTcpMessageTooLarge));
  EXPECT_TRUE(f.host.requests.empty());
}

TEST(ServerConnection, sequenceNumberOutOfOrder_closes) {
  Fixture f;
  f.hello();
  f.open();
  f.feed(f.msg(1, "a"));
  f.seq += 5;  // skip some
  f.feed(f.msg(2, "b"));
  EXPECT_EQ(f.errorSent(), StatusCode(Status::BadSequenceNumberInvalid));
  EXPECT_EQ(f.host.requests.size(), 1u);
}

TEST(ServerConnection, wrongChannelOrUnknownToken_closes) {
  {
    Fixture f;
    f.hello();
    f.open();
    f.tokenId = 99;
    f.feed(f.msg(1, "a"));
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadSecureChannelTokenUnknown));
  }
  {
    Fixture f;
    f.hello();
    f.open();
    std::string out;
    appendSymmetricChunks(out, "MSG", 12, f.tokenId, f.seq, 1, "a", ChunkLimits{});
    f.feed(out);
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadSecureChannelIdInvalid));
  }
}

TEST(ServerConnection, tokenRenewal_oldTokenWorksUntilItExpires) {
  Fixture f;
  f.hello();
  OpenSecureChannelResponse first = f.open(SecurityTokenRequestType::Issue, 20000);
  EXPECT_EQ(first.securityToken.revisedLifetime, 20000u);
  f.now += 15s;
  OpenSecureChannelResponse second = f.open(SecurityTokenRequestType::Renew, 20000);
  EXPECT_EQ(second.securityToken.channelId, 77u);
  EXPECT_NE(second.securityToken.tokenId, first.securityToken.tokenId);
  // The old token is still accepted for a while ...
  f.tokenId = first.securityToken.tokenId;
  f.feed(f.msg(1, "old"));
  EXPECT_EQ(f.host.requests.size(), 1u);
  // ... the new one too, and after the old one expired only the new one.
  f.now += 12s;
  f.tokenId = second.securityToken.tokenId;
  f.feed(f.msg(2, "new"));
  EXPECT_EQ(f.host.requests.size(), 2u);
  f.tokenId = first.securityToken.tokenId;
  f.feed(f.msg(3, "stale"));
  EXPECT_EQ(f.errorSent(), StatusCode(Status::BadSecureChannelTokenUnknown));
}

TEST(ServerConnection, timeouts_helloAndUnrenewedToken) {
  {
    Fixture f;
    f.now += 11s;
    f.conn->tick();
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadTimeout));
  }
  {
    Fixture f;
    f.hello();
    f.open(SecurityTokenRequestType::Issue, 10000);
    f.now += 12s;  // within the grace of a quarter lifetime
    f.conn->tick();
    EXPECT_FALSE(f.conn->closing());
    f.now += 1s;
    f.conn->tick();
    EXPECT_EQ(f.errorSent(), StatusCode(Status::BadSecureChannelClosed));
  }
}

TEST(ServerConnection, closeSecureChannel_closesQuietly) {
  Fixture f;
  f.hello();
  f.open();
  std::string out;
  appendSymmetricChunks(out, "CLO", 77, f.tokenId, f.seq, 2, "", ChunkLimits{});
  f.feed(out);
  EXPECT_TRUE(f.conn->closing());
  EXPECT_EQ(f.take(), "");
}
