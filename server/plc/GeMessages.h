#pragma once
// Byte layouts of the GE service-request messages: the two handshake messages, the read
// request, the short and long write requests, and what a response carries where. Numbers in
// the messages are little-endian. The simulator in tools/plcsim shares these names.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/plc/ResultCodes.h"

namespace zentarc::plc::ge {

inline constexpr std::uint16_t kPort = 18245;
inline constexpr std::size_t kHeaderSize = 56;
inline constexpr std::uint16_t kMaxRegisters = 512;       // per message; callers split longer runs
inline constexpr std::uint16_t kMaxInHeaderRead = 3;      // reads up to this come back in the header
inline constexpr std::uint16_t kMaxShortWrite = 4;        // writes up to this go in the header
inline constexpr std::size_t kMaxMessageSize = kHeaderSize + 2 * kMaxRegisters;

// Header offsets.
inline constexpr std::size_t kTypeOffset = 0;
inline constexpr std::size_t kSequenceOffset = 2;
inline constexpr std::size_t kDataLengthOffset = 4;       // long write: bytes after the header
inline constexpr std::size_t kSequenceCopyOffset = 30;
inline constexpr std::size_t kStatusOffset = 31;          // request kind, or response status
inline constexpr std::size_t kServiceOffset = 42;
inline constexpr std::size_t kTableOffset = 43;
inline constexpr std::size_t kIndexOffset = 44;
inline constexpr std::size_t kCountOffset = 46;
inline constexpr std::size_t kShortWriteDataOffset = 48;
inline constexpr std::size_t kShortWriteDataSize = 8;
inline constexpr std::size_t kLongServiceOffset = 50;
inline constexpr std::size_t kLongTableOffset = 51;
inline constexpr std::size_t kLongIndexOffset = 52;
inline constexpr std::size_t kLongCountOffset = 54;
inline constexpr std::size_t kHeaderReadDataOffset = 44;  // response data of a 1..3 register read

// Request kinds (offset 31 of a request).
inline constexpr std::uint8_t kRequestInHeader = 0xC0;
inline constexpr std::uint8_t kRequestDataFollows = 0x80;
// Response status (offset 31 of a response).
inline constexpr std::uint8_t kStatusInHeader = 0xD4;
inline constexpr std::uint8_t kStatusDataFollows = 0x94;
inline constexpr std::uint8_t kStatusRefused = 0xD1;

inline constexpr std::uint8_t kServiceRead = 0x04;
inline constexpr std::uint8_t kServiceWrite = 0x07;
inline constexpr std::uint8_t kRegisterTable = 0x08;

using Header = std::array<std::uint8_t, kHeaderSize>;
using ShortWriteField = std::array<std::uint8_t, kShortWriteDataSize>;

inline void putWord(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline std::uint16_t getWord(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

Header handshakeHello();   // first handshake message: 56 zero bytes
Header handshakeOpen();    // second handshake message
Header readRequest(std::uint8_t sequence, std::uint16_t index, std::uint16_t count);

// Short write of 1..4 registers. `field` is the 8-byte data field as the previous short write
// left it: bytes beyond 2 x count keep their old value, as PLC installations have always
// seen them. It is updated in place.
Header shortWriteRequest(std::uint8_t sequence, std::uint16_t index, const std::uint16_t* values,
                         std::uint16_t count, ShortWriteField& field);

// Long write of 5 or more registers: the header and 2 x count data bytes.
std::vector<std::uint8_t> longWriteRequest(std::uint8_t sequence, std::uint16_t index,
                                           const std::uint16_t* values, std::uint16_t count);

// What a read of `count` registers expects back.
constexpr std::size_t readResponseLength(std::uint16_t count) {
  return count <= kMaxInHeaderRead ? kHeaderSize : kHeaderSize + 2u * count;
}
constexpr std::uint8_t readResponseStatus(std::uint16_t count) {
  return count <= kMaxInHeaderRead ? kStatusInHeader : kStatusDataFollows;
}
constexpr std::size_t readDataOffset(std::uint16_t count) {
  return count <= kMaxInHeaderRead ? kHeaderReadDataOffset : kHeaderSize;
}

// The checks on the answer to a read or write, in their fixed order: length, sequence number
// (byte 2), status. 0 for the expected status, 66 for a refusal (0xD1), else 64.
ResultCode checkResponse(const std::uint8_t* response, std::size_t length, std::size_t expectedLength,
                         std::uint8_t sequence, std::uint8_t expectedStatus);
// The checks on the answer to the second handshake message: length, then status; its
// sequence number is not examined. 0 for 0xD4, 65 for a refusal, else 64.
ResultCode checkHandshakeResponse(const std::uint8_t* response, std::size_t length);

}  // namespace zentarc::plc::ge
