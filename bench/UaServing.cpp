// OPC UA serving benchmark: our server (toolkit + UA backend, in a child process so its CPU
// time is its own) beside a node-opcua server holding the same nodes, driven by several
// sessions of our own client over loopback.
//   1. Reads from the cache, 1,000 nodes per Read: reads/s, p50/p99 latency, server CPU per value.
//   2. 10,000 monitored items at 100 ms, every value changing every cycle: notifications/s, CPU.
//   3. Server memory with 10,000 tags, and with 10,000 monitored items on top.
//   4. 1,000 tags of a simulated PLC that nobody subscribes to, read 1,000 per Read at maxAge
//      one hour (values a device read brought serve later Reads), beside the same Reads at
//      maxAge 0 (each one goes to the PLC, as every Read of an unpolled tag did before).
// Usage: bench_ua_serving [--seconds S] [--sessions N] [--no-peer]
//        bench_ua_serving --serve <port> <tags> <change 0|1>   (the child)
//        bench_ua_serving --serve-plc <port> <tags>             (the child of figure 4)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/ChildProcess.h"
#include "bench/UaBenchServer.h"
#include "server/opc/PlcTag.h"
#include "server/opc/ServerCreator.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PollingService.h"
#include "server/toolkit/ua/UaClient.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc::ua;
using namespace zentarc::bench;
using SteadyClock = std::chrono::steady_clock;

namespace {

// ---- the server child -------------------------------------------------------------------

int serve(int port, int tagCount, bool change) {
  UaBenchServer server(tagCount, [](int) { return 0; });
  UaServingBackend::Options options = UaBenchServer::options(port);
  options.serviceLimits.maxMonitoredItemsPerCall = 10000;
  if (!server.start(port, options)) return 1;
  std::atomic<bool> stop{false};
  // Stands in for the polling thread: every value changes every 100 ms.
  std::thread changer([&] {
    int32_t n = 0;
    while (!stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!change) continue;
      ++n;
      for (auto& t : server.tags) t->getCache()->setValue(SOCmnVariant::fromI4(n));
    }
  });
  UaBenchServer::untilQuit();
  stop = true;
  changer.join();
  server.stop();
  return 0;
}

// The server with a PLC behind it: tags T0..T<n-1> (VT_I4) of a simulated PLC, polled by a
// worker as in the program, nothing subscribed.
int servePlc(int port, int tagCount) {
  zentarc::plcsim::Simulator sim({.address = "127.0.4.240", .logLimit = 0});
  if (!sim.start()) {
    std::cerr << "serve-plc: no simulator on 127.0.4.240\n";
    return 1;
  }
  auto queues = std::make_shared<zentarc::ServerQueues>();
  zentarc::DeviceList devices;
  SOCmnPointer<zentarc::PlcDevice> device(new zentarc::PlcDevice("PLC", "127.0.4.240"));
  devices.add(device.get());
  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  entry->setCreator(SOCmnPointer<SODaSCreator>(new zentarc::ServerCreator(queues)));
  SOCmnPointer<SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
  for (int i = 0; i < tagCount; ++i) {
    SOCmnPointer<zentarc::PlcTag> t(new zentarc::PlcTag("T" + std::to_string(i), OPC_READABLE, VT_I4, "",
                                                        static_cast<std::uint16_t>(2 * i), 0, 0, device.get(), queues));
    root->addLeaf(t.get());
  }
  struct : zentarc::PlcStatusSink {
    void sendMessage(zentarc::PlcStatusMessage, unsigned, zentarc::PlcDevice*) override {}
  } sink;
  zentarc::PollingService polling(devices, *queues, sink);
  polling.start();
  auto backend = std::make_shared<UaServingBackend>(UaBenchServer::options(port));
  entry->setServingBackend(backend);
  if (!entry->start()) {
    std::cerr << "serve-plc: " << backend->errorText() << "\n";
    return 1;
  }
  std::cout << "READY " << port << std::endl;
  UaBenchServer::untilQuit();
  polling.stop();
  entry->terminate();
  return 0;
}

// ---- the drivers ---------------------------------------------------------------------

// Every bench session is a full client session (own nonce, anonymous on the None endpoint).
StatusCode connectSession(UaClient& c, const std::string& url) { return c.connect(url); }

struct ReadFigures {
  double readsPerSecond = 0, p50us = 0, p99us = 0, cpuNsPerValue = 0;
  bool ok = false;
};

// maxAge of the measured Reads; warmUpMaxAge of the one Read each session makes first.
ReadFigures benchReads(const std::string& url, pid_t server, int sessions, double seconds, double maxAge = 1e9,
                       double warmUpMaxAge = 1e9) {
  std::vector<ReadValueId> nodes(1000);
  for (int i = 0; i < 1000; ++i) nodes[i].nodeId = NodeId(1, "T" + std::to_string(i));
  std::vector<std::vector<double>> latencies(sessions);
  std::atomic<bool> failed{false};
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int s = 0; s < sessions; ++s)
    threads.emplace_back([&, s] {
      UaClient c;
      if (!connectSession(c, url).isGood()) {
        std::fprintf(stderr, "session %d: %s\n", s, c.errorText().c_str());
        failed = true;
        ++ready;
        return;
      }
      std::vector<DataValue> results;
      c.read(nodes, results, warmUpMaxAge);  // warm-up
      ++ready;
      while (!go) std::this_thread::yield();
      const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
      while (SteadyClock::now() < end) {
        const auto t0 = SteadyClock::now();
        const StatusCode st = c.read(nodes, results, maxAge);
        if (!st.isGood() || results.size() != 1000) {
          std::fprintf(stderr, "session %d: read: %s %s\n", s, statusCodeName(st), c.errorText().c_str());
          failed = true;
          break;
        }
        latencies[s].push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
      }
      c.disconnect();
    });
  while (ready < sessions) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double cpu0 = cpuSeconds(server);
  const auto t0 = SteadyClock::now();
  go = true;
  for (auto& t : threads) t.join();
  const double wall = std::chrono::duration<double>(SteadyClock::now() - t0).count();
  const double cpu = cpuSeconds(server) - cpu0;
  std::vector<double> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  ReadFigures f;
  if (failed || all.empty()) return f;
  std::sort(all.begin(), all.end());
  f.ok = true;
  f.readsPerSecond = all.size() / wall;
  f.p50us = all[all.size() / 2];
  f.p99us = all[std::min(all.size() - 1, all.size() * 99 / 100)];
  f.cpuNsPerValue = cpu * 1e9 / (double(all.size()) * 1000.0);
  return f;
}

struct SubscriptionFigures {
  double notificationsPerSecond = 0, cpuPercent = 0;
  long rssWithItemsKiB = 0;
  bool ok = false;
};

SubscriptionFigures benchSubscription(const std::string& url, pid_t server, int items, double seconds) {
  SubscriptionFigures f;
  UaClientOptions o;
  o.timeout = std::chrono::milliseconds(30000);
  UaClient c(o);
  if (!connectSession(c, url).isGood()) return f;
  CreateSubscriptionRequest cs;
  cs.requestedPublishingInterval = 100;
  cs.requestedLifetimeCount = 600;
  cs.requestedMaxKeepAliveCount = 10;
  cs.maxNotificationsPerPublish = 0;
  CreateSubscriptionResponse csr;
  if (!c.call(cs, csr).isGood()) return f;
  for (int first = 0; first < items; first += 1000) {
    CreateMonitoredItemsRequest r;
    r.subscriptionId = csr.subscriptionId;
    for (int i = first; i < std::min(items, first + 1000); ++i) {
      MonitoredItemCreateRequest m;
      m.itemToMonitor.nodeId = NodeId(1, "T" + std::to_string(i));
      m.requestedParameters.clientHandle = i;
      m.requestedParameters.samplingInterval = 100;
      m.requestedParameters.queueSize = 1;
      r.itemsToCreate.push_back(m);
    }
    CreateMonitoredItemsResponse resp;
    if (!c.call(r, resp).isGood()) return f;
  }
  // Let the initial values drain before measuring.
  std::vector<SubscriptionAcknowledgement> acks;
  auto publishOnce = [&](size_t& notifications) {
    PublishRequest p;
    p.subscriptionAcknowledgements = std::move(acks);
    acks.clear();
    PublishResponse pr;
    if (!c.call(p, pr).isGood()) return false;
    for (const auto& eo : pr.notificationMessage.notificationData) {
      DataChangeNotification dcn;
      if (fromExtensionObject(eo, dcn)) notifications += dcn.monitoredItems.size();
    }
    if (!pr.notificationMessage.notificationData.empty())
      acks.push_back({pr.subscriptionId, pr.notificationMessage.sequenceNumber});
    return true;
  };
  size_t ignored = 0;
  for (int i = 0; i < 5; ++i)
    if (!publishOnce(ignored)) return f;
  f.rssWithItemsKiB = rssKiB(server);
  size_t notifications = 0;
  const double cpu0 = cpuSeconds(server);
  const auto t0 = SteadyClock::now();
  const auto end = t0 + std::chrono::duration<double>(seconds);
  while (SteadyClock::now() < end)
    if (!publishOnce(notifications)) return f;
  const double wall = std::chrono::duration<double>(SteadyClock::now() - t0).count();
  f.cpuPercent = 100.0 * (cpuSeconds(server) - cpu0) / wall;
  f.notificationsPerSecond = notifications / wall;
  f.ok = true;
  c.disconnect();
  return f;
}

struct Figures {
  ReadFigures reads;
  SubscriptionFigures subs;
  long rssTagsKiB = 0;
};

Figures measure(std::vector<std::string> command, int port, int sessions, double seconds) {
  Figures fig;
  const std::string url = "opc.tcp://127.0.0.1:" + std::to_string(port);
  {
    command.push_back("0");
    Child c = spawn(command);
    command.pop_back();
    if (c.pid <= 0) {
      std::cerr << "could not start " << command[0] << "\n";
      return fig;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    fig.rssTagsKiB = rssKiB(c.pid);
    fig.reads = benchReads(url, c.pid, sessions, seconds);
    finish(c);
  }
  {
    command.push_back("1");
    Child c = spawn(command);
    if (c.pid <= 0) return fig;
    fig.subs = benchSubscription(url, c.pid, 10000, seconds);
    finish(c);
  }
  return fig;
}

void print(const char* name, const Figures& f) {
  std::printf("%-12s", name);
  if (f.reads.ok)
    std::printf(" reads/s %8.0f  p50 %7.0f us  p99 %7.0f us  server CPU %6.3f us/value |",
                f.reads.readsPerSecond, f.reads.p50us, f.reads.p99us, f.reads.cpuNsPerValue / 1000);
  else
    std::printf(" reads failed |");
  if (f.subs.ok)
    std::printf(" notif/s %8.0f  server CPU %5.1f %% |", f.subs.notificationsPerSecond, f.subs.cpuPercent);
  else
    std::printf(" subscription failed |");
  std::printf(" RSS 10k tags %6.1f MiB, +10k items %6.1f MiB\n", f.rssTagsKiB / 1024.0,
              f.subs.rssWithItemsKiB / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--serve")
    return serve(std::atoi(argv[2]), std::atoi(argv[3]), std::string(argv[4]) == "1");
  double seconds = 5;
  int sessions = 4;
  bool peer = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (a == "--sessions" && i + 1 < argc) sessions = std::atoi(argv[++i]);
    else if (a == "--no-peer") peer = false;
  }
  signal(SIGPIPE, SIG_IGN);
  if (argc >= 4 && std::string(argv[1]) == "--serve-plc") return servePlc(std::atoi(argv[2]), std::atoi(argv[3]));
  std::printf("OPC UA serving, 10,000 Int32 tags, %d sessions of our client, %.0f s per figure\n",
              sessions, seconds);
  Figures ours = measure({"/proc/self/exe", "--serve", "28480", "10000"}, 28480, sessions, seconds);
  print("OPCZentarc", ours);
  if (peer) {
    const std::string script = std::string(ZENTARC_SOURCE_DIR) + "/bench/ua_peer_server.js";
    Figures theirs = measure({"node", script, "28481", "10000"}, 28481, sessions, seconds);
    print("node-opcua", theirs);
    if (ours.reads.ok && theirs.reads.ok)
      std::printf("read throughput ratio: %.1fx\n", ours.reads.readsPerSecond / theirs.reads.readsPerSecond);
  }
  std::printf("1,000 tags of a simulated PLC, nobody subscribed, 1,000 per Read, %d sessions:\n", sessions);
  for (const double maxAge : {3'600'000.0, 0.0}) {
    Child c = spawn({"/proc/self/exe", "--serve-plc", "28482", "1000"});
    if (c.pid <= 0) {
      std::fprintf(stderr, "could not start the PLC server\n");
      return 1;
    }
    // The warm-up reads every value from the PLC once.
    const ReadFigures f = benchReads("opc.tcp://127.0.0.1:28482", c.pid, sessions, seconds, maxAge, 0);
    finish(c);
    if (!f.ok) {
      std::printf("  maxAge %s: reads failed\n", maxAge > 0 ? "1 h" : "0");
      continue;
    }
    std::printf("  maxAge %-4s reads/s %8.0f  p50 %7.0f us  p99 %7.0f us  server CPU %6.3f us/value\n",
                maxAge > 0 ? "1 h:" : "0:", f.readsPerSecond, f.p50us, f.p99us, f.cpuNsPerValue / 1000);
  }
  return 0;
}
