#include "server/plc/GeLink.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "server/plc/AddressText.h"

namespace zentarc::plc {

GeLink::GeLink() { startupResult_ = Startup(); }

GeLink::~GeLink() { CloseAll(); }

ResultCode GeLink::Startup() {
  // The stack has IPv4 TCP when a socket of that kind can be made.
  const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (probe < 0) {
    protocol_.reset();
    return kNoTcpProtocol;
  }
  ::close(probe);
  protocol_ = ProtocolDescriptor{AF_INET, SOCK_STREAM, IPPROTO_TCP};
  return kOk;
}

ResultCode GeLink::Setup(const std::vector<std::string>& addressTexts) {
  CloseAll();
  if (!protocol_) return kResourceFailure;
  table_.clear();
  table_.reserve(addressTexts.size());
  for (const auto& text : addressTexts) table_.push_back(PlcConnection{text, TcpChannel{}, std::nullopt});
  haveTable_ = true;
  currentPlc_ = 0;
  return kOk;
}

void GeLink::CloseAll() {
  currentPlc_ = 0;
  for (auto& connection : table_) connection.channel.Close();
  table_.clear();
  haveTable_ = false;
}

bool GeLink::isOpen(std::uint16_t n) const {
  return haveTable_ && n >= 1 && n <= table_.size() && table_[n - 1].channel.isOpen();
}

bool GeLink::stillOpen(std::uint16_t n) {
  if (!isOpen(n)) return false;
  return table_[n - 1].channel.DiscardPending() == kOk;
}

TcpChannel* GeLink::currentChannel() {
  if (!haveTable_ || currentPlc_ == 0 || currentPlc_ > table_.size()) return nullptr;
  return &table_[currentPlc_ - 1].channel;
}

ResultCode GeLink::SelectPlc(std::uint16_t n) {
  if (!haveTable_) return kResourceFailure;
  if (n < 1 || n > table_.size()) return kInvalidArgument;
  PlcConnection& connection = table_[n - 1];
  if (connection.channel.isOpen()) {
    currentPlc_ = n;
    return kOk;
  }
  const auto address = parseAddressText(connection.addressText);
  if (!address) return kAddressNotAvailable;
  ResultCode rc = connection.channel.Connect(*address, ge::kPort, *protocol_);
  if (rc != kOk) return rc;
  rc = handshake(connection.channel);
  if (rc != kOk) {
    // A half-open connection would pass for a selected PLC whose every message is refused:
    // the next selection must connect and handshake afresh.
    connection.channel.Close();
    return rc;
  }
  currentPlc_ = n;
  return kOk;
}

ResultCode GeLink::handshake(TcpChannel& channel) {
  const ge::Header hello = ge::handshakeHello();
  ResultCode rc = sendRequest(channel, hello.data(), hello.size());
  if (rc != kOk) return rc;
  std::size_t length = 0;
  rc = receiveResponse(channel, ge::kHeaderSize, length);
  if (rc != kOk) return rc;
  if (length != ge::kHeaderSize) return kBadResponse;

  const ge::Header open = ge::handshakeOpen();
  rc = sendRequest(channel, open.data(), open.size());
  if (rc != kOk) return rc;
  rc = receiveResponse(channel, ge::kHeaderSize, length);
  if (rc != kOk) return rc;
  rc = ge::checkHandshakeResponse(response_, length);
  if (rc == kOk) sequence_ = 2;
  return rc;
}

ResultCode GeLink::ReadRegisters(std::uint16_t count, std::uint16_t index,
                                 std::uint16_t* destination) {
  if (count == 0 || count > ge::kMaxRegisters || destination == nullptr) return kInvalidArgument;
  std::uint8_t data[ge::kMaxDataBytes];
  const ResultCode rc = ReadMemory(ge::kRegisterTable, ge::Unit::Word, index, count, data);
  if (rc != kOk) return rc;
  for (std::uint16_t i = 0; i < count; ++i) destination[i] = ge::getWord(data + 2u * i);
  return kOk;
}

ResultCode GeLink::WriteRegisters(std::uint16_t count, std::uint16_t index,
                                  const std::uint16_t* source) {
  if (count == 0 || count > ge::kMaxRegisters || source == nullptr) return kInvalidArgument;
  std::uint8_t data[ge::kMaxDataBytes];
  for (std::uint16_t i = 0; i < count; ++i) ge::putWord(data + 2u * i, source[i]);
  return WriteMemory(ge::kRegisterTable, ge::Unit::Word, index, count, data);
}

ResultCode GeLink::ReadMemory(std::uint8_t selector, ge::Unit unit, std::uint16_t index, std::uint16_t count,
                              std::uint8_t* destination) {
  const std::size_t dataLength = ge::dataBytes(unit, index, count);
  if (count == 0 || dataLength > ge::kMaxDataBytes || destination == nullptr) return kInvalidArgument;
  TcpChannel* channel = currentChannel();
  if (channel == nullptr) return kChannelNotOpen;

  const ge::Header request = ge::readRequest(sequence_, selector, index, count);
  ResultCode rc = sendRequest(*channel, request.data(), request.size());
  if (rc != kOk) return rc;
  const std::size_t expected = ge::readAnswerLength(dataLength);
  std::size_t length = 0;
  rc = receiveResponse(*channel, expected, length);
  if (rc != kOk) return rc;

  rc = ge::checkResponse(response_, length, expected, sequence_, ge::readAnswerStatus(dataLength));
  noteCpuStatus(rc);
  if (rc != kOk) return rc;
  std::copy_n(response_ + ge::readAnswerDataOffset(dataLength), dataLength, destination);
  ++sequence_;
  return kOk;
}

ResultCode GeLink::WriteMemory(std::uint8_t selector, ge::Unit unit, std::uint16_t index, std::uint16_t count,
                               const std::uint8_t* source) {
  const std::size_t dataLength = ge::dataBytes(unit, index, count);
  if (count == 0 || dataLength > ge::kMaxDataBytes || source == nullptr) return kInvalidArgument;
  TcpChannel* channel = currentChannel();
  if (channel == nullptr) return kChannelNotOpen;

  ResultCode rc;
  if (dataLength <= ge::kMaxShortWriteData) {
    const ge::Header request =
        ge::shortWriteRequest(sequence_, selector, index, count, source, dataLength, shortWriteField_);
    rc = sendRequest(*channel, request.data(), request.size());
  } else {
    const std::vector<std::uint8_t> request =
        ge::longWriteRequest(sequence_, selector, index, count, source, dataLength);
    rc = sendRequest(*channel, request.data(), request.size());
  }
  if (rc != kOk) return rc;
  std::size_t length = 0;
  rc = receiveResponse(*channel, ge::kHeaderSize, length);
  if (rc != kOk) return rc;

  rc = ge::checkResponse(response_, length, ge::kHeaderSize, sequence_, ge::kStatusInHeader);
  noteCpuStatus(rc);
  if (rc == kOk) ++sequence_;
  return rc;
}

void GeLink::noteCpuStatus(ResultCode checked) {
  if (checked != kOk && checked != kRequestRefused) return;
  if (currentPlc_ >= 1 && currentPlc_ <= table_.size()) table_[currentPlc_ - 1].cpuStatus = ge::cpuStatusOf(response_);
}

std::optional<CpuStatus> GeLink::cpuStatus(std::uint16_t n) const {
  if (!haveTable_ || n < 1 || n > table_.size()) return std::nullopt;
  return table_[n - 1].cpuStatus;
}

ResultCode GeLink::sendRequest(TcpChannel& channel, const std::uint8_t* data, std::size_t length) {
  const ResultCode rc = channel.DiscardPending();
  if (rc != kOk) return rc;
  return channel.Send(data, length);
}

ResultCode GeLink::receiveResponse(TcpChannel& channel, std::size_t expected, std::size_t& length) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kReceiveTimeoutMs);
  std::size_t got = 0;
  // The answer is complete once its header is in and either its status announces no data
  // after the header (a refusal is whole at 56 bytes) or all `expected` bytes are in. Asking
  // for up to `expected` at once is safe: nothing else is sent before the whole answer is in.
  auto complete = [&] {
    return got >= ge::kHeaderSize &&
           (got >= expected || response_[ge::kStatusOffset] != ge::kStatusDataFollows);
  };
  while (!complete()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    std::size_t size = std::max(expected, ge::kHeaderSize) - got;
    const ResultCode rc = channel.Receive(response_ + got, size, static_cast<int>(left));
    if (rc == kNoAnswer) break;
    if (rc != kOk) return rc;
    got += size;
  }
  if (!complete()) {
    // A late or cut-short answer: whatever of it still arrives would be read as the answer to
    // the next request (which repeats this sequence number), so this connection is done.
    channel.Close();
    if (got == 0) return kNoAnswer;
  }
  length = got;
  return kOk;
}

}  // namespace zentarc::plc
