#include "server/plc/PollingThread.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"

namespace zentarc {

namespace {

bool anyQueued(const ServerQueues& queues) {
  return !queues.writeQueue.empty() || !queues.readQueue.empty() || !queues.activationQueue.empty();
}

}  // namespace

PollingThread::PollingThread(DeviceList& devices, plc::GeLink& link, ServerQueues& queues, PlcStatusSink& sink,
                             TickClock clock)
    : devices_(devices), link_(link), queues_(queues), sink_(sink), clock_(std::move(clock)), linkIo_(link) {}

PollingThread::~PollingThread() {
  stop();
  if (stopEvent_) getEventPool()->pushEvent(stopEvent_);
}

void PollingThread::start() {
  if (thread_.joinable()) return;
  if (!stopEvent_) stopEvent_ = getEventPool()->popEvent();
  stopRequested_ = false;
  thread_ = std::thread([this] { run(); });
}

void PollingThread::stop() {
  if (!thread_.joinable()) return;
  stopRequested_ = true;
  // From the thread itself (a sink reacting at once): it ends after this pass; joining
  // here would wait for ourselves.
  if (std::this_thread::get_id() == thread_.get_id()) return;
  if (stopEvent_) stopEvent_->signal();
  {
    std::lock_guard lock(queues_.queueLock);
    queues_.workQueued.notify_all();
  }
  thread_.join();
}

void PollingThread::report(unsigned code, PlcDevice* device) {
  sink_.sendMessage(WM_PLC_STATUS, code, device);
}

bool PollingThread::sleepFor(std::uint32_t ms) {
  std::unique_lock lock(queues_.queueLock);
  queues_.workQueued.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested_.load(); });
  return !stopRequested_;
}

std::uint32_t PollingThread::msUntilDue() const {
  std::uint32_t soonest = kStopWaitMs;
  const std::uint32_t now = clock_();
  for (std::size_t i = 0; i < devices_.getCount() && soonest > 0; ++i)
    soonest = std::min(soonest, devices_.getIndex(i)->MsUntilNextDue(now));
  return soonest;
}

bool PollingThread::waitForStop() {
  if (stopRequested_) return true;
  const std::uint32_t timeout = msUntilDue();
  if (timeout > 0) {
    std::unique_lock lock(queues_.queueLock);
    queues_.workQueued.wait_for(lock, std::chrono::milliseconds(timeout),
                                [this] { return stopRequested_.load() || anyQueued(queues_); });
  }
  if (stopRequested_) return true;
  // The event may also have been signalled directly. Looking costs a timed wait of its own,
  // so a pass that did not wait looks at most every 5 ms.
  const std::uint32_t tick = steadyTickCount();
  if (timeout == 0 && tick - lastEventCheck_ < kStopWaitMs) return false;
  lastEventCheck_ = tick;
  return stopEvent_->waitFor(0);
}

void PollingThread::run() {
  if (devices_.isEmpty()) {
    sink_.sendMessage(WM_NO_PLC, 0, nullptr);
    return;
  }
  for (std::size_t i = 0; i < devices_.getCount(); ++i) devices_.getIndex(i)->setClock(clock_);
  code_ = devices_.Reinitialise(link_);
  linkNeedsInit_ = code_ != plc::kOk;

  while (!waitForStop()) {
    std::size_t writes, reads, activations;
    {
      std::lock_guard lock(queues_.queueLock);
      writes = queues_.writeQueue.size();
      reads = queues_.readQueue.size();
      activations = queues_.activationQueue.size();
    }
    const bool anyBlocks = devices_.AnyCyclicBlocks();
    if (writes > 0) {
      settle(queues_.writeQueue, writes);
      runWrites();
    }
    if (reads > 0) {
      settle(queues_.readQueue, reads);
      runReads();
    }
    if (activations > 0) {
      settleActivations(activations);
      runActivations();
    }
    if (!anyBlocks || stopRequested_) continue;

    PlcDevice* device = nextDevice();
    if (!device) continue;
    serveCyclic(*device);
  }
  finish();
}

void PollingThread::settle(const std::vector<std::unique_ptr<RequestRecord>>& queue, std::size_t seen) {
  for (int step = 0; step < kMaxSettleSteps; ++step) {
    if (!sleepFor(kRequestSettleMs)) return;
    std::lock_guard lock(queues_.queueLock);
    if (queue.size() == seen) return;
    seen = queue.size();
  }
}

void PollingThread::settleActivations(std::size_t seen) {
  for (int step = 0; step < kMaxActivationSettleSteps; ++step) {
    if (!sleepFor(kActivationSettleMs)) return;
    std::lock_guard lock(queues_.queueLock);
    if (queues_.activationQueue.size() == seen) return;
    seen = queues_.activationQueue.size();
  }
}

plc::ResultCode PollingThread::selectForRequests(PlcDevice& device) {
  // A selected PLC whose channel has closed (lost, or a failed handshake) connects again.
  if (device.number == devices_.selectedNumber && link_.isOpen(device.number)) return plc::kOk;
  const plc::ResultCode code = link_.SelectPlc(device.number);
  // The link's current PLC, not the one asked for: after a failed selection the messages
  // would still go to the PLC selected before, so it must be selected again next time.
  devices_.selectedNumber = link_.currentPlc();
  if (code != plc::kOk) noteResult(device, code);
  return code;
}

void PollingThread::noteResult(PlcDevice& device, plc::ResultCode code) {
  if (code == plc::kOk) {
    if (device.reportedCode == 0) return;
    device.reportedCode = 0;
    report(0, &device);
    return;
  }
  const std::uint32_t now = clock_();
  if (code == device.reportedCode && now - device.reportedAt < kFailureReminderMs) return;
  device.reportedCode = code;
  device.reportedAt = now;
  report(code, &device);
}

void PollingThread::noteMessages(PlcDevice& device) {
  if (io_.failure != plc::kOk) noteResult(device, io_.failure);
  else if (io_.succeeded) noteResult(device, plc::kOk);
}

void PollingThread::runWrites() {
  {
    std::lock_guard lock(queues_.queueLock);
    for (auto& record : queues_.writeQueue) record->tag->getPlc()->QueueWrite(std::move(record));
    queues_.writeQueue.clear();
  }
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    PlcDevice* device = devices_.getIndex(i);
    if (device->writeBlocks.empty()) continue;
    const plc::ResultCode selection = selectForRequests(*device);
    io_.begin();
    device->RunWrites(io_, queues_.queueLock, selection);
    noteMessages(*device);
  }
}

void PollingThread::runReads() {
  {
    std::lock_guard lock(queues_.queueLock);
    for (auto& record : queues_.readQueue) record->tag->getPlc()->QueueRead(std::move(record));
    queues_.readQueue.clear();
  }
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    PlcDevice* device = devices_.getIndex(i);
    if (device->readBlocks.empty()) continue;
    const plc::ResultCode selection = selectForRequests(*device);
    io_.begin();
    device->RunReads(io_, queues_.queueLock, selection);
    noteMessages(*device);
  }
}

void PollingThread::applyActivation(const ActivationRecord& record) {
  PlcTag* tag = record.tag;
  if (!tag) return;
  PlcDevice& device = *tag->getPlc();
  const bool inLiveBlock = tag->unscheduled == 0 && device.HasCyclicBlock(tag->pollBlock);
  if (record.rateChanged) {
    // The block runs at the smallest rate over the tag's active items: one group's new rate
    // must not slow a tag that a faster group shares, nor start polling a tag no item uses.
    const std::uint32_t rate = tag->smallestActiveRate();
    if (rate == 0) return;
    if (!inLiveBlock || tag->pollBlock->updateRate != rate) device.MoveToRate(tag, rate);
  } else if (record.active) {
    // A tag out of every block (or whose block is gone) is scheduled afresh, whatever the
    // number of its items: only a tag still in a live block can be compared by rate.
    if (tag->activeItems.size() < 2 || !inLiveBlock) {
      device.AddToCyclic(tag, record.updateRate);
    } else if (record.updateRate < tag->pollBlock->updateRate) {
      device.MoveToRate(tag, record.updateRate);
    }
  } else if (tag->activeItems.empty() && tag->unscheduled == 0) {
    device.RemoveFromCyclic(tag);
    // Nothing keeps its value current any more: a client must not take it for one.
    tag->cache().invalidate();
  }
}

void PollingThread::runActivations() {
  std::lock_guard lock(queues_.queueLock);
  auto& queue = queues_.activationQueue;
  if (queue.size() > 1) sortActivations(queue);
  for (const auto& record : queue) applyActivation(*record);
  queue.clear();
  // Still under queueLock: the status dialog reads the blocks' ranges with it held.
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    PlcDevice* device = devices_.getIndex(i);
    if (device->HasBlocksToRecompute()) device->RecomputeRanges();
  }
}

PlcDevice* PollingThread::nextDevice() {
  std::lock_guard guard(devices_.getList());
  const std::size_t count = devices_.getCount();
  if (count == 0) return nullptr;
  PlcDevice* device = devices_.currentDevice;
  if (!device || device->AllServiced() || plc::isTransportFailure(code_)) {
    PlcDevice* previous = device;
    if (device) device->ClearServiced();
    if (++devices_.rotationPosition >= count) devices_.rotationPosition = 0;
    device = devices_.getIndex(devices_.rotationPosition);
    // A fresh pass over the device: no flag left from a pass cut short by a reconnection.
    device->ClearServiced();
    devices_.currentDevice = device;
    // A refusal belongs to the PLC that gave it: it never skips another PLC's blocks.
    if (code_ >= plc::kBadResponse) {
      if (device != previous) code_ = plc::kOk;
      else protocolCodeStale_ = true;
    }
  }
  if (device->number != devices_.selectedNumber || !link_.isOpen(device->number)) {
    code_ = link_.SelectPlc(device->number);
    devices_.selectedNumber = link_.currentPlc();
    protocolCodeStale_ = false;
    selectionFailed_ = code_ != plc::kOk;
  }
  return device;
}

void PollingThread::serveCyclic(PlcDevice& device) {
  CyclicBlock* block = nullptr;
  bool skipToEnd = false;
  io_.begin();
  if (!device.cyclicBlocks.empty()) {
    block = device.NextCyclicBlock();
    const std::uint32_t now = clock_();
    if (code_ != plc::kOk && protocolCodeStale_ && block->isDue(now)) {
      // A refusal from an earlier pass: try the PLC again rather than skip it for good.
      code_ = plc::kOk;
      protocolCodeStale_ = false;
    }
    if (code_ != plc::kOk) {
      block->serviced = 1;
    } else if (block->tags.empty()) {
      skipToEnd = true;
    } else if (block->isDue(now)) {
      device.ReadCyclicBlock(*block, code_, io_);
    } else {
      block->serviced = 1;
    }
  }
  if (!skipToEnd && code_ != plc::kOk) {
    if (block) {
      const std::uint16_t quality = qualityForError(code_);
      for (const auto& tag : block->tags) tag->getCache()->setQuality(quality);
    }
    noteResult(device, code_);
    if (linkNeedsInit_ || code_ < plc::kBadResponse) {
      link_.CloseAll();
      sleepFor(kReconnectPauseMs);
      device.SetQualityAll(qualityForError(code_));
      if (devices_.Reinitialise(link_) == plc::kOk) linkNeedsInit_ = false;
    } else if (selectionFailed_) {
      // A refused or garbled handshake closed the channel: the next try connects afresh,
      // after the same pause as a transport failure rather than at once and again.
      selectionFailed_ = false;
      sleepFor(kReconnectPauseMs);
      device.SetQualityAll(qualityForError(code_));
    }
  } else if (io_.succeeded) {
    noteResult(device, plc::kOk);
  }
}

void PollingThread::finish() {
  link_.CloseAll();
  std::lock_guard lock(queues_.queueLock);
  // Requests that arrived during the last pass are answered rather than left pending.
  for (auto& record : queues_.writeQueue)
    record->request->complete(E_FAIL, true, OPC_QUALITY_OUT_OF_SERVICE, false, true);
  for (auto& record : queues_.readQueue)
    record->request->complete(E_FAIL, true, OPC_QUALITY_OUT_OF_SERVICE, false, true);
  queues_.writeQueue.clear();
  queues_.readQueue.clear();
  for (std::size_t i = 0; i < devices_.getCount(); ++i) devices_.getIndex(i)->ReleaseBlocks();
}

}  // namespace zentarc
