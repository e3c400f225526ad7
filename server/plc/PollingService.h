#pragma once
// The polling side: one worker per PLC (PlcWorker), so that no PLC ever waits for another.
// start() numbers the devices and starts the workers; with no PLC at all it sends
// WM_NO_PLC instead (from a thread of its own, as the window may only handle it once its
// message loop runs). stop() signals stopEvent, lets every worker end after the message it
// has in flight, and waits for them all; every request still pending is answered by then.
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PlcStatusSink.h"
#include "server/plc/PlcWorker.h"
#include "server/plc/TickClock.h"
#include "server/toolkit/SOCmnEvent.h"

namespace zentarc {

class PollingService {
 public:
  PollingService(DeviceList& devices, ServerQueues& queues, PlcStatusSink& sink, TickClock clock = steadyTickCount);
  ~PollingService();  // stops and joins
  PollingService(const PollingService&) = delete;
  PollingService& operator=(const PollingService&) = delete;

  void start();
  void stop();
  // The event that ends the polling when signalled (null before start).
  SOCmnEvent* stopEvent() const { return stopEvent_; }
  std::size_t workerCount() const { return workers_.size(); }
  // After stop(): the writes answered as not sent because polling stopped.
  std::size_t unsentWrites() const { return unsentWrites_; }
  const PlcWorker& worker(std::size_t i) const { return *workers_[i]; }

 private:
  DeviceList& devices_;
  ServerQueues& queues_;
  PlcStatusSink& sink_;
  TickClock clock_;
  SOCmnEvent* stopEvent_ = nullptr;
  std::vector<std::unique_ptr<PlcWorker>> workers_;
  std::thread noPlc_;
  bool started_ = false;
  std::size_t unsentWrites_ = 0;
};

}  // namespace zentarc
