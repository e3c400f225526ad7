// The broker killed while values change: every change read meanwhile reaches a subscriber
// once the broker is back, in order and none lost; past the buffer, the oldest are dropped
// and counted. These take half a minute: a program of their own, so ctest runs them beside
// the others.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

#include "tests/mqtt/MqttRig.h"
#include "tests/mqtt/MqttTestTags.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using Clock = std::chrono::system_clock;
using std::chrono::milliseconds;

constexpr int kTags = 4;

std::string tagName(int i) { return "Counter" + std::to_string(i); }

struct Reading {
  std::string value;  // as JSON
  Clock::time_point ts;  // to the millisecond, as the payload has it
  bool operator==(const Reading&) const = default;
};

void PrintTo(const Reading& r, std::ostream* os) {
  *os << r.value << "@" << std::chrono::duration_cast<milliseconds>(r.ts.time_since_epoch()).count() % 100000;
}

// Every state the tags' caches take, looked at every 5 ms (the PLC is read every 500 ms).
class CacheRecorder {
 public:
  explicit CacheRecorder(PollingHarness& plc) {
    for (int i = 0; i < kTags; ++i) tags_.push_back(plc.tag(tagName(i)));
    thread_ = std::thread([this] {
      while (!stop_) {
        {
          std::lock_guard g(mutex_);
          for (int i = 0; i < kTags; ++i) {
            const SODaSCacheSnapshot s = tags_[i]->getCache()->getSnapshot();
            if (s.waitingForInitialData || s.quality != OPC_QUALITY_GOOD) continue;
            Reading r{std::to_string(s.value.uiVal()), std::chrono::floor<milliseconds>(s.timeStamp)};
            auto& list = readings_[i];
            if (list.empty() || !(list.back() == r)) list.push_back(r);
          }
        }
        std::this_thread::sleep_for(milliseconds(5));
      }
    });
  }
  ~CacheRecorder() { stop(); }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<Reading> after(int tag, Clock::time_point from, Clock::time_point to) {
    std::lock_guard g(mutex_);
    std::vector<Reading> out;
    for (const Reading& r : readings_[tag])
      if (r.ts > from && r.ts <= to) out.push_back(r);
    return out;
  }

 private:
  std::vector<PlcTag*> tags_;
  std::mutex mutex_;
  std::map<int, std::vector<Reading>> readings_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// What the subscriber got for the tag between the two times, repeats of one reading (a
// QoS 1 resend) counted once.
std::vector<Reading> received(const MqttTestClient& client, int tag, Clock::time_point from, Clock::time_point to) {
  std::vector<Reading> out;
  for (const auto& m : client.messagesOn(MqttRig::topic("Line1", tagName(tag)))) {
    const Reading r{member(m.payload, "value"), timestampOf(m.payload)};
    if (r.ts <= from || r.ts > to) continue;
    if (!out.empty() && out.back() == r) continue;
    out.push_back(r);
  }
  return out;
}

// A PLC whose four counters change with every read, a broker, the publisher and a
// subscriber; outage() kills the broker for a while and returns once all is delivered.
class Outage {
 public:
  Outage(const std::string& brokerAddress, const std::string& plcAddress) : rig(brokerAddress) {
    std::string tags;
    for (int i = 0; i < kTags; ++i) tags += tagXmlWith(tagName(i), "VT_UI2", 1 + i, "READ");
    EXPECT_TRUE(rig.plc.load(plcXml("Line1", plcAddress, tags)));
    rig.plc.simulate(plcAddress).addAnimation(
        {.kind = plcsim::Animation::Kind::Counter, .first = 0, .last = static_cast<std::uint16_t>(kTags - 1)});
    rig.startBroker();
  }

  void run(mqtt::MqttOptions options, milliseconds outage) {
    ASSERT_TRUE(rig.startPublisher(options));
    recorder = std::make_unique<CacheRecorder>(rig.plc);
    subscriber = rig.subscriber("opczentarc/test/Line1/+");
    ASSERT_TRUE(subscriber->waitFor([](const auto& all) { return all.size() > 3 * kTags; }));
    killedAt = Clock::now();
    rig.broker->kill();
    ASSERT_TRUE(rig.waitConnected(false));
    std::this_thread::sleep_for(outage);
    std::string error;
    ASSERT_TRUE(rig.broker->start(&error)) << error;
    // Back before the publisher is: it tries again 1, 2, 4, 8, 16 s apart.
    subscriber = rig.subscriber("opczentarc/test/Line1/+", "after-outage");
    ASSERT_TRUE(rig.waitConnected(true, 35000));
    ASSERT_TRUE(waitUntil([&] { return rig.figures().buffered == 0; }, 10000));
    settledAt = Clock::now();
    // Wait until everything read so far has arrived (or 10 s, and the checks will say what not).
    subscriber->waitFor([&](const auto&) {
      for (int i = 0; i < kTags; ++i) {
        const auto want = recorder->after(i, killedAt, settledAt);
        const auto got = received(*subscriber, i, killedAt, settledAt);
        if (want.empty() || got.empty() || got.back().ts < want.back().ts) return false;
      }
      return true;
    });
    recorder->stop();
  }

  MqttRig rig;
  std::unique_ptr<CacheRecorder> recorder;
  std::unique_ptr<MqttTestClient> subscriber;
  Clock::time_point killedAt, settledAt;
};

TEST(MqttOutage, brokerKilledFor20Seconds_everyChangeArrivesInOrder_noneLost) {
  Outage o("127.0.22.9", "127.0.22.110");
  o.run(o.rig.options(), milliseconds(20000));
  for (int i = 0; i < kTags; ++i) {
    const auto want = o.recorder->after(i, o.killedAt, o.settledAt);
    // Two readings a second for 20 s and more.
    EXPECT_GT(want.size(), 40u);
    EXPECT_EQ(received(*o.subscriber, i, o.killedAt, o.settledAt), want) << tagName(i);
  }
  EXPECT_EQ(o.rig.figures().dropped, 0u);
  EXPECT_EQ(o.rig.logLines("MQTT: disconnected from"), 1u);
}

TEST(MqttOutage, bufferFull_dropsTheOldestChangesAndCountsThem) {
  Outage o("127.0.22.10", "127.0.22.111");
  mqtt::MqttOptions options = o.rig.options();
  // About a dozen messages: a few seconds of four changing tags overflow it.
  options.bufferBytes = 2000;
  o.run(options, milliseconds(3000));
  const BrokerFigures f = o.rig.figures();
  EXPECT_GT(f.dropped, 10u);
  for (int i = 0; i < kTags; ++i) {
    const auto want = o.recorder->after(i, o.killedAt, o.settledAt);
    const auto got = received(*o.subscriber, i, o.killedAt, o.settledAt);
    ASSERT_FALSE(got.empty()) << tagName(i);
    ASSERT_LT(got.size(), want.size()) << tagName(i);
    // What arrives is the newest part, in order, up to the value the tag has now.
    const std::vector<Reading> tail(want.end() - static_cast<std::ptrdiff_t>(got.size()), want.end());
    EXPECT_EQ(got, tail) << tagName(i);
  }
}

}  // namespace
