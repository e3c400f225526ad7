#pragma once
// The cache of a tag: the last value, its quality and a timestamp the cache sets on every
// setValue / setQuality (the server supplies none). Thread-safe; the counters can be polled
// without taking the lock so that samplers tell cheaply whether anything changed.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "server/toolkit/SOCmnObject.h"
#include "server/toolkit/SOCmnVariant.h"
#include "server/toolkit/SODaSQuality.h"

// What the server passes to setValue for a value read from the device.
inline constexpr std::uint32_t SODASCACHE_FLAG_DEVICE_VALUE = 0x800;

struct SODaSCacheSnapshot {
  SOCmnVariant value;
  std::uint16_t quality = OPC_QUALITY_GOOD;
  std::chrono::system_clock::time_point timeStamp;
  std::uint64_t updateCount = 0;
  std::uint64_t changeCount = 0;
  // No current value from the device: none has come yet (only the zero value the tag was
  // built with), or the last one is no longer kept current (see invalidate()).
  bool waitingForInitialData = true;
};

class SODaSCache : public SOCmnObject {
 public:
  SODaSCache();

  SOCmnVariant getValue() const;
  bool getValue(SOCmnVariant& value) const;  // always true; kept for the toolkit's form
  // Stores a value (a copy shares the storage); ends "waiting for initial data".
  bool setValue(const SOCmnVariant& value, std::uint32_t flags = SODASCACHE_FLAG_DEVICE_VALUE);
  // The value a tag is built with (its type's zero); still waiting for initial data.
  void setInitialValue(const SOCmnVariant& value);
  void setQuality(std::uint16_t quality);
  // The value is no longer kept current (nothing reads it from the device any more): it
  // stays for display, but readers see no current value, as before the first read.
  void invalidate();
  // setValue and setQuality as one change, so no reader sees the new value with the old
  // quality.
  bool setValueQuality(const SOCmnVariant& value, std::uint16_t quality,
                       std::uint32_t flags = SODASCACHE_FLAG_DEVICE_VALUE);
  // The same for a value just read from the device, taken over rather than copied, with
  // the time it was read: the tags of one message share one read time. With keptCurrent
  // false (a one-off read of a tag that nothing reads again), the value is stored but
  // readers see no current value, as after invalidate().
  void storeDeviceValue(SOCmnVariant&& value, std::uint16_t quality,
                        std::chrono::system_clock::time_point readTime, bool keptCurrent = true);
  std::uint16_t getQuality() const;
  std::chrono::system_clock::time_point getTimeStamp() const;
  bool isWaitingForInitialData() const;
  SODaSCacheSnapshot getSnapshot() const;

  // +1 on every setValue / setQuality.
  std::uint64_t getUpdateCount() const { return updateCount_.load(std::memory_order_acquire); }
  // +1 only when the value or the quality actually differs from before.
  std::uint64_t getChangeCount() const { return changeCount_.load(std::memory_order_acquire); }

  // How often (ms) the device side refreshes this cache by itself, 0 while nothing does;
  // beside the counters, which a sampler reads anyway.
  void setDeviceRefreshRate(std::uint32_t ms) { deviceRefreshRate_.store(ms, std::memory_order_relaxed); }
  std::uint32_t getDeviceRefreshRate() const { return deviceRefreshRate_.load(std::memory_order_relaxed); }

 private:
  // With mutex_ held; the previous value goes to `old` so the caller frees it after unlocking.
  void store(const SOCmnVariant& value, std::uint16_t quality, SOCmnVariant& old);
  // With mutex_ held: whether storing value and quality counts as a change.
  bool differs(const SOCmnVariant& value, std::uint16_t quality) const;
  // With mutex_ held: quality, stamp and counters of a store whose value is in place.
  void stored(bool changed, std::uint16_t quality, std::chrono::system_clock::time_point timeStamp);

  mutable std::mutex mutex_;
  SOCmnVariant value_;
  std::uint16_t quality_ = OPC_QUALITY_GOOD;
  std::chrono::system_clock::time_point timeStamp_;
  bool waiting_ = true;
  // Written only with mutex_ held; read without it.
  std::atomic<std::uint64_t> updateCount_{0};
  std::atomic<std::uint64_t> changeCount_{0};
  std::atomic<std::uint32_t> deviceRefreshRate_{0};
};
