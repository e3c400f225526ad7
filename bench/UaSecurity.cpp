// OPC UA security benchmark: the server (toolkit + UA backend, in a child process) offering
// None and every secure policy, and our client reading 1,000 values per call from the cache.
//   1. Read throughput under each policy and mode, as a ratio to None in the same run (the
//      target for Aes256_Sha256_RsaPss SignAndEncrypt: at least 0.6). None and that one take
//      turns over several rounds, and the median of the rounds' ratios is the figure, so that
//      the load of a shared machine falls on both alike; the server's CPU per Read is shown
//      beside it.
//   2. The time to open a channel and a session (discovery, OpenSecureChannel with RSA,
//      CreateSession and ActivateSession with their signatures) under each.
// Usage: bench_ua_security [--seconds S] [--sessions N] [--opens N]
//        bench_ua_security --serve <port> <tags> <pki folder>   (the child)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/UaBenchServer.h"
#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/security/LocalIdentity.h"

using namespace zentarc::ua;
using namespace zentarc::bench;
using SteadyClock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

int serve(int port, int tagCount, const std::string& pkiFolder) {
  UaBenchServer server(tagCount, [](int i) { return i; });
  UaServingBackend::Options options = UaBenchServer::options(port);
  options.security.policies.clear();
  for (const auto& p : securityPolicies()) options.security.policies.push_back(&p);
  options.security.anonymous = AnonymousAccess::Read;
  options.security.pki = std::make_shared<Pki>(pkiFolder, "OPCZentarc");
  std::string error;
  if (!options.security.pki->loadOrCreateOwn(localCertificateRequest("OPCZentarc", "bench", "urn:OPCZentarc"), error)) {
    std::cerr << "serve: " << error << "\n";
    return 1;
  }
  if (!server.start(port, options)) return 1;
  UaBenchServer::untilQuit();
  server.stop();
  return 0;
}

struct Setup {
  const char* policy;
  MessageSecurityMode mode;
  std::string name() const {
    return std::string(policy) + (mode == MessageSecurityMode::Sign ? " Sign" : mode == MessageSecurityMode::SignAndEncrypt ? " SignAndEncrypt" : "");
  }
};

UaClientOptions optionsFor(const Setup& s, const Pki& client) {
  UaClientOptions o;
  o.securityPolicy = s.policy;
  o.securityMode = s.mode;
  o.certificate = client.ownCertificate();
  o.privateKey = client.ownKey();
  o.applicationUri = client.ownCertificate().applicationUri();
  o.timeout = std::chrono::milliseconds(30000);
  return o;
}

// Reads of 1,000 values per call from `sessions` sessions for `seconds`: reads per second.
double readsPerSecond(const std::string& url, const Setup& s, const Pki& client, int sessions, double seconds) {
  std::vector<ReadValueId> nodes(1000);
  for (int i = 0; i < 1000; ++i) {
    nodes[i].nodeId = NodeId(1, "T" + std::to_string(i));
    nodes[i].attributeId = static_cast<uint32_t>(AttributeId::Value);
  }
  std::atomic<long> reads{0};
  std::atomic<bool> failed{false};
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < sessions; ++i)
    threads.emplace_back([&] {
      UaClient c(optionsFor(s, client));
      if (!c.connect(url).isGood()) {
        std::fprintf(stderr, "%s: %s\n", s.name().c_str(), c.errorText().c_str());
        failed = true;
        ++ready;
        return;
      }
      std::vector<DataValue> out;
      c.read(nodes, out, 1e9);
      ++ready;
      while (!go) std::this_thread::yield();
      const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
      while (SteadyClock::now() < end) {
        if (!c.read(nodes, out, 1e9).isGood() || out.size() != 1000) {
          failed = true;
          break;
        }
        ++reads;
      }
      c.disconnect();
    });
  while (ready < sessions) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const auto t0 = SteadyClock::now();
  go = true;
  for (auto& t : threads) t.join();
  const double wall = std::chrono::duration<double>(SteadyClock::now() - t0).count();
  return failed ? -1 : reads / wall;
}

// Median and worst time of `n` connects (channel and session), in ms.
std::pair<double, double> openTimes(const std::string& url, const Setup& s, const Pki& client, int n) {
  std::vector<double> ms;
  for (int i = 0; i < n; ++i) {
    UaClient c(optionsFor(s, client));
    const auto t0 = SteadyClock::now();
    if (!c.connect(url).isGood()) return {-1, -1};
    ms.push_back(std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count());
    c.disconnect();
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 4 && args[0] == "--serve") return serve(std::stoi(args[1]), std::stoi(args[2]), args[3]);
  double seconds = 10;
  int sessions = 2, opens = 20;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--seconds") seconds = std::stod(args[i + 1]);
    if (args[i] == "--sessions") sessions = std::stoi(args[i + 1]);
    if (args[i] == "--opens") opens = std::stoi(args[i + 1]);
  }
  const fs::path work = fs::temp_directory_path() / ("bench-ua-security-" + std::to_string(getpid()));
  Pki client(work / "client", "bench");
  std::string error;
  if (!client.loadOrCreateOwn(localCertificateRequest("bench", "bench", "urn:bench:client"), error)) {
    std::fprintf(stderr, "bench_ua_security: %s\n", error.c_str());
    return 1;
  }
  // The server trusts our client from the start.
  fs::create_directories(work / "server/trusted/certs");
  std::ofstream(work / "server/trusted/certs/bench.der", std::ios::binary) << client.ownCertificate().der();
  const int port = 28595;
  Child server = spawn({argv[0], "--serve", std::to_string(port), "1000", (work / "server").string()});
  if (server.pid <= 0) {
    std::fprintf(stderr, "bench_ua_security: the server did not start\n");
    return 1;
  }
  const std::string url = "opc.tcp://127.0.0.1:" + std::to_string(port);
  const std::vector<Setup> setups = {
      {"None", MessageSecurityMode::None},
      {"Basic256Sha256", MessageSecurityMode::Sign},
      {"Basic256Sha256", MessageSecurityMode::SignAndEncrypt},
      {"Aes128_Sha256_RsaOaep", MessageSecurityMode::SignAndEncrypt},
      {"Aes256_Sha256_RsaPss", MessageSecurityMode::Sign},
      {"Aes256_Sha256_RsaPss", MessageSecurityMode::SignAndEncrypt},
  };
  std::printf("bench_ua_security: Read of 1,000 values per call from the cache, %d sessions\n", sessions);
  // The figure: None and Aes256_Sha256_RsaPss SignAndEncrypt in turns.
  const Setup none{"None", MessageSecurityMode::None};
  const Setup pss{"Aes256_Sha256_RsaPss", MessageSecurityMode::SignAndEncrypt};
  std::vector<double> ratios;
  double noneRate = 0, pssRate = 0, noneCpu = 0, pssCpu = 0;
  const int rounds = 5;
  for (int r = 0; r < rounds; ++r) {
    double cpu0 = cpuSeconds(server.pid);
    const double a = readsPerSecond(url, none, client, sessions, seconds / rounds);
    double cpu1 = cpuSeconds(server.pid);
    const double b = readsPerSecond(url, pss, client, sessions, seconds / rounds);
    double cpu2 = cpuSeconds(server.pid);
    if (a <= 0 || b <= 0) {
      std::fprintf(stderr, "bench_ua_security: reads failed\n");
      finish(server);
      return 1;
    }
    ratios.push_back(b / a);
    noneRate += a / rounds;
    pssRate += b / rounds;
    noneCpu += (cpu1 - cpu0) / (a * seconds / rounds);
    pssCpu += (cpu2 - cpu1) / (b * seconds / rounds);
    std::printf("  round %d: None %.0f reads/s, Aes256_Sha256_RsaPss SignAndEncrypt %.0f reads/s, ratio %.2f\n", r + 1,
                a, b, b / a);
  }
  std::sort(ratios.begin(), ratios.end());
  std::printf("  Aes256_Sha256_RsaPss SignAndEncrypt / None: median ratio %.2f (target >= 0.6); server CPU per Read "
              "%.0f us vs %.0f us\n",
              ratios[ratios.size() / 2], pssCpu / rounds * 1e6, noneCpu / rounds * 1e6);
  std::printf("  every policy and mode, %.1f s each, and the time to open a channel and a session (%d opens):\n",
              seconds / rounds, opens);
  for (const Setup& s : setups) {
    const double rate = readsPerSecond(url, s, client, sessions, seconds / rounds);
    const auto [median, worst] = openTimes(url, s, client, opens);
    std::printf("    %-36s %8.0f reads/s   open: median %.1f ms, worst %.1f ms\n", s.name().c_str(), rate, median,
                worst);
  }
  finish(server);
  fs::remove_all(work);
  return 0;
}
