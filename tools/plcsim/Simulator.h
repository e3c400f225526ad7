#pragma once
// A simulated GE PLC on one loopback address: every memory area (65536 words or bits each
// unless sized smaller; requests past an area's size are refused), the handshake, reads and
// writes in words, bytes and bits, the CPU's state in every answer, layout checks of every
// request, counters and a log of served messages, and the faults of FaultModes.h. It serves
// on its own thread from start() to stop().
//
//   zentarc::plcsim::Simulator sim({.address = "127.0.4.2"});
//   sim.setAreaSize(MemoryArea::AI, 64);  // %AI1 to %AI64
//   if (!sim.start(&error)) ...;
//   sim.setRegister(0, 42);               // R1
//   sim.setBit(MemoryArea::I, 16, true);  // I17
//   sim.setCpuState(plc::CpuState::StopDisabled);
//   sim.setFaults({.refuseReads = true});
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/configfile/MemoryArea.h"
#include "server/plc/CpuStatus.h"
#include "server/plc/GeMessages.h"
#include "tools/plcsim/Animation.h"
#include "tools/plcsim/FaultModes.h"
#include "tools/plcsim/SimProtocol.h"

namespace zentarc::plcsim {

inline constexpr std::size_t kRegisterCount = 65536;

using configfile::MemoryArea;

struct Options {
  std::string address = "127.0.0.2";
  std::uint16_t port = zentarc::plc::ge::kPort;
  Faults faults{};
  std::size_t logLimit = 10000;  // the newest messages are kept
  plc::CpuState cpuState = plc::CpuState::RunEnabled;
};

// The status a simulated CPU in `state` reports: a 10 ms sweep and the run switch on while it
// runs, program 1, privilege level 2.
plc::CpuStatus simulatedCpuStatus(plc::CpuState state);

struct Stats {
  std::uint64_t connections = 0;   // accepted
  std::uint64_t messages = 0;      // whole messages received
  std::uint64_t handshakes = 0;    // second handshake messages answered 0xD4
  std::uint64_t reads = 0;         // reads answered with data
  std::uint64_t writes = 0;        // writes carried out
  std::uint64_t refused = 0;       // answered 0xD1 (faults, bad layout, out of range)
  std::uint64_t layoutErrors = 0;  // requests that differ from the expected layout
  std::uint64_t unanswered = 0;    // kept silent, or closed or reset instead
};

enum class Outcome { Answered, Refused, Unanswered, Closed };

struct LoggedMessage {
  std::uint64_t connection = 0;  // 1-based, in accept order
  Request request;
  std::vector<std::uint8_t> bytes;  // as received
  Outcome outcome = Outcome::Answered;
};

class Simulator {
 public:
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Listens and starts serving. False, with a reason, when the address cannot be used.
  bool start(std::string* error = nullptr);
  // Closes every connection and the listener and joins the thread. Safe to call twice.
  void stop();
  bool running() const;
  const std::string& address() const;

  // %R, 0-based.
  void setRegister(std::uint16_t index, std::uint16_t value);
  void setRegisters(std::uint16_t index, const std::vector<std::uint16_t>& values);
  std::uint16_t registerValue(std::uint16_t index) const;
  std::vector<std::uint16_t> registers(std::uint16_t index, std::size_t count) const;
  // Any area, 0-based: words of the word tables, bits of the bit tables.
  void setWord(MemoryArea area, std::uint16_t index, std::uint16_t value);
  std::uint16_t word(MemoryArea area, std::uint16_t index) const;
  void setBit(MemoryArea area, std::uint16_t index, bool on);
  bool bit(MemoryArea area, std::uint16_t index) const;
  // Bytes of a bit table (byte j holds bits 8j+1 to 8j+8, the lowest in bit 0).
  void setBytes(MemoryArea area, std::uint16_t byteIndex, const std::vector<std::uint8_t>& values);
  std::vector<std::uint8_t> bytes(MemoryArea area, std::uint16_t byteIndex, std::size_t count) const;
  // Words, or bits (rounded up to whole bytes); at most and by default 65536.
  void setAreaSize(MemoryArea area, std::uint32_t units);

  // The state every later answer reports.
  void setCpuState(plc::CpuState state);
  plc::CpuStatus cpuStatus() const;

  void setFaults(const Faults& faults);
  Faults faults() const;
  // Animated registers are rewritten about every 100 ms, over whatever a client wrote.
  void addAnimation(const Animation& animation);
  // The animated registers keep the values they have now.
  void clearAnimations();

  Stats stats() const;
  std::vector<LoggedMessage> log() const;
  void clearLog();
  std::size_t openConnections() const;
  // Called on the simulator's thread after each message (for a command's verbose output).
  void setObserver(std::function<void(const LoggedMessage&)> observer);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zentarc::plcsim
