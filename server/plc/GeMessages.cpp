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

Header readRequest(std::uint8_t sequence, std::uint16_t index, std::uint16_t count) {
  Header h = inHeaderRequest(0x02, sequence, kServiceRead, kRegisterTable);
  putWord(&h[kIndexOffset], index);
  putWord(&h[kCountOffset], count);
  return h;
}

Header shortWriteRequest(std::uint8_t sequence, std::uint16_t index, const std::uint16_t* values,
                         std::uint16_t count, ShortWriteField& field) {
  Header h = inHeaderRequest(0x02, sequence, kServiceWrite, kRegisterTable);
  putWord(&h[kIndexOffset], index);
  putWord(&h[kCountOffset], count);
  for (std::uint16_t i = 0; i < count && i < kMaxShortWrite; ++i) putWord(&field[2 * i], values[i]);
  for (std::size_t i = 0; i < kShortWriteDataSize; ++i) h[kShortWriteDataOffset + i] = field[i];
  return h;
}

std::vector<std::uint8_t> longWriteRequest(std::uint8_t sequence, std::uint16_t index,
                                           const std::uint16_t* values, std::uint16_t count) {
  std::vector<std::uint8_t> m(kHeaderSize + 2u * count, 0);
  m[kTypeOffset] = 0x02;
  m[kSequenceOffset] = sequence;
  putWord(&m[kDataLengthOffset], static_cast<std::uint16_t>(2u * count));
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
  m[kLongTableOffset] = kRegisterTable;
  putWord(&m[kLongIndexOffset], index);
  putWord(&m[kLongCountOffset], count);
  for (std::uint16_t i = 0; i < count; ++i) putWord(&m[kHeaderSize + 2u * i], values[i]);
  return m;
}

ResultCode checkResponse(const std::uint8_t* response, std::size_t length, std::size_t expectedLength,
                         std::uint8_t sequence, std::uint8_t expectedStatus) {
  if (length != expectedLength || length < kHeaderSize) return kBadResponse;
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
