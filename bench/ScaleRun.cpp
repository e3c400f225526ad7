// A plant at scale through the real programs: plcsim serving 100 PLCs (one command, 100
// addresses), OPCZentarc on a configuration of 100,000 tags of mixed types (1,000 per PLC),
// and one client of our own subscribing to every tag at 1 s (two subscriptions of 50,000).
// Printed: the time to load and serve, the time until every value is Good, the server's
// resident memory (and per tag) and its CPU in steady state. Targets: load < 2 s, every
// value Good within 5 s, RSS < 250 MB, CPU < 15 % of a core.
//
// Usage: bench_scale_run [steady seconds, default 20] [PLCs, default 100] [tags per PLC, default 1000]
//        [--changing]   (every register counts up every 100 ms, so every value changes each second)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/ChildProcess.h"
#include "server/toolkit/ua/Binary.h"
#include "server/toolkit/ua/UaClient.h"
#include "server/toolkit/ua/services/ServiceLimits.h"
#include "tests/support/TempDir.h"

using namespace zentarc;
using namespace zentarc::bench;
using namespace zentarc::ua;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr const char* kEndpoint = "opc.tcp://127.0.0.1:28471";
constexpr std::uint32_t kItemsPerSubscription = 50000;
// As many items per call as the server takes by default.
const std::uint32_t kItemsPerCall = ua::ServiceLimits{}.maxMonitoredItemsPerCall;

struct TagKind {
  const char* type;
  unsigned elements;
  unsigned registers;
};
// The mix of a plant's tag list: mostly scalars, some strings and arrays.
const TagKind kMix[] = {{"VT_I2", 0, 1}, {"VT_UI2", 0, 1}, {"VT_I4", 0, 2},  {"VT_R4", 0, 2},        {"VT_BOOL", 0, 1},
                        {"VT_UI4", 0, 2}, {"VT_BSTR", 8, 4}, {"VT_I2", 0, 1}, {"VT_R4", 0, 2}, {"VT_I2 ARRAY", 4, 4}};

std::string tagName(int plc, int tag) { return "P" + std::to_string(plc) + ".T" + std::to_string(tag); }

std::string configuration(int plcs, int tagsPerPlc) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n";
  for (int p = 1; p <= plcs; ++p) {
    xml += "<PLC name=\"P" + std::to_string(p) + "\" IPaddress=\"127.0.1." + std::to_string(p) + "\">\r\n<tags>\r\n";
    unsigned address = 1;
    for (int t = 0; t < tagsPerPlc; ++t) {
      const TagKind& k = kMix[t % (sizeof kMix / sizeof kMix[0])];
      xml += "<tag><name>" + tagName(p, t) + "</name><comment></comment><datatype>" + k.type + "</datatype>";
      if (k.elements) xml += "<elements>" + std::to_string(k.elements) + "</elements>";
      xml += "<address>" + std::to_string(address) + "</address><accessrights>READ</accessrights></tag>\r\n";
      address += k.registers;
    }
    xml += "</tags>\r\n</PLC>\r\n";
  }
  return xml + "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

double secondsSince(SteadyClock::time_point t) { return std::chrono::duration<double>(SteadyClock::now() - t).count(); }

}  // namespace

int main(int argc, char** argv) {
  int steady = 20, plcs = 100, perPlc = 1000;
  bool changing = false;
  std::vector<int> numbers;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--changing") == 0) changing = true;
    else numbers.push_back(std::atoi(argv[i]));
  }
  if (numbers.size() > 0) steady = numbers[0];
  if (numbers.size() > 1) plcs = numbers[1];
  if (numbers.size() > 2) perPlc = numbers[2];
  if (steady < 1 || steady > 600 || plcs < 1 || plcs > 200 || perPlc < 1 || perPlc > 5000) {
    std::fprintf(stderr, "usage: bench_scale_run [steady s 1-600] [PLCs 1-200] [tags per PLC 1-5000] [--changing]\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  const int total = plcs * perPlc;
  testsupport::TempDir dir;
  const std::string config = dir.write("plant.xml", configuration(plcs, perPlc)).string();

  ChildProcess sim;
  std::vector<std::string> simArgs{ownFolder() + "/plcsim", "--address", "127.0.1.1-" + std::to_string(plcs)};
  if (changing) {
    simArgs.push_back("--animate");
    simArgs.push_back("R1-R" + std::to_string(perPlc * 2));
  }
  if (!sim.start(simArgs) || !sim.waitForLine("127.0.1." + std::to_string(plcs) + ":18245 ready", 20000)) {
    std::fprintf(stderr, "bench_scale_run: plcsim did not start\n");
    return 1;
  }

  ChildProcess server;
  const auto launched = SteadyClock::now();
  // SecurityPolicy None: this measures serving; bench_ua_security measures what security adds.
  if (!server.start({ownFolder() + "/OPCZentarc", "--headless", "--config", config, "--endpoint", kEndpoint,
                     "--security=None"}) ||
      !server.waitForLine("serving OPC UA on", 60000)) {
    std::fprintf(stderr, "bench_scale_run: the server did not start\n");
    return 1;
  }
  const double loadSeconds = secondsSince(launched);
  const long rssLoadedKiB = server.rssKiB();

  UaClientOptions options;
  options.timeout = std::chrono::milliseconds(60000);
  UaClient client(options);
  if (!client.connect(kEndpoint).isGood()) {
    std::fprintf(stderr, "bench_scale_run: %s\n", client.errorText().c_str());
    return 1;
  }
  // Every item, by client handle: has a Good value arrived?
  std::vector<char> good(static_cast<std::size_t>(total), 0);
  int goodCount = 0;
  const auto subscribing = SteadyClock::now();
  for (int first = 0; first < total; first += static_cast<int>(kItemsPerSubscription)) {
    CreateSubscriptionRequest cs;
    cs.requestedPublishingInterval = 1000;
    cs.requestedLifetimeCount = 600;
    cs.requestedMaxKeepAliveCount = 10;
    CreateSubscriptionResponse csr;
    if (!client.call(cs, csr).isGood()) {
      std::fprintf(stderr, "bench_scale_run: CreateSubscription failed\n");
      return 1;
    }
    const int last = std::min(total, first + static_cast<int>(kItemsPerSubscription));
    for (int chunk = first; chunk < last; chunk += static_cast<int>(kItemsPerCall)) {
      CreateMonitoredItemsRequest r;
      r.subscriptionId = csr.subscriptionId;
      for (int i = chunk; i < std::min(last, chunk + static_cast<int>(kItemsPerCall)); ++i) {
        MonitoredItemCreateRequest m;
        m.itemToMonitor.nodeId = NodeId(1, tagName(i / perPlc + 1, i % perPlc));
        m.requestedParameters.clientHandle = static_cast<uint32_t>(i);
        m.requestedParameters.samplingInterval = 1000;
        m.requestedParameters.queueSize = 1;
        r.itemsToCreate.push_back(m);
      }
      CreateMonitoredItemsResponse resp;
      if (!client.call(r, resp).isGood()) {
        std::fprintf(stderr, "bench_scale_run: CreateMonitoredItems failed: %s\n", client.errorText().c_str());
        return 1;
      }
      for (const auto& result : resp.results)
        if (!result.statusCode.isGood()) {
          std::fprintf(stderr, "bench_scale_run: an item was refused: %s\n", statusCodeName(result.statusCode));
          return 1;
        }
    }
  }
  const double subscribeSeconds = secondsSince(subscribing);

  std::vector<SubscriptionAcknowledgement> acks;
  std::uint64_t notifications = 0;
  auto publishOnce = [&] {
    PublishRequest p;
    p.subscriptionAcknowledgements = std::move(acks);
    acks.clear();
    PublishResponse pr;
    if (!client.call(p, pr).isGood()) return false;
    for (const auto& eo : pr.notificationMessage.notificationData) {
      DataChangeNotification dcn;
      if (!fromExtensionObject(eo, dcn)) continue;
      for (const auto& n : dcn.monitoredItems) {
        ++notifications;
        const bool isGood = !n.value.status || n.value.status->isGood();
        if (n.clientHandle < good.size() && isGood && !good[n.clientHandle]) {
          good[n.clientHandle] = 1;
          ++goodCount;
        }
      }
    }
    if (!pr.notificationMessage.notificationData.empty())
      acks.push_back({pr.subscriptionId, pr.notificationMessage.sequenceNumber});
    return true;
  };
  double allGoodSeconds = -1;
  while (secondsSince(subscribing) < 60) {
    if (!publishOnce()) {
      std::fprintf(stderr, "bench_scale_run: Publish failed: %s\n", client.errorText().c_str());
      return 1;
    }
    if (goodCount == total) {
      allGoodSeconds = secondsSince(subscribing);
      break;
    }
  }
  // Steady state: what the server costs while it keeps 100,000 values current.
  const double cpu0 = server.cpuSeconds();
  const auto steadyStart = SteadyClock::now();
  notifications = 0;
  while (secondsSince(steadyStart) < steady)
    if (!publishOnce()) break;
  const double wall = secondsSince(steadyStart);
  const double cpuPercent = 100.0 * (server.cpuSeconds() - cpu0) / wall;
  const long rssKiB = server.rssKiB();
  const long threads = server.threads();
  client.disconnect();
  const int exitStatus = server.stop();
  sim.stop();

  std::printf("%d tags on %d simulated PLCs (plcsim serving %d addresses), all subscribed at 1 s%s:\n", total, plcs,
              plcs, changing ? ", every value changing" : "");
  std::printf("  load and serve:       %.2f s (target < 2 s)\n", loadSeconds);
  std::printf("  subscribe (%d calls): %.2f s\n", (total + static_cast<int>(kItemsPerCall) - 1) / static_cast<int>(kItemsPerCall),
              subscribeSeconds);
  if (allGoodSeconds >= 0)
    std::printf("  every value Good:     %.2f s after subscribing began (target < 5 s)\n", allGoodSeconds);
  else
    std::printf("  every value Good:     not within 60 s (%d of %d)\n", goodCount, total);
  std::printf("  RSS: %.1f MiB loaded, %.1f MiB subscribed (target < 250 MB); %.0f bytes per tag loaded, %.0f subscribed\n",
              rssLoadedKiB / 1024.0, rssKiB / 1024.0, rssLoadedKiB * 1024.0 / total, rssKiB * 1024.0 / total);
  std::printf("  steady state over %.0f s: server CPU %.1f %% of a core (target < 15 %%), %.0f notifications/s, %ld threads\n",
              wall, cpuPercent, notifications / wall, threads);
  std::printf("  server exit status %d\n", exitStatus);
  return 0;
}
