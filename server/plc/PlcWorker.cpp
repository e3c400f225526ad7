#include "server/plc/PlcWorker.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/AddressText.h"

namespace zentarc {

namespace {

constexpr std::uint32_t kFirstRetryMs = 100;
constexpr std::uint32_t kDemotedRetryMs = 1000;
constexpr std::uint32_t kLongestRetryMs = 30000;

// Signed distance of two ticks, right across the 32-bit wrap.
std::int32_t ticksUntil(std::uint32_t when, std::uint32_t now) { return static_cast<std::int32_t>(when - now); }

}  // namespace

std::uint32_t retryDelayMs(std::uint32_t failures) {
  if (failures <= 1) return kFirstRetryMs;
  std::uint32_t delay = kDemotedRetryMs;
  for (std::uint32_t i = 2; i < failures && delay < kLongestRetryMs; ++i) delay *= 2;
  return std::min(delay, kLongestRetryMs);
}

PlcWorker::PlcWorker(PlcDevice& device, ServerQueues& queues, PlcStatusSink& sink, TickClock clock)
    : device_(device), queues_(queues), sink_(sink), clock_(std::move(clock)) {}

PlcWorker::~PlcWorker() {
  requestStop();
  join();
}

void PlcWorker::start() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { run(); });
}

void PlcWorker::requestStop() {
  stop_ = true;
  std::lock_guard lock(queues_.queueLock);
  device_.queues.workQueued.notify_all();
}

void PlcWorker::join() {
  // From the worker itself (a sink reacting at once): it ends after this pass.
  if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id()) thread_.join();
}

void PlcWorker::run() {
  device_.setClock(clock_);
  link_.Setup({device_.addressText});
  scanStart_ = clock_();
  // An address no connection can be made to fails once, for good: the PLC is never tried,
  // its tags are Bad, and its state names the reason.
  addressUnusable_ = !plc::parseAddressText(device_.addressText);
  if (addressUnusable_) failed(plc::kAddressNotAvailable);
  publish();
  while (waitForWork()) {
    passBegins();
    std::size_t writes, reads, activations;
    {
      std::lock_guard lock(queues_.queueLock);
      writes = device_.queues.writeQueue.size();
      reads = device_.queues.readQueue.size();
      activations = device_.queues.activationQueue.size();
    }
    // Blocks a step left for lack of time go on now, after what was queued meanwhile joined.
    if (writes > 0 || !device_.writeBlocks.empty()) {
      if (writes > 0) settle(device_.queues.writeQueue, writes);
      runWrites();
    }
    if (stop_) break;
    if (reads > 0 || !device_.readBlocks.empty()) {
      if (reads > 0) settle(device_.queues.readQueue, reads);
      runReads();
    }
    if (activations > 0) {
      settleActivations(activations);
      runActivations();
    }
    if (stop_) break;
    serveCyclic();
  }
  finish();
}

std::uint32_t PlcWorker::msUntilNextTry() const {
  const std::uint32_t now = clock_();
  if (device_.cyclicBlocks.empty() || addressUnusable_) return std::numeric_limits<std::uint32_t>::max();
  if (backingOff(now)) return static_cast<std::uint32_t>(ticksUntil(retryAt_, now));
  return device_.MsUntilNextDue(now);
}

bool PlcWorker::waitForWork() {
  if (stop_) return false;
  const bool leftOver = !device_.writeBlocks.empty() || !device_.readBlocks.empty();
  const std::uint32_t timeout = leftOver ? 0 : std::min(msUntilNextTry(), kMaxPassWaitMs);
  if (timeout > 0) {
    std::unique_lock lock(queues_.queueLock);
    device_.queues.workQueued.wait_for(lock, std::chrono::milliseconds(timeout),
                                       [this] { return stop_.load() || !device_.queues.empty(); });
  }
  return !stop_;
}

bool PlcWorker::sleepFor(std::uint32_t ms) {
  std::unique_lock lock(queues_.queueLock);
  device_.queues.workQueued.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
  return !stop_;
}

void PlcWorker::settle(const std::vector<std::unique_ptr<RequestRecord>>& queue, std::size_t seen) {
  for (int step = 0; step < kMaxSettleSteps; ++step) {
    if (!sleepFor(kRequestSettleMs)) return;
    std::lock_guard lock(queues_.queueLock);
    if (queue.size() == seen) return;
    seen = queue.size();
  }
}

void PlcWorker::settleActivations(std::size_t seen) {
  for (int step = 0; step < kMaxActivationSettleSteps; ++step) {
    if (!sleepFor(kActivationSettleMs)) return;
    std::lock_guard lock(queues_.queueLock);
    if (device_.queues.activationQueue.size() == seen) return;
    seen = device_.queues.activationQueue.size();
  }
}

bool PlcWorker::backingOff(std::uint32_t now) const {
  return addressUnusable_ || (failures_ > 0 && ticksUntil(retryAt_, now) > 0);
}

plc::ResultCode PlcWorker::readyForRequests() {
  // Demoted: a client's request tries the PLC at once, at most once a second, so that a PLC
  // that is back takes it without waiting out the back-off; in between, a client learns at
  // once that the PLC is not reachable rather than waiting a connect limit per request.
  const std::uint32_t now = clock_();
  if (addressUnusable_ || (demoted(now) && now - lastTryAt_ < kRequestTryMs)) return code_;
  return connect();
}

plc::ResultCode PlcWorker::connect() {
  // A connection the PLC closed meanwhile (it restarted) is found before the next message
  // rather than by it: the message goes over a new connection instead of failing.
  if (link_.stillOpen(1)) return plc::kOk;
  const plc::ResultCode code = openConnection();
  if (code != plc::kOk && !stop_) failed(code);
  return code;
}

plc::ResultCode PlcWorker::openConnection() {
  // Once a stop is asked no new connection is made: its handshake would be new messages.
  if (stop_) return plc::kChannelNotOpen;
  lastTryAt_ = clock_();
  const plc::ResultCode code = link_.SelectPlc(1);
  heartbeat_.beat();
  ++status_.messagesSent;
  if (code != plc::kOk) {
    ++status_.messagesFailed;
    status_.connected = false;
    return code;
  }
  status_.connected = true;
  if (everConnected_) ++status_.reconnects;
  everConnected_ = true;
  publish();
  return plc::kOk;
}

RequestStep PlcWorker::requestStep() {
  RequestStep step;
  const std::uint32_t started = clock_();
  step.timeUp = [this, started] { return clock_() - started >= kRequestStepMs; };
  step.stopping = &stop_;
  return step;
}

void PlcWorker::takeQueued(std::vector<std::unique_ptr<RequestRecord>>& queue,
                           void (PlcDevice::*add)(std::unique_ptr<RequestRecord>)) {
  std::lock_guard lock(queues_.queueLock);
  for (auto& record : queue) (device_.*add)(std::move(record));
  queue.clear();
}

void PlcWorker::runWrites() {
  takeQueued(device_.queues.writeQueue, &PlcDevice::QueueWrite);
  if (device_.writeBlocks.empty()) return;
  const plc::ResultCode ready = readyForRequests();
  io_.begin();
  RequestStep step = requestStep();
  device_.RunWrites(io_, queues_.queueLock, ready, &step);
  unsentWrites_ += step.unsent;
  noteMessages();
}

void PlcWorker::runReads() {
  {
    // In area and register order, so that the read blocks gather neighbours whatever order
    // the clients asked in.
    std::lock_guard lock(queues_.queueLock);
    std::stable_sort(device_.queues.readQueue.begin(), device_.queues.readQueue.end(), [](const auto& a, const auto& b) {
      if (a->tag->area != b->tag->area) return a->tag->area < b->tag->area;
      return a->tag->address < b->tag->address;
    });
  }
  takeQueued(device_.queues.readQueue, &PlcDevice::QueueRead);
  if (device_.readBlocks.empty()) return;
  const plc::ResultCode ready = readyForRequests();
  io_.begin();
  RequestStep step = requestStep();
  device_.RunReads(io_, queues_.queueLock, ready, &step);
  noteMessages();
  learnReadCost();
}

bool PlcWorker::applyActivation(const ActivationRecord& record) {
  PlcTag* tag = record.tag;
  if (!tag) return false;
  // A tag is polled at the fastest rate its active items still ask for, and not at all once
  // none is left: a rate nobody wants any more must not cost the PLC for good. The items'
  // list is read as it is now, so the records of one batch agree whatever their order.
  const std::uint32_t rate = tag->smallestActiveRate();
  const bool inLiveBlock = tag->unscheduled == 0 && device_.HasCyclicBlock(tag->pollBlock);
  if (rate == 0) {
    if (tag->unscheduled != 0) return false;
    device_.RemoveFromCyclic(tag);
    // Nothing keeps its value current any more: a client must not take it for one.
    tag->cache().invalidate();
    return true;
  }
  if (inLiveBlock && tag->pollBlock->updateRate == rate) return false;
  if (inLiveBlock || tag->unscheduled == 0) device_.MoveToRate(tag, rate);
  else device_.AddToCyclic(tag, rate);
  return true;
}

void PlcWorker::runActivations() {
  {
    std::lock_guard lock(queues_.queueLock);
    auto& queue = device_.queues.activationQueue;
    if (queue.size() > 1) sortActivations(queue);
    bool changed = false;
    for (const auto& record : queue) changed = applyActivation(*record) || changed;
    queue.clear();
    // Still under queueLock: the status dialog reads the blocks' ranges with it held. Blocks
    // that grew and shrank tag by tag are merged again whenever the tags or rates change.
    if (changed) device_.RebuildCyclicBlocks();
    else if (device_.HasBlocksToRecompute()) device_.RecomputeRanges();
  }
  countBlocks();
  // Tags that joined the blocks of a PLC that is down are Bad at once, not at the next try.
  if (failures_ > 0) device_.SetQualityAll(qualityForError(code_));
  // A refused block whose tags all left takes its refusal with it.
  if (failures_ == 0 && code_ >= plc::kBadResponse && !device_.cyclicBlocks.empty() &&
      device_.FirstRefusal() != code_) {
    code_ = device_.FirstRefusal();
    return stateChanged();
  }
  publish();
}

void PlcWorker::learnReadCost() {
  if (device_.bridgingRefused) {
    if (bridgingFallback_) return;
    // A read that took in unused registers was refused (they lie outside the PLC's memory):
    // from now on this PLC's blocks bridge only the gaps every block may.
    bridgingFallback_ = true;
  } else {
    const std::uint32_t wanted = cost_.registersPerRoundTrip();
    const std::uint32_t planned = device_.bridgeRegisters;
    // Within a factor of two the blocks stay as they are: a few readings must not reshape
    // them back and forth.
    if (cost_.samples() < kSamplesBeforePlanning || (wanted < 2 * planned && 2 * wanted > planned)) return;
    // Real time, as the costs are: the blocks change at most this often however the
    // worker's ticks run.
    const auto now = std::chrono::steady_clock::now();
    if (planned_ && now - plannedAt_ < kReplanInterval) return;
    planned_ = true;
    plannedAt_ = now;
    device_.bridgeRegisters = wanted;
  }
  {
    std::lock_guard lock(queues_.queueLock);
    if (!device_.cyclicBlocks.empty()) device_.RebuildCyclicBlocks();
  }
  countBlocks();
  publish();
}

void PlcWorker::serveCyclic() {
  auto& blocks = device_.cyclicBlocks;
  if (blocks.empty()) return;
  const std::uint32_t now = clock_();
  if (backingOff(now)) return;
  // One due block per pass, in rotation; blocks not due are passed over.
  for (std::size_t looked = 0; looked < blocks.size(); ++looked) {
    if (device_.AllServiced()) {
      status_.scanPeriodMs = now - scanStart_;
      scanStart_ = now;
      device_.ClearServiced();
    }
    CyclicBlock* block = device_.NextCyclicBlock();
    if (block->tags.empty() || !block->isDue(now)) {
      block->serviced = 1;
      continue;
    }
    readBlock(*block);
    return;
  }
}

void PlcWorker::readBlock(CyclicBlock& block) {
  if (connect() != plc::kOk) {
    block.serviced = 1;
    return;
  }
  io_.begin();
  plc::ResultCode code = plc::kOk;
  device_.ReadCyclicBlock(block, code, io_);
  noteMessages();
  learnReadCost();
}

void PlcWorker::takeCpuStatus() {
  const std::optional<plc::CpuStatus> cpu = link_.cpuStatus(1);
  if (!cpu || cpu == status_.cpu) return;
  status_.cpu = cpu;
  publish();
  // A CPU found stopped is told at once; one found running is what is expected.
  const unsigned state = cpu->stateCode();
  const bool tell = cpuStateSeen_ ? *cpuStateSeen_ != state : plc::isCpuStateWarning(state);
  cpuStateSeen_ = state;
  if (tell) sink_.sendMessage(WM_PLC_CPU_STATE, state, &device_);
}

void PlcWorker::noteMessages() {
  takeCpuStatus();
  // A message sent again over a new connection counts twice, its first try as failed.
  status_.messagesSent += io_.sent + linkIo_.retries;
  status_.messagesFailed += io_.failed + linkIo_.retries;
  io_.sent = io_.failed = linkIo_.retries = 0;
  if (stop_) return publish();  // what a stop held back is no failure of the PLC
  if (plc::isTransportFailure(io_.failure)) return failed(io_.failure);
  if (io_.failure == plc::kOk && !io_.succeeded) return publish();  // nothing went out
  // The PLC answered. Its state is then what its answers say: while it has cyclic blocks,
  // a refusal one of them still gets (so that a block refused on every read next to good
  // ones is one failure, not a failure and a recovery per scan); else the last request's.
  const bool wasUnreachable = failures_ > 0;
  failures_ = 0;
  const plc::ResultCode answer = device_.cyclicBlocks.empty() ? io_.failure : device_.FirstRefusal();
  if (!wasUnreachable && answer == code_) return publish();
  code_ = answer;
  stateChanged();
}

void PlcWorker::failed(plc::ResultCode code) {
  // Only this PLC's connection goes; the next try connects afresh, after the back-off.
  code_ = code;
  link_.Setup({device_.addressText});
  status_.connected = false;
  status_.cpu.reset();  // unknown until the PLC answers again
  ++failures_;
  retryAt_ = clock_() + retryDelayMs(failures_);
  device_.SetQualityAll(qualityForError(code));
  {
    std::lock_guard lock(queues_.queueLock);
    device_.ForgetReadValues();
  }
  stateChanged();
}

PlcState PlcWorker::state() const {
  if (failures_ >= 2) return PlcState::Demoted;
  // Tags the PLC refuses one by one are Bad on their own (BadOutOfRange) while it answers for
  // the others: the PLC works, and its last result still names the refusal.
  const bool tagsRefused = code_ == plc::kRequestRefused && everConnected_;
  if (failures_ == 1 || (code_ != plc::kOk && !tagsRefused)) return PlcState::Failing;
  if (device_.cyclicBlocks.empty()) return PlcState::Idle;
  // Nothing has answered yet: working is what it may turn out to be, not what it is.
  return everConnected_ ? PlcState::Working : PlcState::Connecting;
}

void PlcWorker::publish() {
  const PlcState now = state();
  if (now != status_.state || code_ != status_.lastResultCode) status_.lastChange = std::chrono::system_clock::now();
  status_.state = now;
  status_.lastResultCode = code_;
  status_.nextTry = {};
  if (failures_ > 0 && !addressUnusable_ && !device_.cyclicBlocks.empty()) {
    const std::int32_t wait = std::max<std::int32_t>(0, ticksUntil(retryAt_, clock_()));
    status_.nextTry = std::chrono::system_clock::now() + std::chrono::milliseconds(wait);
  }
  device_.publishStatus(status_);
}

void PlcWorker::countBlocks() {
  std::uint32_t tags = 0;
  for (const auto& block : device_.cyclicBlocks) tags += static_cast<std::uint32_t>(block->tags.size());
  status_.polledBlocks = static_cast<std::uint32_t>(device_.cyclicBlocks.size());
  status_.polledTags = tags;
}

void PlcWorker::passBegins() {
  // Beats here and at every message: a worker is stuck only when a pass or a message takes
  // longer than its bounds allow.
  heartbeat_.beat();
  // A recovery waiting to be reported, or a reminder, falls due between messages too.
  if (reports_.pending()) report();
}

void PlcWorker::stateChanged() {
  publish();
  report();
}

void PlcWorker::report() {
  const std::uint32_t now = clock_();
  const auto tell = reports_.update(now, code_, failures_ >= 2);
  if (!tell) return;
  status_.failuresLastMinute = reports_.failuresInLastMinute(now);
  publish();
  sink_.sendMessage(WM_PLC_STATUS, *tell, &device_);
}

void PlcWorker::finish() {
  link_.CloseAll();
  {
    std::lock_guard lock(queues_.queueLock);
    // Requests that arrived during the last pass, or that a step left for later, are
    // answered rather than left pending: none of them was sent.
    unsentWrites_ += device_.queues.writeQueue.size();
    device_.failQueued();
    unsentWrites_ += device_.FailPendingRequests(qualityForError(plc::kChannelNotOpen));
    // Nothing keeps the polled values current any more.
    device_.SetQualityAll(OPC_QUALITY_OUT_OF_SERVICE);
    device_.ForgetReadValues();
    device_.ReleaseBlocks();
  }
  countBlocks();
  status_.connected = false;
  status_.cpu.reset();
  publish();
}

}  // namespace zentarc
