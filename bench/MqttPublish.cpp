// MQTT publishing through the whole server: 10,000 tags on four simulated PLCs whose
// registers count up every 100 ms (so every tag changes at every 1 s poll), the real
// OPCZentarc publishing them to a mosquitto on loopback, and a subscriber here that takes
// every message; once as JSON topics, once as Sparkplug B. For each it prints the messages
// (and Sparkplug metrics) per second reaching the subscriber, the MQTT bytes per second on
// the wire, the lag from the PLC read (JSON's "ts", a metric's timestamp) to the subscriber
// (p50, p99), what the server says it published (OPC UA's Diagnostics/Mqtt) against what
// arrived, and the server's CPU.
// Targets: every change delivered, p99 lag under 500 ms, server CPU under 25 % of a core.
//
// Usage: bench_mqtt_publish [seconds, default 20] [tags, default 10000] [json|sparkplug|both, default both]
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
#include "server/mqtt/sparkplug/Payload.h"
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

// The size of a PUBLISH packet as MQTT 3.1.1 frames it: fixed header, remaining length,
// topic, packet id (QoS 1 and 2), payload. The broker forwards it to us in the same form.
std::uint64_t publishPacketBytes(std::size_t topic, std::size_t payload, int qos) {
  const std::size_t remaining = 2 + topic + (qos > 0 ? 2 : 0) + payload;
  std::size_t lengthBytes = 1;
  for (std::size_t r = remaining; r >= 128; r /= 128) ++lengthBytes;
  return 1 + lengthBytes + remaining;
}

// Takes every message, keeps the lag of those that arrive while measuring. JSON: one lag per
// message; Sparkplug B: one per metric of a DDATA, and seq must run on without a gap.
struct Subscriber {
  std::atomic<bool> measuring{false};
  std::atomic<std::uint64_t> received{0}, metrics{0}, bytes{0};
  std::mutex mutex;
  std::vector<double> lagsMs;
  std::unordered_map<std::string, Clock::time_point> lastTs;  // per topic
  std::uint64_t outOfOrder = 0;
  int expectedSeq = -1;  // Sparkplug: the next seq of the node; -1 before its NBIRTH
  std::uint64_t seqGaps = 0;

  static int arrived(void* context, char* topic, int topicLength, MQTTAsync_message* m) {
    auto* self = static_cast<Subscriber*>(context);
    const auto now = Clock::now();
    std::string name(topic, topicLength > 0 ? static_cast<std::size_t>(topicLength) : std::strlen(topic));
    const std::string_view payload(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    const std::uint64_t bytes = publishPacketBytes(name.size(), payload.size(), m->qos);
    if (name.rfind("spBv1.0/", 0) == 0) self->sparkplug(name, payload, bytes, now);
    else self->json(name, payload, bytes, now);
    MQTTAsync_freeMessage(&m);
    MQTTAsync_free(topic);
    return 1;
  }

  void json(const std::string& topic, std::string_view payload, std::uint64_t size, Clock::time_point now) {
    const Clock::time_point ts = timestampOf(payload.data(), static_cast<int>(payload.size()));
    if (ts == Clock::time_point{}) return;  // a $state message
    std::lock_guard g(mutex);
    auto& last = lastTs[topic];
    if (ts < last) ++outOfOrder;
    last = ts;
    if (!measuring) return;
    received.fetch_add(1, std::memory_order_relaxed);
    bytes.fetch_add(size, std::memory_order_relaxed);
    lagsMs.push_back(std::chrono::duration<double, std::milli>(now - ts).count());
  }

  void sparkplug(const std::string& topic, std::string_view payload, std::uint64_t size, Clock::time_point now) {
    using namespace mqtt::sparkplug;
    const std::string type = topic.substr(topic.find('/', 8) + 1, 6);
    Payload p;
    std::string error;
    DecodeLimits limits;
    limits.maxBytes = 64u << 20;
    limits.maxMetrics = 1u << 20;
    if (type.rfind("NDEATH", 0) == 0 || !decodePayload(payload, p, error, limits) || !p.seq) return;
    std::lock_guard g(mutex);
    if (type.rfind("NBIRTH", 0) == 0) expectedSeq = 0;
    if (expectedSeq >= 0 && static_cast<int>(*p.seq) != expectedSeq) ++seqGaps;
    expectedSeq = static_cast<int>((*p.seq + 1) % 256);
    if (!measuring) return;
    received.fetch_add(1, std::memory_order_relaxed);
    bytes.fetch_add(size, std::memory_order_relaxed);
    if (type.rfind("DDATA", 0) != 0) return;
    for (const Metric& metric : p.metrics) {
      if (!metric.timestamp) continue;
      const Clock::time_point ts{std::chrono::milliseconds(*metric.timestamp)};
      auto& last = lastTs[topic + "#" + std::to_string(metric.alias.value_or(0))];
      if (ts < last) ++outOfOrder;
      last = ts;
      metrics.fetch_add(1, std::memory_order_relaxed);
      lagsMs.push_back(std::chrono::duration<double, std::milli>(now - ts).count());
    }
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

// One format's run: its own subscriber and server, warmed up, then measured.
int run(const std::string& format, int seconds, int tags, const testsupport::MosquittoBroker& broker) {
  const bool sparkplug = format == "sparkplug";
  Subscriber subscriber;
  MQTTAsync client = nullptr;
  MQTTAsync_create(&client, broker.pahoUri().c_str(), ("bench-subscriber-" + format).c_str(),
                   MQTTCLIENT_PERSISTENCE_NONE, nullptr);
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
  const char* filter = sparkplug ? "spBv1.0/OPCZentarc/+/bench/#" : "opczentarc/bench/#";
  if (connected != 1 || MQTTAsync_subscribe(client, filter, 1, &ro) != MQTTASYNC_SUCCESS) {
    std::fprintf(stderr, "bench_mqtt_publish: the subscriber cannot connect\n");
    return 1;
  }

  testsupport::TempDir dir;
  const std::string config = dir.write("bench.xml", configuration(tags)).string();
  dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() + "\n");
  ::setenv("OPCZENTARC_SETTINGS", dir.file("settings.ini").c_str(), 1);
  ChildProcess server;
  if (!server.start({ownFolder() + "/OPCZentarc", "--headless", "--config", config, "--endpoint", kEndpoint,
                     "--security=None", "--mqtt", broker.url(), "--mqtt-node", "bench", "--mqtt-format", format}) ||
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
  std::uint64_t outOfOrder = 0, seqGaps = 0;
  {
    std::lock_guard g(subscriber.mutex);
    lags = subscriber.lagsMs;
    outOfOrder = subscriber.outOfOrder;
    seqGaps = subscriber.seqGaps;
  }
  const double received = static_cast<double>(subscriber.received.load());
  std::printf("%s: %d tags on %d PLCs, each changing at every 1 s poll, published to mosquitto on loopback, %d s:\n",
              sparkplug ? "Sparkplug B" : "JSON", tags, kPlcs, seconds);
  std::printf("  messages reaching the subscriber: %.0f/s", received / elapsed);
  if (sparkplug)
    std::printf(", DDATA metrics %.0f/s (%.2f per tag and second)\n", subscriber.metrics.load() / elapsed,
                subscriber.metrics.load() / elapsed / tags);
  else
    std::printf(" (%.2f per tag and second)\n", received / elapsed / tags);
  std::printf("  on the wire (MQTT PUBLISH packets, without TCP/IP): %.0f bytes/s, %.1f bytes per tag change\n",
              subscriber.bytes.load() / elapsed,
              static_cast<double>(subscriber.bytes.load()) /
                  std::max(1.0, sparkplug ? static_cast<double>(subscriber.metrics.load()) : received));
  std::printf("  published (acknowledged or sent) meanwhile: %llu, received: %.0f, dropped: %llu, out of order: %llu",
              static_cast<unsigned long long>(published1 - published0), received,
              static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(outOfOrder));
  if (sparkplug) std::printf(", seq gaps: %llu", static_cast<unsigned long long>(seqGaps));
  std::printf(" (target: all delivered)\n");
  std::printf("  lag PLC read -> subscriber: p50 %.0f ms, p99 %.0f ms, max %.0f ms (target p99 < 500 ms)\n",
              percentile(lags, 0.50), percentile(lags, 0.99), percentile(lags, 1.0));
  std::printf("  server CPU: %.1f %% of a core (target < 25 %%), RSS %.1f MiB\n", 100.0 * (cpu1 - cpu0) / elapsed,
              server.rssKiB() / 1024.0);
  std::fflush(stdout);
  server.stop();
  MQTTAsync_destroy(&client);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const int tags = argc > 2 ? std::atoi(argv[2]) : 10000;
  const std::string formats = argc > 3 ? argv[3] : "both";
  if (seconds < 1 || seconds > 600 || tags < kPlcs || tags > 4 * 65535 ||
      (formats != "json" && formats != "sparkplug" && formats != "both")) {
    std::fprintf(stderr, "usage: bench_mqtt_publish [seconds 1-600] [tags 4-262140] [json|sparkplug|both]\n");
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
  for (const std::string format : {"json", "sparkplug"})
    if (formats == "both" || formats == format)
      if (const int rc = run(format, seconds, tags, broker); rc != 0) return rc;
  return 0;
}
