#pragma once
// Writes that come over MQTT, made into toolkit write requests on the tag as an OPC UA
// Write is, so the PLC's worker converts and writes them the same way. Each is answered once:
// at once when it cannot be taken (no such tag, not writable, a value that does not fit, too
// many waiting), else when its request completes (Good only after the PLC acknowledged), or
// with BadTimeout when it takes too long. Completions come from the PLC workers; the owner
// takes the answers on its own thread.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/mqtt/PayloadFormat.h"

namespace zentarc::mqtt {

struct WriteAnswer {
  WriteCommand command;
  std::string status;
};

class WriteGateway {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kMaxWaiting = 100;
  static constexpr std::chrono::milliseconds kTimeout{10000};

  // wake: called (from any thread) when a request completed.
  WriteGateway(const PublishedPlant& plant, std::function<void()> wake);
  ~WriteGateway();

  // A decoded command: answered now (into `answers`) or handed to the tag.
  void take(WriteCommand command, Clock::time_point now, std::vector<WriteAnswer>& answers);
  // Completed and timed-out requests, in the order they finished.
  void collect(Clock::time_point now, std::vector<WriteAnswer>& answers);
  std::size_t waiting() const { return waiting_.size(); }

 private:
  struct Waiting {
    WriteCommand command;
    SOCmnPointer<SODaSRequest> request;
    Clock::time_point deadline;
  };
  // Shared with the completion callbacks, which may outlive the gateway.
  struct Inbox {
    std::mutex mutex;
    std::vector<SOCmnPointer<SODaSRequest>> completed;
    std::function<void()> wake;
    bool open = true;
  };

  const PublishedPlant& plant_;
  std::shared_ptr<Inbox> inbox_;
  std::vector<Waiting> waiting_;
};

}  // namespace zentarc::mqtt
