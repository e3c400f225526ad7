#include "server/plc/RegisterBlock.h"

#include <algorithm>

#include "server/plc/AreaRuns.h"

namespace zentarc {

RegisterBlock::RegisterBlock(std::uint32_t first, std::uint32_t initialLength)
    : firstRegister(first),
      length(initialLength),
      capacity(initialCapacity(initialLength)),
      buffer(capacity, 0) {}

void RegisterBlock::ensureCapacity(std::uint32_t newLength, std::uint32_t shift, bool keepContents) {
  if (newLength <= capacity && shift == 0) return;
  if (newLength > capacity) capacity = newLength + kBufferSlack;
  if (!keepContents) {
    buffer.assign(capacity, 0);
    return;
  }
  std::vector<std::uint16_t> grown(capacity, 0);
  std::copy_n(buffer.begin(), std::min<std::size_t>(length, buffer.size()), grown.begin() + shift);
  buffer.swap(grown);
}

void RegisterBlock::cover(std::uint32_t first, std::uint32_t span, bool keepContents) {
  if (span == 0) return;
  if (length == 0) {
    setRange(first, span);
    return;
  }
  const std::uint32_t newFirst = std::min(firstRegister, first);
  const std::uint32_t newLast = std::max(lastRegister(), first + span - 1);
  const std::uint32_t newLength = newLast - newFirst + 1;
  ensureCapacity(newLength, firstRegister - newFirst, keepContents);
  firstRegister = newFirst;
  length = newLength;
}

void RegisterBlock::setRange(std::uint32_t first, std::uint32_t newLength) {
  ensureCapacity(newLength, 0, false);
  firstRegister = first;
  length = newLength;
}

plc::ResultCode RegisterBlock::readAll(RegisterAccess& io) {
  return readAreaRun(io, area, unit, firstRegister, length, buffer.data());
}

plc::ResultCode readRegisterRun(RegisterAccess& io, std::uint32_t first, std::uint32_t length,
                                std::uint16_t* destination) {
  for (std::uint32_t done = 0; done < length;) {
    const std::uint32_t piece = std::min(kMaxPieceRegisters, length - done);
    const plc::ResultCode code = io.ReadRegisters(static_cast<std::uint16_t>(piece),
                                                  static_cast<std::uint16_t>(first + done), destination + done);
    if (code != plc::kOk) return code;
    done += piece;
  }
  return plc::kOk;
}

plc::ResultCode writeRegisterRun(RegisterAccess& io, std::uint32_t first, std::uint32_t length,
                                 const std::uint16_t* source) {
  for (std::uint32_t done = 0; done < length;) {
    const std::uint32_t piece = std::min(kMaxPieceRegisters, length - done);
    const plc::ResultCode code = io.WriteRegisters(static_cast<std::uint16_t>(piece),
                                                   static_cast<std::uint16_t>(first + done), source + done);
    if (code != plc::kOk) return code;
    done += piece;
  }
  return plc::kOk;
}

}  // namespace zentarc
