#pragma once
// The one thread that talks to PLCs. Each pass: wait for stopEvent (at most 5 ms, less when
// work is queued or a cyclic block falls due); run the queued writes, then the device
// reads, then the activation changes; then read at most one due cyclic block of the current
// device. Transport failures drop every connection and rebuild the table; each change of a
// PLC's state goes to the status sink.
#include <atomic>
#include <cstdint>
#include <thread>

#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/GeLink.h"
#include "server/plc/PlcStatusSink.h"
#include "server/plc/RegisterAccess.h"
#include "server/plc/ResultCodes.h"
#include "server/plc/TickClock.h"
#include "server/toolkit/Heartbeat.h"
#include "server/toolkit/SOCmnEvent.h"

namespace zentarc {

// Pause of a pass, and the settle steps of the queues.
inline constexpr std::uint32_t kStopWaitMs = 5;
inline constexpr std::uint32_t kRequestSettleMs = 10;
inline constexpr std::uint32_t kActivationSettleMs = 100;
// A queue that keeps growing is taken anyway after this many settle steps, so that a steady
// stream of requests cannot hold off everything else.
inline constexpr int kMaxSettleSteps = 50;
inline constexpr int kMaxActivationSettleSteps = 10;
inline constexpr std::uint32_t kReconnectPauseMs = 100;

class PollingThread {
 public:
  PollingThread(DeviceList& devices, plc::GeLink& link, ServerQueues& queues, PlcStatusSink& sink,
                TickClock clock = steadyTickCount);
  ~PollingThread();  // stops and joins
  PollingThread(const PollingThread&) = delete;
  PollingThread& operator=(const PollingThread&) = delete;

  // Takes stopEvent from the event pool and starts the thread.
  void start();
  // Signals stopEvent and waits for the thread to end (it closes every connection).
  void stop();
  // The event that ends the thread when signalled (null before start).
  SOCmnEvent* stopEvent() const { return stopEvent_; }
  bool joinable() const { return thread_.joinable(); }
  // Beats once per pass; a pass waits at most about 1 s for each PLC message it sends.
  const Heartbeat& heartbeat() const { return heartbeat_; }

 private:
  void run();
  // The pass's wait: true when the thread must end.
  bool waitForStop();
  // Waits in steps until the queue's size held still over one step.
  void settle(const std::vector<std::unique_ptr<RequestRecord>>& queue, std::size_t seen);
  void settleActivations(std::size_t seen);
  void runWrites();
  void runReads();
  void runActivations();
  void applyActivation(const ActivationRecord& record);
  // Selects the device's PLC unless it is the selected one (then 0 without a message).
  plc::ResultCode selectForRequests(PlcDevice& device);
  PlcDevice* nextDevice();
  void serveCyclic(PlcDevice& device);
  void report(unsigned code, PlcDevice* device);
  void finish();
  bool sleepFor(std::uint32_t ms);  // false when stop was asked meanwhile
  std::uint32_t msUntilDue() const;

  DeviceList& devices_;
  plc::GeLink& link_;
  ServerQueues& queues_;
  PlcStatusSink& sink_;
  TickClock clock_;
  LinkRegisterAccess io_;
  SOCmnEvent* stopEvent_ = nullptr;
  std::atomic<bool> stopRequested_{false};
  Heartbeat heartbeat_;
  std::thread thread_;

  // Thread-local state of the passes.
  plc::ResultCode code_ = plc::kOk;
  bool linkNeedsInit_ = false;
  unsigned lastReportedCode_ = 0;
  PlcDevice* lastReportedDevice_ = nullptr;
  // A refusal code (64 and up) stored from an earlier pass over the current device: the
  // next due block is read again instead of being skipped for good.
  bool protocolCodeStale_ = false;
  std::uint32_t lastEventCheck_ = 0;  // steady tick of the last look at stopEvent
};

}  // namespace zentarc
