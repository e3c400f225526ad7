#include "server/toolkit/ua/UaServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
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
// A client that reads nothing while we queue this much is dropped rather than growing forever.
constexpr size_t kMaxQueuedOutput = 64u * 1024 * 1024;

void setNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }
}  // namespace

class UaServer::Impl : public ConnectionHost {
 public:
  explicit Impl(UaServerConfig cfg) : config(std::move(cfg)), sessions(config) {
    registerDiscoveryServices(table, config);
    sessions.registerServices(table);
  }

  ~Impl() override { stop(); }

  // ----- ResponseSink shared with Replies; survives the Impl only as an empty shell.
  class Sink : public ResponseSink {
   public:
    explicit Sink(Impl* impl) : impl_(impl) {}
    void sendResponse(uint64_t connectionId, uint32_t requestId, std::string body) override {
      std::lock_guard lock(m_);
      if (impl_) impl_->queueResponse(connectionId, requestId, std::move(body));
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
    size_t sent = 0;  // bytes of outgoing() already written
    std::unique_ptr<ServerConnection> protocol;
  };

  UaServerConfig config;
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
  std::shared_ptr<Sink> sink;

  std::mutex postMutex;
  std::vector<std::function<void()>> posted;

  std::unordered_map<uint64_t, Conn> conns;
  uint64_t nextConnId = 1;
  uint32_t nextChannelId = 1;
  SteadyTime lastTick{};
  SteadyTime lastSessionSweep{};

  // ----- ConnectionHost
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
    RequestContext ctx;
    ctx.connectionId = c.id();
    ctx.channelId = c.channelId();
    ctx.requestId = requestId;
    ctx.requestHeader = header;
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
      fds.push_back({listenFd, POLLIN, 0});
      for (auto& [id, c] : conns) {
        short ev = POLLIN;
        if (!c.protocol->outgoing().empty()) ev |= POLLOUT;
        fds.push_back({c.fd, ev, 0});
        ids.push_back(id);
      }
      int timeout = static_cast<int>(std::max<uint32_t>(1, hooks.tickIntervalMs));
      int n = poll(fds.data(), fds.size(), timeout);
      if (n < 0 && errno != EINTR) break;
      if (fds[0].revents & POLLIN) {
        uint64_t v;
        (void)!read(wakeFd, &v, sizeof v);
      }
      runPosted();
      if (fds[1].revents & POLLIN) acceptAll();
      for (size_t i = 2; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        auto it = conns.find(ids[i - 2]);
        if (it == conns.end()) continue;
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readFrom(it->second);
      }
      periodic();
      flushAll();
    }
    // Leaving: sessions first (their hooks may still post answers, which are dropped), then sockets.
    sessions.closeAll();
    sessionCountMirror = 0;
    runPosted();
    flushAll();
    for (auto& [id, c] : conns) close(c.fd);
    conns.clear();
    connectionCountMirror = 0;
    close(listenFd);
    listenFd = -1;
  }

  void runPosted() {
    std::vector<std::function<void()>> work;
    {
      std::lock_guard lock(postMutex);
      work.swap(posted);
    }
    for (auto& fn : work) fn();
  }

  void acceptAll() {
    for (;;) {
      int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      uint64_t id = nextConnId++;
      Conn c;
      c.fd = fd;
      c.protocol = std::make_unique<ServerConnection>(id, *this, config.limits);
      if (conns.size() >= config.limits.maxConnections)
        c.protocol->fail(Status::BadTcpServerTooBusy, "too many connections");
      conns.emplace(id, std::move(c));
    }
    connectionCountMirror = conns.size();
  }

  void readFrom(Conn& c) {
    char buf[65536];
    for (int rounds = 0; rounds < 16; ++rounds) {  // bounded so one client cannot starve others
      ssize_t n = recv(c.fd, buf, sizeof buf, 0);
      if (n > 0) {
        c.protocol->onBytes(buf, static_cast<size_t>(n));
        if (c.protocol->closing()) return;
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
      // Peer closed or failed: nothing more can be sent.
      c.protocol->outgoing().clear();
      c.protocol->fail(Status::BadConnectionClosed, "peer closed");
      c.protocol->outgoing().clear();
      c.sent = 0;
      return;
    }
  }

  void periodic() {
    SteadyTime now = std::chrono::steady_clock::now();
    if (now - lastSessionSweep >= std::chrono::milliseconds(100)) {
      lastSessionSweep = now;
      for (auto& [id, c] : conns) c.protocol->tick();
      sessions.closeExpired();
      sessionCountMirror = sessions.count();
    }
    if (hooks.tick && now - lastTick >= std::chrono::milliseconds(hooks.tickIntervalMs)) {
      lastTick = now;
      hooks.tick();
    }
  }

  void flushAll() {
    for (auto it = conns.begin(); it != conns.end();) {
      Conn& c = it->second;
      std::string& out = c.protocol->outgoing();
      bool broken = false;
      while (c.sent < out.size()) {
        ssize_t n = send(c.fd, out.data() + c.sent, out.size() - c.sent, MSG_NOSIGNAL);
        if (n > 0) {
          c.sent += static_cast<size_t>(n);
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
        broken = true;
        break;
      }
      // Drop what went out; a slow reader's backlog is trimmed in large steps, not per send.
      if (c.sent == out.size()) {
        out.clear();
        c.sent = 0;
      } else if (c.sent > (1u << 20)) {
        out.erase(0, c.sent);
        c.sent = 0;
      }
      if (out.size() - c.sent > kMaxQueuedOutput) broken = true;
      if (broken || (c.protocol->closing() && out.empty())) {
        close(c.fd);
        it = conns.erase(it);
      } else {
        ++it;
      }
    }
    connectionCountMirror = conns.size();
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
          fn();
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
const UaServerConfig& UaServer::config() const { return impl_->config; }
const Heartbeat& UaServer::heartbeat() const { return impl_->heartbeat; }

}  // namespace zentarc::ua
