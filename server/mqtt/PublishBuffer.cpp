#include "server/mqtt/PublishBuffer.h"

#include <algorithm>

namespace zentarc::mqtt {

std::uint64_t PublishBuffer::push(Outgoing message) {
  BufferedMessage m{std::move(message), nextSequence_++};
  bytes_ += m.bytes();
  waiting_.push_back(std::move(m));
  while (bytes_ > limit_ && waiting_.size() > 1) {
    bytes_ -= waiting_.front().bytes();
    droppedSequences_.push_back(waiting_.front().sequence);
    waiting_.pop_front();
    ++dropped_;
  }
  return waiting_.back().sequence;
}

void PublishBuffer::markSent(int token) {
  if (waiting_.empty()) return;
  sent_[token] = std::move(waiting_.front());
  waiting_.pop_front();
}

bool PublishBuffer::acknowledge(int token) {
  const auto it = sent_.find(token);
  if (it == sent_.end()) return false;
  bytes_ -= it->second.bytes();
  sent_.erase(it);
  ++acknowledged_;
  return true;
}

void PublishBuffer::giveBack(int token) {
  const auto it = sent_.find(token);
  if (it == sent_.end()) return;
  BufferedMessage m = std::move(it->second);
  sent_.erase(it);
  const auto pos = std::lower_bound(waiting_.begin(), waiting_.end(), m.sequence,
                                    [](const BufferedMessage& w, std::uint64_t s) { return w.sequence < s; });
  waiting_.insert(pos, std::move(m));
}

std::uint64_t PublishBuffer::oldestUnacknowledged() const {
  std::uint64_t oldest = nextSequence_;
  if (!waiting_.empty()) oldest = std::min(oldest, waiting_.front().sequence);
  for (const auto& [token, m] : sent_) oldest = std::min(oldest, m.sequence);
  return oldest;
}

}  // namespace zentarc::mqtt
