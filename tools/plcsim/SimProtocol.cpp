#include "tools/plcsim/SimProtocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "server/plc/GeMessages.h"

namespace zentarc::plcsim {

namespace ge = zentarc::plc::ge;

namespace {

constexpr std::uint8_t kAnswerType = 0x03;

// Names the first byte that differs from the expected message.
std::string compareLayout(const std::uint8_t* data, const std::uint8_t* expected, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (data[i] != expected[i]) {
      char text[96];
      std::snprintf(text, sizeof text, "byte %zu is 0x%02X, expected 0x%02X", i, data[i], expected[i]);
      return text;
    }
  }
  return {};
}

// Reads the selector at `offset` and checks the data the request's unit, index and count make.
bool parseSelector(const std::uint8_t* data, std::size_t offset, Request& r) {
  r.selector = data[offset];
  const auto meaning = selectorMeaning(r.selector);
  if (!meaning) {
    char text[64];
    std::snprintf(text, sizeof text, "unknown memory selector 0x%02X", r.selector);
    r.problem = text;
    return false;
  }
  r.area = meaning->area;
  r.unit = meaning->unit;
  const std::size_t bytes = ge::dataBytes(r.unit, r.index, r.count);
  if (r.count == 0 || bytes > ge::kMaxDataBytes) {
    r.problem = r.unit == ge::Unit::Word
                    ? std::to_string(r.count) + " registers in one request (1 to 512 allowed)"
                    : std::to_string(r.count) + " units of " + std::to_string(bytes) +
                          " data bytes in one request (1 to 1024 bytes allowed)";
    return false;
  }
  return true;
}

// A bit write sends 0 in the bits of its data bytes that it does not write.
bool strayBits(const Request& r) {
  if (r.unit != ge::Unit::Bit) return false;
  const std::size_t shift = r.index % 8;
  for (std::size_t i = 0; i < r.data.size() * 8; ++i) {
    const bool written = i >= shift && i < shift + r.count;
    if (!written && ((r.data[i / 8] >> (i % 8)) & 1)) return true;
  }
  return false;
}

void takeWriteData(const std::uint8_t* from, std::size_t length, Request& r) {
  r.data.assign(from, from + length);
  if (r.unit == ge::Unit::Word)
    for (std::size_t i = 0; i + 1 < length; i += 2) r.values.push_back(ge::getWord(from + i));
  if (strayBits(r)) r.problem = "a bit write sets bits beside the " + std::to_string(r.count) + " it writes";
}

void parseRead(const std::uint8_t* data, Request& r) {
  r.kind = MessageKind::Read;
  r.index = ge::getWord(data + ge::kIndexOffset);
  r.count = ge::getWord(data + ge::kCountOffset);
  if (!parseSelector(data, ge::kTableOffset, r)) return;
  const ge::Header expected = ge::readRequest(r.sequence, r.selector, r.index, r.count);
  r.problem = compareLayout(data, expected.data(), ge::kHeaderSize);
}

void parseShortWrite(const std::uint8_t* data, Request& r) {
  r.kind = MessageKind::Write;
  r.index = ge::getWord(data + ge::kIndexOffset);
  r.count = ge::getWord(data + ge::kCountOffset);
  if (!parseSelector(data, ge::kTableOffset, r)) return;
  const std::size_t bytes = ge::dataBytes(r.unit, r.index, r.count);
  if (bytes > ge::kMaxShortWriteData) {
    r.problem = r.unit == ge::Unit::Word
                    ? "short write of " + std::to_string(r.count) + " registers (1 to 4 allowed)"
                    : "short write of " + std::to_string(bytes) + " data bytes (1 to 8 allowed)";
    return;
  }
  takeWriteData(data + ge::kShortWriteDataOffset, bytes, r);
  if (!r.problem.empty()) return;
  // Bytes of the data field beyond the data may hold anything.
  ge::ShortWriteField field{};
  std::memcpy(field.data(), data + ge::kShortWriteDataOffset, field.size());
  const ge::Header expected =
      ge::shortWriteRequest(r.sequence, r.selector, r.index, r.count, r.data.data(), r.data.size(), field);
  r.problem = compareLayout(data, expected.data(), ge::kHeaderSize);
}

void parseLongWrite(const std::uint8_t* data, std::size_t length, Request& r) {
  r.kind = MessageKind::Write;
  r.index = ge::getWord(data + ge::kLongIndexOffset);
  r.count = ge::getWord(data + ge::kLongCountOffset);
  if (!parseSelector(data, ge::kLongTableOffset, r)) return;
  const std::size_t bytes = ge::dataBytes(r.unit, r.index, r.count);
  if (bytes <= ge::kMaxShortWriteData || length != ge::kHeaderSize + bytes) {
    r.problem = "long write of " + std::to_string(r.count) +
                (r.unit == ge::Unit::Word ? " registers" : r.unit == ge::Unit::Byte ? " bytes" : " bits") + " in " +
                std::to_string(length) + " bytes";
    return;
  }
  takeWriteData(data + ge::kHeaderSize, bytes, r);
  if (!r.problem.empty()) return;
  const std::vector<std::uint8_t> expected =
      ge::longWriteRequest(r.sequence, r.selector, r.index, r.count, r.data.data(), r.data.size());
  r.problem = compareLayout(data, expected.data(), expected.size());
}

}  // namespace

std::optional<SelectorMeaning> selectorMeaning(std::uint8_t selector) {
  for (const configfile::MemoryAreaEntry& e : configfile::kMemoryAreas) {
    if (!e.bitArea && selector == e.wordSelector) return SelectorMeaning{e.area, ge::Unit::Word};
    if (e.bitArea && selector == e.byteSelector) return SelectorMeaning{e.area, ge::Unit::Byte};
    if (e.bitArea && selector == e.bitSelector) return SelectorMeaning{e.area, ge::Unit::Bit};
  }
  return std::nullopt;
}

const char* kindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Hello: return "hello";
    case MessageKind::Open: return "open";
    case MessageKind::Read: return "read";
    case MessageKind::Write: return "write";
    case MessageKind::Unknown: break;
  }
  return "unknown";
}

std::size_t messageLength(const std::uint8_t* header) {
  if (header[ge::kStatusOffset] == ge::kRequestDataFollows)
    return ge::kHeaderSize + ge::getWord(header + ge::kDataLengthOffset);
  return ge::kHeaderSize;
}

Request parseRequest(const std::uint8_t* data, std::size_t length) {
  Request r;
  if (length < ge::kHeaderSize) {
    r.problem = "message of " + std::to_string(length) + " bytes";
    return r;
  }
  r.sequence = data[ge::kSequenceOffset];
  const ge::Header hello = ge::handshakeHello();
  const ge::Header open = ge::handshakeOpen();
  if (data[ge::kTypeOffset] == 0x00) {
    r.kind = MessageKind::Hello;
    r.problem = compareLayout(data, hello.data(), ge::kHeaderSize);
  } else if (data[ge::kTypeOffset] == open[ge::kTypeOffset]) {
    r.kind = MessageKind::Open;
    r.problem = compareLayout(data, open.data(), ge::kHeaderSize);
  } else if (data[ge::kStatusOffset] == ge::kRequestDataFollows) {
    parseLongWrite(data, length, r);
  } else if (data[ge::kServiceOffset] == ge::kServiceRead) {
    parseRead(data, r);
  } else if (data[ge::kServiceOffset] == ge::kServiceWrite) {
    parseShortWrite(data, r);
  } else {
    char text[64];
    std::snprintf(text, sizeof text, "unknown service 0x%02X", data[ge::kServiceOffset]);
    r.problem = text;
  }
  if (r.problem.empty() && r.kind != MessageKind::Write && length != ge::kHeaderSize)
    r.problem = "message of " + std::to_string(length) + " bytes, expected 56";
  return r;
}

std::vector<std::uint8_t> helloAnswer() {
  std::vector<std::uint8_t> a(ge::kHeaderSize, 0);
  a[ge::kTypeOffset] = 0x01;
  return a;
}

std::vector<std::uint8_t> statusAnswer(std::uint8_t sequence, std::uint8_t status, const plc::CpuStatus& cpu) {
  std::vector<std::uint8_t> a(ge::kHeaderSize, 0);
  a[ge::kTypeOffset] = kAnswerType;
  a[ge::kSequenceOffset] = sequence;
  a[ge::kSequenceCopyOffset] = sequence;
  a[ge::kStatusOffset] = status;
  ge::putCpuStatus(a.data(), cpu);
  return a;
}

std::vector<std::uint8_t> readDataAnswer(std::uint8_t sequence, const std::vector<std::uint8_t>& data,
                                         const plc::CpuStatus& cpu) {
  std::vector<std::uint8_t> a = statusAnswer(sequence, ge::readAnswerStatus(data.size()), cpu);
  a.resize(ge::readAnswerLength(data.size()), 0);
  if (data.size() > ge::kMaxInHeaderData) ge::putWord(&a[ge::kDataLengthOffset], static_cast<std::uint16_t>(data.size()));
  std::copy(data.begin(), data.end(), a.begin() + static_cast<std::ptrdiff_t>(ge::readAnswerDataOffset(data.size())));
  return a;
}

std::vector<std::uint8_t> readAnswer(std::uint8_t sequence, const std::vector<std::uint16_t>& values) {
  std::vector<std::uint8_t> data(2 * values.size());
  for (std::size_t i = 0; i < values.size(); ++i) ge::putWord(&data[2 * i], values[i]);
  return readDataAnswer(sequence, data);
}

}  // namespace zentarc::plcsim
