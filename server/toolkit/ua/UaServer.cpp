#include "server/toolkit/ua/UaServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "server/toolkit/ua/Discovery.h"
#include "server/toolkit/ua/EndpointUrl.h"
#include "server/toolkit/ua/ServerConnection.h"
#include "server/toolkit/ua/SessionManager.h"

namespace zentarc::ua {

namespace {
// Out of file descriptors: accepting is paused this long instead of spinning on the socket.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
// A connection that has sent us nothing of what we queued for this long does not read.
constexpr auto kNotReading = std::chrono::milliseconds(1000);
// Freed memory goes back to the system once this much has gone since the last time.
constexpr size_t kTrimAfterBytes = 16u * 1024 * 1024;

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// "address:port" of the other end, for the log.
std::string peerOf(int fd) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "?";
  char host[INET6_ADDRSTRLEN] = "?";
  uint16_t port = 0;
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    inet_ntop(AF_INET, &in->sin_addr, host, sizeof host);
    port = ntohs(in->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<const sockaddr_in6*>(&a);
    inet_ntop(AF_INET6, &in->sin6_addr, host, sizeof host);
    port = ntohs(in->sin6_port);
  }
  return std::string(host) + ":" + std::to_string(port);
}

// The status of a ServiceFault body; Good for any other answer.
StatusCode faultIn(std::string_view body) {
  try {
    Decoder d(body.data(), body.size());
    NodeId type;
    d.read(type);
    if (!type.isNumeric(ServiceFault::kEncodingId)) return Status::Good;
    ResponseHeader h;
    d.read(h);
    return h.serviceResult;
  } catch (const UaError&) {
    return Status::Good;
  }
}
}  // namespace

class UaServer::Impl : public ConnectionHost, public OutputBudget {
 public:
  explicit Impl(UaServerConfig cfg)
      : config(std::move(cfg)),
        counters(std::make_shared<ServerCounters>()),
        sessions(config, counters),
        pendingInput(config.limits.maxPendingInputBytes, config.limits.maxPendingInputPerAddress) {
    registerDiscoveryServices(table, config);
    sessions.registerServices(table);
    sessions.setConnectionCheck([this](uint64_t id) {
      auto it = conns.find(id);
      return it != conns.end() && !it->second.protocol->closing();
    });
  }

  ~Impl() override { stop(); }

  // ----- ResponseSink shared with Replies; survives the Impl only as an empty shell.
  class Sink : public ResponseSink {
   public:
    explicit Sink(Impl* impl) : impl_(impl) {}
    void sendResponse(uint64_t connectionId, uint32_t requestId, std::string body) override {
      std::lock_guard lock(m_);
      if (!impl_) return;
      const StatusCode fault = faultIn(body);
      if (fault.isBad()) {
        ++impl_->counters->rejectedRequests;
        if (securityRefusal(fault)) ++impl_->counters->securityRejectedRequests;
      }
      impl_->queueResponse(connectionId, requestId, std::move(body));
    }
    void detach() {
      std::lock_guard lock(m_);
      impl_ = nullptr;
    }

   private:
    std::mutex m_;
    Impl* impl_;
  };

  struct Conn {
    int fd = -1;
    SteadyTime sessionSeen{};  // accepted, or last seen carrying an activated session
    SteadyTime lastInput{};    // accepted, or last sent us something
    SteadyTime lastOutput{};   // last took some of what we queued, or had nothing queued
    std::string address;       // whose share it counts against until its channel says
    bool broken = false;       // to be dropped without another word (send failed, output bounds)
    std::unique_ptr<ServerConnection> protocol;
    size_t backlog() const { return protocol->backlog(); }
    const std::string& client() const {
      const auto& ch = protocol->channel();
      return ch ? ch->client : address;
    }
  };

  UaServerConfig config;
  std::shared_ptr<ServerCounters> counters;
  ServiceTable table;
  SessionManager sessions;
  UaServerHooks hooks;
  std::string error;
  uint16_t boundPort = 0;

  int listenFd = -1;
  int wakeFd = -1;
  Heartbeat heartbeat;  // beats once per pass of the IO loop
  std::thread io;
  std::thread::id ioId;
  std::atomic<bool> running{false};
  std::atomic<size_t> sessionCountMirror{0};
  std::atomic<size_t> connectionCountMirror{0};
  std::atomic<size_t> queuedOutputMirror{0};
  std::atomic<uint64_t> longestTurnUs{0};
  std::atomic<size_t> pendingInputMirror{0};
  std::shared_ptr<Sink> sink;
  SteadyTime turnEnds{};
  bool postedLeft = false;  // posted work waits for the next turn

  std::mutex postMutex;
  std::vector<std::function<void()>> posted;

  SharedPool pendingInput;  // before conns: their partial messages give bytes back to it
  std::map<uint64_t, Conn> conns;  // by id: the order in which a turn takes them
  uint64_t resumeAfter = 0;        // the turn before ran out of time after this connection
  SteadyTime acceptPausedUntil{};
  uint64_t nextConnId = 1;
  uint32_t nextChannelId = 1;
  SteadyTime lastTick{};
  SteadyTime lastSessionSweep{};
  SteadyTime lastRevocationCheck{};
  // Answers under way (reserved by handlers), by client.
  std::unordered_map<std::string, size_t> reservedOutput;
  size_t reservedOutputTotal = 0;
  size_t heldSinceTrim = 0;  // the most held (input and output) since memory last went back
  SteadyTime lastTrim{};

  // ----- ConnectionHost
  SharedPool* inputBudget() override { return &pendingInput; }
  size_t requestLimit(uint32_t encodingId) override {
    switch (encodingId) {
      case CreateSessionRequest::kEncodingId: case ActivateSessionRequest::kEncodingId:
      case CloseSessionRequest::kEncodingId: case CancelRequest::kEncodingId:
        return config.limits.maxSessionRequestSize;
      default:
        return isDiscoveryRequest(encodingId) ? config.limits.maxDiscoveryMessageSize : 0;
    }
  }
  void securityEvent(const std::string& peer, const std::string& text, const std::string& key) override {
    sessions.securityEvent(peer, text, key);
  }
  uint32_t newChannelId() override {
    uint32_t id = nextChannelId++;
    if (nextChannelId == 0) nextChannelId = 1;
    return id;
  }

  void onServiceRequest(ServerConnection& c, uint32_t requestId, std::string body) override {
    ReplyBase reply(sink, c.id(), requestId, 0);
    Decoder d(body);
    NodeId type;
    RequestHeader header;
    try {
      d.read(type);
      Decoder peek = d;
      peek.read(header);
    } catch (const UaError&) {
      c.fail(Status::BadDecodingError, "undecodable request");
      return;
    }
    reply = ReplyBase(sink, c.id(), requestId, header.requestHandle);
    const ServiceTable::Entry* entry = type.isNumeric() && type.namespaceIndex == 0
                                           ? table.find(type.numericId())
                                           : nullptr;
    if (!entry) return reply.fault(Status::BadServiceUnsupported);
    const bool unsecured = !c.channel() || !c.channel()->secure();
    if (unsecured && !config.security.offersNone() && !isDiscoveryRequest(type.numericId()))
      return reply.fault(Status::BadSecurityPolicyRejected);
    RequestContext ctx;
    ctx.connectionId = c.id();
    ctx.channelId = c.channelId();
    ctx.requestId = requestId;
    ctx.requestHeader = header;
    ctx.channel = c.channel();
    if (entry->needs == ServiceTable::Needs::ActivatedSession) {
      StatusCode st = sessions.resolve(header, c.channelId(), ctx.session);
      if (!st.isGood()) return reply.fault(st);
    }
    try {
      entry->handler(ctx, d, reply);
    } catch (const UaError& e) {
      reply.fault(e.code());
    } catch (const std::bad_alloc&) {
      reply.fault(Status::BadOutOfMemory);
    } catch (const std::exception&) {
      reply.fault(Status::BadInternalError);
    }
    sessionCountMirror = sessions.count();
  }

  // Called by Replies from any thread.
  void queueResponse(uint64_t connectionId, uint32_t requestId, std::string body) {
    if (std::this_thread::get_id() == ioId) {
      deliver(connectionId, requestId, body);
      return;
    }
    post([this, connectionId, requestId, b = std::move(body)] { deliver(connectionId, requestId, b); });
  }

  void deliver(uint64_t connectionId, uint32_t requestId, std::string_view body) {
    auto it = conns.find(connectionId);
    if (it == conns.end()) return;
    it->second.protocol->sendResponse(requestId, body);
  }

  bool post(std::function<void()> fn) {
    {
      std::lock_guard lock(postMutex);
      if (!running) return false;
      posted.push_back(std::move(fn));
    }
    uint64_t one = 1;
    (void)!write(wakeFd, &one, sizeof one);
    return true;
  }

  StatusCode start() {
    for (const SecurityPolicy* p : config.security.policies)
      if (p->secure && !config.security.hasCertificate()) {
        error = std::string("security policy ") + p->name + " is offered but the server has no certificate";
        return Status::BadConfigurationError;
      }
    auto addr = parseEndpointUrl(config.endpointUrl);
    if (!addr) {
      error = "invalid endpoint URL \"" + config.endpointUrl + "\" (expected opc.tcp://host:port)";
      return Status::BadTcpEndpointUrlInvalid;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* res = nullptr;
    std::string port = std::to_string(addr->port);
    int rc = getaddrinfo(addr->host.c_str(), port.c_str(), &hints, &res);
    if (rc != 0 || !res) {
      error = "cannot resolve host \"" + addr->host + "\": " + gai_strerror(rc);
      return Status::BadTcpEndpointUrlInvalid;
    }
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(listenFd, res->ai_addr, res->ai_addrlen) != 0 || listen(listenFd, 64) != 0) {
      error = "cannot listen on " + addr->host + ":" + port + ": " + std::strerror(errno);
      freeaddrinfo(res);
      close(listenFd);
      listenFd = -1;
      return Status::BadResourceUnavailable;
    }
    freeaddrinfo(res);
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&bound), &len);
    boundPort = ntohs(bound.sin_port);
    setNonBlocking(listenFd);
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    sink = std::make_shared<Sink>(this);
    sessions.setPoster([this](std::function<void()> fn) { post(std::move(fn)); });
    sessions.setHooks(
        [this](Session& s) {
          if (hooks.sessionCreated) hooks.sessionCreated(s);
        },
        [this](Session& s, bool del) {
          if (hooks.sessionClosed) hooks.sessionClosed(s, del);
        });
    running = true;
    io = std::thread([this] { loop(); });
    return Status::Good;
  }

  void stop() {
    if (!io.joinable()) return;
    {
      std::lock_guard lock(postMutex);
      running = false;
    }
    uint64_t one = 1;
    (void)!write(wakeFd, &one, sizeof one);
    io.join();
    sink->detach();
    close(wakeFd);
    wakeFd = -1;
  }

  void loop() {
    ioId = std::this_thread::get_id();
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    while (running) {
      heartbeat.beat();
      fds.clear();
      ids.clear();
      fds.push_back({wakeFd, POLLIN, 0});
      const bool acceptPaused = std::chrono::steady_clock::now() < acceptPausedUntil;
      fds.push_back({acceptPaused ? -1 : listenFd, POLLIN, 0});
      bool workWaiting = false;
      for (auto& [id, c] : conns) {
        // Read only when what came before is handled; a client that leaves its answers
        // unread gets nothing read until it catches up.
        short ev = c.protocol->wantsInput() ? POLLIN : 0;
        if (c.backlog() > 0) ev |= POLLOUT;
        workWaiting |= !c.protocol->paused() && c.protocol->hasWaitingChunk();
        fds.push_back({c.fd, ev, 0});
        ids.push_back(id);
      }
      workWaiting |= postedLeft;
      int timeout = workWaiting ? 0 : static_cast<int>(std::max<uint32_t>(1, hooks.tickIntervalMs));
      int n = poll(fds.data(), fds.size(), timeout);
      if (n < 0 && errno != EINTR) break;
      const SteadyTime turnStart = std::chrono::steady_clock::now();
      turnEnds = turnStart + std::chrono::milliseconds(config.limits.turnBudgetMs);
      if (fds[0].revents & POLLIN) {
        uint64_t v;
        (void)!read(wakeFd, &v, sizeof v);
      }
      runPosted();
      if (fds[1].revents & POLLIN) acceptAll();
      readAll(fds, ids);
      periodic();
      flushAll();
      const auto turn = std::chrono::steady_clock::now() - turnStart;
      const uint64_t us = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(turn).count());
      if (us > longestTurnUs) longestTurnUs = us;
    }
    // Leaving: sessions first (their hooks may still post answers, which are dropped), then sockets.
    sessions.closeAll();
    sessionCountMirror = 0;
    runPosted(true);
    flushAll();
    for (auto& [id, c] : conns) close(c.fd);
    conns.clear();
    connectionCountMirror = 0;
    close(listenFd);
    listenFd = -1;
  }

  bool turnOver() const { return std::chrono::steady_clock::now() >= turnEnds; }

  // Work for clients that fails (an allocation refused, say) fails alone: the thread that
  // serves everyone goes on.
  static void guarded(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const std::exception&) {
    }
  }

  // Reads from the connections that have input, starting after the one where the last turn
  // ran out of time, until this turn's time is up (one at least): a burst of expensive
  // requests from one client (each OpenSecureChannel costs RSA work) makes the others wait
  // a turn or two at most.
  void readAll(const std::vector<pollfd>& fds, const std::vector<uint64_t>& ids) {
    const size_t count = ids.size();
    size_t first = 0;
    while (first < count && ids[first] <= resumeAfter) ++first;
    if (first == count) first = 0;
    resumeAfter = 0;
    bool readOne = false;
    for (size_t k = 0; k < count; ++k) {
      const size_t i = (first + k) % count;
      if (!fds[i + 2].revents) continue;
      if (readOne && turnOver()) {
        resumeAfter = i == 0 ? 0 : ids[i - 1];
        return;
      }
      readOne = true;
      auto it = conns.find(ids[i]);
      if (it == conns.end()) continue;
      if (fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(it->second);
    }
  }

  // Runs what other threads posted (device completions, answers) for half of this turn at
  // most, so that input is read in every turn; the rest comes first in the next turn. `all`
  // when the loop ends.
  void runPosted(bool all = false) {
    std::vector<std::function<void()>> work;
    {
      std::lock_guard lock(postMutex);
      work.swap(posted);
    }
    const SteadyTime half = turnEnds - std::chrono::milliseconds(config.limits.turnBudgetMs) / 2;
    size_t done = 0;
    while (done < work.size() && (all || done == 0 || std::chrono::steady_clock::now() < half))
      guarded(work[done++]);
    postedLeft = done < work.size();
    if (!postedLeft) return;
    std::lock_guard lock(postMutex);
    posted.insert(posted.begin(), std::make_move_iterator(work.begin() + static_cast<std::ptrdiff_t>(done)),
                  std::make_move_iterator(work.end()));
  }

  void acceptAll() {
    for (;;) {
      int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
          acceptPausedUntil = std::chrono::steady_clock::now() + kAcceptPause;
        break;
      }
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      uint64_t id = nextConnId++;
      Conn c;
      c.fd = fd;
      c.sessionSeen = c.lastInput = c.lastOutput = std::chrono::steady_clock::now();
      c.protocol = std::make_unique<ServerConnection>(id, *this, config.limits, &std::chrono::steady_clock::now,
                                                      &config.security);
      const std::string peer = peerOf(fd);
      c.address = "address " + peerAddress(peer);
      c.protocol->setPeer(peer);
      if (openConnections() >= config.limits.maxConnections && !evictIdleWithoutSession())
        c.protocol->fail(Status::BadTcpServerTooBusy, "too many connections");
      conns.emplace(id, std::move(c));
    }
    connectionCountMirror = conns.size();
  }

  size_t openConnections() const {
    size_t n = 0;
    for (const auto& [id, c] : conns) n += c.protocol->closing() ? 0 : 1;
    return n;
  }

  // Makes room in a full table: of the connections without an activated session, one of
  // the address that holds the most connections goes (so that one peer's flood costs its own
  // connections, not a newcomer's handshake), and of those the one idle longest.
  bool evictIdleWithoutSession() {
    const auto busy = sessions.channelsWithActivatedSessions();
    std::unordered_map<std::string, size_t> held;
    for (const auto& [id, c] : conns)
      if (!c.protocol->closing()) ++held[c.address];
    Conn* victim = nullptr;
    for (auto& [id, c] : conns) {
      if (c.protocol->closing()) continue;
      if (c.protocol->state() == ServerConnection::State::Open && busy.count(c.protocol->channelId())) continue;
      if (!victim || held[c.address] > held[victim->address] ||
          (held[c.address] == held[victim->address] && c.lastInput < victim->lastInput))
        victim = &c;
    }
    if (!victim) return false;
    victim->protocol->fail(Status::BadTcpServerTooBusy, "connection without a session closed to make room");
    return true;
  }

  void readFrom(Conn& c) {
    if (!c.protocol->wantsInput()) return;
    char buf[65536];
    ssize_t n = recv(c.fd, buf, sizeof buf, 0);
    if (n > 0) {
      c.lastInput = std::chrono::steady_clock::now();
      c.protocol->onBytes(buf, static_cast<size_t>(n));
      return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    // Peer closed or failed: nothing more can be sent.
    c.protocol->discardOutput();
    c.protocol->fail(Status::BadConnectionClosed, "peer closed");
    c.protocol->discardOutput();
  }

  void periodic() {
    SteadyTime now = std::chrono::steady_clock::now();
    if (now - lastSessionSweep >= std::chrono::milliseconds(100)) {
      lastSessionSweep = now;
      for (auto& [id, c] : conns) c.protocol->tick();
      sessions.closeExpired();
      sessionCountMirror = sessions.count();
      closeChannelsWithoutSession(now);
    }
    if (now - lastRevocationCheck >= std::chrono::milliseconds(config.limits.revocationCheckMs)) {
      lastRevocationCheck = now;
      // A certificate taken out of the trust list (or expired), a user taken out of the
      // users file: their channels and sessions end now, not when they next log in.
      for (auto& [id, c] : conns) c.protocol->recheckCertificate();
      sessions.recheckClients();
      sessionCountMirror = sessions.count();
    }
    if (hooks.tick && now - lastTick >= std::chrono::milliseconds(hooks.tickIntervalMs)) {
      lastTick = now;
      guarded(hooks.tick);
    }
  }

  // A channel that carries no activated session only holds a slot: it may stay briefly.
  void closeChannelsWithoutSession(SteadyTime now) {
    const auto busy = sessions.channelsWithActivatedSessions();
    const auto limit = std::chrono::milliseconds(config.limits.channelWithoutSessionTimeoutMs);
    for (auto& [id, c] : conns) {
      if (c.protocol->closing()) continue;
      if (c.protocol->state() == ServerConnection::State::Open && busy.count(c.protocol->channelId())) {
        c.sessionSeen = now;
      } else if (now - c.sessionSeen > limit) {
        c.protocol->fail(Status::BadTimeout, "no session activated on the channel in time");
      }
    }
  }

  // ----- OutputBudget: backlogs of the connections plus answers under way.
  size_t outputHeld() const {
    size_t total = reservedOutputTotal;
    for (const auto& [id, c] : conns)
      if (!c.broken) total += c.backlog();
    return total;
  }
  size_t outputHeldBy(const std::string& client) const {
    auto it = reservedOutput.find(client);
    size_t total = it == reservedOutput.end() ? 0 : it->second;
    for (const auto& [id, c] : conns)
      if (!c.broken && c.client() == client) total += c.backlog();
    return total;
  }
  bool reading(const Conn& c, SteadyTime now) const { return c.backlog() == 0 || now - c.lastOutput < kNotReading; }

  // Drops connections that read nothing, largest backlog first, until the output held is at
  // most `target`; false when it is still above.
  bool dropNonReading(size_t target) {
    const SteadyTime now = std::chrono::steady_clock::now();
    size_t held = outputHeld();
    while (held > target) {
      Conn* largest = nullptr;
      for (auto& [id, c] : conns)
        if (!c.broken && !reading(c, now) && (!largest || c.backlog() > largest->backlog())) largest = &c;
      if (!largest) return false;
      largest->broken = true;
      held -= largest->backlog();
    }
    return true;
  }

  StatusCode reserve(const std::string& client, size_t bytes) override {
    const UaServerLimits& l = config.limits;
    if (bytes > l.maxQueuedOutputPerConnection) return Status::BadResponseTooLarge;
    if (outputHeldBy(client) + bytes > l.maxQueuedOutputPerClient) return Status::BadTooManyOperations;
    if (bytes > l.maxQueuedOutputTotal || !dropNonReading(l.maxQueuedOutputTotal - bytes))
      return Status::BadResourceUnavailable;
    reservedOutput[client] += bytes;
    reservedOutputTotal += bytes;
    return Status::Good;
  }

  void release(const std::string& client, size_t bytes) override {
    auto it = reservedOutput.find(client);
    if (it == reservedOutput.end()) return;
    const size_t back = std::min(bytes, it->second);
    it->second -= back;
    reservedOutputTotal -= back;
    if (it->second == 0) reservedOutput.erase(it);
  }

  // Backlogs over the bound of one connection are cut; connections that read nothing go
  // before three quarters of the budget are held, and past the budget (or a client's share)
  // the largest backlog goes.
  void boundOutput() {
    const UaServerLimits& l = config.limits;
    std::unordered_map<std::string, size_t> byClient;
    for (auto& [id, c] : conns) {
      if (c.backlog() > l.maxQueuedOutputPerConnection) c.broken = true;
      if (!c.broken) byClient[c.client()] += c.backlog();
    }
    for (auto& [client, held] : byClient) {
      if (auto r = reservedOutput.find(client); r != reservedOutput.end()) held += r->second;
      while (held > l.maxQueuedOutputPerClient) {
        Conn* largest = nullptr;
        for (auto& [id, c] : conns)
          if (!c.broken && c.client() == client && (!largest || c.backlog() > largest->backlog())) largest = &c;
        if (!largest || largest->backlog() == 0) break;
        largest->broken = true;
        held -= largest->backlog();
      }
    }
    dropNonReading(l.maxQueuedOutputTotal / 4 * 3);
    size_t held = outputHeld();
    while (held > l.maxQueuedOutputTotal) {
      Conn* largest = nullptr;
      for (auto& [id, c] : conns)
        if (!c.broken && (!largest || c.backlog() > largest->backlog())) largest = &c;
      if (!largest || largest->backlog() == 0) break;
      largest->broken = true;
      held -= largest->backlog();
    }
  }

  void flushAll() {
    const SteadyTime now = std::chrono::steady_clock::now();
    for (auto& [id, c] : conns) {
      while (!c.broken && c.backlog() > 0) {
        const std::string_view out = c.protocol->unsent();
        ssize_t n = send(c.fd, out.data(), out.size(), MSG_NOSIGNAL);
        if (n > 0) {
          c.protocol->markSent(static_cast<size_t>(n));
          c.lastOutput = now;
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
        c.broken = true;
      }
      if (c.backlog() == 0) c.lastOutput = now;
      // Chunks left for a later turn, or held back while the client read nothing, go on
      // while this turn has time.
      if (!c.broken && !c.protocol->paused() && c.protocol->hasWaitingChunk() && !turnOver()) c.protocol->resume();
    }
    boundOutput();
    size_t queued = 0;
    for (auto it = conns.begin(); it != conns.end();) {
      Conn& c = it->second;
      if (c.broken || (c.protocol->closing() && c.backlog() == 0)) {
        const uint64_t id = it->first;
        close(c.fd);
        it = conns.erase(it);
        if (hooks.connectionClosed) hooks.connectionClosed(id);
      } else {
        queued += c.backlog();
        ++it;
      }
    }
    connectionCountMirror = conns.size();
    queuedOutputMirror = queued;
    pendingInputMirror = pendingInput.used();
    giveMemoryBack(queued + reservedOutputTotal + pendingInput.used());
  }

  // Large answers and requests leave freed pages that the allocator keeps; once as much as
  // kTrimAfterBytes has gone since the most held, they go back to the system.
  void giveMemoryBack(size_t heldNow) {
    heldSinceTrim = std::max(heldSinceTrim, heldNow);
    if (heldSinceTrim - heldNow < kTrimAfterBytes) return;
    const SteadyTime now = std::chrono::steady_clock::now();
    if (now - lastTrim < std::chrono::seconds(1)) return;
    lastTrim = now;
    ::malloc_trim(0);
    heldSinceTrim = heldNow;
  }

  void shutdownClients(const std::string& reason, std::chrono::milliseconds grace) {
    if (!running) return;
    uint32_t seconds = static_cast<uint32_t>((grace.count() + 999) / 1000);
    bool anyone = false;
    runOnIo([&] {
      sessions.setAcceptingNew(false);
      anyone = sessions.count() > 0;
      if (hooks.shutdownStarted) hooks.shutdownStarted(reason, seconds);
    });
    if (anyone) std::this_thread::sleep_for(grace);  // nobody to tell: no reason to wait
    runOnIo([&] {
      sessions.closeAll();
      sessionCountMirror = 0;
      for (auto& [id, c] : conns) c.protocol->fail(Status::BadShutdown, reason);
      flushAll();
    });
  }

  // Runs fn on the IO thread and waits for it (not callable from the IO thread itself).
  void runOnIo(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == ioId) {
      fn();
      return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto fut = done->get_future();
    if (!post([&fn, done] {
          guarded(fn);
          done->set_value();
        }))
      return;
    fut.wait();  // the loop runs everything posted before it ends
  }
};

UaServer::UaServer(UaServerConfig config) : impl_(std::make_unique<Impl>(std::move(config))) {}
UaServer::~UaServer() { impl_->stop(); }
ServiceTable& UaServer::services() { return impl_->table; }
void UaServer::setHooks(UaServerHooks hooks) { impl_->hooks = std::move(hooks); }
StatusCode UaServer::start() { return impl_->start(); }
const std::string& UaServer::errorText() const { return impl_->error; }
uint16_t UaServer::port() const { return impl_->boundPort; }
void UaServer::shutdownAllClients(const std::string& reason, std::chrono::milliseconds grace) {
  impl_->shutdownClients(reason, grace);
}
void UaServer::stop() { impl_->stop(); }
void UaServer::post(std::function<void()> fn) { (void)impl_->post(std::move(fn)); }
size_t UaServer::sessionCount() const { return impl_->sessionCountMirror; }
size_t UaServer::connectionCount() const { return impl_->connectionCountMirror; }
size_t UaServer::queuedOutputBytes() const { return impl_->queuedOutputMirror; }
std::chrono::microseconds UaServer::takeLongestTurn() {
  return std::chrono::microseconds(impl_->longestTurnUs.exchange(0));
}
size_t UaServer::pendingInputBytes() const { return impl_->pendingInputMirror; }
const UaServerConfig& UaServer::config() const { return impl_->config; }
OutputBudget& UaServer::outputBudget() { return *impl_; }
std::shared_ptr<const ServerCounters> UaServer::counters() const { return impl_->counters; }
const Heartbeat& UaServer::heartbeat() const { return impl_->heartbeat; }

}  // namespace zentarc::ua
