#pragma once
// The worker of one PLC: a thread that alone talks to that PLC, over a connection of its own
// (a GE PLC numbers messages per connection, so each link keeps its own sequence counter).
// Each pass: wait for work, bounded by the next due block or try; run the queued writes,
// then the device reads (each once its queue has been still for 10 ms), then the activation
// changes (100 ms); then read at most one due cyclic block, so that queued requests never
// wait behind a whole scan.
//
// A PLC that keeps failing is demoted: tried again only after a growing back-off (100 ms
// after the first failure, then 1 s doubling to 30 s; a success ends it). Meanwhile its tags
// are Bad and its device reads and writes fail at once. Nothing here waits on another PLC,
// and no lock a client takes is held across a message.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "server/opc/ServerQueues.h"
#include "server/plc/FailureReports.h"
#include "server/plc/GeLink.h"
#include "server/plc/PlcDevice.h"
#include "server/plc/PlcStatus.h"
#include "server/plc/PlcStatusSink.h"
#include "server/plc/ReadCost.h"
#include "server/plc/RegisterAccess.h"
#include "server/plc/TickClock.h"
#include "server/plc/TrackedAccess.h"
#include "server/plc/WorkerLink.h"
#include "server/toolkit/Heartbeat.h"

namespace zentarc {

// The settle steps of the queues. A queue that keeps growing is taken anyway after so many
// steps, so that a steady stream of requests cannot hold off everything else.
inline constexpr std::uint32_t kRequestSettleMs = 10;
inline constexpr std::uint32_t kActivationSettleMs = 100;
inline constexpr int kMaxSettleSteps = 50;
inline constexpr int kMaxActivationSettleSteps = 10;
// The longest wait of a pass with nothing to do: a pass begins at least this often.
inline constexpr std::uint32_t kMaxPassWaitMs = 1000;
// Device reads and writes of one pass run for about this long at most; the blocks not begun
// go on in the next pass, after the writes queued meanwhile, so that a slow PLC and a large
// request cannot hold everything else up.
inline constexpr std::uint32_t kRequestStepMs = 1000;
// A demoted PLC is tried at once for a client's device read or write, at most this often,
// so that a PLC that is back takes requests without waiting out its back-off.
inline constexpr std::uint32_t kRequestTryMs = 1000;

// Reads timed before the blocks are first planned by the PLC's answer times, and the least
// time between two such plans.
inline constexpr std::uint32_t kSamplesBeforePlanning = 8;
inline constexpr std::chrono::seconds kReplanInterval{10};

// The pause before the next try after `failures` failed tries in a row: 100 ms after the
// first (a lost connection is mostly made again at once), then 1 s doubling up to 30 s.
std::uint32_t retryDelayMs(std::uint32_t failures);

class PlcWorker {
 public:
  PlcWorker(PlcDevice& device, ServerQueues& queues, PlcStatusSink& sink, TickClock clock = steadyTickCount);
  ~PlcWorker();  // stops and joins
  PlcWorker(const PlcWorker&) = delete;
  PlcWorker& operator=(const PlcWorker&) = delete;

  void start();
  // The worker ends after the message in flight, if any (at most about a second): nothing
  // more is sent, and every request still pending is answered as not sent.
  void requestStop();
  // Waits for the worker to end (not from the worker itself).
  void join();

  PlcDevice& device() const { return device_; }
  // Beats once per pass and at every PLC message; a pass starts at least once a second and
  // waits at most about a second for each message (three for a connect and its handshake).
  const Heartbeat& heartbeat() const { return heartbeat_; }
  // Writes answered as not sent because polling stopped (valid once the worker has ended).
  std::size_t unsentWrites() const { return unsentWrites_; }

 private:
  void run();
  // Called once at the top of every pass: the one place a liveness tick belongs.
  void passBegins();
  // Waits until work is queued, the next block or try falls due, or stop; false on stop.
  bool waitForWork();
  std::uint32_t msUntilNextTry() const;
  // Waits in steps until the queue's size held still over one step.
  void settle(const std::vector<std::unique_ptr<RequestRecord>>& queue, std::size_t seen);
  void settleActivations(std::size_t seen);
  bool sleepFor(std::uint32_t ms);  // false when stop was asked meanwhile

  // Moves one queue of this PLC's device requests into its blocks, under queueLock.
  void takeQueued(std::vector<std::unique_ptr<RequestRecord>>& queue,
                  void (PlcDevice::*add)(std::unique_ptr<RequestRecord>));
  void runWrites();
  void runReads();
  void runActivations();
  // True when the tag's block or rate changed.
  bool applyActivation(const ActivationRecord& record);
  // Takes what the last messages taught of the PLC's answer times into how widely its blocks
  // bridge, rebuilding them when that changed much.
  void learnReadCost();
  void serveCyclic();
  void readBlock(CyclicBlock& block);

  // The code device reads and writes fail with at once while demoted; else 0 once connected.
  plc::ResultCode readyForRequests();
  // Connects and handshakes when the channel is closed; a failure counts as a failed try.
  plc::ResultCode connect();
  // Connects and handshakes now; counts the message but leaves failures to the caller.
  plc::ResultCode openConnection();
  RequestStep requestStep();
  bool backingOff(std::uint32_t now) const;  // a try is not due yet after failures
  bool demoted(std::uint32_t now) const { return failures_ >= 2 && backingOff(now); }
  // The outcome of the messages of one step.
  void noteMessages();
  // A try that failed: a connect, or a message the transport lost.
  void failed(plc::ResultCode code);
  // Publishes the figures and reports a change of state to the sink.
  void stateChanged();
  // Tells the sink what FailureReports says is due.
  void report();
  PlcState state() const;
  void publish();
  void countBlocks();  // the polled blocks and tags, after the blocks changed
  void finish();

  PlcDevice& device_;
  ServerQueues& queues_;
  PlcStatusSink& sink_;
  TickClock clock_;
  Heartbeat heartbeat_;
  std::atomic<bool> stop_{false};
  plc::GeLink link_;
  WorkerLink linkIo_{link_, stop_, [this] { return openConnection(); }};
  ReadCost cost_;
  TrackedAccess io_{linkIo_, &cost_, &heartbeat_};
  std::thread thread_;
  std::size_t unsentWrites_ = 0;

  // State of the passes, touched by the worker thread only.
  plc::ResultCode code_ = plc::kOk;  // the last result
  std::uint32_t failures_ = 0;       // failed tries in a row (connects, transport failures)
  std::uint32_t retryAt_ = 0;        // tick of the next try while failures_ > 0
  std::uint32_t lastTryAt_ = 0;      // tick of the last connect
  bool everConnected_ = false;
  FailureReports reports_;
  std::uint32_t scanStart_ = 0;      // tick the current pass over the blocks began
  bool planned_ = false;             // the blocks were planned by measured answer times
  std::chrono::steady_clock::time_point plannedAt_{};
  bool bridgingFallback_ = false;    // wide bridging was refused and is given up
  bool addressUnusable_ = false;     // the address text is no IPv4 address: never tried
  PlcStatus status_;
};

}  // namespace zentarc
