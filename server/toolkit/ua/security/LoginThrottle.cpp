#include "server/toolkit/ua/security/LoginThrottle.h"

#include <algorithm>
#include <vector>

namespace zentarc::ua {

namespace {
// A name and an address as one key; no user name holds a NUL.
std::string pairKey(const std::string& user, const std::string& address) { return user + '\0' + address; }
}  // namespace

LoginThrottle::LoginThrottle(Clock clock) : LoginThrottle(Limits{}, std::move(clock)) {}
LoginThrottle::LoginThrottle(Limits limits, Clock clock) : limits_(limits), clock_(std::move(clock)) {}

std::chrono::milliseconds LoginThrottle::delayAfter(unsigned failures) const {
  if (failures == 0) return std::chrono::milliseconds(0);
  std::chrono::milliseconds d = limits_.firstDelay;
  for (unsigned i = 1; i < failures && d < limits_.maxDelay; ++i) d *= 2;
  return std::min(d, limits_.maxDelay);
}

std::chrono::milliseconds LoginThrottle::remaining(const Failures& f, unsigned free) const {
  if (f.count <= free) return std::chrono::milliseconds(0);
  const auto until = f.last + delayAfter(f.count - free);
  const auto now = clock_();
  if (now >= until) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(until - now);
}

std::chrono::milliseconds LoginThrottle::waitFor(const std::string& user, const std::string& address) const {
  std::chrono::milliseconds wait(0);
  if (auto it = byPair_.find(pairKey(user, address)); it != byPair_.end()) wait = remaining(it->second, 0);
  if (auto it = byAddress_.find(address); it != byAddress_.end())
    wait = std::max(wait, remaining(it->second, limits_.freeFailuresPerAddress));
  return wait;
}

LoginThrottle::Verdict LoginThrottle::admit(const std::string& user, const std::string& address) {
  if (waitFor(user, address).count() > 0) return Verdict::Wait;
  unsigned& busy = underWay_[address];
  if (busy >= limits_.checksPerAddress) return Verdict::Busy;
  ++busy;
  return Verdict::Check;
}

void LoginThrottle::abandoned(const std::string& address) {
  if (auto it = underWay_.find(address); it != underWay_.end() && --it->second == 0) underWay_.erase(it);
}

void LoginThrottle::finished(const std::string& user, const std::string& address, bool success) {
  abandoned(address);
  const std::string key = pairKey(user, address);
  if (success) {
    byPair_.erase(key);
    return;
  }
  if (byPair_.size() + byAddress_.size() >= limits_.maxTracked) forgetQuiet();
  const auto now = clock_();
  for (Failures* f : {&byPair_[key], &byAddress_[address]}) {
    ++f->count;
    f->last = now;
  }
}

void LoginThrottle::forgetQuiet() {
  // Entries whose wait is long over say nothing any more; when every entry still counts,
  // the older half goes, and all of them when they are all as old (a flood of addresses
  // must not grow this without end).
  const auto now = clock_();
  auto quiet = [&](const auto& kv) { return now - kv.second.last > 2 * limits_.maxDelay; };
  std::erase_if(byPair_, quiet);
  std::erase_if(byAddress_, quiet);
  for (auto* map : {&byPair_, &byAddress_}) {
    if (map->size() < limits_.maxTracked / 2) continue;
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const auto& kv : *map) times.push_back(kv.second.last);
    std::nth_element(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2), times.end());
    const auto median = times[times.size() / 2];
    std::erase_if(*map, [&](const auto& kv) { return kv.second.last < median; });
    if (map->size() >= limits_.maxTracked / 2) map->clear();
  }
}

}  // namespace zentarc::ua
