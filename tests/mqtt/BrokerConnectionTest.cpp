// The connection to the broker on its own, against a real mosquitto: TCP connections that
// take as long as over a real network (on loopback they finish within the connect call),
// and a broker that stops reading.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include "server/mqtt/BrokerConnection.h"
#include "tests/mqtt/MqttRig.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace {

using namespace zentarc;
using namespace zentarc::testsupport;
using std::chrono::milliseconds;

int tcpSocket(const std::string& address, std::uint16_t port, bool listening) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const auto* where = reinterpret_cast<const sockaddr*>(&a);
  const bool ok = listening ? ::bind(fd, where, sizeof a) == 0 && ::listen(fd, 0) == 0
                            : ::connect(fd, where, sizeof a) == 0;
  if (!ok) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// A listening socket whose queue is full: the kernel drops the next connection's first SYN,
// and its handshake finishes (or is refused) only when the SYN is sent again, about a second
// later. Then it relays that connection to the broker.
class SlowListener {
 public:
  SlowListener(const std::string& address, std::uint16_t port) {
    listener_ = tcpSocket(address, port, true);
    filler_ = tcpSocket(address, port, false);  // takes the one place in the queue
  }
  ~SlowListener() {
    stop_ = true;
    if (relay_.joinable()) relay_.join();
    for (int fd : {listener_, filler_}) if (fd >= 0) ::close(fd);
  }
  bool ready() const { return listener_ >= 0 && filler_ >= 0; }

  // The SYN sent again is refused.
  void refuse() {
    for (int* fd : {&listener_, &filler_}) {
      ::close(*fd);
      *fd = -1;
    }
  }
  // Room for the SYN sent again; its connection is relayed to the broker.
  void relayTo(const std::string& address, std::uint16_t port) {
    ::close(::accept(listener_, nullptr, nullptr));  // the filler
    relay_ = std::thread([this, address, port] {
      pollfd l{listener_, POLLIN, 0};
      while (!stop_ && ::poll(&l, 1, 100) == 0) {
      }
      if (stop_) return;
      const int client = ::accept(listener_, nullptr, nullptr);
      const int broker = tcpSocket(address, port, false);
      char buffer[16384];
      bool open = client >= 0 && broker >= 0;
      while (!stop_ && open) {
        pollfd fds[2] = {{client, POLLIN, 0}, {broker, POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0) continue;
        for (int i = 0; i < 2 && open; ++i) {
          if (!fds[i].revents) continue;
          const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
          open = n > 0 && ::write(fds[1 - i].fd, buffer, static_cast<std::size_t>(n)) == n;
        }
      }
      for (int fd : {client, broker}) if (fd >= 0) ::close(fd);
    });
  }

 private:
  int listener_ = -1, filler_ = -1;
  std::atomic<bool> stop_{false};
  std::thread relay_;
};

mqtt::BrokerSettings settingsFor(const std::string& host, std::uint16_t port, const std::string& id) {
  mqtt::BrokerSettings s;
  s.host = host;
  s.port = port;
  s.clientId = id;
  s.cleanSession = true;
  return s;
}

// The first event of the kinds that end an attempt, within 8 s (the library's own give-up
// time is 10 s).
std::optional<mqtt::BrokerEvent> outcome(mqtt::BrokerConnection& connection) {
  std::optional<mqtt::BrokerEvent> found;
  waitFor([&] {
    for (auto& e : connection.takeEvents())
      if (!found && (e.kind == mqtt::BrokerEvent::Kind::Connected || e.kind == mqtt::BrokerEvent::Kind::ConnectFailed))
        found = std::move(e);
    return found.has_value();
  }, milliseconds(8000));
  return found;
}

// Over a network, a TLS handshake starts once the TCP connection has been made, after the
// connect call: it must go on then, and a refusal must end the attempt at once.
TEST(BrokerConnection, tlsWhoseTcpHandshakeTakesASecond_connects_orIsRefusedAtOnce) {
  MqttRig rig("127.0.22.22");
  TempDir pki;
  std::string error;
  ASSERT_TRUE(makeTlsMaterial(pki, "127.0.22.22", &error)) << error;
  BrokerSetup setup;
  setup.port = 18832;
  setup.certFile = pki.file("broker.pem").string();
  setup.keyFile = pki.file("broker.key").string();
  setup.caFile = pki.file("ca.pem").string();
  rig.startBroker(setup);
  mqtt::BrokerSettings settings = settingsFor("127.0.22.22", 18833, "slow-tls");
  settings.tls = true;
  settings.caFile = pki.file("ca.pem").string();

  // An attempt on a slow connection, what the listener does with it, and its outcome.
  const auto attempt = [&](const std::function<void(SlowListener&)>& then) {
    SlowListener slow("127.0.22.22", 18833);
    EXPECT_TRUE(slow.ready());
    mqtt::BrokerConnection connection(settings, [] {});
    EXPECT_TRUE(connection.create(error)) << error;
    connection.connect();
    std::this_thread::sleep_for(milliseconds(200));
    then(slow);
    return outcome(connection);
  };
  auto e = attempt([](SlowListener& slow) { slow.refuse(); });
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->kind, mqtt::BrokerEvent::Kind::ConnectFailed);
  EXPECT_NE(e->reason.find("refused"), std::string::npos) << e->reason;
  e = attempt([](SlowListener& slow) { slow.relayTo("127.0.22.22", 18832); });
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->kind, mqtt::BrokerEvent::Kind::Connected) << e->reason;
}

// A broker that stops reading: what waits to be written is bounded, publishing fails past
// the bound, and works again once the broker reads.
TEST(BrokerConnection, aBrokerThatStopsReading_boundsWhatWaits_thenTakesMoreOnceItReads) {
  MqttRig rig("127.0.22.21");
  rig.startBroker();
  mqtt::BrokerSettings settings = settingsFor(rig.broker->setup().address, rig.broker->setup().port, "stalled");
  settings.maxUnsentBytes = 1024 * 1024;
  mqtt::BrokerConnection connection(settings, [] {});
  std::string error;
  ASSERT_TRUE(connection.create(error)) << error;
  connection.connect();
  const auto e = outcome(connection);
  ASSERT_TRUE(e.has_value() && e->kind == mqtt::BrokerEvent::Kind::Connected);

  rig.broker->pause(true);
  const mqtt::Outgoing message{"stalled/data", std::string(64 * 1024, 'd'), false, 0};
  int token = 0;
  int accepted = 0;
  // Unbounded, all 1,000 (64 MB) would be taken; the sockets' buffers hold a few MB at most.
  while (accepted < 1000 && connection.publish(message, token)) ++accepted;
  EXPECT_LT(accepted, 1000);
  EXPECT_FALSE(connection.publish(message, token));

  rig.broker->pause(false);
  EXPECT_TRUE(waitFor([&] { return connection.publish(message, token); }, milliseconds(10000)));
}

}  // namespace
