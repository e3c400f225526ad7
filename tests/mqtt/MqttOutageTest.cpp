// The broker killed while values change: every change read meanwhile reaches a subscriber
// once the broker is back, in order and none lost; past the buffer, the oldest are dropped
// and counted. These take half a minute: a program of their own, so ctest runs them beside
// the others.
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <map>
#include <sstream>
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

// Read-only UInt16 tags Counter0... on registers 1...
std::string counterTags(int count) {
  std::string tags;
  for (int i = 0; i < count; ++i) tags += tagXmlWith(tagName(i), "VT_UI2", 1 + i, "READ");
  return tags;
}

struct Reading {
  std::string value;  // as JSON
  Clock::time_point ts;  // to the millisecond, as the payload has it
  bool operator==(const Reading&) const = default;
};

void PrintTo(const Reading& r, std::ostream* os) {
  *os << r.value << "@" << std::chrono::duration_cast<milliseconds>(r.ts.time_since_epoch()).count() % 100000;
}

// Every value the tags' caches take, looked at every 5 ms (the PLC is read every 500 ms).
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
            // A new reading of the same value only moves the time: not a change.
            if (list.empty() || list.back().value != r.value) list.push_back(r);
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

// True when `got` holds readings of `want` from `from` on, in order and nothing else, and
// every one of them that stood for 100 ms or more: the publisher looks at the caches every
// 50 ms, so a reading the PLC's worker replaced sooner (reading again at once after a stall)
// may never be seen, and that is no loss.
::testing::AssertionResult deliveredInOrder(const std::vector<Reading>& want, const std::vector<Reading>& got,
                                            std::size_t from = 0) {
  std::size_t j = 0;
  for (std::size_t i = from; i < want.size(); ++i) {
    if (j < got.size() && got[j] == want[i]) {
      ++j;
      continue;
    }
    const bool stood = i + 1 == want.size() || want[i + 1].ts - want[i].ts >= milliseconds(100);
    if (stood) {
      std::ostringstream why;
      why << "reading " << i << " (";
      PrintTo(want[i], &why);
      why << ") of " << want.size() << " never arrived";
      return ::testing::AssertionFailure() << why.str();
    }
  }
  if (j != got.size()) return ::testing::AssertionFailure() << "arrived out of order or never read: message " << j;
  return ::testing::AssertionSuccess();
}

// A PLC whose four counters change with every read, a broker, the publisher and a
// subscriber; outage() kills the broker for a while and returns once all is delivered.
class Outage {
 public:
  Outage(const std::string& brokerAddress, const std::string& plcAddress) : rig(brokerAddress) {
    EXPECT_TRUE(rig.plc.load(plcXml("Line1", plcAddress, counterTags(kTags))));
    sim = &rig.plc.simulate(plcAddress);
    sim->addAnimation(
        {.kind = plcsim::Animation::Kind::Counter, .first = 0, .last = static_cast<std::uint16_t>(kTags - 1)});
    rig.startBroker();
  }

  // `freeze`: the counters stop once the publisher is back, so that what they hold then is
  // what every tag must end with at the broker.
  void run(mqtt::MqttOptions options, milliseconds outage, bool freeze = false) {
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
    if (freeze) {
      sim->clearAnimations();
      // The reading in flight then lands; the next one repeats it.
      std::this_thread::sleep_for(milliseconds(1200));
    }
    ASSERT_TRUE(waitUntil([&] { return rig.figures().buffered == 0; }, 10000));
    settledAt = Clock::now();
    // Wait until everything read so far has arrived (or 10 s, and the checks will say what not).
    subscriber->waitFor([&](const auto&) {
      for (int i = 0; i < kTags; ++i) {
        const auto want = recorder->after(i, killedAt, settledAt);
        const auto got = received(*subscriber, i, killedAt, freeze ? Clock::time_point::max() : settledAt);
        if (want.empty() || got.empty()) return false;
        if (freeze ? got.back().value != want.back().value : got.back().ts < want.back().ts) return false;
      }
      return true;
    });
    recorder->stop();
  }

  MqttRig rig;
  plcsim::Simulator* sim = nullptr;
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
    EXPECT_TRUE(deliveredInOrder(want, received(*o.subscriber, i, o.killedAt, o.settledAt))) << tagName(i);
  }
  EXPECT_EQ(o.rig.figures().dropped, 0u);
  EXPECT_EQ(o.rig.logLines("MQTT: disconnected from"), 1u);
}

// The values, a repeat of one (the same value sent again later) counted once.
std::vector<std::string> valuesOf(const std::vector<Reading>& readings) {
  std::vector<std::string> out;
  for (const Reading& r : readings)
    if (out.empty() || out.back() != r.value) out.push_back(r.value);
  return out;
}

// True when every value of `got` is one of `want`, in the same order.
::testing::AssertionResult inOrder(const std::vector<std::string>& want, const std::vector<std::string>& got) {
  std::size_t i = 0;
  for (std::size_t j = 0; j < got.size(); ++j, ++i) {
    while (i < want.size() && want[i] != got[j]) ++i;
    if (i == want.size()) return ::testing::AssertionFailure() << "value " << got[j] << " out of order or never read";
  }
  return ::testing::AssertionSuccess();
}

TEST(MqttOutage, bufferFull_dropsTheOldestChangesAndCountsThem_theLatestStateStillArrives) {
  Outage o("127.0.22.10", "127.0.22.111");
  mqtt::MqttOptions options = o.rig.options();
  // About a dozen messages: a few seconds of four changing tags overflow it. Right after the
  // reconnection the backlog in flight fills it too, so that changes made then may be
  // dropped as well; whatever is dropped, each tag's latest state must reach the broker.
  options.bufferBytes = 2000;
  o.run(options, milliseconds(3000), true);
  const BrokerFigures f = o.rig.figures();
  EXPECT_GT(f.dropped, 0u);
  for (int i = 0; i < kTags; ++i) {
    const auto want = valuesOf(o.recorder->after(i, o.killedAt, o.settledAt));
    const auto got = valuesOf(received(*o.subscriber, i, o.killedAt, Clock::time_point::max()));
    ASSERT_FALSE(got.empty()) << tagName(i);
    ASSERT_FALSE(want.empty()) << tagName(i);
    EXPECT_NE(got.front(), want.front()) << tagName(i) << ": the oldest are dropped";
    EXPECT_TRUE(inOrder(want, got)) << tagName(i);
    EXPECT_EQ(got.back(), want.back()) << tagName(i) << ": the value the tag has now";
  }
}

// The broker is there but the buffer holds only a few messages: twenty tags changing at once
// overflow it, and those whose new value was dropped must still reach the broker, though
// none of them changes again.
TEST(MqttOutage, smallBufferWhileConnected_droppedLatestStatesAreSentAgain) {
  MqttRig rig("127.0.22.17");
  constexpr int kMany = 20;
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.117", counterTags(kMany))));
  auto& sim = rig.plc.simulate("127.0.22.117");
  rig.startBroker();
  mqtt::MqttOptions options = rig.options();
  options.bufferBytes = 1000;
  ASSERT_TRUE(rig.startPublisher(options));
  ASSERT_TRUE(rig.waitConnected());
  auto subscriber = rig.subscriber("opczentarc/test/Line1/+");
  const auto allHold = [&](const std::string& value) {
    return subscriber->waitFor([&](const auto&) {
      for (int i = 0; i < kMany; ++i) {
        const auto last = subscriber->last(MqttRig::topic("Line1", tagName(i)));
        if (!last || member(last->payload, "value") != value) return false;
      }
      return true;
    });
  };
  EXPECT_TRUE(allHold("0"));
  const std::uint64_t droppedBefore = rig.figures().dropped;
  sim.setRegisters(0, std::vector<std::uint16_t>(kMany, 7));
  EXPECT_TRUE(allHold("7"));
  EXPECT_GT(rig.figures().dropped, droppedBefore);
}

// Shut down with a backlog the broker is too slow to take in the time shut-down allows: the
// broker must still be told "offline". An orderly goodbye makes it drop the will, so the
// state has to go out ahead of the backlog, or the server would show online for good.
TEST(MqttOutage, shutdownWithABacklogTooLongToDrain_stillLeavesOfflineAtTheBroker) {
  MqttRig rig("127.0.22.19");
  constexpr int kMany = 1000;
  ASSERT_TRUE(rig.plc.load(plcXml("Line1", "127.0.22.119", counterTags(kMany))));
  rig.plc.simulate("127.0.22.119")
      .addAnimation({.kind = plcsim::Animation::Kind::Counter, .first = 0, .last = kMany - 1});
  rig.startBroker();
  ASSERT_TRUE(rig.startPublisher(rig.options()));
  ASSERT_TRUE(rig.waitConnected());

  // Four seconds of changes while the broker is away: thousands of messages wait.
  rig.broker->kill();
  ASSERT_TRUE(rig.waitConnected(false));
  std::this_thread::sleep_for(milliseconds(4000));
  // The broker comes back running 20 ms in every 220: a window of messages each time, far
  // too slow to take the backlog in the three seconds shut-down gives it.
  std::string error;
  ASSERT_TRUE(rig.broker->start(&error)) << error;
  std::atomic<bool> slow{true};
  std::thread throttle([&] {
    for (int i = 0; i < 500 && slow; ++i) {
      rig.broker->pause(true);
      std::this_thread::sleep_for(milliseconds(200));
      rig.broker->pause(false);
      std::this_thread::sleep_for(milliseconds(20));
    }
  });
  const bool connected = rig.waitConnected(true, 35000);
  const std::size_t backlog = rig.figures().buffered;
  rig.stopPublisher();
  slow = false;
  throttle.join();
  ASSERT_TRUE(connected);
  ASSERT_GT(backlog, 2000u);

  auto late = rig.subscriber("opczentarc/test/$state", "late");
  EXPECT_TRUE(late->waitForMessage("opczentarc/test/$state",
                                   [](const ReceivedMessage& m) { return m.retained && m.payload == "offline"; }));
}

}  // namespace
