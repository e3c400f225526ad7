#include "server/plc/PlcDevice.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/RefusedReads.h"
#include "server/plc/TagUnits.h"

namespace zentarc {

namespace {

bool isArrayTag(const PlcTag& tag) { return (tag.getNativeDatatype() & VT_ARRAY) != 0; }

}  // namespace

PlcDevice::PlcDevice(std::string_view deviceName, std::string_view deviceAddressText)
    : TagDevice(deviceName, kPlcDeviceObjectType), addressText(deviceAddressText) {}

PlcDevice::~PlcDevice() = default;

PlcStatus PlcDevice::status() const {
  std::lock_guard lock(statusMutex_);
  return status_;
}

void PlcDevice::publishStatus(const PlcStatus& status) {
  std::lock_guard lock(statusMutex_);
  status_ = status;
}

bool PlcDevice::HasCyclicBlock(const CyclicBlock* block) const {
  return block && std::any_of(cyclicBlocks.begin(), cyclicBlocks.end(),
                              [block](const auto& b) { return b.get() == block; });
}

void PlcDevice::joinCyclic(CyclicBlock& block, PlcTag* tag, std::uint32_t span) {
  block.cover(readPlacement(*tag).first, span, false);
  block.addTag(tag);
  tag->pollBlock = &block;
  tag->unscheduled = 0;
  tag->setDeviceRefreshRate(block.updateRate);
}

void PlcDevice::AddToCyclic(PlcTag* tag, std::uint32_t updateRate) {
  // Blocks are per area, in its unit: no message ever mixes areas.
  const TagPlacement place = readPlacement(*tag);
  const std::uint32_t span = place.span;
  if (span == 0) return;  // no known type: never polled
  if (tag->unscheduled == 0) {
    // Still in a block: a tag is never in two, so it stays or moves as a whole.
    if (HasCyclicBlock(tag->pollBlock) && tag->pollBlock->updateRate == updateRate &&
        tag->pollBlock->hasTag(tag))
      return;
    MoveToRate(tag, updateRate);
    return;
  }
  const bool array = isArrayTag(*tag);
  CyclicBlock* previous = tag->pollBlock;
  if (HasCyclicBlock(previous) && previous->updateRate == updateRate && !array && !previous->holdsArray &&
      previous->length > 0 && sameMemory(*previous, tag->area, place.unit) &&
      isNearForRead(previous->firstRegister, previous->lastRegister(), place.first, span)) {
    joinCyclic(*previous, tag, span);
    previous->serviced = 0;
    return;
  }
  tag->pollBlock = nullptr;
  if (!array) {
    for (const auto& block : cyclicBlocks) {
      if (block->updateRate != updateRate || block->holdsArray || block->length == 0) continue;
      if (!sameMemory(*block, tag->area, place.unit)) continue;
      if (!isNearForRead(block->firstRegister, block->lastRegister(), place.first, span)) continue;
      joinCyclic(*block, tag, span);
      return;
    }
  }
  auto block = std::make_unique<CyclicBlock>(place.first, span, updateRate, now());
  block->holdsArray = array;
  block->area = tag->area;
  block->unit = place.unit;
  joinCyclic(*block, tag, span);
  cyclicBlocks.push_back(std::move(block));
}

void PlcDevice::RemoveFromCyclic(PlcTag* tag) {
  if (tag->unscheduled != 0 || readPlacement(*tag).span == 0) return;
  CyclicBlock* block = tag->pollBlock;
  tag->unscheduled = 1;  // pollBlock keeps pointing at the block it left
  tag->setDeviceRefreshRate(0);
  if (!HasCyclicBlock(block)) return;
  SOCmnPointer<PlcTag> held = block->removeTag(tag);
  if (!block->tags.empty()) {
    if (std::find(blocksToRecompute.begin(), blocksToRecompute.end(), block) == blocksToRecompute.end())
      blocksToRecompute.push_back(block);
    return;
  }
  destroyCyclic(block);
}

void PlcDevice::destroyCyclic(CyclicBlock* block) {
  // Only this block leaves the set: the others still await their new range.
  blocksToRecompute.erase(std::remove(blocksToRecompute.begin(), blocksToRecompute.end(), block),
                          blocksToRecompute.end());
  cyclicBlocks.erase(std::find_if(cyclicBlocks.begin(), cyclicBlocks.end(),
                                  [block](const auto& b) { return b.get() == block; }));
}

void PlcDevice::MoveToRate(PlcTag* tag, std::uint32_t updateRate) {
  RemoveFromCyclic(tag);
  tag->pollBlock = nullptr;
  AddToCyclic(tag, updateRate);
}

void PlcDevice::RecomputeRanges() {
  for (CyclicBlock* block : blocksToRecompute) {
    block->fitToTags();
    if (block->tags.empty()) block->serviced = 1;
  }
  blocksToRecompute.clear();
}

CyclicBlock* PlcDevice::NextCyclicBlock() {
  if (cyclicBlocks.empty()) return nullptr;
  if (++nextBlock >= cyclicBlocks.size()) nextBlock = 0;
  return cyclicBlocks[nextBlock].get();
}

bool PlcDevice::AllServiced() const {
  return std::all_of(cyclicBlocks.begin(), cyclicBlocks.end(), [](const auto& b) { return b->serviced != 0; });
}

void PlcDevice::ClearServiced() {
  for (const auto& block : cyclicBlocks) block->serviced = 0;
}

void PlcDevice::ReadCyclicBlock(CyclicBlock& block, plc::ResultCode& code, RegisterAccess& io) {
  // The rate counts from the start of a read: a PLC that answers late is still read at its
  // rate, not at the rate plus its answer time.
  const std::uint32_t started = now();
  // Once the PLC refused some of its tags, the block is read around them.
  const bool refusedBefore =
      std::any_of(block.tags.begin(), block.tags.end(), [](const auto& tag) { return tag->refusedTries > 0; });
  code = refusedBefore ? plc::kRequestRefused : block.readAll(io);
  // A whole read refused whose tags then all read well: the units bridged between them were
  // what the PLC refused. A refusal of tags themselves says nothing about bridging.
  bool gapRefused = false;
  if (code == plc::kRequestRefused) {
    code = readAroundRefusals(block, started, io, std::chrono::system_clock::now(), !refusedBefore);
    gapRefused = !refusedBefore && code == plc::kOk;
  } else if (code == plc::kOk) {
    const auto readTime = std::chrono::system_clock::now();
    for (const auto& tag : block.tags) storeFromBlock(block, *tag, readTime);
  } else {
    const std::uint16_t quality = qualityForError(code);
    for (const auto& tag : block.tags) tag->getCache()->setQuality(quality);
  }
  block.lastRead = started;
  block.lastCode = code;
  noteRefusal(block, gapRefused ? plc::kRequestRefused : code == plc::kRequestRefused ? plc::kOk : code);
  block.serviced = 1;
}

void PlcDevice::noteRefusal(const RegisterBlock& block, plc::ResultCode code) {
  if (code < plc::kBadResponse || !block.bridgedWide || bridgingRefused) return;
  bridgingRefused = true;
  bridgeRegisters = kMaxReadGap;
}

plc::ResultCode PlcDevice::FirstRefusal() const {
  for (const auto& block : cyclicBlocks)
    if (block->lastCode >= plc::kBadResponse) return block->lastCode;
  return plc::kOk;
}

void PlcDevice::SetQualityAll(std::uint16_t quality) {
  for (const auto& block : cyclicBlocks)
    for (const auto& tag : block->tags) tag->getCache()->setQuality(quality);
}

std::uint32_t PlcDevice::MsUntilNextDue(std::uint32_t tick) const {
  std::uint32_t soonest = std::numeric_limits<std::uint32_t>::max();
  for (const auto& block : cyclicBlocks) {
    soonest = std::min(soonest, block->msUntilDue(tick));
    if (soonest == 0) break;  // asked once per pass: stop at the first due block
  }
  return soonest;
}

void PlcDevice::ReleaseBlocks() {
  for (const auto& block : cyclicBlocks)
    for (const auto& tag : block->tags) {
      tag->unscheduled = 1;
      tag->pollBlock = nullptr;
      tag->setDeviceRefreshRate(0);
    }
  blocksToRecompute.clear();
  cyclicBlocks.clear();
  readBlocks.clear();
  writeBlocks.clear();
  fedTags_.clear();
  nextBlock = 0;
}

}  // namespace zentarc
