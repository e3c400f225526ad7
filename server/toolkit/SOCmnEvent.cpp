#include "server/toolkit/SOCmnEvent.h"

#include <algorithm>
#include <chrono>

void SOCmnEvent::signal() {
  {
    std::lock_guard g(mutex_);
    signalled_ = true;
  }
  cv_.notify_one();
}

void SOCmnEvent::reset() {
  std::lock_guard g(mutex_);
  signalled_ = false;
}

bool SOCmnEvent::waitFor(std::uint32_t timeoutMs) {
  std::unique_lock l(mutex_);
  if (!cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; }))
    return false;
  signalled_ = false;
  return true;
}

void SOCmnEvent::wait() {
  std::unique_lock l(mutex_);
  cv_.wait(l, [this] { return signalled_; });
  signalled_ = false;
}

SOCmnEventPool::~SOCmnEventPool() = default;

SOCmnEvent* SOCmnEventPool::popEvent() {
  std::lock_guard g(mutex_);
  std::unique_ptr<SOCmnEvent> e;
  if (free_.empty()) {
    e = std::make_unique<SOCmnEvent>();
  } else {
    e = std::move(free_.back());
    free_.pop_back();
  }
  e->reset();
  out_.push_back(std::move(e));
  return out_.back().get();
}

void SOCmnEventPool::pushEvent(SOCmnEvent* event) {
  if (!event) return;
  std::lock_guard g(mutex_);
  auto it = std::find_if(out_.begin(), out_.end(), [event](const auto& p) { return p.get() == event; });
  if (it == out_.end()) return;  // not ours, or returned twice
  (*it)->reset();
  free_.push_back(std::move(*it));
  out_.erase(it);
}

std::size_t SOCmnEventPool::getOutstandingCount() const {
  std::lock_guard g(mutex_);
  return out_.size();
}

SOCmnEventPool* getEventPool() {
  // Leaked on purpose: threads may still hold events while static objects are destroyed.
  static SOCmnEventPool* pool = new SOCmnEventPool();
  return pool;
}
