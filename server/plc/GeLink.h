#pragma once
// The PLC link: a table of connections, one per configured PLC, and the GE messages that
// select a PLC (connect and handshake), read and write its memory. Only the polling thread
// uses it; nothing here locks.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/plc/GeMessages.h"
#include "server/plc/PlcConnection.h"
#include "server/plc/ResultCodes.h"
#include "server/plc/TcpChannel.h"

namespace zentarc::plc {

class GeLink {
 public:
  // Runs Startup; its code is kept in startupResult() and otherwise shows as 18 from Setup.
  GeLink();
  ~GeLink();
  GeLink(const GeLink&) = delete;
  GeLink& operator=(const GeLink&) = delete;

  ResultCode Startup();
  // One closed channel per address text, in device-list order. 18 without a protocol.
  ResultCode Setup(const std::vector<std::string>& addressTexts);
  // Makes PLC n (1-based) current, connecting and handshaking when its channel is closed. A
  // failed handshake leaves the channel closed.
  ResultCode SelectPlc(std::uint16_t n);
  // count 1..512 registers (%R) of the current PLC from the 0-based index.
  ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination);
  ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source);
  // count units of the area `selector` of the current PLC from the 0-based index, counted in
  // `unit`; the data is ge::dataBytes(unit, index, count) bytes, 1 to 1024. A bit write
  // changes exactly its count bits; the other bits of its data bytes are sent as 0.
  ResultCode ReadMemory(std::uint8_t selector, ge::Unit unit, std::uint16_t index, std::uint16_t count,
                        std::uint8_t* destination);
  ResultCode WriteMemory(std::uint8_t selector, ge::Unit unit, std::uint16_t index, std::uint16_t count,
                         const std::uint8_t* source);
  // Closes every channel and drops the table; Setup must run again before the next use.
  void CloseAll();

  ResultCode startupResult() const { return startupResult_; }
  std::uint16_t currentPlc() const { return currentPlc_; }
  std::uint8_t sequenceNumber() const { return sequence_; }
  std::size_t count() const { return table_.size(); }
  bool isOpen(std::uint16_t n) const;
  // PLC n's status as its last answer to a read or write (refusals included) carried it;
  // none before the first such answer on the present table.
  std::optional<CpuStatus> cpuStatus(std::uint16_t n) const;
  // True when PLC n's channel is open and the PLC has not closed it meanwhile (as a PLC that
  // restarted has); input nobody asked for is dropped. A channel found closed is closed here.
  bool stillOpen(std::uint16_t n);

 private:
  TcpChannel* currentChannel();
  // Takes the PLC's status from an answer that passed the length and sequence checks.
  void noteCpuStatus(ResultCode checked);
  // Sends one request on the current channel after dropping stale input.
  ResultCode sendRequest(TcpChannel& channel, const std::uint8_t* data, std::size_t length);
  // Gathers one response within the single 1000 ms limit: the 56-byte header, then, only
  // when its status announces data after the header, up to `expected` bytes in all.
  ResultCode receiveResponse(TcpChannel& channel, std::size_t expected, std::size_t& length);
  ResultCode handshake(TcpChannel& channel);

  std::optional<ProtocolDescriptor> protocol_;
  ResultCode startupResult_ = kOk;
  std::vector<PlcConnection> table_;
  bool haveTable_ = false;
  std::uint16_t currentPlc_ = 0;
  std::uint8_t sequence_ = 0;
  ge::ShortWriteField shortWriteField_{};
  std::uint8_t response_[ge::kMaxMessageSize] = {};
};

}  // namespace zentarc::plc
