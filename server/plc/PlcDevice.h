#pragma once
// One configured PLC: its cyclic blocks (kept while items are active), the read and write
// blocks of one servicing step, and the figures its worker publishes. Made by the
// configuration loader; numbered when polling starts. Everything but construction and
// status() runs on the PLC's worker; the status dialog reads the cyclic blocks under
// queueLock, so they change only with it held.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/opc/TagDevice.h"
#include "server/plc/CyclicBlock.h"
#include "server/plc/PlcStatus.h"
#include "server/plc/ReadBlock.h"
#include "server/plc/RegisterAccess.h"
#include "server/plc/ResultCodes.h"
#include "server/plc/TickClock.h"
#include "server/plc/WriteBlock.h"

namespace zentarc {

inline constexpr std::uint32_t kPlcDeviceObjectType = 0x08000000;

// How a worker bounds one step of device reads or writes.
struct RequestStep {
  // Asked before each block after the first: true leaves the blocks not begun (in their
  // order) for the next step, so that one step never runs for long.
  std::function<bool()> timeUp;
  // Once set, the write blocks not begun fail as unsent (code 33), and are counted.
  const std::atomic<bool>* stopping = nullptr;
  std::size_t unsent = 0;  // write requests answered as not sent because of the stop
};

class PlcDevice : public TagDevice {
 public:
  PlcDevice(std::string_view name, std::string_view addressText);

  // Scheduling of cyclic reads (queueLock held).
  void AddToCyclic(PlcTag* tag, std::uint32_t updateRate);
  void RemoveFromCyclic(PlcTag* tag);
  void MoveToRate(PlcTag* tag, std::uint32_t updateRate);
  void RecomputeRanges();
  // Builds the cyclic blocks afresh from the tags they poll now, each at its block's rate,
  // joining by worthBridging with bridgeRegisters; the new blocks fall due when the first
  // of their tags' old blocks would have. The rotation starts over.
  void RebuildCyclicBlocks();
  bool HasBlocksToRecompute() const { return !blocksToRecompute.empty(); }
  // True when `block` is one of this device's cyclic blocks now.
  bool HasCyclicBlock(const CyclicBlock* block) const;

  // The rotation over the cyclic blocks.
  CyclicBlock* NextCyclicBlock();
  bool AllServiced() const;
  void ClearServiced();

  // One read of a cyclic block: values with quality GOOD, or the quality of the failure.
  // `code` becomes the read's result.
  void ReadCyclicBlock(CyclicBlock& block, plc::ResultCode& code, RegisterAccess& io);
  void SetQualityAll(std::uint16_t quality);
  // The first refusal or malformed answer (64 and up) that a cyclic block's last read got;
  // 0 when none did.
  plc::ResultCode FirstRefusal() const;
  // Earliest time until one of the blocks falls due (UINT32_MAX: none ever will).
  std::uint32_t MsUntilNextDue(std::uint32_t now) const;

  // Device reads and writes. Queue* with queueLock held; a tag of no known type (span 0)
  // completes at once as failed. Run* complete the requests of every block they run and
  // drop those blocks (all of them unless the step's time is up); with a nonzero
  // selectionCode nothing is sent and every request fails with that code. A request
  // completed meanwhile (its requester gave up on it) is dropped before anything of its
  // block is sent: a read is not sent for, a write neither read first nor written.
  void QueueRead(std::unique_ptr<RequestRecord> record);
  void RunReads(RegisterAccess& io, QueueLock& queueLock, plc::ResultCode selectionCode = plc::kOk,
                RequestStep* step = nullptr);
  void QueueWrite(std::unique_ptr<RequestRecord> record);
  void RunWrites(RegisterAccess& io, QueueLock& queueLock, plc::ResultCode selectionCode = plc::kOk,
                 RequestStep* step = nullptr);

  // Drops the values that device reads left in the caches of tags nothing polls (the PLC
  // failed, or polling stops): Reads go to the PLC for them again.
  void ForgetReadValues();

  // Completes the requests of the read and write blocks not run yet as failed with the
  // quality; queueLock held. Returns the number of writes among them.
  std::size_t FailPendingRequests(std::uint16_t quality);

  // Drops every block and the tag references they hold (tags hold the device, so this ends
  // the cycle at shut-down). queueLock held.
  void ReleaseBlocks();

  void setClock(TickClock clock) { clock_ = std::move(clock); }
  std::uint32_t now() const { return clock_(); }

  // The figures the worker published last; never waits on the PLC.
  PlcStatus status() const;
  void publishStatus(const PlcStatus& status);

  std::uint16_t number = 0;       // 1-based position in the device list, 0 until numbered
  const std::string addressText;  // the configured IP address text
  std::vector<std::unique_ptr<CyclicBlock>> cyclicBlocks;  // creation order
  std::vector<CyclicBlock*> blocksToRecompute;             // each at most once
  std::vector<std::unique_ptr<ReadBlock>> readBlocks;
  std::vector<std::unique_ptr<WriteBlock>> writeBlocks;
  std::uint32_t nextBlock = 0;    // rotation position in cyclicBlocks
  // Registers worth one more round trip to this PLC (see ReadCost): how widely the cyclic
  // and read blocks bridge unused registers. The worker sets it as it learns the PLC.
  std::uint32_t bridgeRegisters = kMaxReadGap;
  // Set when a read that bridged beyond that gap was refused: bridging is then given up.
  bool bridgingRefused = false;
  void* statusTreeItem = nullptr; // the status dialog's tree item for the device, if any

 protected:
  ~PlcDevice() override;

 private:
  void joinCyclic(CyclicBlock& block, PlcTag* tag, std::uint32_t span);
  bool isPolled(const PlcTag& tag) const;
  void forgetRead(PlcTag& tag);
  void destroyCyclic(CyclicBlock* block);
  // After a read of the block: a refused read that took in unused registers gives wide
  // bridging up (those registers may lie outside the PLC's memory).
  void noteRefusal(const RegisterBlock& block, plc::ResultCode code);
  // The outcome of one device read: into the tag's cache (kept current only for a polled
  // tag) and into the request, which is then completed. block: what was read, null on failure;
  // tagRefused: the PLC refused this tag's address.
  void finishRead(RequestRecord& record, plc::ResultCode code, RegisterBlock* block,
                  std::chrono::system_clock::time_point readTime, bool tagRefused = false);
  // The registers of the record's tag as the PLC holds them, where its write covers only
  // part of them (bits, the last odd byte); zero elsewhere.
  plc::ResultCode preReadRecord(const RequestRecord& record, std::vector<std::uint16_t>& registers,
                                RegisterAccess& io);
  // Merges the records' values over their pre-read registers into the block, in queue order
  // (the last write wins); false when a value cannot be converted.
  bool prepareBlock(WriteBlock& block, std::vector<std::vector<std::uint16_t>>& preRead);

  TickClock clock_ = steadyTickCount;
  // Tags nothing polls whose cache holds a value a device read brought (tags live as long
  // as the namespace, which outlives the polling).
  std::unordered_set<PlcTag*> fedTags_;
  mutable std::mutex statusMutex_;  // held only to copy status_
  PlcStatus status_;
};

// The PLC side's device of a tag (every tag belongs to a PlcDevice).
inline PlcDevice* plcDeviceOf(const PlcTag& tag) { return static_cast<PlcDevice*>(tag.device()); }

}  // namespace zentarc
