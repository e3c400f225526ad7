#pragma once
// Events (auto-reset, like the toolkit's pooled events) and the process-wide event pool.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class SOCmnEvent {
 public:
  void signal();
  void reset();
  // True when the event was signalled within timeoutMs (which consumes the signal).
  bool waitFor(std::uint32_t timeoutMs);
  void wait();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

// Hands out reset events and takes them back; events never move between owners while out.
class SOCmnEventPool {
 public:
  SOCmnEventPool() = default;
  SOCmnEventPool(const SOCmnEventPool&) = delete;
  SOCmnEventPool& operator=(const SOCmnEventPool&) = delete;
  ~SOCmnEventPool();

  SOCmnEvent* popEvent();
  void pushEvent(SOCmnEvent* event);
  std::size_t getOutstandingCount() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<SOCmnEvent>> free_;
  std::vector<std::unique_ptr<SOCmnEvent>> out_;
};

// The process-wide pool (never destroyed before exit).
SOCmnEventPool* getEventPool();
