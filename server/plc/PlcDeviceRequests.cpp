// Device reads and writes of PlcDevice: gathering requests into blocks and running them.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/AreaRuns.h"
#include "server/plc/PlcDevice.h"
#include "server/plc/RefusedReads.h"
#include "server/plc/TagUnits.h"

namespace zentarc {

namespace {

bool isArrayTag(const PlcTag& tag) { return (tag.getNativeDatatype() & VT_ARRAY) != 0; }

// Types whose write changes only part of the tag's registers: all of them are read first.
bool rewritesBits(VARTYPE vt) { return vt == VT_BOOL || vt == (VT_ARRAY | VT_BOOL); }
// Types whose last register may be only half written: it is read first.
bool rewritesLastByte(VARTYPE vt) {
  return vt == VT_BSTR || vt == (VT_ARRAY | VT_I1) || vt == (VT_ARRAY | VT_UI1);
}

void completeRead(RequestRecord& record) {
  record.request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
}

// False when the request was already completed (its requester gave up on it).
bool failWrite(RequestRecord& record, std::uint16_t quality) {
  return record.request->complete(E_FAIL, true, quality, false, true);
}

bool answered(const std::unique_ptr<RequestRecord>& record) { return record->request->isCompleted(); }

// Drops the records whose requesters gave up on them (they answered without the result), and
// the blocks left empty: what nobody waits for is not sent, nor kept in memory until its turn.
template <class Block>
void dropAnswered(std::vector<std::unique_ptr<Block>>& blocks) {
  for (const auto& block : blocks) std::erase_if(block->records, answered);
  std::erase_if(blocks, [](const auto& block) { return block->records.empty(); });
}

WriteBlock* findWriteBlock(std::vector<std::unique_ptr<WriteBlock>>& blocks, const PlcTag& tag,
                           const TagPlacement& place) {
  if (isArrayTag(tag)) return nullptr;
  // A register has no bit write: a boolean's register is read, changed and written back,
  // and every bit the PLC changes in between is undone. So that window is one round trip:
  // booleans share a block only with booleans of the same register, read right before it
  // is written, and nothing else joins them. A bit table's booleans are written in bits,
  // exactly theirs, and join like any other write.
  const bool bits = rewritesBits(tag.getNativeDatatype()) && place.unit == plc::ge::Unit::Word;
  for (const auto& block : blocks) {
    if (block->holdsArray || block->length == 0 || block->holdsBits != bits) continue;
    if (!sameMemory(*block, tag.area, place.unit)) continue;
    if (bits ? block->firstRegister == place.first && block->length == place.span
             : joinsForWrite(block->firstRegister, block->lastRegister(), place.first, place.span))
      return block.get();
  }
  return nullptr;
}

template <class Block>
Block& newBlock(std::vector<std::unique_ptr<Block>>& blocks, const PlcTag& tag, const TagPlacement& place) {
  blocks.push_back(std::make_unique<Block>(place.first, place.span));
  Block& block = *blocks.back();
  block.holdsArray = isArrayTag(tag);
  block.area = tag.area;
  block.unit = place.unit;
  return block;
}

// The record's value into its units: over the registers read first in a word table, from
// nothing in a bit table (exactly its bytes or bits are written there).
bool fillWriteUnits(const RequestRecord& record, std::vector<std::uint16_t>& units) {
  if (configfile::isBitArea(record.tag->area)) return bitAreaWriteUnits(record, units);
  return fillWriteRegisters(record, units);
}

}  // namespace

void PlcDevice::QueueRead(std::unique_ptr<RequestRecord> record) {
  PlcTag& tag = *record->tag;
  const TagPlacement place = readPlacement(tag);
  if (place.span == 0) {
    // Nothing to read for a tag of no known type: answer now rather than never.
    tag.getCache()->setQuality(OPC_QUALITY_BAD);
    completeRead(*record);
    return;
  }
  // Bridged as widely as the cyclic blocks: a Read of many spread tags is a few messages,
  // none of which mixes areas.
  ReadBlock* block = nullptr;
  if (!isArrayTag(tag)) {
    for (const auto& candidate : readBlocks) {
      if (candidate->holdsArray || candidate->length == 0 || !sameMemory(*candidate, tag.area, place.unit)) continue;
      if (!worthBridgingIn(*candidate, place, bridgeRegisters)) continue;
      block = candidate.get();
      break;
    }
  }
  if (block) {
    if (!isNearForRead(block->firstRegister, block->lastRegister(), place.first, place.span)) block->bridgedWide = true;
    block->cover(place.first, place.span, false);
  } else {
    block = &newBlock(readBlocks, tag, place);
  }
  block->records.push_back(std::move(record));
}

void PlcDevice::finishRead(RequestRecord& record, plc::ResultCode code, RegisterBlock* block,
                           std::chrono::system_clock::time_point readTime, bool tagRefused) {
  PlcTag& tag = *record.tag;
  // The value serves later Reads that accept its age, polled or not. A tag nothing polls is
  // remembered, so that its value is dropped when the PLC fails or is written to: no Read
  // takes it for the PLC's value then.
  if (code == plc::kOk) {
    storeFromBlock(*block, tag, readTime);
    if (!isPolled(tag)) fedTags_.insert(&tag);
  } else {
    // A refusal of this tag alone: the others of its block were read around it.
    tag.cache().setQuality(tagRefused ? kRefusedTagQuality : qualityForError(code));
  }
  // The requester's answer is what this read found, current now whatever the cache keeps.
  SODaSCacheSnapshot result = tag.cache().getSnapshot();
  result.waitingForInitialData = false;
  record.request->setReadResult(std::move(result));
  completeRead(record);
}

void PlcDevice::RunReads(RegisterAccess& io, QueueLock& queueLock, plc::ResultCode selectionCode, RequestStep* step) {
  dropAnswered(readBlocks);
  std::size_t done = 0;
  for (; done < readBlocks.size(); ++done) {
    if (done > 0 && step && step->timeUp && step->timeUp()) break;
    ReadBlock& block = *readBlocks[done];
    // Given up on while earlier blocks were read: not sent for either.
    std::erase_if(block.records, answered);
    if (block.records.empty()) continue;
    plc::ResultCode code = selectionCode != plc::kOk ? selectionCode : block.readAll(io);
    // Refused: the tags the PLC refuses are found, the others read around them.
    std::vector<PlcTag*> refusedTags;
    const bool split = selectionCode == plc::kOk && code == plc::kRequestRefused;
    if (split) {
      std::vector<PlcTag*> tags;
      for (const auto& record : block.records) tags.push_back(record->tag.get());
      const std::vector<PlcTag*> sorted = inUnitOrder(tags);
      std::vector<char> refused;
      code = readFindingRefusals(block, sorted, refused, io, true);
      for (std::size_t i = 0; i < sorted.size(); ++i)
        if (refused[i]) refusedTags.push_back(sorted[i]);
    }
    // Only a refusal that no tag explains was one of the units bridged between the tags.
    noteRefusal(block, split ? (code == plc::kOk ? plc::kRequestRefused : plc::kOk) : code);
    const auto readTime = std::chrono::system_clock::now();
    std::lock_guard lock(queueLock);
    for (const auto& record : block.records) {
      const bool refused =
          std::find(refusedTags.begin(), refusedTags.end(), record->tag.get()) != refusedTags.end();
      const plc::ResultCode own = split && code == plc::kRequestRefused && !refused ? plc::kOk : code;
      finishRead(*record, own, own == plc::kOk ? &block : nullptr, readTime, refused);
    }
  }
  readBlocks.erase(readBlocks.begin(), readBlocks.begin() + static_cast<std::ptrdiff_t>(done));
}

bool PlcDevice::isPolled(const PlcTag& tag) const { return tag.unscheduled == 0 && HasCyclicBlock(tag.pollBlock); }

void PlcDevice::forgetRead(PlcTag& tag) {
  if (fedTags_.erase(&tag) > 0) tag.cache().invalidate();
}

void PlcDevice::ForgetReadValues() {
  for (PlcTag* tag : fedTags_)
    if (!isPolled(*tag)) tag->cache().invalidate();
  fedTags_.clear();
}

std::size_t PlcDevice::FailPendingRequests(std::uint16_t quality) {
  for (const auto& block : readBlocks)
    for (const auto& record : block->records) {
      record->tag->cache().setQuality(quality);
      SODaSCacheSnapshot result = record->tag->cache().getSnapshot();
      result.waitingForInitialData = false;
      record->request->setReadResult(std::move(result));
      completeRead(*record);
    }
  std::size_t writes = 0;
  for (const auto& block : writeBlocks)
    for (const auto& record : block->records) writes += failWrite(*record, quality) ? 1 : 0;
  readBlocks.clear();
  writeBlocks.clear();
  return writes;
}

void PlcDevice::QueueWrite(std::unique_ptr<RequestRecord> record) {
  PlcTag& tag = *record->tag;
  const TagPlacement place = writePlacement(tag);
  if (place.span == 0) {
    failWrite(*record, OPC_QUALITY_BAD);
    return;
  }
  WriteBlock* block = findWriteBlock(writeBlocks, tag, place);
  if (block) {
    block->cover(place.first, place.span, true);
  } else {
    block = &newBlock(writeBlocks, tag, place);
    block->holdsBits = rewritesBits(tag.getNativeDatatype()) && place.unit == plc::ge::Unit::Word;
  }
  block->records.push_back(std::move(record));
}

plc::ResultCode PlcDevice::preReadRecord(const RequestRecord& record, std::vector<std::uint16_t>& registers,
                                        RegisterAccess& io) {
  const PlcTag& tag = *record.tag;
  const TagPlacement place = writePlacement(tag);
  const VARTYPE vt = tag.getNativeDatatype();
  registers.assign(place.span, 0);
  // A bit table is written in exactly the tag's bytes or bits: nothing to read first.
  if (place.unit != plc::ge::Unit::Word) return plc::kOk;
  if (rewritesBits(vt)) return readAreaRun(io, tag.area, place.unit, place.first, place.span, registers.data());
  if (rewritesLastByte(vt))
    return readAreaRun(io, tag.area, place.unit, place.first + place.span - 1, 1, registers.data() + place.span - 1);
  return plc::kOk;
}

bool PlcDevice::prepareBlock(WriteBlock& block, std::vector<std::vector<std::uint16_t>>& preRead) {
  block.beginPreparation();
  for (std::size_t i = 0; i < block.records.size(); ++i) {
    const RequestRecord& record = *block.records[i];
    std::vector<std::uint16_t>& scratch = preRead[i];
    const std::uint32_t address = writePlacement(*record.tag).first;
    // A register an earlier write of this block already filled holds the value the PLC will
    // have once the block is written; what the PLC holds now would undo that write.
    for (std::uint32_t r = 0; r < scratch.size(); ++r)
      if (block.isFilled(address + r)) scratch[r] = *block.at(address + r);
    if (!fillWriteUnits(record, scratch)) return false;
    std::copy(scratch.begin(), scratch.end(), block.at(address));
    block.markFilled(address, static_cast<std::uint32_t>(scratch.size()));
  }
  return true;
}

void PlcDevice::RunWrites(RegisterAccess& io, QueueLock& queueLock, plc::ResultCode selectionCode, RequestStep* step) {
  // A write its requester answered without (BadTimeout) is not written afterwards, nor read
  // first: the client was told it did not happen.
  dropAnswered(writeBlocks);
  std::vector<std::vector<std::uint16_t>> preRead;
  const auto stopping = [step] { return step && step->stopping && step->stopping->load(); };
  std::size_t done = 0;
  for (; done < writeBlocks.size(); ++done) {
    if (done > 0 && step && step->timeUp && step->timeUp()) break;
    WriteBlock* block = writeBlocks[done].get();
    std::erase_if(block->records, answered);
    if (block->records.empty()) continue;
    if (selectionCode != plc::kOk || stopping()) {
      const plc::ResultCode code = selectionCode != plc::kOk ? selectionCode : plc::kChannelNotOpen;
      // A stop that finds the link closed sends nothing either: those writes count as unsent.
      if (stopping()) step->unsent += block->records.size();
      std::lock_guard lock(queueLock);
      for (const auto& record : block->records) failWrite(*record, qualityForError(code));
      continue;
    }
    // The registers a write only partly covers are read first, without queueLock: clients
    // queue their requests under it, and must never wait for a PLC's answer.
    // A record whose value cannot be converted ends the preparation before the next one's
    // pre-read, as when each record is read and converted in turn.
    preRead.resize(block->records.size());
    plc::ResultCode readCode = plc::kOk;
    bool prepared = true;
    for (std::size_t i = 0; i < block->records.size() && prepared; ++i) {
      readCode = preReadRecord(*block->records[i], preRead[i], io);
      std::vector<std::uint16_t> probe = preRead[i];
      prepared = readCode == plc::kOk && fillWriteUnits(*block->records[i], probe);
    }
    if (prepared) {
      // Given up on during the pre-reads: still not written.
      std::size_t kept = 0;
      for (std::size_t i = 0; i < block->records.size(); ++i) {
        if (answered(block->records[i])) continue;
        if (kept != i) {
          block->records[kept] = std::move(block->records[i]);
          preRead[kept] = std::move(preRead[i]);
        }
        ++kept;
      }
      block->records.resize(kept);
      if (kept == 0) continue;
      prepared = prepareBlock(*block, preRead);
    }
    if (!prepared) {
      // A pre-read that failed tells why, as a failed write would; a refused value is Bad.
      const std::uint16_t quality = readCode != plc::kOk ? qualityForError(readCode) : OPC_QUALITY_BAD;
      if (readCode == plc::kChannelNotOpen && stopping() && step) step->unsent += block->records.size();
      std::lock_guard lock(queueLock);
      for (const auto& record : block->records) failWrite(*record, quality);
      continue;
    }
    // Only the registers of the records kept: a dropped record's stay as the PLC holds them.
    // A write given up on from here is sent anyway, as is one whose message is on its way:
    // the client was told BadTimeout, yet the value may reach the PLC.
    const plc::ResultCode code = block->writeFilled(io);
    if (code == plc::kChannelNotOpen && stopping() && step) step->unsent += block->records.size();
    std::lock_guard lock(queueLock);
    for (const auto& record : block->records) {
      // What a device read left of a tag nothing polls is no longer what the PLC holds.
      if (!isPolled(*record->tag)) forgetRead(*record->tag);
      if (code == plc::kOk) {
        record->request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
      } else {
        failWrite(*record, qualityForError(code));
      }
    }
  }
  writeBlocks.erase(writeBlocks.begin(), writeBlocks.begin() + static_cast<std::ptrdiff_t>(done));
}

}  // namespace zentarc
