// The buffer that holds messages while the broker is away, the pace of reconnection, and
// the options as the server takes them.
#include <gtest/gtest.h>

#include <tuple>

#include "server/mqtt/MqttOptions.h"
#include "server/mqtt/PublishBuffer.h"
#include "server/mqtt/ReconnectPolicy.h"

namespace {

using namespace zentarc::mqtt;

Outgoing message(const std::string& payload) { return {"t", payload, true}; }

TEST(PublishBuffer, keepsOrder_andDropsTheOldestWhenTheBytesAreUsedUp) {
  const std::size_t each = BufferedMessage{message("0000")}.bytes();
  PublishBuffer buffer(each * 3);
  for (int i = 0; i < 5; ++i) buffer.push(message("000" + std::to_string(i)));
  EXPECT_EQ(buffer.dropped(), 2u);
  EXPECT_EQ(buffer.waitingCount(), 3u);
  EXPECT_EQ(buffer.bytes(), each * 3);
  EXPECT_EQ(buffer.nextWaiting().message.payload, "0002");
  EXPECT_EQ(buffer.nextWaiting().sequence, 3u);
}

TEST(PublishBuffer, sentMessagesCountUntilAcknowledged_andAreNeverDropped) {
  const std::size_t each = BufferedMessage{message("a")}.bytes();
  PublishBuffer buffer(each * 2);
  buffer.push(message("a"));
  buffer.push(message("b"));
  buffer.markSent(10);
  buffer.markSent(11);
  buffer.push(message("c"));  // over the limit, but the sent ones stay with the library
  EXPECT_EQ(buffer.sentCount(), 2u);
  EXPECT_EQ(buffer.waitingCount(), 1u);
  EXPECT_EQ(buffer.oldestUnacknowledged(), 1u);
  EXPECT_TRUE(buffer.acknowledge(10));
  EXPECT_FALSE(buffer.acknowledge(10));
  EXPECT_EQ(buffer.oldestUnacknowledged(), 2u);
  EXPECT_EQ(buffer.acknowledged(), 1u);
  EXPECT_EQ(buffer.bytes(), each * 2);
}

TEST(PublishBuffer, aMessageTheLibraryGivesBack_goesOutAgainInItsPlace) {
  PublishBuffer buffer(1 << 20);
  for (const char* p : {"a", "b", "c", "d"}) buffer.push(message(p));
  buffer.markSent(1);
  buffer.markSent(2);
  buffer.markSent(3);
  buffer.giveBack(3);
  buffer.giveBack(1);
  std::string order;
  while (buffer.hasWaiting()) {
    order += buffer.nextWaiting().message.payload;
    buffer.markSent(100 + static_cast<int>(order.size()));
  }
  EXPECT_EQ(order, "acd");
  EXPECT_EQ(buffer.sentCount(), 4u);
}

TEST(PublishBuffer, emptyBuffer_namesTheNextSequenceAsOldest) {
  PublishBuffer buffer(1000);
  EXPECT_EQ(buffer.oldestUnacknowledged(), 1u);
  buffer.push(message("x"));
  buffer.markSent(1);
  buffer.acknowledge(1);
  EXPECT_EQ(buffer.oldestUnacknowledged(), 2u);
}

TEST(ReconnectPolicy, doublesFromOneSecondToThirty_refusalsWaitLongest_successStartsAgain) {
  using std::chrono::seconds;
  ReconnectPolicy p;
  std::vector<long> waits;
  for (int i = 0; i < 7; ++i) waits.push_back(p.failed(false).count());
  EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 30, 30}));
  p.connected();
  EXPECT_EQ(p.failed(false), seconds(1));
  EXPECT_EQ(p.failed(true), seconds(30));
  EXPECT_EQ(p.failed(false), seconds(30));
  p.connected();
  EXPECT_EQ(p.failed(false), seconds(1));
}

TEST(ReasonLog, aReasonIsNewsOnlyWhenItChanges) {
  ReasonLog log;
  EXPECT_TRUE(log.changed("refused"));
  EXPECT_FALSE(log.changed("refused"));
  EXPECT_TRUE(log.changed("cannot connect"));
  EXPECT_TRUE(log.changed("refused"));
  log.reset();
  EXPECT_TRUE(log.changed("refused"));
}

TEST(BrokerUrl, takesMqttAndMqttsWithDefaultPorts) {
  BrokerAddress a;
  std::string error;
  ASSERT_TRUE(parseBrokerUrl("mqtt://broker.plant", a, error));
  EXPECT_EQ(std::tuple(a.tls, a.socketHost(), a.port), std::tuple(false, std::string("broker.plant"), 1883));
  ASSERT_TRUE(parseBrokerUrl("mqtts://10.0.0.5:8884/", a, error));
  EXPECT_EQ(std::tuple(a.tls, a.socketHost(), a.port), std::tuple(true, std::string("10.0.0.5"), 8884));
  ASSERT_TRUE(parseBrokerUrl("mqtt://[::1]:1884", a, error));
  EXPECT_EQ(std::tuple(a.tls, a.socketHost(), a.port), std::tuple(false, std::string("::1"), 1884));
  for (const char* bad : {"tcp://h:1883", "mqtt://", "mqtt://h:0", "mqtt://h:65536", "mqtt://h:", "mqtt://h:12x",
                          "mqtt://u@h", "mqtt://h/path", "mqtt://[::1", "mqtts://h:1:2"})
    EXPECT_FALSE(parseBrokerUrl(bad, a, error)) << bad;
}

TEST(MqttOptions, refuseWhatCannotWork) {
  MqttOptions o;
  o.url = "mqtt://127.0.0.1";
  o.node = "n";
  std::string error;
  EXPECT_TRUE(checkOptions(o, error)) << error;
  auto refused = [&](auto change) {
    MqttOptions c = o;
    change(c);
    return !checkOptions(c, error);
  };
  EXPECT_TRUE(refused([](MqttOptions& c) { c.prefix = "a/+/b"; }));
  EXPECT_TRUE(refused([](MqttOptions& c) { c.prefix = "/a"; }));
  EXPECT_TRUE(refused([](MqttOptions& c) { c.prefix = "$SYS"; }));
  EXPECT_TRUE(refused([](MqttOptions& c) { c.node = ""; }));
  EXPECT_TRUE(refused([](MqttOptions& c) { c.rateMs = 10; }));
  EXPECT_TRUE(refused([](MqttOptions& c) { c.caFile = "/ca.pem"; }));  // TLS options need mqtts
  EXPECT_TRUE(refused([](MqttOptions& c) {
    c.url = "mqtts://h";
    c.certFile = "/c.pem";
  }));
  EXPECT_TRUE(refused([](MqttOptions& c) { c.password = "p"; }));
  EXPECT_FALSE(refused([](MqttOptions& c) { c.prefix = "site/area"; }));
}

}  // namespace
