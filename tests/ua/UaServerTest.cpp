// The server over real loopback sockets with our client: discovery, sessions, dispatch,
// deferred answers, chunking, limits, shutdown and hostile input.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/UaServer.h"
#include "tests/support/WaitFor.h"
#include "tests/ua/RawUa.h"

using namespace zentarc::ua;
using namespace zentarc::ua::test;
using namespace std::chrono_literals;

namespace {

// A Read handler that answers every node with its own index.
void addEchoRead(UaServer& server) {
  server.services().add<ReadRequest, ReadResponse>(
      [](RequestContext& ctx, ReadRequest& req, const Reply<ReadResponse>& reply) {
        EXPECT_TRUE(ctx.session);
        ReadResponse resp;
        for (size_t i = 0; i < req.nodesToRead.size(); ++i)
          resp.results.push_back(DataValue{Variant::of(static_cast<uint32_t>(i)), {}, {}, {}, {}, {}});
        reply(std::move(resp));
      });
}

using zentarc::testsupport::waitFor;

struct HistoryReadStub {  // a service we do not serve
  static constexpr uint32_t kEncodingId = 664;
  RequestHeader requestHeader;
  ZUA_FIELDS(requestHeader)
};

}  // namespace

TEST(UaServer, discovery_endpointsAndServers) {
  UaServer server(loopbackConfig(28400));
  ASSERT_TRUE(server.start().isGood()) << server.errorText();
  UaClient client;
  ASSERT_TRUE(client.openChannel(loopbackUrl(28400)).isGood()) << client.errorText();
  GetEndpointsRequest ge;
  ge.endpointUrl = loopbackUrl(28400);
  GetEndpointsResponse ger;
  ASSERT_TRUE(client.call(ge, ger).isGood());
  ASSERT_EQ(ger.endpoints.size(), 1u);
  EXPECT_EQ(ger.endpoints[0].endpointUrl, loopbackUrl(28400));
  EXPECT_EQ(ger.endpoints[0].securityPolicyUri, kSecurityPolicyNone);
  EXPECT_EQ(ger.endpoints[0].securityMode, MessageSecurityMode::None);
  ASSERT_EQ(ger.endpoints[0].userIdentityTokens.size(), 1u);
  EXPECT_EQ(ger.endpoints[0].userIdentityTokens[0].tokenType, UserTokenType::Anonymous);
  FindServersRequest fs;
  FindServersResponse fsr;
  ASSERT_TRUE(client.call(fs, fsr).isGood());
  ASSERT_EQ(fsr.servers.size(), 1u);
  EXPECT_EQ(fsr.servers[0].applicationUri, server.config().applicationUri);
  fs.serverUris = {"urn:someone-else"};
  ASSERT_TRUE(client.call(fs, fsr).isGood());
  EXPECT_TRUE(fsr.servers.empty());
}

TEST(UaServer, createSession_acceptsCertificatesAndRevisesTimeouts) {
  UaServer server(loopbackConfig(28401));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient client;
  ASSERT_TRUE(client.openChannel(loopbackUrl(28401)).isGood());
  ReadRequest read;
  read.nodesToRead.resize(2);
  ReadResponse rr;
  EXPECT_EQ(client.call(read, rr), StatusCode(Status::BadSessionIdInvalid));  // no session at all
  CreateSessionRequest cs;
  cs.requestedSessionTimeout = 30000;
  cs.clientCertificate = ByteString{std::string(600, '\x30')};  // accepted even with None
  CreateSessionResponse csr;
  ASSERT_TRUE(client.call(cs, csr).isGood());
  EXPECT_FALSE(csr.serverEndpoints.empty());
  EXPECT_EQ(csr.revisedSessionTimeout, 30000);
  cs.requestedSessionTimeout = 1e12;  // clamped to the maximum
  ASSERT_TRUE(client.call(cs, csr).isGood());
  EXPECT_EQ(csr.revisedSessionTimeout, server.config().limits.maxSessionTimeoutMs);
  UaClient other;
  ASSERT_TRUE(other.connect(loopbackUrl(28401)).isGood()) << other.errorText();
  ASSERT_TRUE(other.call(read, rr).isGood());
  EXPECT_EQ(rr.results.size(), 2u);
  EXPECT_EQ(server.sessionCount(), 3u);
}

TEST(UaServer, unactivatedSessionForeignChannelAndUserNames_areRefused) {
  UaServer server(loopbackConfig(28402));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient a;
  ASSERT_TRUE(a.connect(loopbackUrl(28402)).isGood());
  UaClient b;
  ASSERT_TRUE(b.openChannel(loopbackUrl(28402)).isGood());
  CreateSessionRequest cs;
  CreateSessionResponse csr;
  ASSERT_TRUE(b.call(cs, csr).isGood());
  b.setAuthenticationToken(csr.authenticationToken);
  std::vector<DataValue> out;
  EXPECT_EQ(b.read(std::vector<ReadValueId>(1), out), StatusCode(Status::BadSessionNotActivated));
  ActivateSessionRequest as;
  as.userIdentityToken = toExtensionObject(UserNameIdentityToken{"u", "operator", ByteString{"pw"}, ""});
  ActivateSessionResponse asr;
  EXPECT_EQ(b.call(as, asr), StatusCode(Status::BadIdentityTokenInvalid));
  EXPECT_EQ(b.read(std::vector<ReadValueId>(1), out), StatusCode(Status::BadSessionNotActivated));
  // a's token presented on b's channel
  b.setAuthenticationToken(a.authenticationToken());
  EXPECT_EQ(b.read(std::vector<ReadValueId>(1), out), StatusCode(Status::BadSecureChannelIdInvalid));
  b.setAuthenticationToken(NodeId(1, String("forged")));
  EXPECT_EQ(b.read(std::vector<ReadValueId>(1), out), StatusCode(Status::BadSessionIdInvalid));
  // Activation with the anonymous token succeeds and the session serves.
  b.setAuthenticationToken(csr.authenticationToken);
  as.userIdentityToken = toExtensionObject(AnonymousIdentityToken{"anonymous"});
  EXPECT_TRUE(b.call(as, asr).isGood());
  EXPECT_TRUE(b.read(std::vector<ReadValueId>(1), out).isGood());
  EXPECT_TRUE(a.read(std::vector<ReadValueId>(1), out).isGood());
}

TEST(UaServer, closeSession_firesHooksAndCounts) {
  UaServer server(loopbackConfig(28403));
  std::atomic<int> created{0}, closed{0};
  std::atomic<bool> lastDelete{false};
  UaServerHooks hooks;
  hooks.sessionCreated = [&](Session&) { ++created; };
  hooks.sessionClosed = [&](Session&, bool del) {
    lastDelete = del;
    ++closed;
  };
  server.setHooks(hooks);
  ASSERT_TRUE(server.start().isGood());
  UaClient client;
  ASSERT_TRUE(client.connect(loopbackUrl(28403)).isGood());
  EXPECT_EQ(created, 1);
  EXPECT_EQ(server.sessionCount(), 1u);
  client.disconnect(false);
  EXPECT_TRUE(waitFor([&] { return closed == 1; }));
  EXPECT_FALSE(lastDelete);
  EXPECT_EQ(server.sessionCount(), 0u);
}

TEST(UaServer, limits_sessionsAndConnections) {
  UaServerConfig c = loopbackConfig(28404);
  c.limits.maxSessions = 2;
  c.limits.maxConnections = 3;
  UaServer server(c);
  ASSERT_TRUE(server.start().isGood());
  UaClient a, b, d;
  ASSERT_TRUE(a.connect(loopbackUrl(28404)).isGood());
  ASSERT_TRUE(b.connect(loopbackUrl(28404)).isGood());
  EXPECT_EQ(d.connect(loopbackUrl(28404)), StatusCode(Status::BadTooManySessions));
  // The fourth connection finds the table full: d's channel, which has no session, goes.
  UaClient e;
  EXPECT_TRUE(e.openChannel(loopbackUrl(28404)).isGood());
  EXPECT_EQ(errorIn(readUntilClosed(d.socketFd())), StatusCode(Status::BadTcpServerTooBusy));
  EXPECT_EQ(server.sessionCount(), 2u);
}

TEST(UaServer, sessionTimeout_closesTheSession) {
  UaServerConfig c = loopbackConfig(28405);
  c.limits.minSessionTimeoutMs = 200;
  UaServer server(c);
  std::atomic<int> closed{0};
  UaServerHooks hooks;
  hooks.sessionClosed = [&](Session&, bool del) {
    EXPECT_TRUE(del);
    ++closed;
  };
  server.setHooks(hooks);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClientOptions o;
  o.requestedSessionTimeoutMs = 200;
  UaClient client(o);
  ASSERT_TRUE(client.connect(loopbackUrl(28405)).isGood());
  EXPECT_EQ(client.session().revisedSessionTimeout, 200);
  EXPECT_TRUE(waitFor([&] { return closed == 1; }));
  std::vector<DataValue> out;
  EXPECT_EQ(client.read({ReadValueId{}}, out), StatusCode(Status::BadSessionIdInvalid));
}

TEST(UaServer, replies_mayComeLaterFromAnotherThread) {
  UaServer server(loopbackConfig(28406));
  std::vector<std::thread> workers;
  server.services().add<ReadRequest, ReadResponse>(
      [&workers](RequestContext&, ReadRequest& req, const Reply<ReadResponse>& reply) {
        size_t n = req.nodesToRead.size();
        workers.emplace_back([reply, n] {
          std::this_thread::sleep_for(50ms);
          ReadResponse resp;
          resp.results.resize(n);
          reply(std::move(resp));
          reply(ReadResponse{});  // a second answer is ignored
        });
      });
  ASSERT_TRUE(server.start().isGood());
  UaClient client;
  ASSERT_TRUE(client.connect(loopbackUrl(28406)).isGood());
  std::vector<DataValue> out;
  ASSERT_TRUE(client.read(std::vector<ReadValueId>(3), out).isGood()) << client.errorText();
  EXPECT_EQ(out.size(), 3u);
  ASSERT_TRUE(client.read(std::vector<ReadValueId>(1), out).isGood()) << client.errorText();
  for (auto& t : workers) t.join();
}

TEST(UaServer, largeRequestsAndResponses_travelInChunks) {
  UaServer server(loopbackConfig(28407));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClientOptions o;
  o.receiveBufferSize = 8192;
  o.sendBufferSize = 8192;
  UaClient client(o);
  ASSERT_TRUE(client.connect(loopbackUrl(28407)).isGood());
  std::vector<ReadValueId> nodes(20000);
  for (size_t i = 0; i < nodes.size(); ++i) {
    nodes[i].nodeId.namespaceIndex = 1;
    nodes[i].nodeId.identifier = "Tag" + std::to_string(i);
  }
  std::vector<DataValue> out;
  ASSERT_TRUE(client.read(nodes, out).isGood()) << client.errorText();
  ASSERT_EQ(out.size(), 20000u);
  EXPECT_EQ(*out[19999].value->get<uint32_t>(), 19999u);
}

TEST(UaServer, unknownService_isAFaultAndTheChannelStays) {
  UaServer server(loopbackConfig(28408));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient client;
  ASSERT_TRUE(client.connect(loopbackUrl(28408)).isGood());
  HistoryReadStub req;
  ReadResponse resp;
  EXPECT_EQ(client.call(req, resp), StatusCode(Status::BadServiceUnsupported));
  std::vector<DataValue> out;
  EXPECT_TRUE(client.read(std::vector<ReadValueId>(1), out).isGood());
}

TEST(UaServer, hostileInput_closesThatConnectionOnly) {
  UaServer server(loopbackConfig(28409));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient good;
  ASSERT_TRUE(good.connect(loopbackUrl(28409)).isGood());
  {
    int fd = rawConnect(28409);
    ASSERT_GE(fd, 0);
    std::string junk = "MSGF\xff\xff\xff\x7f";
    send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
    EXPECT_EQ(errorIn(readUntilClosed(fd)), StatusCode(Status::BadTcpMessageTooLarge));
    close(fd);
  }
  {
    // Valid Hello and channel, then a MSG whose body is not a request.
    UaClient raw;
    ASSERT_TRUE(raw.openChannel(loopbackUrl(28409)).isGood());
    std::string out;
    uint32_t seq = 2;
    appendSymmetricChunks(out, "MSG", raw.securityToken().channelId, raw.securityToken().tokenId,
                          seq, 5, std::string("\x07\x00", 2), ChunkLimits{});
    send(raw.socketFd(), out.data(), out.size(), MSG_NOSIGNAL);
    EXPECT_EQ(errorIn(readUntilClosed(raw.socketFd())), StatusCode(Status::BadDecodingError));
  }
  {
    int fd = rawConnect(28409);
    close(fd);  // connect and vanish
  }
  std::vector<DataValue> out;
  EXPECT_TRUE(good.read(std::vector<ReadValueId>(1), out).isGood());
  EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 1; }));
}

TEST(UaServer, shutdownAllClients_announcesThenClosesEverything) {
  UaServer server(loopbackConfig(28410));
  std::atomic<int> closed{0};
  std::string reason;
  std::atomic<uint32_t> seconds{0};
  UaServerHooks hooks;
  hooks.shutdownStarted = [&](const std::string& r, uint32_t s) {
    reason = r;
    seconds = s;
  };
  hooks.sessionClosed = [&](Session&, bool) { ++closed; };
  server.setHooks(hooks);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient a, b;
  ASSERT_TRUE(a.connect(loopbackUrl(28410)).isGood());
  ASSERT_TRUE(b.connect(loopbackUrl(28410)).isGood());
  std::thread t([&] { server.shutdownAllClients("maintenance", 300ms); });
  EXPECT_TRUE(waitFor([&] { return seconds == 1; }));
  // During the grace period clients are still served, new sessions are not.
  std::vector<DataValue> out;
  EXPECT_TRUE(a.read(std::vector<ReadValueId>(1), out).isGood());
  UaClient late;
  EXPECT_EQ(late.connect(loopbackUrl(28410)), StatusCode(Status::BadShutdown));
  t.join();
  EXPECT_EQ(reason, "maintenance");
  EXPECT_EQ(closed, 2);
  EXPECT_EQ(server.sessionCount(), 0u);
  EXPECT_EQ(b.read(std::vector<ReadValueId>(1), out), StatusCode(Status::BadShutdown));
}

TEST(UaServer, start_reportsBadUrlBusyPortAndSecurityWithoutCertificate) {
  UaServerConfig bad = loopbackConfig(28411);
  bad.endpointUrl = "http://127.0.0.1:28411";
  UaServer s1(bad);
  EXPECT_EQ(s1.start(), StatusCode(Status::BadTcpEndpointUrlInvalid));
  EXPECT_NE(s1.errorText().find("invalid endpoint URL"), std::string::npos);
  // A configuration left as it comes is secure, and a secure server needs its certificate.
  UaServerConfig plain;
  plain.endpointUrl = loopbackUrl(28411);
  EXPECT_FALSE(plain.security.offersNone());
  EXPECT_EQ(plain.security.anonymous, AnonymousAccess::Read);
  UaServer s0(plain);
  EXPECT_EQ(s0.start(), StatusCode(Status::BadConfigurationError));
  EXPECT_NE(s0.errorText().find("no certificate"), std::string::npos);
  UaServer s2(loopbackConfig(28411));
  ASSERT_TRUE(s2.start().isGood());
  UaServer s3(loopbackConfig(28411));
  EXPECT_EQ(s3.start(), StatusCode(Status::BadResourceUnavailable));
  EXPECT_NE(s3.errorText().find("28411"), std::string::npos);
}

TEST(UaServer, sessionOutlivesItsConnection_andMovesToANewChannel) {
  UaServer server(loopbackConfig(28412));
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClient first;
  ASSERT_TRUE(first.connect(loopbackUrl(28412)).isGood());
  NodeId token = first.authenticationToken();
  shutdown(first.socketFd(), SHUT_RDWR);  // the network drops; no CloseSession
  EXPECT_TRUE(waitFor([&] { return server.connectionCount() == 0; }));
  EXPECT_EQ(server.sessionCount(), 1u);
  UaClient second;
  ASSERT_TRUE(second.openChannel(loopbackUrl(28412)).isGood());
  second.setAuthenticationToken(token);
  ActivateSessionRequest as;
  as.userIdentityToken = toExtensionObject(AnonymousIdentityToken{"anonymous"});
  ActivateSessionResponse asr;
  ASSERT_TRUE(second.call(as, asr).isGood());
  std::vector<DataValue> out;
  EXPECT_TRUE(second.read(std::vector<ReadValueId>(2), out).isGood());
  EXPECT_EQ(server.sessionCount(), 1u);
}

TEST(UaServer, clientRenewsItsTokenAndKeepsWorking) {
  UaServerConfig c = loopbackConfig(28413);
  c.limits.minTokenLifetimeMs = 400;
  UaServer server(c);
  addEchoRead(server);
  ASSERT_TRUE(server.start().isGood());
  UaClientOptions o;
  o.requestedTokenLifetimeMs = 400;
  UaClient client(o);
  ASSERT_TRUE(client.connect(loopbackUrl(28413)).isGood());
  uint32_t firstToken = client.securityToken().tokenId;
  EXPECT_EQ(client.securityToken().revisedLifetime, 400u);
  std::vector<DataValue> out;
  for (int i = 0; i < 8; ++i) {  // 8 x 100 ms: two lifetimes
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(client.read(std::vector<ReadValueId>(1), out).isGood()) << client.errorText();
  }
  EXPECT_NE(client.securityToken().tokenId, firstToken);
  EXPECT_EQ(server.connectionCount(), 1u);
}
