#include "server/toolkit/SODaSCache.h"

namespace {

// Counters change only with mutex_ held, so a plain load and release store suffice: no
// locked read-modify-write on the path every polled value takes.
void bump(std::atomic<std::uint64_t>& counter) {
  counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

}  // namespace

SODaSCache::SODaSCache() : timeStamp_(std::chrono::system_clock::now()) {}

SOCmnVariant SODaSCache::getValue() const {
  std::lock_guard g(mutex_);
  return value_;
}

bool SODaSCache::getValue(SOCmnVariant& value) const {
  value = getValue();
  return true;
}

bool SODaSCache::setValue(const SOCmnVariant& value, std::uint32_t /*flags*/) {
  SOCmnVariant old;  // released outside the lock
  std::lock_guard g(mutex_);
  store(value, quality_, old);
  return true;
}

bool SODaSCache::setValueQuality(const SOCmnVariant& value, std::uint16_t quality, std::uint32_t /*flags*/) {
  SOCmnVariant old;
  std::lock_guard g(mutex_);
  store(value, quality, old);
  return true;
}

void SODaSCache::storeDeviceValue(SOCmnVariant&& value, std::uint16_t quality,
                                  std::chrono::system_clock::time_point readTime, bool keptCurrent) {
  std::lock_guard g(mutex_);
  const bool changed = differs(value, quality) || !keptCurrent;
  // The old value goes out in `value` and is released after the lock.
  std::swap(value_, value);
  stored(changed, quality, readTime);
  if (!keptCurrent) waiting_ = true;
}

void SODaSCache::store(const SOCmnVariant& value, std::uint16_t quality, SOCmnVariant& old) {
  const bool changed = differs(value, quality);
  old = std::move(value_);
  value_ = value;
  stored(changed, quality, std::chrono::system_clock::now());
}

bool SODaSCache::differs(const SOCmnVariant& value, std::uint16_t quality) const {
  return waiting_ || quality_ != quality || !(value_ == value);
}

void SODaSCache::stored(bool changed, std::uint16_t quality, std::chrono::system_clock::time_point timeStamp) {
  quality_ = quality;
  waiting_ = false;
  timeStamp_ = timeStamp;
  bump(updateCount_);
  if (changed) bump(changeCount_);
}

void SODaSCache::setInitialValue(const SOCmnVariant& value) {
  std::lock_guard g(mutex_);
  value_ = value;
  waiting_ = true;
  timeStamp_ = std::chrono::system_clock::now();
  bump(updateCount_);
  bump(changeCount_);
}

void SODaSCache::invalidate() {
  std::lock_guard g(mutex_);
  if (waiting_ && quality_ == OPC_QUALITY_GOOD) return;
  waiting_ = true;
  quality_ = OPC_QUALITY_GOOD;
  timeStamp_ = std::chrono::system_clock::now();
  bump(updateCount_);
  bump(changeCount_);
}

void SODaSCache::setQuality(std::uint16_t quality) {
  std::lock_guard g(mutex_);
  const bool changed = quality_ != quality;
  quality_ = quality;
  timeStamp_ = std::chrono::system_clock::now();
  bump(updateCount_);
  if (changed) bump(changeCount_);
}

std::uint16_t SODaSCache::getQuality() const {
  std::lock_guard g(mutex_);
  return quality_;
}

std::chrono::system_clock::time_point SODaSCache::getTimeStamp() const {
  std::lock_guard g(mutex_);
  return timeStamp_;
}

bool SODaSCache::isWaitingForInitialData() const {
  std::lock_guard g(mutex_);
  return waiting_;
}

SODaSCacheSnapshot SODaSCache::getSnapshot() const {
  std::lock_guard g(mutex_);
  SODaSCacheSnapshot s;
  s.value = value_;
  s.quality = quality_;
  s.timeStamp = timeStamp_;
  s.updateCount = updateCount_.load(std::memory_order_relaxed);
  s.changeCount = changeCount_.load(std::memory_order_relaxed);
  s.waitingForInitialData = waiting_;
  return s;
}
