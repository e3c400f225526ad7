// The channel against a hand-played peer on loopback.
#include "server/plc/TcpChannel.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/plc/RawSocket.h"

using namespace zentarc::plc;
using zentarc::testplc::RawSocket;

namespace {

const ProtocolDescriptor kTcp{2 /*AF_INET*/, 1 /*SOCK_STREAM*/, 6 /*IPPROTO_TCP*/};

std::array<std::uint8_t, 4> loopback(std::uint8_t last) { return {127, 0, 2, last}; }

// Connects `channel` to a hand-played peer listening on 127.0.2.<last>; false if either end
// could not be set up.
bool connectToPeer(std::uint8_t last, TcpChannel& channel, RawSocket& peer) {
  const RawSocket listener = RawSocket::listenOn("127.0.2." + std::to_string(last));
  if (!listener.valid() || channel.Connect(loopback(last), 18245, kTcp) != kOk) return false;
  peer = listener.accept();
  return peer.valid();
}

}  // namespace

TEST(TcpChannel, closedChannelGives33) {
  TcpChannel channel;
  std::uint8_t byte = 0;
  std::size_t size = 1;
  EXPECT_EQ(channel.Send(&byte, 1), kChannelNotOpen);
  EXPECT_EQ(channel.Receive(&byte, size), kChannelNotOpen);
  EXPECT_EQ(channel.DiscardPending(), kChannelNotOpen);
}

TEST(TcpChannel, refusedConnectGives32) {
  TcpChannel channel;
  EXPECT_EQ(channel.Connect(loopback(200), 18245, kTcp), kNotConnected);
  EXPECT_FALSE(channel.isOpen());
}

TEST(TcpChannel, peerThatClosesIsALostConnectionAndTheNextSendGives33) {
  TcpChannel channel;
  RawSocket peer;
  ASSERT_TRUE(connectToPeer(201, channel, peer));
  peer.close();
  std::uint8_t buffer[56];
  std::size_t size = sizeof buffer;
  EXPECT_EQ(channel.Receive(buffer, size), kConnectionLost);
  EXPECT_FALSE(channel.isOpen());
  EXPECT_EQ(channel.Send(buffer, sizeof buffer), kChannelNotOpen);
}

TEST(TcpChannel, sendingToAPeerThatHasGoneNeverRaisesSigpipe) {
  TcpChannel channel;
  RawSocket peer;
  ASSERT_TRUE(connectToPeer(202, channel, peer));
  peer.close();
  const std::uint8_t message[56] = {};
  ResultCode rc = kOk;
  // The first send after the peer's close usually succeeds; the peer's reset fails a later one.
  for (int i = 0; i < 50 && rc == kOk; ++i) {
    rc = channel.Send(message, sizeof message);
    if (rc == kOk) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(rc, kConnectionLost);
  EXPECT_FALSE(channel.isOpen());
}

TEST(TcpChannel, nothingWithinTheLimitGives4AndInputIsKeptForTheNextReceive) {
  TcpChannel channel;
  RawSocket peer;
  ASSERT_TRUE(connectToPeer(203, channel, peer));
  std::uint8_t buffer[8];
  std::size_t size = sizeof buffer;
  EXPECT_EQ(channel.Receive(buffer, size, 100), kNoAnswer);
  EXPECT_TRUE(channel.isOpen());
  ASSERT_TRUE(peer.sendAll({1, 2, 3}));
  size = sizeof buffer;
  ASSERT_EQ(channel.Receive(buffer, size), kOk);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(buffer[2], 3);
}

TEST(TcpChannel, discardPendingDropsUnaskedInputAndNoticesAClosedPeer) {
  TcpChannel channel;
  RawSocket peer;
  ASSERT_TRUE(connectToPeer(204, channel, peer));
  ASSERT_TRUE(peer.sendAll(std::vector<std::uint8_t>(3000, 0xAA)));
  std::uint8_t first = 0;
  std::size_t size = 1;
  ASSERT_EQ(channel.Receive(&first, size), kOk);  // the stale bytes have arrived
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(channel.DiscardPending(), kOk);
  ASSERT_TRUE(peer.sendAll({7}));
  std::uint8_t buffer[16];
  size = sizeof buffer;
  ASSERT_EQ(channel.Receive(buffer, size), kOk);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(buffer[0], 7);

  peer.close();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(channel.DiscardPending(), kConnectionLost);
  EXPECT_FALSE(channel.isOpen());
}

namespace {
void ignoreSignal(int) {}
}  // namespace

TEST(TcpChannel, aSignalDuringTheWaitDoesNotCutTheLimitShort) {
  TcpChannel channel;
  RawSocket peer;
  ASSERT_TRUE(connectToPeer(205, channel, peer));
  // Without SA_RESTART, as a process's own handlers often are: the wait returns EINTR.
  struct sigaction action {}, previous{};
  action.sa_handler = ignoreSignal;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGUSR1, &action, &previous), 0);
  const pthread_t receiver = ::pthread_self();
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::pthread_kill(receiver, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    peer.sendAll({9});
  });
  std::uint8_t buffer[4];
  std::size_t size = sizeof buffer;
  const ResultCode rc = channel.Receive(buffer, size, 1000);
  other.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  ASSERT_EQ(rc, kOk);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(buffer[0], 9);

  // A zero limit only looks: nothing there is "no answer" at once, the channel stays open.
  size = sizeof buffer;
  EXPECT_EQ(channel.Receive(buffer, size, 0), kNoAnswer);
  EXPECT_TRUE(channel.isOpen());
}
