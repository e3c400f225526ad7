#pragma once
// A PLC register table in memory for block tests, with the other areas beside it (sized as
// a PLC may be: requests past an area's size are refused): records every message and can
// fail the n-th one with a chosen code.
#include <cstdint>
#include <vector>

#include "server/plc/RegisterAccess.h"
#include "tools/plcsim/SimMemory.h"
#include "tools/plcsim/SimProtocol.h"

namespace zentarc::testsupport {

class FakeRegisterAccess : public RegisterAccess {
 public:
  struct Message {
    bool write = false;
    std::uint16_t index = 0;
    std::uint16_t count = 0;
    std::uint8_t selector = plc::ge::kRegisterTable;
    bool operator==(const Message&) const = default;
  };

  plc::ResultCode ReadRegisters(std::uint16_t count, std::uint16_t index, std::uint16_t* destination) override {
    log.push_back({false, index, count});
    if (failing()) return failCode;
    for (std::uint32_t i = 0; i < count; ++i) destination[i] = registers[index + i];
    return plc::kOk;
  }
  plc::ResultCode WriteRegisters(std::uint16_t count, std::uint16_t index, const std::uint16_t* source) override {
    log.push_back({true, index, count});
    if (failing()) return failCode;
    for (std::uint32_t i = 0; i < count; ++i) registers[index + i] = source[i];
    return plc::kOk;
  }

  plc::ResultCode ReadMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index, std::uint16_t count,
                             std::uint8_t* data) override {
    log.push_back({false, index, count, selector});
    const auto meaning = plcsim::selectorMeaning(selector);
    if (failing()) return failCode;
    if (!meaning || meaning->unit != unit || !memory.contains(meaning->area, unit, index, count)) return plc::kRequestRefused;
    const std::vector<std::uint8_t> bytes = memory.read(meaning->area, unit, index, count);
    std::copy(bytes.begin(), bytes.end(), data);
    return plc::kOk;
  }
  plc::ResultCode WriteMemory(std::uint8_t selector, plc::ge::Unit unit, std::uint16_t index, std::uint16_t count,
                              const std::uint8_t* data) override {
    log.push_back({true, index, count, selector});
    const auto meaning = plcsim::selectorMeaning(selector);
    if (failing()) return failCode;
    if (!meaning || meaning->unit != unit || !memory.contains(meaning->area, unit, index, count)) return plc::kRequestRefused;
    memory.write(meaning->area, unit, index, count, data);
    return plc::kOk;
  }

  std::vector<Message> reads() const { return only(false); }
  std::vector<Message> writes() const { return only(true); }

  std::vector<std::uint16_t> registers = std::vector<std::uint16_t>(65536, 0);  // %R
  plcsim::SimMemory memory;                                                    // the other areas
  std::vector<Message> log;
  int failAt = -1;  // 0-based message number that fails (and every one after it)
  bool failOnlyThatOne = false;  // ... or that one alone
  plc::ResultCode failCode = plc::kNoAnswer;

 private:
  bool failing() const {
    const int n = static_cast<int>(log.size()) - 1;  // the message being handled
    return failAt >= 0 && (failOnlyThatOne ? n == failAt : n >= failAt);
  }
  std::vector<Message> only(bool write) const {
    std::vector<Message> out;
    for (const auto& m : log)
      if (m.write == write) out.push_back(m);
    return out;
  }
};

}  // namespace zentarc::testsupport
