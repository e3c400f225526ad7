// Device reads and writes of PlcDevice: gathering requests into blocks and running them.
#include <algorithm>
#include <chrono>
#include <mutex>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/plc/PlcDevice.h"

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

void failWrite(RequestRecord& record, std::uint16_t quality) {
  record.request->complete(E_FAIL, true, quality, false, true);
}

template <class Block>
Block* findBlock(std::vector<std::unique_ptr<Block>>& blocks, const PlcTag& tag, std::uint32_t span,
                 bool (*joins)(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t)) {
  if (isArrayTag(tag)) return nullptr;
  for (const auto& block : blocks) {
    if (block->holdsArray || block->length == 0) continue;
    if (joins(block->firstRegister, block->lastRegister(), tag.address, span)) return block.get();
  }
  return nullptr;
}

}  // namespace

void PlcDevice::QueueRead(std::unique_ptr<RequestRecord> record) {
  PlcTag& tag = *record->tag;
  const std::uint32_t span = registerSpan(tag);
  if (span == 0) {
    // Nothing to read for a tag of no known type: answer now rather than never.
    tag.getCache()->setQuality(OPC_QUALITY_BAD);
    completeRead(*record);
    return;
  }
  ReadBlock* block = findBlock(readBlocks, tag, span, isNearForRead);
  if (block) {
    block->cover(tag.address, span, false);
  } else {
    readBlocks.push_back(std::make_unique<ReadBlock>(tag.address, span));
    block = readBlocks.back().get();
    block->holdsArray = isArrayTag(tag);
  }
  block->records.push_back(std::move(record));
}

void PlcDevice::RunReads(RegisterAccess& io, QueueLock& queueLock, plc::ResultCode selectionCode) {
  for (const auto& block : readBlocks) {
    const plc::ResultCode code = selectionCode != plc::kOk ? selectionCode : block->readAll(io);
    const auto readTime = std::chrono::system_clock::now();
    std::lock_guard lock(queueLock);
    for (const auto& record : block->records) {
      PlcTag& tag = *record->tag;
      if (code == plc::kOk) {
        storeRegisters(tag, {block->at(tag.address), registerSpan(tag)}, readTime);
      } else {
        tag.getCache()->setQuality(qualityForError(code));
      }
      completeRead(*record);
    }
  }
  readBlocks.clear();
}

void PlcDevice::QueueWrite(std::unique_ptr<RequestRecord> record) {
  PlcTag& tag = *record->tag;
  const std::uint32_t span = registerSpan(tag);
  if (span == 0) {
    failWrite(*record, OPC_QUALITY_BAD);
    return;
  }
  WriteBlock* block = findBlock(writeBlocks, tag, span, joinsForWrite);
  if (block) {
    block->cover(tag.address, span, true);
  } else {
    writeBlocks.push_back(std::make_unique<WriteBlock>(tag.address, span));
    block = writeBlocks.back().get();
    block->holdsArray = isArrayTag(tag);
  }
  block->records.push_back(std::move(record));
}

bool PlcDevice::prepareRecord(WriteBlock& block, const RequestRecord& record, std::vector<std::uint16_t>& scratch,
                              RegisterAccess& io) {
  const PlcTag& tag = *record.tag;
  const std::uint32_t span = registerSpan(tag);
  const VARTYPE vt = tag.getNativeDatatype();
  scratch.assign(span, 0);
  if (rewritesBits(vt)) {
    if (readRegisterRun(io, tag.address, span, scratch.data()) != plc::kOk) return false;
  } else if (rewritesLastByte(vt)) {
    if (readRegisterRun(io, tag.address + span - 1, 1, scratch.data() + span - 1) != plc::kOk) return false;
  }
  // A register an earlier write of this block already filled holds the value the PLC will
  // have once the block is written; reading it from the PLC would undo that write.
  for (std::uint32_t i = 0; i < span; ++i)
    if (block.isFilled(tag.address + i)) scratch[i] = *block.at(tag.address + i);
  return true;
}

void PlcDevice::RunWrites(RegisterAccess& io, QueueLock& queueLock, plc::ResultCode selectionCode) {
  std::vector<std::uint16_t> scratch;
  for (const auto& block : writeBlocks) {
    if (selectionCode != plc::kOk) {
      std::lock_guard lock(queueLock);
      for (const auto& record : block->records) failWrite(*record, qualityForError(selectionCode));
      continue;
    }
    bool prepared = true;
    {
      // Pre-reads run with queueLock held, as the preparation reads the clients' values.
      std::lock_guard lock(queueLock);
      block->beginPreparation();
      for (const auto& record : block->records) {
        if (!prepareRecord(*block, *record, scratch, io) || !fillWriteRegisters(*record, scratch)) {
          prepared = false;
          break;
        }
        std::copy(scratch.begin(), scratch.end(), block->at(record->tag->address));
        block->markFilled(record->tag->address, static_cast<std::uint32_t>(scratch.size()));
      }
      if (!prepared) {
        for (const auto& record : block->records) failWrite(*record, OPC_QUALITY_BAD);
        continue;
      }
    }
    const plc::ResultCode code = block->writeAll(io);
    std::lock_guard lock(queueLock);
    for (const auto& record : block->records) {
      if (code == plc::kOk) {
        record->request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, false, true);
      } else {
        failWrite(*record, qualityForError(code));
      }
    }
  }
  writeBlocks.clear();
}

}  // namespace zentarc
