#pragma once
// A pool that many clients draw from (sessions, subscriptions, monitored items, bytes): a
// bound for all of them together and a share that no single client may pass, so that one
// client never takes what the others need. A client is its certificate on a secure channel
// and its address on a channel without security. Used from one thread.
#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>

namespace zentarc::ua {

class SharedPool {
 public:
  SharedPool(size_t limit, size_t share) : limit_(limit), share_(share) {}

  // Takes n for `client`; false (and nothing taken) when the client's share or the pool's
  // bound would be passed.
  bool take(const std::string& client, size_t n) {
    if (n > room(client)) return false;
    used_ += n;
    byClient_[client] += n;
    return true;
  }
  // Takes what fits of n (maybe nothing) and returns it.
  size_t takeUpTo(const std::string& client, size_t n) {
    const size_t granted = std::min(n, room(client));
    if (granted) take(client, granted);
    return granted;
  }
  void give(const std::string& client, size_t n) {
    auto it = byClient_.find(client);
    if (it == byClient_.end()) return;
    const size_t back = std::min(n, it->second);
    it->second -= back;
    used_ -= back;
    if (it->second == 0) byClient_.erase(it);
  }
  // What `client` may still take.
  size_t room(const std::string& client) const {
    const size_t mine = usedBy(client);
    const size_t forClient = share_ > mine ? share_ - mine : 0;
    const size_t overall = limit_ > used_ ? limit_ - used_ : 0;
    return std::min(forClient, overall);
  }
  size_t used() const { return used_; }
  size_t usedBy(const std::string& client) const {
    auto it = byClient_.find(client);
    return it == byClient_.end() ? 0 : it->second;
  }
  size_t limit() const { return limit_; }
  size_t share() const { return share_; }
  bool full() const { return used_ >= limit_; }
  bool shareUsed(const std::string& client) const { return usedBy(client) >= share_; }

 private:
  size_t limit_;
  size_t share_;
  size_t used_ = 0;
  std::unordered_map<std::string, size_t> byClient_;  // clients holding nothing are not kept
};

}  // namespace zentarc::ua
