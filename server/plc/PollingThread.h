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
// A PLC that stays failed with the same code is reported again this often, so that a log
// read later still shows it; otherwise only changes of its state are reported.
inline constexpr std::uint32_t kFailureReminderMs = 10 * 60 * 1000;

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
  // Selects the device's PLC unless it is the selected one and its channel is open (then 0
  // without a message). A failure is reported as the PLC's state.
  plc::ResultCode selectForRequests(PlcDevice& device);
  // Reports a PLC's state when it changed: a failure with its code (again after
  // kFailureReminderMs), or working again, which only a message that succeeded can tell.
  void noteResult(PlcDevice& device, plc::ResultCode code);
  // The outcome of the messages sent through io_ since begin(): the last failure, if any,
  // and whether any message succeeded.
  void noteMessages(PlcDevice& device);
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
  LinkRegisterAccess linkIo_;
  // Every message of the passes goes through this, so that each run's outcome is known.
  class TrackedAccess : public RegisterAccess {
   public:
    explicit TrackedAccess(RegisterAccess& inner) : inner_(inner) {}
    plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override {
      return track(inner_.ReadRegisters(count, index, destination));
    }
    plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) override {
      return track(inner_.WriteRegisters(count, index, source));
    }
    void begin() { failure = plc::kOk; succeeded = false; }
    plc::ResultCode failure = plc::kOk;
    bool succeeded = false;

   private:
    plc::ResultCode track(plc::ResultCode code) {
      if (code == plc::kOk) succeeded = true;
      else failure = code;
      return code;
    }
    RegisterAccess& inner_;
  };
  TrackedAccess io_{linkIo_};
  SOCmnEvent* stopEvent_ = nullptr;
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;

  // Thread-local state of the passes.
  plc::ResultCode code_ = plc::kOk;
  bool linkNeedsInit_ = false;
  // A refusal code (64 and up) stored from an earlier pass over the current device: the
  // next due block is read again instead of being skipped for good.
  bool protocolCodeStale_ = false;
  bool selectionFailed_ = false;  // the current device's last selection failed
  std::uint32_t lastEventCheck_ = 0;  // steady tick of the last look at stopEvent
};

}  // namespace zentarc
