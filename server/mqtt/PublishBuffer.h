#pragma once
// The messages waiting for the broker, oldest first, bounded in bytes: when a new one does
// not fit, the oldest waiting ones are dropped and counted. Messages handed to the broker
// but not yet acknowledged stay counted here too (they may have to be sent again), but are
// never dropped: the library holds them for the session. Every message gets a sequence
// number in the order it came. Used by the publisher's thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "server/mqtt/PayloadFormat.h"

namespace zentarc::mqtt {

struct BufferedMessage {
  Outgoing message;
  std::uint64_t sequence = 0;
  std::size_t bytes() const { return message.topic.size() + message.payload.size() + kOverheadBytes; }
  // What a message costs beyond its text: the queue's bookkeeping and the library's copy.
  static constexpr std::size_t kOverheadBytes = 64;
};

class PublishBuffer {
 public:
  explicit PublishBuffer(std::size_t limitBytes) : limit_(limitBytes) {}

  // Returns the message's sequence number. The newest message always stays, even alone over
  // the limit.
  std::uint64_t push(Outgoing message);

  bool hasWaiting() const { return !waiting_.empty(); }
  const BufferedMessage& nextWaiting() const { return waiting_.front(); }
  // The next waiting message was handed to the broker under `token`.
  void markSent(int token);
  // The broker acknowledged it (false: no such token).
  bool acknowledge(int token);
  // The library gave it up: it goes back in front of the waiting ones, in order.
  void giveBack(int token);

  std::size_t waitingCount() const { return waiting_.size(); }
  std::size_t sentCount() const { return sent_.size(); }
  std::size_t bytes() const { return bytes_; }
  std::uint64_t dropped() const { return dropped_; }
  std::size_t limit() const { return limit_; }
  // The sequence numbers dropped since the last call, so that the states they carried can be
  // sent again once there is room.
  std::vector<std::uint64_t> takeDropped() { return std::exchange(droppedSequences_, {}); }
  std::uint64_t acknowledged() const { return acknowledged_; }
  // The oldest sequence number not yet acknowledged (sent or waiting); the next one to be
  // given when there is none. A message with a smaller number has reached the broker or
  // been dropped.
  std::uint64_t oldestUnacknowledged() const;

 private:
  std::size_t limit_;
  std::deque<BufferedMessage> waiting_;
  std::map<int, BufferedMessage> sent_;  // by the library's token
  std::size_t bytes_ = 0;
  std::uint64_t nextSequence_ = 1;
  std::uint64_t dropped_ = 0;
  std::vector<std::uint64_t> droppedSequences_;
  std::uint64_t acknowledged_ = 0;
};

}  // namespace zentarc::mqtt
