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

void parseRead(const std::uint8_t* data, Request& r) {
  r.kind = MessageKind::Read;
  r.index = ge::getWord(data + ge::kIndexOffset);
  r.count = ge::getWord(data + ge::kCountOffset);
  const ge::Header expected = ge::readRequest(r.sequence, r.index, r.count);
  r.problem = compareLayout(data, expected.data(), ge::kHeaderSize);
}

void parseShortWrite(const std::uint8_t* data, Request& r) {
  r.kind = MessageKind::Write;
  r.index = ge::getWord(data + ge::kIndexOffset);
  r.count = ge::getWord(data + ge::kCountOffset);
  if (r.count < 1 || r.count > ge::kMaxShortWrite) {
    r.problem = "short write of " + std::to_string(r.count) + " registers (1 to 4 allowed)";
    return;
  }
  for (std::uint16_t i = 0; i < r.count; ++i)
    r.values.push_back(ge::getWord(data + ge::kShortWriteDataOffset + 2u * i));
  // Bytes of the data field beyond the values may hold anything.
  ge::ShortWriteField field{};
  std::memcpy(field.data(), data + ge::kShortWriteDataOffset, field.size());
  const ge::Header expected = ge::shortWriteRequest(r.sequence, r.index, r.values.data(), r.count, field);
  r.problem = compareLayout(data, expected.data(), ge::kHeaderSize);
}

void parseLongWrite(const std::uint8_t* data, std::size_t length, Request& r) {
  r.kind = MessageKind::Write;
  r.index = ge::getWord(data + ge::kLongIndexOffset);
  r.count = ge::getWord(data + ge::kLongCountOffset);
  if (r.count <= ge::kMaxShortWrite || length != ge::kHeaderSize + 2u * r.count) {
    r.problem = "long write of " + std::to_string(r.count) + " registers in " +
                std::to_string(length) + " bytes";
    return;
  }
  for (std::uint16_t i = 0; i < r.count; ++i) r.values.push_back(ge::getWord(data + ge::kHeaderSize + 2u * i));
  const std::vector<std::uint8_t> expected = ge::longWriteRequest(r.sequence, r.index, r.values.data(), r.count);
  r.problem = compareLayout(data, expected.data(), expected.size());
}

}  // namespace

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
  if (r.problem.empty() && (r.kind == MessageKind::Read || r.kind == MessageKind::Write) &&
      (r.count < 1 || r.count > kMaxRequestRegisters))
    r.problem = std::to_string(r.count) + " registers in one request (1 to 512 allowed)";
  return r;
}

std::vector<std::uint8_t> helloAnswer() {
  std::vector<std::uint8_t> a(ge::kHeaderSize, 0);
  a[ge::kTypeOffset] = 0x01;
  return a;
}

std::vector<std::uint8_t> statusAnswer(std::uint8_t sequence, std::uint8_t status) {
  std::vector<std::uint8_t> a(ge::kHeaderSize, 0);
  a[ge::kTypeOffset] = kAnswerType;
  a[ge::kSequenceOffset] = sequence;
  a[ge::kSequenceCopyOffset] = sequence;
  a[ge::kStatusOffset] = status;
  return a;
}

std::vector<std::uint8_t> readAnswer(std::uint8_t sequence, const std::vector<std::uint16_t>& values) {
  const auto count = static_cast<std::uint16_t>(values.size());
  std::vector<std::uint8_t> a = statusAnswer(sequence, ge::readResponseStatus(count));
  a.resize(ge::readResponseLength(count), 0);
  if (count > ge::kMaxInHeaderRead) ge::putWord(&a[ge::kDataLengthOffset], static_cast<std::uint16_t>(2u * count));
  const std::size_t offset = ge::readDataOffset(count);
  for (std::uint16_t i = 0; i < count; ++i) ge::putWord(&a[offset + 2u * i], values[i]);
  return a;
}

}  // namespace zentarc::plcsim
