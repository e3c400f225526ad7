#pragma once
// Byte layouts of the GE service-request messages: the two handshake messages, the read
// request, the short and long write requests, and what a response carries where. Numbers in
// the messages are little-endian. The simulator in tools/plcsim shares these names.
//
// A request names its memory area with a selector byte, which also says how address and
// count are counted: in 16-bit words (the word tables %R, %AI, %AQ), in bytes or in single
// bits (the bit tables %I, %Q, ...). The register forms below are the word forms for %R.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/plc/CpuStatus.h"
#include "server/plc/ResultCodes.h"

namespace zentarc::plc::ge {

inline constexpr std::uint16_t kPort = 18245;
inline constexpr std::size_t kHeaderSize = 56;
inline constexpr std::uint16_t kMaxRegisters = 512;       // per message; callers split longer runs
inline constexpr std::uint16_t kMaxInHeaderRead = 3;      // reads up to this come back in the header
inline constexpr std::uint16_t kMaxShortWrite = 4;        // writes up to this go in the header
// Data bytes per message, in any unit; callers split longer runs.
inline constexpr std::size_t kMaxDataBytes = 2 * kMaxRegisters;
inline constexpr std::size_t kMaxInHeaderData = 2 * kMaxInHeaderRead;  // read answers up to this in the header
inline constexpr std::size_t kMaxShortWriteData = 2 * kMaxShortWrite;   // writes up to this in the header
inline constexpr std::size_t kMaxMessageSize = kHeaderSize + kMaxDataBytes;

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
inline constexpr std::size_t kHeaderReadDataOffset = 44;  // response data of up to 6 bytes
inline constexpr std::size_t kCpuStatusOffset = 50;       // bytes 50-55 of every read and write answer

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

// How a request counts its address and length.
enum class Unit : std::uint8_t { Word, Byte, Bit };

// The data bytes of a request for `count` units from the 0-based `index`. In bit units the
// data starts at the byte holding bit `index`: value k sits at bit (index mod 8 + k).
constexpr std::size_t dataBytes(Unit unit, std::uint16_t index, std::size_t count) {
  switch (unit) {
    case Unit::Word: return 2 * count;
    case Unit::Byte: return count;
    case Unit::Bit: return (index % 8 + count + 7) / 8;
  }
  return 0;
}

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
// A read of `count` units of the area `selector` from the 0-based `index`.
Header readRequest(std::uint8_t sequence, std::uint8_t selector, std::uint16_t index, std::uint16_t count);
inline Header readRequest(std::uint8_t sequence, std::uint16_t index, std::uint16_t count) {
  return readRequest(sequence, kRegisterTable, index, count);
}

// Short write of up to 8 data bytes (1..4 registers). `field` is the 8-byte data field as the
// previous short write left it: bytes beyond the data keep their old value, as PLC
// installations have always seen them. It is updated in place.
Header shortWriteRequest(std::uint8_t sequence, std::uint8_t selector, std::uint16_t index, std::uint16_t count,
                         const std::uint8_t* data, std::size_t dataLength, ShortWriteField& field);
Header shortWriteRequest(std::uint8_t sequence, std::uint16_t index, const std::uint16_t* values,
                         std::uint16_t count, ShortWriteField& field);

// Long write of more than 8 data bytes (5 or more registers): the header, then the data.
std::vector<std::uint8_t> longWriteRequest(std::uint8_t sequence, std::uint8_t selector, std::uint16_t index,
                                           std::uint16_t count, const std::uint8_t* data, std::size_t dataLength);
std::vector<std::uint8_t> longWriteRequest(std::uint8_t sequence, std::uint16_t index,
                                           const std::uint16_t* values, std::uint16_t count);

// What a read expects back for `dataLength` data bytes: up to 6 inside the header, more after it.
constexpr std::size_t readAnswerLength(std::size_t dataLength) {
  return dataLength <= kMaxInHeaderData ? kHeaderSize : kHeaderSize + dataLength;
}
constexpr std::uint8_t readAnswerStatus(std::size_t dataLength) {
  return dataLength <= kMaxInHeaderData ? kStatusInHeader : kStatusDataFollows;
}
constexpr std::size_t readAnswerDataOffset(std::size_t dataLength) {
  return dataLength <= kMaxInHeaderData ? kHeaderReadDataOffset : kHeaderSize;
}
// The same for a read of `count` registers.
constexpr std::size_t readResponseLength(std::uint16_t count) { return readAnswerLength(2u * count); }
constexpr std::uint8_t readResponseStatus(std::uint16_t count) { return readAnswerStatus(2u * count); }
constexpr std::size_t readDataOffset(std::uint16_t count) { return readAnswerDataOffset(2u * count); }

// The PLC's status in bytes 50-55 of an answer of at least 56 bytes.
CpuStatus cpuStatusOf(const std::uint8_t* answer);
// Writes it there (the simulator's side).
void putCpuStatus(std::uint8_t* answer, const CpuStatus& status);

// The checks on the answer to a read or write, in their fixed order: length, sequence number
// (byte 2), status. 0 for the expected status, 66 for a refusal (0xD1), else 64. A refusal
// is whole at 56 bytes, also where data after the header was expected.
ResultCode checkResponse(const std::uint8_t* response, std::size_t length, std::size_t expectedLength,
                         std::uint8_t sequence, std::uint8_t expectedStatus);
// The checks on the answer to the second handshake message: length, then status; its
// sequence number is not examined. 0 for 0xD4, 65 for a refusal, else 64.
ResultCode checkHandshakeResponse(const std::uint8_t* response, std::size_t length);

}  // namespace zentarc::plc::ge
