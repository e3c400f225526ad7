// What an anonymous client (or one with no session at all) can make the server hold: each
// attack in its smallest form over real loopback sockets, with the refusal it gets and the
// bound that memory, sessions and connections keep.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/UaServer.h"
#include "tests/support/AllocationMeter.h"
#include "tests/support/WaitFor.h"
#include "tests/ua/RawUa.h"
#include "tests/ua/RawWrite.h"

using namespace zentarc::ua;
using namespace zentarc::ua::test;
using namespace std::chrono_literals;
using zentarc::testsupport::AllocationMeter;
using zentarc::testsupport::waitFor;

namespace {

void addEchoRead(UaServer& server, size_t answerBytes = 0) {
  server.services().add<ReadRequest, ReadResponse>(
      [answerBytes](RequestContext&, ReadRequest& req, const Reply<ReadResponse>& reply) {
        ReadResponse resp;
        resp.results.resize(req.nodesToRead.size());
        if (answerBytes) resp.results[0].value = Variant::of(ByteString{std::string(answerBytes, 'x')});
        reply(std::move(resp));
      });
}

StatusCode readOne(UaClient& c) {
  std::vector<DataValue> out;
  return c.read(std::vector<ReadValueId>(1), out);
}

}  // namespace

// Case: a Variant of type Null with the array flag and a length of a million takes five
// bytes on the wire (plus the padding that makes the length look plausible).
TEST(UaHardening, nullArrayInAWrite_isADecodingFault_andHoldsNoMemory) {
  UaServer server(loopbackConfig(28500));
  bool written = false;
  server.services().add<WriteRequest, WriteResponse>(
      [&written](RequestContext&, WriteRequest&, const Reply<WriteResponse>& reply) {
        written = true;
        reply(WriteResponse{});
      });
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient client;
  ASSERT_TRUE(client.connect(loopbackUrl(28500)).isGood()) << client.errorText();
  RawWrite attack = nullArrayWrite();
  WriteResponse resp;
  AllocationMeter::resetPeak();
  EXPECT_EQ(client.call(attack, resp), StatusCode(Status::BadDecodingError));
  // The message itself passes through a few buffers; a million decoded values would be ~90 MB.
  EXPECT_LT(AllocationMeter::peakAboveReset(), 16u * 1024 * 1024);
  EXPECT_FALSE(written);
  EXPECT_TRUE(readOne(client).isGood());  // the session and channel stay
}

// Case: partial messages of one connection together stay within one message's size.
TEST(UaHardening, partialMessagesOfAConnection_areBoundedByTheMessageSize) {
  UaServerConfig c = loopbackConfig(28501);
  c.limits.maxMessageSize = 256 * 1024;
  UaServer server(c);
  ASSERT_TRUE(server.start().isGood());
  UaClient raw;
  ASSERT_TRUE(raw.openChannel(loopbackUrl(28501)).isGood());
  const ChannelSecurityToken t = raw.securityToken();
  const std::string part(60000, 'p');
  uint32_t seq = 2;
  // Four messages of one chunk each: 240 KB pending, within the bound.
  for (uint32_t id = 1; id <= 4; ++id)
    ASSERT_TRUE(sendAllBytes(raw.socketFd(), intermediateChunk(t.channelId, t.tokenId, seq++, id, part)));
  EXPECT_TRUE(waitFor([&] { return server.pendingInputBytes() == 240000; }));
  // A fifth would pass the message size.
  ASSERT_TRUE(sendAllBytes(raw.socketFd(), intermediateChunk(t.channelId, t.tokenId, seq++, 5, part)));
  EXPECT_EQ(errorIn(readUntilClosed(raw.socketFd())), StatusCode(Status::BadTcpMessageTooLarge));
  EXPECT_TRUE(waitFor([&] { return server.pendingInputBytes() == 0; }));
}

// Case: connections together share one budget for partial messages.
TEST(UaHardening, partialMessagesOfAllConnections_shareOneBudget) {
  UaServerConfig c = loopbackConfig(28502);
  c.limits.maxMessageSize = 256 * 1024;
  c.limits.maxPendingInputBytes = 512 * 1024;
  UaServer server(c);
  ASSERT_TRUE(server.start().isGood());
  const std::string part(60000, 'p');
  auto fill = [&](UaClient& client, int chunks) {
    const ChannelSecurityToken t = client.securityToken();
    uint32_t seq = 2;
    for (int i = 0; i < chunks; ++i)
      if (!sendAllBytes(client.socketFd(), intermediateChunk(t.channelId, t.tokenId, seq++, 7, part)))
        return false;
    return true;
  };
  UaClient a, b, late;
  ASSERT_TRUE(a.openChannel(loopbackUrl(28502)).isGood());
  ASSERT_TRUE(b.openChannel(loopbackUrl(28502)).isGood());
  ASSERT_TRUE(late.openChannel(loopbackUrl(28502)).isGood());
  ASSERT_TRUE(fill(a, 4));
  ASSERT_TRUE(fill(b, 4));
  ASSERT_TRUE(waitFor([&] { return server.pendingInputBytes() == 480000; }));
  ASSERT_TRUE(fill(late, 1));
  EXPECT_EQ(errorIn(readUntilClosed(late.socketFd())), StatusCode(Status::BadTcpNotEnoughResources));
  EXPECT_EQ(server.pendingInputBytes(), 480000u);
  // When a holder goes, its bytes are free again.
  a.disconnect();
  EXPECT_TRUE(waitFor([&] { return server.pendingInputBytes() == 240000; }));
  UaClient next;
  ASSERT_TRUE(next.openChannel(loopbackUrl(28502)).isGood());
  ASSERT_TRUE(fill(next, 4));
  EXPECT_TRUE(waitFor([&] { return server.pendingInputBytes() == 480000; }));
  EXPECT_EQ(server.connectionCount(), 2u);
}

// Case: sessions created and never activated, asking for an hour, lock nobody out.
TEST(UaHardening, unactivatedSessions_giveWayWhenFull_andExpireSoon) {
  UaServerConfig c = loopbackConfig(28503);
  c.limits.maxSessions = 3;
  c.limits.unactivatedSessionTimeoutMs = 600;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient squatter;
  ASSERT_TRUE(squatter.openChannel(loopbackUrl(28503)).isGood());
  std::vector<NodeId> tokens;
  for (int i = 0; i < 3; ++i) {
    CreateSessionRequest cs;
    cs.requestedSessionTimeout = 3'600'000;
    CreateSessionResponse csr;
    ASSERT_TRUE(squatter.call(cs, csr).isGood());
    tokens.push_back(csr.authenticationToken);
  }
  // The table is full of unactivated sessions: a real client still gets in, and the oldest
  // squatter is gone.
  UaClient real;
  ASSERT_TRUE(real.connect(loopbackUrl(28503)).isGood()) << real.errorText();
  EXPECT_EQ(server.sessionCount(), 3u);
  squatter.setAuthenticationToken(tokens[0]);
  ActivateSessionRequest as;
  ActivateSessionResponse asr;
  EXPECT_EQ(squatter.call(as, asr), StatusCode(Status::BadSessionIdInvalid));
  // The rest end soon, whatever timeout they asked for.
  EXPECT_TRUE(waitFor([&] { return server.sessionCount() == 1; }, 5000ms));
  EXPECT_TRUE(readOne(real).isGood());
  // Activated sessions are never pushed out.
  UaClient second, third, fourth;
  ASSERT_TRUE(second.connect(loopbackUrl(28503)).isGood());
  ASSERT_TRUE(third.connect(loopbackUrl(28503)).isGood());
  EXPECT_EQ(fourth.connect(loopbackUrl(28503)), StatusCode(Status::BadTooManySessions));
  EXPECT_TRUE(readOne(real).isGood());
}

// Case: long session names and other client texts are not kept whole for the session's life,
// and a CreateSession of a megabyte is no session request at all.
TEST(UaHardening, clientTextsOfASession_areKeptShort) {
  UaServer server(loopbackConfig(28504));
  std::vector<std::pair<std::string, ApplicationDescription>> seen;
  UaServerHooks hooks;
  hooks.sessionCreated = [&seen](Session& s) { seen.emplace_back(s.name, s.clientDescription); };
  server.setHooks(hooks);
  ASSERT_TRUE(server.start().isGood());
  UaClient client;
  ASSERT_TRUE(client.openChannel(loopbackUrl(28504)).isGood());
  CreateSessionRequest cs;
  cs.sessionName = std::string(20000, 'n');
  cs.clientDescription.applicationUri = std::string(10000, 'u');
  cs.clientDescription.applicationName = LocalizedText("en", std::string(10000, 'a'));
  cs.clientDescription.discoveryUrls.assign(500, "opc.tcp://somewhere:4840");
  CreateSessionResponse csr;
  ASSERT_TRUE(client.call(cs, csr).isGood());
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, std::string(256, 'n'));
  EXPECT_EQ(seen[0].second.applicationUri.size(), 1024u);
  EXPECT_EQ(seen[0].second.applicationName.text->size(), 1024u);
  EXPECT_TRUE(seen[0].second.discoveryUrls.empty());
  // A cut name stays valid UTF-8: a two-byte character across the limit is left out whole.
  cs.sessionName = std::string(255, 'n') + "\xC3\xA9" + "tail";
  ASSERT_TRUE(client.call(cs, csr).isGood());
  EXPECT_EQ(seen.back().first, std::string(255, 'n'));
  cs.clientCertificate = ByteString{std::string(40000, 'c')};
  EXPECT_EQ(client.call(cs, csr), StatusCode(Status::BadCertificateInvalid));
  // A megabyte of session name ends the channel as soon as the request passes 64 KB.
  cs.sessionName = std::string(1000000, 'n');
  EXPECT_TRUE(client.call(cs, csr).isBad());
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_FALSE(client.connected());
}

// Case: a secure channel that never carries an activated session only holds a slot.
TEST(UaHardening, channelWithoutSession_isClosedAfterAShortTime) {
  UaServerConfig c = loopbackConfig(28505);
  c.limits.channelWithoutSessionTimeoutMs = 500;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient working, idle;
  ASSERT_TRUE(working.connect(loopbackUrl(28505)).isGood());
  ASSERT_TRUE(idle.openChannel(loopbackUrl(28505)).isGood());
  const int silent = rawConnect(28505);  // not even a Hello
  ASSERT_GE(silent, 0);
  EXPECT_EQ(errorIn(readUntilClosed(idle.socketFd(), 5000ms)), StatusCode(Status::BadTimeout));
  readUntilClosed(silent, 5000ms);
  EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 1; }));
  close(silent);
  EXPECT_TRUE(readOne(working).isGood());
}

// Case: a full connection table makes room by closing the connection longest without a
// session; when every connection carries one, the newcomer is refused.
TEST(UaHardening, fullConnectionTable_closesTheOldestChannelWithoutASession) {
  UaServerConfig c = loopbackConfig(28506);
  c.limits.maxConnections = 3;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient working, oldIdle, newIdle;
  ASSERT_TRUE(working.connect(loopbackUrl(28506)).isGood());
  ASSERT_TRUE(oldIdle.openChannel(loopbackUrl(28506)).isGood());
  ASSERT_TRUE(newIdle.openChannel(loopbackUrl(28506)).isGood());
  UaClient newcomer;
  ASSERT_TRUE(newcomer.connect(loopbackUrl(28506)).isGood()) << newcomer.errorText();
  EXPECT_EQ(errorIn(readUntilClosed(oldIdle.socketFd())), StatusCode(Status::BadTcpServerTooBusy));
  EXPECT_TRUE(readOne(working).isGood());
  EXPECT_TRUE(readOne(newcomer).isGood());
  // newIdle goes next; then all three carry sessions and a fourth is refused.
  UaClient third;
  ASSERT_TRUE(third.connect(loopbackUrl(28506)).isGood());
  UaClient refused;
  EXPECT_EQ(refused.openChannel(loopbackUrl(28506)), StatusCode(Status::BadTcpServerTooBusy));
  EXPECT_TRUE(readOne(working).isGood());
}

// Case: a client pipelines requests and never reads the answers. Beyond a small backlog the
// server handles no more of its requests; it goes on once the client reads.
TEST(UaHardening, unreadAnswers_holdBackTheClientsRequests_untilItReads) {
  UaServerConfig c = loopbackConfig(28507);
  c.limits.outputPauseBytes = 256 * 1024;
  UaServer server(c);
  const size_t answer = 100 * 1024;
  std::atomic<int> handled{0};
  server.services().add<ReadRequest, ReadResponse>(
      [&](RequestContext&, ReadRequest& req, const Reply<ReadResponse>& reply) {
        ++handled;
        ReadResponse resp;
        resp.results.resize(req.nodesToRead.size());
        resp.results[0].value = Variant::of(ByteString{std::string(answer, 'x')});
        reply(std::move(resp));
      });
  ASSERT_TRUE(server.start().isGood());
  UaClient greedy, polite;
  ASSERT_TRUE(greedy.connect(loopbackUrl(28507)).isGood());
  ASSERT_TRUE(polite.connect(loopbackUrl(28507)).isGood());
  ReadRequest r;
  r.nodesToRead.resize(1);
  // 500 answers of 100 KB are far more than the kernel's buffers take.
  for (int i = 0; i < 500; ++i) ASSERT_TRUE(greedy.post(r).isGood());
  size_t most = 0;
  for (int i = 0; i < 40; ++i) {
    most = std::max(most, server.queuedOutputBytes());
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_GT(most, 0u);
  EXPECT_LE(most, c.limits.outputPauseBytes + answer + 4096);
  const int heldBack = 500 - handled;
  EXPECT_GT(heldBack, 0);
  EXPECT_EQ(server.connectionCount(), 2u);
  EXPECT_TRUE(readOne(polite).isGood());  // served meanwhile (one more handled)
  // Reading the answers lets the rest through.
  char buf[65536];
  EXPECT_TRUE(waitFor([&] {
    while (recv(greedy.socketFd(), buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
    return handled == 501;
  }, 10000ms)) << handled << " handled";
}

// Case: many such clients together, and one answer larger than a connection may queue.
TEST(UaHardening, unreadAnswers_areBoundedPerConnectionAndOverall) {
  UaServerConfig c = loopbackConfig(28508);
  c.limits.outputPauseBytes = 16u * 1024 * 1024;        // no pause: the bounds must do it
  c.limits.maxQueuedOutputPerConnection = 3u * 1024 * 1024;
  c.limits.maxQueuedOutputTotal = 4u * 1024 * 1024;
  UaServer server(c);
  const size_t answer = 512 * 1024;
  addEchoRead(server, answer);
  ASSERT_TRUE(server.start().isGood());
  UaClient polite;
  ASSERT_TRUE(polite.connect(loopbackUrl(28508)).isGood());
  UaClientOptions o;
  o.timeout = 300ms;
  std::vector<std::unique_ptr<UaClient>> greedy;
  for (int i = 0; i < 4; ++i) {
    greedy.push_back(std::make_unique<UaClient>(o));
    ASSERT_TRUE(greedy.back()->connect(loopbackUrl(28508)).isGood());
  }
  ReadRequest r;
  r.nodesToRead.resize(1);
  size_t most = 0;
  for (int round = 0; round < 60; ++round) {
    for (auto& g : greedy)
      if (g->connected()) (void)g->post(r);
    most = std::max(most, server.queuedOutputBytes());
  }
  EXPECT_TRUE(waitFor([&] { return server.connectionCount() < 5; }));
  EXPECT_LE(most, c.limits.maxQueuedOutputTotal);
  EXPECT_TRUE(readOne(polite).isGood());
}

// Case: the first activation comes over the channel that created the session, so a session
// cannot be taken over before its owner has activated it.
TEST(UaHardening, unactivatedSession_cannotBeActivatedFromAnotherChannel) {
  UaServer server(loopbackConfig(28509));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient owner, thief;
  ASSERT_TRUE(owner.openChannel(loopbackUrl(28509)).isGood());
  ASSERT_TRUE(thief.openChannel(loopbackUrl(28509)).isGood());
  CreateSessionRequest cs;
  CreateSessionResponse csr;
  ASSERT_TRUE(owner.call(cs, csr).isGood());
  ActivateSessionRequest as;
  as.userIdentityToken = toExtensionObject(AnonymousIdentityToken{"anonymous"});
  ActivateSessionResponse asr;
  thief.setAuthenticationToken(csr.authenticationToken);
  EXPECT_EQ(thief.call(as, asr), StatusCode(Status::BadSecureChannelIdInvalid));
  owner.setAuthenticationToken(csr.authenticationToken);
  ASSERT_TRUE(owner.call(as, asr).isGood());
  EXPECT_TRUE(readOne(owner).isGood());
  // Once activated, a move shows the same identity: a token that is not offered fails and
  // leaves the session where it was.
  as.userIdentityToken = toExtensionObject(UserNameIdentityToken{"u", "operator", ByteString{"pw"}, ""});
  EXPECT_EQ(thief.call(as, asr), StatusCode(Status::BadIdentityTokenInvalid));
  EXPECT_TRUE(readOne(owner).isGood());
  EXPECT_EQ(readOne(thief), StatusCode(Status::BadSecureChannelIdInvalid));
}

// Case: a GetEndpoints whose endpoint URL takes megabytes, on a server that offers None. It
// is refused once it passes what a discovery request may take, and one with a URL of a few
// KB is refused rather than answered with the URL in every endpoint.
TEST(UaHardening, getEndpointsWithAHugeUrl_isRefused_andHoldsLittleMemory) {
  UaServer server(loopbackConfig(28510));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient c;
  ASSERT_TRUE(c.openChannel(loopbackUrl(28510)).isGood());
  GetEndpointsRequest req;
  req.endpointUrl = "opc.tcp://" + std::string(8u * 1024 * 1024, 'h');
  GetEndpointsResponse resp;
  AllocationMeter::resetPeak();
  EXPECT_TRUE(c.call(req, resp).isBad());
  // The client's own request is most of it; echoed in seven endpoints, twice each, the URL
  // would take over 100 MB.
  EXPECT_LT(AllocationMeter::peakAboveReset(), 40u * 1024 * 1024);
  EXPECT_FALSE(c.connected());
  ASSERT_TRUE(c.openChannel(loopbackUrl(28510)).isGood());
  req.endpointUrl = "opc.tcp://" + std::string(5000, 'h');
  EXPECT_EQ(c.call(req, resp), StatusCode(Status::BadTcpEndpointUrlInvalid));
  // An URL of ordinary length is shown back as before.
  req.endpointUrl = "opc.tcp://plant-host:4840";
  ASSERT_TRUE(c.call(req, resp).isGood());
  ASSERT_FALSE(resp.endpoints.empty());
  EXPECT_EQ(resp.endpoints[0].endpointUrl, req.endpointUrl);
  UaClient other;
  EXPECT_TRUE(other.connect(loopbackUrl(28510)).isGood());
  EXPECT_TRUE(readOne(other).isGood());
}

// Case: channels from one address keep partial messages up to that address's share of the
// budget; another address still sends requests of many chunks.
TEST(UaHardening, partialMessagesOfOneAddress_stayWithinItsShare) {
  UaServerConfig c = loopbackConfig(28511);
  c.limits.maxMessageSize = 256 * 1024;
  c.limits.maxPendingInputBytes = 512 * 1024;
  c.limits.maxPendingInputPerAddress = 256 * 1024;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  const std::string part(60000, 'p');
  auto fill = [&](UaClient& client, int chunks, uint32_t requestId) {
    const ChannelSecurityToken t = client.securityToken();
    uint32_t seq = 2;
    for (int i = 0; i < chunks; ++i)
      if (!sendAllBytes(client.socketFd(), intermediateChunk(t.channelId, t.tokenId, seq++, requestId, part)))
        return false;
    return true;
  };
  UaClient a, b;
  ASSERT_TRUE(a.openChannel(loopbackUrl(28511)).isGood());
  ASSERT_TRUE(b.openChannel(loopbackUrl(28511)).isGood());
  ASSERT_TRUE(fill(a, 4, 7));
  ASSERT_TRUE(waitFor([&] { return server.pendingInputBytes() == 240000; }));
  ASSERT_TRUE(fill(b, 1, 7));
  EXPECT_EQ(errorIn(readUntilClosed(b.socketFd())), StatusCode(Status::BadTcpNotEnoughResources));
  // Another address: its own partial messages, and a whole request of many chunks.
  UaClientOptions o;
  o.localAddress = "127.0.0.2";
  UaClient elsewhere(o);
  ASSERT_TRUE(elsewhere.openChannel(loopbackUrl(28511)).isGood());
  ASSERT_TRUE(fill(elsewhere, 2, 9));
  EXPECT_TRUE(waitFor([&] { return server.pendingInputBytes() == 360000; }));
  o.sendBufferSize = 8192;  // requests of many chunks
  UaClient reader(o);
  ASSERT_TRUE(reader.connect(loopbackUrl(28511)).isGood());
  std::vector<DataValue> out;
  EXPECT_TRUE(reader.read(std::vector<ReadValueId>(3000), out).isGood()) << reader.errorText();
}

// Case: the connection table is full and connections come and go fast. The one idle longest
// makes room, not one whose handshake is under way even though it was accepted earlier.
TEST(UaHardening, fullConnectionTable_evictsTheConnectionIdleLongest) {
  UaServerConfig c = loopbackConfig(28513);
  c.limits.maxConnections = 3;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  const int silentOld = rawConnect(28513);
  ASSERT_GE(silentOld, 0);
  std::this_thread::sleep_for(50ms);
  UaClient handshaking;  // accepted second, and busy
  ASSERT_TRUE(handshaking.openChannel(loopbackUrl(28513)).isGood());
  std::this_thread::sleep_for(50ms);
  const int silentNew = rawConnect(28513);  // accepted third, then silent
  ASSERT_GE(silentNew, 0);
  std::this_thread::sleep_for(50ms);
  GetEndpointsRequest step;
  GetEndpointsResponse stepDone;
  ASSERT_TRUE(handshaking.call(step, stepDone).isGood());  // the handshake goes on
  UaClient first;
  ASSERT_TRUE(first.connect(loopbackUrl(28513)).isGood()) << first.errorText();
  EXPECT_EQ(errorIn(readUntilClosed(silentOld, 2000ms)), StatusCode(Status::BadTcpServerTooBusy));
  UaClient second;
  ASSERT_TRUE(second.connect(loopbackUrl(28513)).isGood()) << second.errorText();
  EXPECT_EQ(errorIn(readUntilClosed(silentNew, 2000ms)), StatusCode(Status::BadTcpServerTooBusy));
  ASSERT_TRUE(handshaking.createAndActivateSession().isGood()) << handshaking.errorText();
  EXPECT_TRUE(readOne(handshaking).isGood());
  close(silentOld);
  close(silentNew);
}

// Case: one address fills the table and keeps its connections busier than a newcomer from
// another address, whose handshake waits on its user. The flood's next connection costs the
// flood one of its own, not the newcomer its channel.
TEST(UaHardening, fullConnectionTable_makesRoomFromTheAddressHoldingTheMost) {
  UaServerConfig c = loopbackConfig(28514);
  c.limits.maxConnections = 3;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClientOptions o;
  o.localAddress = "127.0.0.2";
  UaClient newcomer(o);
  ASSERT_TRUE(newcomer.openChannel(loopbackUrl(28514)).isGood()) << newcomer.errorText();
  std::this_thread::sleep_for(50ms);
  const int flood[2] = {rawConnect(28514), rawConnect(28514)};
  for (int fd : flood) {
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAllBytes(fd, "H"));  // a Hello begun: busier than the newcomer
    std::this_thread::sleep_for(30ms);
  }
  const int third = rawConnect(28514);
  ASSERT_GE(third, 0);
  EXPECT_EQ(errorIn(readUntilClosed(flood[0], 2000ms)), StatusCode(Status::BadTcpServerTooBusy));
  ASSERT_TRUE(newcomer.createAndActivateSession().isGood()) << newcomer.errorText();
  EXPECT_TRUE(readOne(newcomer).isGood());
  for (int fd : {flood[0], flood[1], third}) close(fd);
}
