// OPC UA abuse soak: the server (toolkit + UA backend, in a child process so its memory is its
// own) under every attack of the hardening work at once, beside a normal client that reads
// ten values every 20 ms. Prints the normal client's read latency (worst, p99), the server's
// peak RSS, and what each attacker got.
//   - Write requests carrying a million-element array of Null (1 MB each);
//   - connections piling up partial messages (intermediate chunks, never a final one);
//   - CreateSession without ActivateSession, asking for an hour, with 1 MB session names;
//   - connections that never send a Hello, keeping the connection table full;
//   - sessions with 50,000 monitored items each, dropped without a word or deleted;
//   - clients that pipeline Reads of 1,000 values and never read the answers.
// Targets: worst latency < 100 ms, peak RSS < 300 MB.
// Usage: bench_ua_abuse [--seconds S] [--port P] [--only WORD]   (WORD: attacks whose name has it)
//        bench_ua_abuse --serve <port> <tags>   (the child)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/UaBenchServer.h"
#include "server/toolkit/ua/UaClient.h"
#include "tests/ua/RawWrite.h"

using namespace zentarc::ua;
using namespace zentarc::bench;
using zentarc::ua::test::nullArrayWrite;
using zentarc::ua::test::RawWrite;
using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr int kTags = 10000;

// ---- the server child -------------------------------------------------------------------

int serve(int port, int tagCount) {
  UaBenchServer server(tagCount, [](int i) { return i; });
  // The server's default limits throughout.
  if (!server.start(port, UaBenchServer::options(port))) return 1;
  UaBenchServer::untilQuit([&](const std::string& line) {
    if (line == "turn") std::cout << "TURN " << server.backend->server()->takeLongestTurn().count() << std::endl;
  });
  server.stop();
  return 0;
}

// ---- the attackers -------------------------------------------------------------------------

struct Tally {
  std::atomic<long> tries{0}, refused{0}, cut{0};
};

using Attack = std::function<void(const std::string& url, const std::atomic<bool>& stop, Tally& t)>;

ReadValueId valueOf(int tag) {
  ReadValueId r;
  r.nodeId = NodeId(1, "T" + std::to_string(tag));
  r.attributeId = static_cast<uint32_t>(AttributeId::Value);
  return r;
}

void pause(const std::atomic<bool>& stop, std::chrono::milliseconds d) {
  const auto end = SteadyClock::now() + d;
  while (!stop && SteadyClock::now() < end) std::this_thread::sleep_for(std::min(d, 20ms));
}

void nullArrays(const std::string& url, const std::atomic<bool>& stop, Tally& t) {
  RawWrite attack = nullArrayWrite();
  UaClient c;
  while (!stop) {
    if (!c.connected() && !c.connect(url).isGood()) {
      pause(stop, 200ms);
      continue;
    }
    WriteResponse resp;
    ++t.tries;
    const StatusCode st = c.call(attack, resp);
    if (st.isBad()) ++t.refused;
    if (!c.connected()) ++t.cut;
    pause(stop, 50ms);
  }
}

void partialMessages(const std::string& url, const std::atomic<bool>& stop, Tally& t) {
  const std::string part(60000, 'p');
  UaClient c;
  uint32_t seq = 2, requestId = 1;
  while (!stop) {
    if (!c.connected()) {
      if (!c.openChannel(url).isGood()) {
        pause(stop, 200ms);
        continue;
      }
      seq = 2;
    }
    const ChannelSecurityToken tok = c.securityToken();
    std::string chunk = "MSGC";
    chunk.append(4, '\0');
    Encoder e(chunk);
    e.write(tok.channelId);
    e.write(tok.tokenId);
    e.write(seq++);
    e.write(requestId++ % 60);  // up to 60 messages assembled at once
    chunk += part;
    const uint32_t size = static_cast<uint32_t>(chunk.size());
    std::memcpy(&chunk[4], &size, 4);
    ++t.tries;
    if (send(c.socketFd(), chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <= 0) {
      ++t.cut;
      c.disconnect();
    }
    pause(stop, 5ms);
  }
}

void unactivatedSessions(const std::string& url, const std::atomic<bool>& stop, Tally& t) {
  UaClient c;
  CreateSessionRequest cs;
  cs.requestedSessionTimeout = 3'600'000;
  cs.sessionName = std::string(1000000, 's');
  while (!stop) {
    if (!c.connected() && !c.openChannel(url).isGood()) {
      pause(stop, 200ms);
      continue;
    }
    CreateSessionResponse csr;
    ++t.tries;
    if (c.call(cs, csr).isBad()) ++t.refused;
    if (!c.connected()) ++t.cut;
    pause(stop, 10ms);
  }
}

void silentConnections(const std::string& url, const std::atomic<bool>& stop, Tally& t) {
  const int port = std::stoi(url.substr(url.rfind(':') + 1));
  std::vector<int> fds;
  while (!stop) {
    // Keep 150 open: more than the server's table holds.
    for (auto it = fds.begin(); it != fds.end();) {
      char b;
      const ssize_t n = recv(*it, &b, 1, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN)) {
        close(*it);
        it = fds.erase(it);
        ++t.cut;
      } else {
        ++it;
      }
    }
    while (fds.size() < 150 && !stop) {
      int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(port));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ++t.tries;
      if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        break;
      }
      fds.push_back(fd);
    }
    pause(stop, 100ms);
  }
  for (int fd : fds) close(fd);
}

void hugeSubscriptions(const std::string& url, const std::atomic<bool>& stop, Tally& t) {
  for (int round = 0; !stop; ++round) {
    UaClientOptions o;
    o.timeout = 30s;
    o.requestedSessionTimeoutMs = 10'000;
    UaClient c(o);
    if (!c.connect(url).isGood()) {
      pause(stop, 500ms);
      continue;
    }
    CreateSubscriptionRequest cs;
    cs.requestedPublishingInterval = 1000;
    cs.requestedLifetimeCount = 30;
    cs.requestedMaxKeepAliveCount = 10;
    CreateSubscriptionResponse csr;
    if (c.call(cs, csr).isBad()) continue;
    for (int first = 0; first < 50000 && !stop; first += 2000) {  // the server's per-call limit
      CreateMonitoredItemsRequest r;
      r.subscriptionId = csr.subscriptionId;
      for (int i = first; i < first + 2000; ++i) {
        MonitoredItemCreateRequest m;
        m.itemToMonitor.nodeId = NodeId(1, "T" + std::to_string(i % kTags));
        m.requestedParameters.samplingInterval = 1000;
        r.itemsToCreate.push_back(m);
      }
      CreateMonitoredItemsResponse resp;
      ++t.tries;
      if (c.call(r, resp).isBad()) ++t.refused;
      for (const auto& res : resp.results)
        if (res.statusCode.isBad()) {
          ++t.refused;
          break;
        }
    }
    if (round % 2 == 0) {
      // Dropped without a word: the session times out and takes its items with it.
      shutdown(c.socketFd(), SHUT_RDWR);
      ++t.cut;
    } else {
      DeleteSubscriptionsRequest d;
      d.subscriptionIds = {csr.subscriptionId};
      DeleteSubscriptionsResponse dr;
      (void)c.call(d, dr);
      c.disconnect();
    }
    pause(stop, 2000ms);
  }
}

void unreadAnswers(const std::string& url, const std::atomic<bool>& stop, Tally& t) {
  ReadRequest r;
  r.maxAge = 1e9;
  for (int i = 0; i < 1000; ++i) r.nodesToRead.push_back(valueOf(i));
  while (!stop) {
    UaClientOptions o;
    o.timeout = 200ms;
    UaClient c(o);
    if (!c.connect(url).isGood()) {
      pause(stop, 200ms);
      continue;
    }
    const auto end = SteadyClock::now() + 5s;
    while (!stop && SteadyClock::now() < end) {
      ++t.tries;
      if (c.post(r).isBad()) {  // the server stopped reading us
        ++t.refused;
        pause(stop, 100ms);
        if (!c.connected()) break;
      }
    }
    ++t.cut;
  }
}

// ---- the normal client and the watchers -----------------------------------------------------

struct Latencies {
  std::vector<double> ms;
  long failed = 0;
};

void normalClient(const std::string& url, const std::atomic<bool>& stop, Latencies& out) {
  std::vector<ReadValueId> nodes;
  for (int i = 0; i < 10; ++i) nodes.push_back(valueOf(i));
  UaClient c;
  while (!stop) {
    if (!c.connected() && !c.connect(url).isGood()) {
      ++out.failed;
      pause(stop, 100ms);
      continue;
    }
    std::vector<DataValue> results;
    const auto t0 = SteadyClock::now();
    const StatusCode st = c.read(nodes, results, 1e9);
    const double ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count();
    if (st.isGood()) out.ms.push_back(ms);
    else ++out.failed;
    pause(stop, 20ms);
  }
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "--serve") return serve(std::stoi(args[1]), std::stoi(args[2]));
  double seconds = 60;
  int port = 28590;
  std::string only;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--seconds") seconds = std::stod(args[i + 1]);
    if (args[i] == "--port") port = std::stoi(args[i + 1]);
    if (args[i] == "--only") only = args[i + 1];
  }
  Child server = spawn({argv[0], "--serve", std::to_string(port), std::to_string(kTags)});
  if (server.pid <= 0) {
    std::fprintf(stderr, "bench_ua_abuse: the server did not start\n");
    return 1;
  }
  const std::string url = "opc.tcp://127.0.0.1:" + std::to_string(port);
  const long startRss = statusKiB(server.pid, "VmRSS:");

  std::atomic<bool> stop{false};
  Latencies normal;
  std::thread reader(normalClient, url, std::cref(stop), std::ref(normal));
  std::this_thread::sleep_for(500ms);  // the normal client holds its session before the storm
  (void)!write(server.in, "turn\n", 5);
  char startTurn[64];
  (void)!fgets(startTurn, sizeof startTurn, server.out);

  std::vector<std::pair<const char*, Attack>> attacks = {
      {"null-array writes (1 MB)", nullArrays},
      {"partial-message chunks", partialMessages},
      {"partial-message chunks", partialMessages},
      {"partial-message chunks", partialMessages},
      {"partial-message chunks", partialMessages},
      {"partial-message chunks", partialMessages},
      {"unactivated sessions (1 MB names)", unactivatedSessions},
      {"silent connections", silentConnections},
      {"subscriptions of 50,000 items", hugeSubscriptions},
      {"subscriptions of 50,000 items", hugeSubscriptions},
      {"subscriptions of 50,000 items", hugeSubscriptions},
      {"subscriptions of 50,000 items", hugeSubscriptions},
      {"pipelined Reads never read", unreadAnswers},
      {"pipelined Reads never read", unreadAnswers},
  };
  std::erase_if(attacks, [&only](const auto& a) { return std::string(a.first).find(only) == std::string::npos; });
  std::vector<Tally> tallies(attacks.size());
  std::vector<std::thread> attackers;
  for (size_t i = 0; i < attacks.size(); ++i)
    attackers.emplace_back(attacks[i].second, url, std::cref(stop), std::ref(tallies[i]));

  long peakRss = 0;
  const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
  while (SteadyClock::now() < end) {
    peakRss = std::max(peakRss, statusKiB(server.pid, "VmRSS:"));
    std::this_thread::sleep_for(50ms);
  }
  const long hwm = statusKiB(server.pid, "VmHWM:");
  // The IO thread's longest busy turn during the storm (warm-up left out).
  long longestTurnUs = -1;
  (void)!write(server.in, "turn\n", 5);
  char buf[64];
  if (fgets(buf, sizeof buf, server.out) && std::strncmp(buf, "TURN ", 5) == 0) longestTurnUs = std::atol(buf + 5);
  stop = true;
  for (auto& a : attackers) a.join();
  reader.join();
  finish(server);

  std::printf("bench_ua_abuse: %.0f s of attacks beside a normal client reading 10 values every 20 ms\n",
              seconds);
  std::printf("  normal client: %zu reads, %ld failed; latency p50 %.2f ms, p99 %.2f ms, worst %.2f ms"
              " (target < 100 ms)\n",
              normal.ms.size(), normal.failed, percentile(normal.ms, 0.5), percentile(normal.ms, 0.99),
              normal.ms.empty() ? 0.0 : *std::max_element(normal.ms.begin(), normal.ms.end()));
  std::printf("  server: peak RSS %.1f MB (VmHWM %.1f MB, at start %.1f MB) (target < 300 MB)\n",
              peakRss / 1024.0, hwm / 1024.0, startRss / 1024.0);
  std::printf("  server: longest busy turn of its IO thread %.2f ms (other clients wait that long)\n",
              longestTurnUs / 1000.0);
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) > 0) std::printf("  machine: load average %.2f on %ld CPUs\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("  attackers (tries / refused / cut off):\n");
  for (size_t i = 0; i < attacks.size(); ++i)
    std::printf("    %-36s %8ld %8ld %8ld\n", attacks[i].first, tallies[i].tries.load(),
                tallies[i].refused.load(), tallies[i].cut.load());
  return 0;
}
