// MQTT publishing through the whole server: 10,000 tags on four simulated PLCs whose
// registers count up every 100 ms (so every tag changes at every 1 s poll), the real
// OPCZentarc publishing them to a mosquitto on loopback, and a subscriber here that takes
// every message. It prints the messages per second reaching the subscriber, the lag from
// the PLC read ("ts") to the subscriber (p50, p99), what the server says it published
// (OPC UA's Diagnostics/Mqtt) against what arrived, and the server's CPU.
// Targets: every change delivered, p99 lag under 500 ms, server CPU under 25 % of a core.
//
// Usage: bench_mqtt_publish [seconds, default 20] [tags, default 10000]
#include <MQTTAsync.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "bench/ChildProcess.h"
#include "server/toolkit/ua/UaClient.h"
#include "tests/support/MqttBroker.h"
#include "tests/support/TempDir.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;
using namespace zentarc::bench;
using Clock = std::chrono::system_clock;

namespace {

constexpr int kPlcs = 4;
constexpr const char* kBrokerAddress = "127.0.0.1";
constexpr std::uint16_t kBrokerPort = 28830;
constexpr const char* kEndpoint = "opc.tcp://127.0.0.1:28831";

std::string plcAddress(int plc) { return "127.0.5." + std::to_string(210 + plc); }

std::string configuration(int tags) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n";
  const int perPlc = (tags + kPlcs - 1) / kPlcs;
  for (int p = 0, n = 0; p < kPlcs; ++p) {
    xml += "<PLC name=\"Line" + std::to_string(p) + "\" IPaddress=\"" + plcAddress(p) + "\">\r\n<tags>\r\n";
    for (int i = 0; i < perPlc && n < tags; ++i, ++n)
      xml += "<tag><name>T" + std::to_string(n) + "</name><comment></comment><datatype>VT_UI2</datatype><address>" +
             std::to_string(i + 1) + "</address><accessrights>READ</accessrights></tag>\r\n";
    xml += "</tags>\r\n</PLC>\r\n";
  }
  return xml + "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

// "...,"ts":"2026-12-07T10:15:30.123Z"}" -> the time it names.
Clock::time_point timestampOf(const char* payload, int length) {
  const std::string_view p(payload, static_cast<std::size_t>(length));
  const auto at = p.find("\"ts\":\"");
  std::tm tm{};
  int millis = 0;
  if (at == std::string_view::npos ||
      std::sscanf(std::string(p.substr(at + 6, 24)).c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon,
                  &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &millis) != 7)
    return {};
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return Clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(millis);
}

// Takes every message, keeps the lag of those that arrive while measuring.
struct Subscriber {
  std::atomic<bool> measuring{false};
  std::atomic<std::uint64_t> received{0};
  std::mutex mutex;
  std::vector<double> lagsMs;
  std::unordered_map<std::string, Clock::time_point> lastTs;  // per topic
  std::uint64_t outOfOrder = 0;

  static int arrived(void* context, char* topic, int topicLength, MQTTAsync_message* m) {
    auto* self = static_cast<Subscriber*>(context);
    const auto now = Clock::now();
    const Clock::time_point ts = timestampOf(static_cast<const char*>(m->payload), m->payloadlen);
    std::string name(topic, topicLength > 0 ? static_cast<std::size_t>(topicLength) : std::strlen(topic));
    MQTTAsync_freeMessage(&m);
    MQTTAsync_free(topic);
    if (ts == Clock::time_point{}) return 1;  // a $state message
    std::lock_guard g(self->mutex);
    auto& last = self->lastTs[name];
    if (ts < last) ++self->outOfOrder;
    last = ts;
    if (self->measuring) {
      self->received.fetch_add(1, std::memory_order_relaxed);
      self->lagsMs.push_back(std::chrono::duration<double, std::milli>(now - ts).count());
    }
    return 1;
  }
};

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// Diagnostics/Mqtt/Published and Dropped, read over OPC UA.
bool readFigures(std::uint64_t& published, std::uint64_t& dropped) {
  ua::UaClient client;
  if (!client.connect(kEndpoint).isGood()) return false;
  std::vector<ua::ReadValueId> nodes(2);
  nodes[0].nodeId = ua::NodeId(1, 22);
  nodes[1].nodeId = ua::NodeId(1, 24);
  std::vector<ua::DataValue> values;
  const bool ok = client.read(nodes, values).isGood() && values.size() == 2 && values[0].value && values[1].value;
  if (ok) {
    published = std::get<std::uint64_t>(values[0].value->scalar);
    dropped = std::get<std::uint64_t>(values[1].value->scalar);
  }
  client.disconnect();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const int tags = argc > 2 ? std::atoi(argv[2]) : 10000;
  if (seconds < 1 || seconds > 600 || tags < kPlcs || tags > 4 * 65535) {
    std::fprintf(stderr, "usage: bench_mqtt_publish [seconds 1-600] [tags 4-262140]\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::unique_ptr<plcsim::Simulator>> plcs;
  const int perPlc = (tags + kPlcs - 1) / kPlcs;
  for (int p = 0; p < kPlcs; ++p) {
    plcs.push_back(std::make_unique<plcsim::Simulator>(plcsim::Options{.address = plcAddress(p), .logLimit = 0}));
    std::string error;
    if (!plcs.back()->start(&error)) {
      std::fprintf(stderr, "bench_mqtt_publish: %s\n", error.c_str());
      return 1;
    }
    plcs.back()->addAnimation({plcsim::Animation::Kind::Counter, 0, static_cast<std::uint16_t>(perPlc - 1)});
  }
  testsupport::BrokerSetup setup;
  setup.address = kBrokerAddress;
  setup.port = kBrokerPort;
  // The subscriber, not the broker, must be what limits delivery: no cap on what the broker
  // queues or has in flight for it.
  setup.extraConfig = "max_queued_messages 0\nmax_inflight_messages 0\n";
  testsupport::MosquittoBroker broker(setup);
  std::string error;
  if (!broker.start(&error)) {
    std::fprintf(stderr, "bench_mqtt_publish: %s\n", error.c_str());
    return 1;
  }

  Subscriber subscriber;
  MQTTAsync client = nullptr;
  MQTTAsync_create(&client, broker.pahoUri().c_str(), "bench-subscriber", MQTTCLIENT_PERSISTENCE_NONE, nullptr);
  MQTTAsync_setCallbacks(client, &subscriber, nullptr, &Subscriber::arrived, nullptr);
  MQTTAsync_connectOptions co = MQTTAsync_connectOptions_initializer;
  co.cleansession = 1;
  std::atomic<int> connected{0};
  co.context = &connected;
  co.onSuccess = [](void* c, MQTTAsync_successData*) { static_cast<std::atomic<int>*>(c)->store(1); };
  co.onFailure = [](void* c, MQTTAsync_failureData*) { static_cast<std::atomic<int>*>(c)->store(-1); };
  MQTTAsync_connect(client, &co);
  for (int i = 0; i < 500 && connected == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  MQTTAsync_responseOptions ro = MQTTAsync_responseOptions_initializer;
  if (connected != 1 || MQTTAsync_subscribe(client, "opczentarc/bench/#", 1, &ro) != MQTTASYNC_SUCCESS) {
    std::fprintf(stderr, "bench_mqtt_publish: the subscriber cannot connect\n");
    return 1;
  }

  testsupport::TempDir dir;
  const std::string config = dir.write("bench.xml", configuration(tags)).string();
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() + "\n");
  ::setenv("OPCZENTARC_SETTINGS", dir.file("settings.ini").c_str(), 1);
  ChildProcess server;
  if (!server.start({ownFolder() + "/OPCZentarc", "--headless", "--config", config, "--endpoint", kEndpoint,
                     "--security=None", "--mqtt", broker.url(), "--mqtt-node", "bench"}) ||
      !server.waitForLine("MQTT: connected", 30000)) {
    std::fprintf(stderr, "bench_mqtt_publish: the server did not start\n");
    return 1;
  }
  // Warm-up: every tag polled and published once, the blocks settled.
  std::this_thread::sleep_for(std::chrono::seconds(8));
  std::uint64_t published0 = 0, published1 = 0, dropped = 0;
  readFigures(published0, dropped);
  const double cpu0 = server.cpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  subscriber.measuring = true;
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu1 = server.cpuSeconds();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  readFigures(published1, dropped);
  subscriber.measuring = false;
  // What was published until now arrives within a second.
  std::this_thread::sleep_for(std::chrono::seconds(1));

  std::vector<double> lags;
  std::uint64_t outOfOrder = 0;
  {
    std::lock_guard g(subscriber.mutex);
    lags = subscriber.lagsMs;
    outOfOrder = subscriber.outOfOrder;
  }
  const double received = static_cast<double>(subscriber.received.load());
  std::printf("%d tags on %d PLCs, each changing at every 1 s poll, published to mosquitto on loopback, %d s:\n", tags,
              kPlcs, seconds);
  std::printf("  messages reaching the subscriber: %.0f/s (%.2f per tag and second)\n", received / elapsed,
              received / elapsed / tags);
  std::printf("  published (acknowledged by the broker) meanwhile: %llu, received: %.0f, dropped: %llu, out of order: %llu"
              " (target: all delivered)\n",
              static_cast<unsigned long long>(published1 - published0), received,
              static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(outOfOrder));
  std::printf("  lag PLC read -> subscriber: p50 %.0f ms, p99 %.0f ms, max %.0f ms (target p99 < 500 ms)\n",
              percentile(lags, 0.50), percentile(lags, 0.99), percentile(lags, 1.0));
  std::printf("  server CPU: %.1f %% of a core (target < 25 %%), RSS %.1f MiB\n", 100.0 * (cpu1 - cpu0) / elapsed,
              server.rssKiB() / 1024.0);
  server.stop();
  MQTTAsync_destroy(&client);
  return 0;
}
