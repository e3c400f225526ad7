#include "bench/UaAbuseAttacks.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <memory>
#include <thread>

#include "server/toolkit/ua/security/Crypto.h"
#include "server/toolkit/ua/security/SecurityPolicy.h"
#include "tests/ua/RawWrite.h"

namespace zentarc::bench::abuse {

using namespace zentarc::ua;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

UaClientOptions Target::trusted() const {
  UaClientOptions o;
  o.securityPolicy = "Basic256Sha256";
  o.securityMode = MessageSecurityMode::Sign;
  o.certificate = certificate;
  o.privateKey = key;
  o.applicationUri = applicationUri;
  o.timeout = 10s;
  return o;
}

void pause(const std::atomic<bool>& stop, std::chrono::milliseconds d) {
  const auto end = SteadyClock::now() + d;
  while (!stop && SteadyClock::now() < end) std::this_thread::sleep_for(std::min(d, 20ms));
}

namespace {

ReadValueId valueOf(const std::string& tag) {
  ReadValueId r;
  r.nodeId = NodeId(1, tag);
  r.attributeId = static_cast<uint32_t>(AttributeId::Value);
  return r;
}

// A plain TCP connection from `from` (empty: any address); -1 when refused.
int rawConnect(int port, const std::string& from = "") {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (!from.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Whether the server closed the connection (nothing read is consumed beyond one byte).
bool closedByServer(int fd) {
  char b;
  const ssize_t n = recv(fd, &b, 1, MSG_DONTWAIT | MSG_PEEK);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

bool keptUp(UaClient& c, const Target& t, Tally& tally) {
  if (c.connected()) return true;
  if (c.connect(t.url).isGood()) return true;
  ++tally.refused;
  return false;
}

// ---- no credentials: channels without security --------------------------------------------

// GetEndpoints with an endpoint URL of 15.9 MB.
void hugeEndpointUrls(const Target& t, int index, const std::atomic<bool>& stop, Tally& tally) {
  GetEndpointsRequest req;
  req.endpointUrl = "opc.tcp://" + std::string(15'900'000, 'h');
  UaClientOptions o;
  o.localAddress = "127.0.1." + std::to_string(1 + index % 250);
  o.timeout = 5s;
  while (!stop) {
    UaClient c(o);
    if (!c.openChannel(t.url).isGood()) {
      pause(stop, 100ms);
      continue;
    }
    GetEndpointsResponse resp;
    ++tally.tries;
    if (c.call(req, resp).isBad()) ++tally.refused;
    if (!c.connected()) ++tally.cut;
  }
}

// Five channels in turn, each sending the first chunks of a large Read and of a large
// GetEndpoints, never the last.
void partialMessages(const Target& t, int index, const std::atomic<bool>& stop, Tally& tally) {
  UaClientOptions o;
  o.localAddress = "127.0.2." + std::to_string(1 + index % 250);
  std::deque<std::unique_ptr<UaClient>> channels;
  uint32_t requestId = 1;
  while (!stop) {
    while (channels.size() < 5) {
      channels.push_back(std::make_unique<UaClient>(o));
      if (!channels.back()->openChannel(t.url).isGood()) {
        channels.pop_back();
        pause(stop, 100ms);
        break;
      }
    }
    if (channels.empty()) continue;
    std::unique_ptr<UaClient> c = std::move(channels.front());
    channels.pop_front();
    const ChannelSecurityToken tok = c->securityToken();
    for (uint32_t type : {uint32_t{Id::ReadRequest}, uint32_t{GetEndpointsRequest::kEncodingId}}) {
      std::string body;
      Encoder e(body);
      e.write(NodeId(0, type));
      body.append(60000, 'x');
      std::string chunks;
      for (uint32_t seq = 2; seq < 4; ++seq)
        appendPlainChunk(chunks, "MSG", 'C', tok.channelId, tok.tokenId, seq, requestId, seq == 2 ? body : std::string(60000, 'y'));
      ++requestId;
      ++tally.tries;
      if (send(c->socketFd(), chunks.data(), chunks.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <= 0) break;
    }
    pause(stop, 20ms);
    if (closedByServer(c->socketFd())) ++tally.cut;
    else channels.push_back(std::move(c));
  }
}

// Connections that say nothing, 150 at a time: more than the table holds.
void silentConnections(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  std::vector<int> fds;
  while (!stop) {
    for (auto it = fds.begin(); it != fds.end();) {
      if (closedByServer(*it)) {
        close(*it);
        it = fds.erase(it);
        ++tally.cut;
      } else {
        ++it;
      }
    }
    while (fds.size() < 150 && !stop) {
      ++tally.tries;
      const int fd = rawConnect(t.port);
      if (fd < 0) break;
      fds.push_back(fd);
    }
    pause(stop, 100ms);
  }
  for (int fd : fds) close(fd);
}

// 2,400 connections a second, each gone after 40 ms.
void connectionChurn(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  std::deque<std::pair<SteadyClock::time_point, int>> open;
  auto next = SteadyClock::now();
  while (!stop) {
    const auto now = SteadyClock::now();
    while (!open.empty() && now - open.front().first > 40ms) {
      close(open.front().second);
      open.pop_front();
    }
    for (; next <= now; next += std::chrono::microseconds(417)) {
      ++tally.tries;
      const int fd = rawConnect(t.port);
      if (fd >= 0) open.emplace_back(now, fd);
      else ++tally.refused;
    }
    std::this_thread::sleep_for(1ms);
  }
  for (auto& [when, fd] : open) close(fd);
}

// Untrusted certificates, a new one each time: the rejected folder and the log must cope.
void unknownCertificates(const Target& t, int index, const std::atomic<bool>& stop, Tally& tally) {
  for (long n = 0; !stop; ++n) {
    CertificateRequest r;
    r.commonName = "flood" + std::to_string(index) + "-" + std::to_string(n);
    r.applicationUri = "urn:bench:" + r.commonName;
    UaClientOptions o = t.trusted();
    o.certificate = Certificate::makeSelfSigned(r, t.key);
    o.applicationUri = r.applicationUri;
    UaClient c(o);
    ++tally.tries;
    if (c.connect(t.url).isBad()) ++tally.refused;
  }
}

// ---- a trusted application, anonymous ---------------------------------------------------------

// 100,000 monitored items with queues of 1,000 on values that change every 100 ms, and never
// a Publish.
void longQueuesWithoutPublish(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  UaClient c(t.trusted());
  while (!stop) {
    if (!keptUp(c, t, tally)) {
      pause(stop, 500ms);
      continue;
    }
    CreateSubscriptionRequest cs;
    cs.requestedPublishingInterval = 1000;
    CreateSubscriptionResponse csr;
    if (c.call(cs, csr).isBad()) {
      ++tally.refused;
      pause(stop, 500ms);
      continue;
    }
    for (int first = 0; first < 100000 && !stop && c.connected(); first += 2000) {
      CreateMonitoredItemsRequest r;
      r.subscriptionId = csr.subscriptionId;
      for (int i = first; i < first + 2000; ++i) {
        MonitoredItemCreateRequest m;
        m.itemToMonitor = valueOf("T" + std::to_string(i % t.tags));
        m.requestedParameters.samplingInterval = 100;
        m.requestedParameters.queueSize = 1000;
        r.itemsToCreate.push_back(m);
      }
      CreateMonitoredItemsResponse resp;
      tally.tries += 2000;
      if (c.call(r, resp).isBad()) tally.refused += 2000;
      for (const auto& res : resp.results) tally.refused += res.statusCode.isBad() ? 1 : 0;
      for (const auto& res : resp.results) tally.cut += res.statusCode.isGood() && res.revisedQueueSize < 1000 ? 1 : 0;
    }
    // Holds on without a Publish; a read now and then keeps the session.
    while (!stop && c.connected()) {
      pause(stop, 5000ms);
      std::vector<DataValue> out;
      (void)c.read({valueOf("T0")}, out, 1e9);
    }
  }
}

// ActivateSession with an encrypted password of 60,000 RSA blocks.
void hugePasswords(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  const SecurityPolicy& policy = *securityPolicyByName("Basic256Sha256");
  const ExtensionObject token = toExtensionObject(UserNameIdentityToken{
      "username", "operator", ByteString{crypto::randomBytes(60000 * 256)}, policy.asymmetricEncryptionUri});
  UaClient c(t.trusted());
  while (!stop) {
    if (!keptUp(c, t, tally)) {
      pause(stop, 500ms);
      continue;
    }
    ++tally.tries;
    if (c.activateSession(token, c.lastServerNonce()).isBad()) ++tally.refused;
    if (!c.connected()) ++tally.cut;
  }
}

// Renewals of the security token 64 KB large, each needing a new channel after its refusal.
void largeRenewals(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  while (!stop) {
    UaClient c(t.trusted());
    if (!c.connect(t.url).isGood()) {
      ++tally.refused;
      pause(stop, 200ms);
      continue;
    }
    c.setAuditEntryId(std::string(48000, 'a'));
    ++tally.tries;
    if (c.renewToken().isBad()) ++tally.refused;
    if (!c.connected()) ++tally.cut;
  }
}

// 16 connections, each with 32 device Reads of 16 large tags (2 MB answers), never read.
void unreadDeviceReads(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  ReadRequest r;
  r.maxAge = 0;
  for (int i = 0; i < 16; ++i) r.nodesToRead.push_back(valueOf("Big" + std::to_string(i)));
  std::vector<std::unique_ptr<UaClient>> conns;
  while (!stop) {
    conns.clear();
    for (int i = 0; i < 16 && !stop; ++i) {
      conns.push_back(std::make_unique<UaClient>(t.trusted()));
      if (!conns.back()->connect(t.url).isGood()) {
        ++tally.refused;
        conns.pop_back();
        continue;
      }
      for (int k = 0; k < 32; ++k) {
        ++tally.tries;
        if (conns.back()->post(r).isBad()) break;
      }
    }
    pause(stop, 5000ms);
    for (auto& c : conns) tally.cut += closedByServer(c->socketFd()) ? 1 : 0;
    for (auto& c : conns) shutdown(c->socketFd(), SHUT_RDWR);
  }
}

// Cache reads of 1,000 values pipelined, their answers never read.
void unreadAnswers(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  ReadRequest r;
  r.maxAge = 1e9;
  for (int i = 0; i < 1000; ++i) r.nodesToRead.push_back(valueOf("T" + std::to_string(i)));
  while (!stop) {
    UaClientOptions o = t.trusted();
    o.timeout = 200ms;
    UaClient c(o);
    if (!c.connect(t.url).isGood()) {
      ++tally.refused;
      pause(stop, 200ms);
      continue;
    }
    const auto end = SteadyClock::now() + 5s;
    while (!stop && SteadyClock::now() < end && c.connected()) {
      ++tally.tries;
      if (c.post(r).isBad()) pause(stop, 100ms);
    }
    ++tally.cut;
    shutdown(c.socketFd(), SHUT_RDWR);
  }
}

// Sessions until refused (99 wanted), some dropped without closing them now and then.
void manySessions(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  std::vector<std::unique_ptr<UaClient>> held;
  UaClientOptions o = t.trusted();
  o.requestedSessionTimeoutMs = 3'600'000;
  while (!stop) {
    while (held.size() < 99 && !stop) {
      held.push_back(std::make_unique<UaClient>(o));
      ++tally.tries;
      if (!held.back()->connect(t.url).isGood()) {
        ++tally.refused;
        held.pop_back();
        break;
      }
    }
    pause(stop, 2000ms);
    for (int i = 0; i < 10 && !held.empty(); ++i) {
      shutdown(held.back()->socketFd(), SHUT_RDWR);
      held.pop_back();
      ++tally.cut;
    }
  }
}

// Subscriptions until refused (500 wanted), over ten sessions.
void manySubscriptions(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  std::vector<std::unique_ptr<UaClient>> sessions;
  for (int i = 0; i < 10 && !stop; ++i) {
    sessions.push_back(std::make_unique<UaClient>(t.trusted()));
    if (!sessions.back()->connect(t.url).isGood()) sessions.pop_back();
  }
  for (auto& s : sessions)
    for (int k = 0; k < 50 && !stop; ++k) {
      CreateSubscriptionRequest cs;
      cs.requestedPublishingInterval = 1000;
      CreateSubscriptionResponse csr;
      ++tally.tries;
      if (s->call(cs, csr).isBad()) ++tally.refused;
    }
  while (!stop) {
    pause(stop, 5000ms);
    for (auto& s : sessions) {
      std::vector<DataValue> out;
      (void)s->read({valueOf("T0")}, out, 1e9);
    }
  }
}

// 32 sessions, each with 32 device reads of slow tags under way at all times.
void deviceOperations(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  std::vector<std::unique_ptr<UaClient>> sessions;
  for (int i = 0; i < 32 && !stop; ++i) {
    sessions.push_back(std::make_unique<UaClient>(t.trusted()));
    if (!sessions.back()->connect(t.url).isGood()) sessions.pop_back();
  }
  ReadRequest r;
  r.maxAge = 0;
  while (!stop) {
    for (auto& s : sessions)
      for (int k = 0; k < 32; ++k) {
        r.nodesToRead = {valueOf("Slow" + std::to_string(k))};
        ++tally.tries;
        (void)s->post(r);
      }
    // A last read gathers the answers of the others on its way.
    for (auto& s : sessions) {
      std::vector<DataValue> out;
      if (s->read({valueOf("T0")}, out, 1e9).isBad()) ++tally.refused;
    }
  }
}

// Password guesses for "operator", as fast as the server takes them.
void passwordGuessing(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  UaClientOptions o = t.trusted();
  o.userName = "operator";
  for (long n = 0; !stop; ++n) {
    o.password = "guess-" + std::to_string(n);
    UaClient c(o);
    ++tally.tries;
    if (c.connect(t.url).isBad()) ++tally.refused;
  }
}

// Writes of a million-element Null array (1 MB each).
void nullArrays(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  test::RawWrite attack = test::nullArrayWrite();
  UaClient c(t.trusted());
  while (!stop) {
    if (!keptUp(c, t, tally)) {
      pause(stop, 200ms);
      continue;
    }
    WriteResponse resp;
    ++tally.tries;
    if (c.call(attack, resp).isBad()) ++tally.refused;
    if (!c.connected()) ++tally.cut;
    pause(stop, 50ms);
  }
}

// CreateSession with 1 MB session names, never activated, asking for an hour.
void unactivatedSessions(const Target& t, int, const std::atomic<bool>& stop, Tally& tally) {
  UaClient c(t.trusted());
  CreateSessionRequest cs;
  cs.requestedSessionTimeout = 3'600'000;
  cs.sessionName = std::string(1000000, 's');
  while (!stop) {
    if (!c.connected()) {
      // A session of our own first: the channel stays while it carries one.
      if (!keptUp(c, t, tally)) {
        pause(stop, 200ms);
        continue;
      }
    }
    CreateSessionResponse csr;
    ++tally.tries;
    if (c.call(cs, csr).isBad()) ++tally.refused;
    if (!c.connected()) ++tally.cut;
    pause(stop, 10ms);
  }
}

}  // namespace

const std::vector<AttackKind>& attacks() {
  static const std::vector<AttackKind> all = {
      {"monitored items with long queues, no Publish", longQueuesWithoutPublish, 1},
      {"GetEndpoints with a 15.9 MB URL (None)", hugeEndpointUrls, 4},
      {"passwords of 60,000 RSA blocks", hugePasswords, 1},
      {"OpenSecureChannel renewals of 64 KB", largeRenewals, 1},
      {"unread device reads of large tags", unreadDeviceReads, 1},
      {"sessions until refused", manySessions, 1},
      {"subscriptions until refused", manySubscriptions, 1},
      {"device operations under way", deviceOperations, 1},
      {"password guessing", passwordGuessing, 2},
      {"partial messages on None channels", partialMessages, 1},
      {"unknown certificates", unknownCertificates, 1},
      {"connection churn (2,400/s)", connectionChurn, 1},
      {"silent connections", silentConnections, 1},
      {"null-array writes (1 MB)", nullArrays, 1},
      {"unactivated sessions (1 MB names)", unactivatedSessions, 1},
      {"pipelined Reads never read", unreadAnswers, 2},
  };
  return all;
}

}  // namespace zentarc::bench::abuse
