#include "server/plc/PollingService.h"

namespace zentarc {

PollingService::PollingService(DeviceList& devices, ServerQueues& queues, PlcStatusSink& sink, TickClock clock)
    : devices_(devices), queues_(queues), sink_(sink), clock_(std::move(clock)) {}

PollingService::~PollingService() {
  stop();
  if (stopEvent_) getEventPool()->pushEvent(stopEvent_);
}

void PollingService::start() {
  if (started_) return;
  started_ = true;
  if (!stopEvent_) stopEvent_ = getEventPool()->popEvent();
  if (devices_.isEmpty()) {
    noPlc_ = std::thread([this] { sink_.sendMessage(WM_NO_PLC, 0, nullptr); });
    return;
  }
  devices_.NumberDevices();
  for (std::size_t i = 0; i < devices_.getCount(); ++i)
    workers_.push_back(std::make_unique<PlcWorker>(*devices_.getIndex(i), queues_, sink_, clock_));
  for (auto& worker : workers_) worker->start();
}

void PollingService::stop() {
  if (stopEvent_) stopEvent_->signal();
  // All are told first, so that stopping takes the longest message in flight, not the sum.
  for (auto& worker : workers_) worker->requestStop();
  for (auto& worker : workers_) worker->join();
  unsentWrites_ = 0;
  for (auto& worker : workers_) unsentWrites_ += worker->unsentWrites();
  if (noPlc_.joinable() && std::this_thread::get_id() != noPlc_.get_id()) noPlc_.join();
  if (!started_) return;
  // Nothing takes requests any more: they fail at once from now on, and none is stranded.
  std::lock_guard lock(queues_.queueLock);
  queues_.accepting = false;
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    unsentWrites_ += devices_.getIndex(i)->queues.writeQueue.size();
    devices_.getIndex(i)->failQueued();
  }
}

}  // namespace zentarc
