#include "server/plc/GeMessages.h"

namespace zentarc::plc::ge {

namespace {

// The bytes every request built inside the header shares (read, short write, handshake 2).
Header inHeaderRequest(std::uint8_t type, std::uint8_t sequence, std::uint8_t service,
                       std::uint8_t table) {
  Header h{};
  h[kTypeOffset] = type;
  h[kSequenceOffset] = sequence;
  h[9] = 0x01;
  h[17] = 0x01;
  h[kSequenceCopyOffset] = sequence;
  h[kStatusOffset] = kRequestInHeader;
  h[36] = 0x10;
  h[37] = 0x0E;
  h[40] = 0x01;
  h[41] = 0x01;
  h[kServiceOffset] = service;
  h[kTableOffset] = table;
  return h;
}

}  // namespace

Header handshakeHello() { return Header{}; }

Header handshakeOpen() {
  return inHeaderRequest(0x08, 0x01, 0x4F, 0x01);
}

Header readRequest(std::uint8_t sequence, std::uint8_t selector, std::uint16_t index, std::uint16_t count) {
  Header h = inHeaderRequest(0x02, sequence, kServiceRead, selector);
  putWord(&h[kIndexOffset], index);
  putWord(&h[kCountOffset], count);
  return h;
}

Header shortWriteRequest(std::uint8_t sequence, std::uint8_t selector, std::uint16_t index, std::uint16_t count,
                         const std::uint8_t* data, std::size_t dataLength, ShortWriteField& field) {
  Header h = inHeaderRequest(0x02, sequence, kServiceWrite, selector);
  putWord(&h[kIndexOffset], index);
  putWord(&h[kCountOffset], count);
  for (std::size_t i = 0; i < dataLength && i < kShortWriteDataSize; ++i) field[i] = data[i];
  for (std::size_t i = 0; i < kShortWriteDataSize; ++i) h[kShortWriteDataOffset + i] = field[i];
  return h;
}

Header shortWriteRequest(std::uint8_t sequence, std::uint16_t index, const std::uint16_t* values,
                         std::uint16_t count, ShortWriteField& field) {
  std::uint8_t data[kShortWriteDataSize] = {};
  const std::uint16_t n = count < kMaxShortWrite ? count : kMaxShortWrite;
  for (std::uint16_t i = 0; i < n; ++i) putWord(&data[2 * i], values[i]);
  return shortWriteRequest(sequence, kRegisterTable, index, count, data, 2u * n, field);
}

std::vector<std::uint8_t> longWriteRequest(std::uint8_t sequence, std::uint8_t selector, std::uint16_t index,
                                           std::uint16_t count, const std::uint8_t* data, std::size_t dataLength) {
  std::vector<std::uint8_t> m(kHeaderSize + dataLength, 0);
  m[kTypeOffset] = 0x02;
  m[kSequenceOffset] = sequence;
  putWord(&m[kDataLengthOffset], static_cast<std::uint16_t>(dataLength));
  m[9] = 0x02;
  m[17] = 0x02;
  m[kSequenceCopyOffset] = sequence;
  m[kStatusOffset] = kRequestDataFollows;
  m[36] = 0x10;
  m[37] = 0x0E;
  m[40] = 0x01;
  m[41] = 0x01;
  m[kServiceOffset] = 0x32;
  m[kTableOffset] = 0x00;
  m[48] = 0x01;
  m[49] = 0x01;
  m[kLongServiceOffset] = kServiceWrite;
  m[kLongTableOffset] = selector;
  putWord(&m[kLongIndexOffset], index);
  putWord(&m[kLongCountOffset], count);
  for (std::size_t i = 0; i < dataLength; ++i) m[kHeaderSize + i] = data[i];
  return m;
}

std::vector<std::uint8_t> longWriteRequest(std::uint8_t sequence, std::uint16_t index,
                                           const std::uint16_t* values, std::uint16_t count) {
  std::vector<std::uint8_t> data(2u * count);
  for (std::uint16_t i = 0; i < count; ++i) putWord(&data[2u * i], values[i]);
  return longWriteRequest(sequence, kRegisterTable, index, count, data.data(), data.size());
}

CpuStatus cpuStatusOf(const std::uint8_t* answer) {
  CpuStatus s;
  s.programNumber = answer[kCpuStatusOffset];
  s.privilegeLevel = answer[kCpuStatusOffset + 1];
  s.sweepTimeMs = getWord(answer + kCpuStatusOffset + 2);
  s.statusWord = getWord(answer + kCpuStatusOffset + 4);
  return s;
}

void putCpuStatus(std::uint8_t* answer, const CpuStatus& status) {
  answer[kCpuStatusOffset] = status.programNumber;
  answer[kCpuStatusOffset + 1] = status.privilegeLevel;
  putWord(answer + kCpuStatusOffset + 2, status.sweepTimeMs);
  putWord(answer + kCpuStatusOffset + 4, status.statusWord);
}

ResultCode checkResponse(const std::uint8_t* response, std::size_t length, std::size_t expectedLength,
                         std::uint8_t sequence, std::uint8_t expectedStatus) {
  if (length < kHeaderSize) return kBadResponse;
  // A refusal carries no data, so it is whole at 56 bytes whatever the read asked for.
  const bool wholeRefusal = length == kHeaderSize && response[kStatusOffset] == kStatusRefused;
  if (length != expectedLength && !wholeRefusal) return kBadResponse;
  if (response[kSequenceOffset] != sequence) return kBadResponse;
  if (response[kStatusOffset] == expectedStatus) return kOk;
  return response[kStatusOffset] == kStatusRefused ? kRequestRefused : kBadResponse;
}

ResultCode checkHandshakeResponse(const std::uint8_t* response, std::size_t length) {
  if (length != kHeaderSize) return kBadResponse;
  switch (response[kStatusOffset]) {
    case kStatusInHeader: return kOk;
    case kStatusRefused: return kHandshakeRefused;
    default: return kBadResponse;
  }
}

}  // namespace zentarc::plc::ge
