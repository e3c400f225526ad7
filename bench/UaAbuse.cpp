// OPC UA abuse soak: the server (toolkit + UA backend with the program's own security: secure
// policies only, anonymous reading, a users file; in a child process so that its memory is
// its own) under each attack in turn, then all of them at once, beside a normal client: a
// trusted application logged in as a writer that reads ten values every 20 ms and writes one
// every 200 ms, and opens a new session every second. Printed per phase: the normal client's
// worst read and write, its session opens, the server's peak RSS (and 2 s after the attack),
// and the longest turn of the server's IO thread.
// Targets during every attack: RSS < 300 MB, worst read < 100 ms, no IO turn over 100 ms.
// Usage: bench_ua_abuse [--seconds S per phase (10)] [--all S (30)] [--port P] [--only WORD]
//        bench_ua_abuse --serve <port> <work folder>   (the child)
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/UaAbuseAttacks.h"
#include "bench/UaBenchServer.h"
#include "server/toolkit/ua/security/LocalIdentity.h"
#include "server/toolkit/ua/security/UserDirectory.h"

using namespace zentarc::ua;
using namespace zentarc::bench;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr int kTags = 10000;

// ---- the server child -------------------------------------------------------------------

// Completes device requests after their delay, like PLCs on a slow line.
class SlowDevice {
 public:
  SlowDevice() : worker_([this] { run(); }) {}
  ~SlowDevice() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
  }
  void add(SOCmnPointer<SODaSRequest> request, std::chrono::milliseconds delay) {
    std::lock_guard lock(mutex_);
    due_.emplace(SteadyClock::now() + delay, std::move(request));
    wake_.notify_all();
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (due_.empty()) {
        wake_.wait(lock);
        continue;
      }
      const auto when = due_.begin()->first;
      if (SteadyClock::now() < when) {
        wake_.wait_until(lock, when);
        continue;
      }
      SOCmnPointer<SODaSRequest> r = std::move(due_.begin()->second);
      due_.erase(due_.begin());
      lock.unlock();
      r->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, r->getOperation() == SODASREQUEST_OPERATION_WRITE);
      lock.lock();
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<SteadyClock::time_point, SOCmnPointer<SODaSRequest>> due_;
  bool stopping_ = false;
  std::thread worker_;
};

class SlowTag : public SODaSTag {
 public:
  SlowTag(SlowDevice& device, std::chrono::milliseconds delay) : device_(device), delay_(delay) {}
  void handleRequest(SODaSRequest* request) override {
    if (request->getOperation() == SODASREQUEST_OPERATION_READ && !request->isDeviceRead()) {
      request->complete(S_OK);
      return;
    }
    request->markPending();
    device_.add(SOCmnPointer<SODaSRequest>::share(request), delay_);
  }

 private:
  SlowDevice& device_;
  std::chrono::milliseconds delay_;
};

int serve(int port, const fs::path& work) {
  UaBenchServer server(kTags, [](int i) { return i; });
  SlowDevice device;
  SOCmnPointer<SODaSNameSpaceRoot> root = server.entry->getNameSpaceRoot();
  auto add = [&](SODaSTag* t, const std::string& name, VARTYPE vt) {
    t->setName(name);
    t->setAccessRights(OPC_READABLE | OPC_WRITEABLE);
    t->setNativeDatatype(vt);
    t->getCache()->setValue(vt & VT_ARRAY ? SOCmnVariant::zeroOf(vt, 32768) : SOCmnVariant::fromI4(0));
    root->addLeaf(t);
    t->release();
  };
  for (int i = 0; i < 64; ++i) add(new SlowTag(device, 20ms), "Big" + std::to_string(i), VT_ARRAY | VT_I4);
  for (int i = 0; i < 100; ++i) add(new SlowTag(device, 2000ms), "Slow" + std::to_string(i), VT_I4);
  // The program's own defaults for security.
  UaServingBackend::Options options = UaBenchServer::options(port);
  options.security = ServerSecurity{};
  options.security.pki = std::make_shared<Pki>(work / "server", "OPCZentarc");
  std::string error;
  if (!options.security.pki->loadOrCreateOwn(localCertificateRequest("OPCZentarc", "bench", "urn:OPCZentarc"), error)) {
    std::cerr << "serve: " << error << "\n";
    return 1;
  }
  options.security.users = std::make_shared<UserDirectory>((work / "users").string());
  if (!server.start(port, options)) return 1;
  // Every value changes every 100 ms.
  std::atomic<bool> quit{false};
  std::thread changer([&] {
    for (int32_t round = 1; !quit; ++round) {
      for (auto& t : server.tags) t->getCache()->setValue(SOCmnVariant::fromI4(round));
      std::this_thread::sleep_for(100ms);
    }
  });
  UaBenchServer::untilQuit([&](const std::string& line) {
    if (line == "turn") std::cout << "TURN " << server.backend->server()->takeLongestTurn().count() << std::endl;
  });
  quit = true;
  changer.join();
  server.stop();
  return 0;
}

// ---- the normal client -----------------------------------------------------------------------

struct Figures {
  std::mutex mutex;
  std::vector<double> reads, writes, opens;
  long failedReads = 0, failedWrites = 0, failedOpens = 0;
  void reset() {
    std::lock_guard lock(mutex);
    reads.clear();
    writes.clear();
    opens.clear();
    failedReads = failedWrites = failedOpens = 0;
  }
};

double msSince(SteadyClock::time_point t0) {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count();
}

UaClientOptions normalOptions(const Pki& normal, const std::string& from) {
  UaClientOptions o;
  o.securityPolicy = "Basic256Sha256";
  o.securityMode = MessageSecurityMode::Sign;
  o.certificate = normal.ownCertificate();
  o.privateKey = normal.ownKey();
  o.applicationUri = normal.ownCertificate().applicationUri();
  o.localAddress = from;
  o.timeout = 5s;
  return o;
}

// Reads ten values every 20 ms and writes one every 200 ms, as the operator.
void normalReader(const std::string& url, const Pki& normal, const std::atomic<bool>& stop, Figures& f) {
  std::vector<ReadValueId> nodes(10);
  for (int i = 0; i < 10; ++i) {
    nodes[i].nodeId = NodeId(1, "T" + std::to_string(i));
    nodes[i].attributeId = static_cast<uint32_t>(AttributeId::Value);
  }
  WriteValue w;
  w.nodeId = NodeId(1, "T" + std::to_string(kTags - 1));
  w.attributeId = static_cast<uint32_t>(AttributeId::Value);
  UaClientOptions o = normalOptions(normal, "127.0.0.2");
  o.userName = "operator";
  o.password = "op-secret";
  UaClient c(o);
  for (int32_t n = 0; !stop; ++n) {
    if (!c.connected() && !c.connect(url).isGood()) {
      std::lock_guard lock(f.mutex);
      ++f.failedReads;
      abuse::pause(stop, 100ms);
      continue;
    }
    std::vector<DataValue> results;
    auto t0 = SteadyClock::now();
    const bool read = c.read(nodes, results, 1e9).isGood();
    const double readMs = msSince(t0);
    bool wrote = true;
    double writeMs = -1;
    if (n % 10 == 0) {
      w.value.value = Variant::of(n);
      std::vector<StatusCode> st;
      t0 = SteadyClock::now();
      wrote = c.write({w}, st).isGood() && st[0].isGood();
      writeMs = msSince(t0);
    }
    {
      std::lock_guard lock(f.mutex);
      if (read) f.reads.push_back(readMs);
      else ++f.failedReads;
      if (!wrote) ++f.failedWrites;
      else if (writeMs >= 0) f.writes.push_back(writeMs);
    }
    abuse::pause(stop, 20ms);
  }
}

// A new session every second, as another normal client would open one.
void normalOpener(const std::string& url, const Pki& normal, const std::atomic<bool>& stop, Figures& f) {
  while (!stop) {
    UaClient c(normalOptions(normal, "127.0.0.3"));
    const auto t0 = SteadyClock::now();
    std::vector<DataValue> out;
    const bool ok = c.connect(url).isGood() && c.read(std::vector<ReadValueId>(1), out, 1e9).isGood();
    const double ms = msSince(t0);
    {
      std::lock_guard lock(f.mutex);
      if (ok) f.opens.push_back(ms);
      else ++f.failedOpens;
    }
    c.disconnect();
    abuse::pause(stop, 1000ms);
  }
}

double worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * double(v.size())))];
}

long longestTurnUs(Child& server) {
  (void)!write(server.in, "turn\n", 5);
  char buf[64];
  if (fgets(buf, sizeof buf, server.out) && std::strncmp(buf, "TURN ", 5) == 0) return std::atol(buf + 5);
  return -1;
}

// One phase: the attacks given, for `seconds`, with the figures printed.
void phase(const std::string& title, const std::vector<const abuse::AttackKind*>& kinds, const abuse::Target& target,
           double seconds, Child& server, Figures& figures) {
  std::atomic<bool> stop{false};
  std::vector<abuse::Tally> tallies(kinds.size());
  std::vector<std::thread> threads;
  (void)longestTurnUs(server);
  figures.reset();
  for (size_t k = 0; k < kinds.size(); ++k)
    for (int i = 0; i < kinds[k]->threads; ++i)
      threads.emplace_back(kinds[k]->run, std::cref(target), i, std::cref(stop), std::ref(tallies[k]));
  long peak = 0;
  const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
  while (SteadyClock::now() < end) {
    peak = std::max(peak, rssKiB(server.pid));
    std::this_thread::sleep_for(50ms);
  }
  const long turnUs = longestTurnUs(server);
  stop = true;
  for (auto& t : threads) t.join();
  std::vector<double> reads, writes, opens;
  long failedReads, failedWrites, failedOpens;
  {
    std::lock_guard lock(figures.mutex);
    reads = figures.reads;
    writes = figures.writes;
    opens = figures.opens;
    failedReads = figures.failedReads;
    failedWrites = figures.failedWrites;
    failedOpens = figures.failedOpens;
  }
  std::this_thread::sleep_for(2s);
  const long after = rssKiB(server.pid);
  std::printf("%s\n", title.c_str());
  std::printf("  normal client: %zu reads (%ld failed), p99 %.1f ms, worst %.1f ms; %zu writes (%ld failed), worst %.1f ms;"
              " %zu sessions opened (%ld failed), worst %.0f ms\n",
              reads.size(), failedReads, percentile(reads, 0.99), worst(reads), writes.size(), failedWrites,
              worst(writes), opens.size(), failedOpens, worst(opens));
  std::printf("  server: peak RSS %.1f MB, %.1f MB 2 s later; longest IO turn %.1f ms\n", peak / 1024.0, after / 1024.0,
              turnUs / 1000.0);
  for (size_t k = 0; k < kinds.size(); ++k)
    std::printf("    %-46s tried %8ld  refused %8ld  cut off %8ld\n", kinds[k]->name, tallies[k].tries.load(),
                tallies[k].refused.load(), tallies[k].cut.load());
  std::fflush(stdout);
}

bool makeIdentity(Pki& pki, const std::string& name) {
  std::string error;
  if (pki.loadOrCreateOwn(localCertificateRequest(name, "bench", "urn:bench:" + name), error)) return true;
  std::fprintf(stderr, "bench_ua_abuse: %s\n", error.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "--serve") return serve(std::stoi(args[1]), args[2]);
  double seconds = 10, allSeconds = 30;
  int port = 28590;
  std::string only;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--seconds") seconds = std::stod(args[i + 1]);
    if (args[i] == "--all") allSeconds = std::stod(args[i + 1]);
    if (args[i] == "--port") port = std::stoi(args[i + 1]);
    if (args[i] == "--only") only = args[i + 1];
  }
  // The attacker's and the normal client's applications, both trusted; a users file.
  const fs::path work = fs::temp_directory_path() / ("bench-ua-abuse-" + std::to_string(getpid()));
  Pki attacker(work / "attacker", "attacker"), normal(work / "normal", "normal");
  if (!makeIdentity(attacker, "attacker") || !makeIdentity(normal, "normal")) return 1;
  fs::create_directories(work / "server/trusted/certs");
  std::ofstream(work / "server/trusted/certs/attacker.der", std::ios::binary) << attacker.ownCertificate().der();
  std::ofstream(work / "server/trusted/certs/normal.der", std::ios::binary) << normal.ownCertificate().der();
  std::string error;
  if (!UserDirectory::addUser((work / "users").string(), "operator", UserRole::Writer, "op-secret", error)) {
    std::fprintf(stderr, "bench_ua_abuse: %s\n", error.c_str());
    return 1;
  }
  Child server = spawn({argv[0], "--serve", std::to_string(port), work.string()});
  if (server.pid <= 0) {
    std::fprintf(stderr, "bench_ua_abuse: the server did not start\n");
    return 1;
  }
  abuse::Target target;
  target.url = "opc.tcp://127.0.0.1:" + std::to_string(port);
  target.port = port;
  target.certificate = attacker.ownCertificate();
  target.key = attacker.ownKey();
  target.applicationUri = attacker.ownCertificate().applicationUri();
  target.tags = kTags;

  std::atomic<bool> stop{false};
  Figures figures;
  std::thread reader(normalReader, target.url, std::cref(normal), std::cref(stop), std::ref(figures));
  std::thread opener(normalOpener, target.url, std::cref(normal), std::cref(stop), std::ref(figures));
  std::this_thread::sleep_for(1s);  // the normal client holds its session before the storm
  std::printf("bench_ua_abuse: each attack for %.0f s, then all at once for %.0f s; server RSS at start %.1f MB\n",
              seconds, allSeconds, rssKiB(server.pid) / 1024.0);
  std::printf("  targets during every attack: RSS < 300 MB, normal client's worst read < 100 ms, IO turns < 100 ms\n");
  std::vector<const abuse::AttackKind*> all;
  for (const auto& kind : abuse::attacks()) {
    if (std::string(kind.name).find(only) == std::string::npos) continue;
    all.push_back(&kind);
    phase(kind.name, {&kind}, target, seconds, server, figures);
  }
  if (all.size() > 1) phase("all at once", all, target, allSeconds, server, figures);
  stop = true;
  reader.join();
  opener.join();
  finish(server);
  fs::remove_all(work);
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) > 0) std::printf("machine: load average %.2f on %ld CPUs\n", load[0], sysconf(_SC_NPROCESSORS_ONLN));
  return 0;
}
