#pragma once
// What the simulated PLC makes of a request, and the answers it builds. Requests are checked
// byte for byte against the layouts a correct client sends; a request that differs is
// refused (status 0xD1) and its problem is logged.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/configfile/MemoryArea.h"
#include "server/plc/CpuStatus.h"
#include "server/plc/GeMessages.h"

namespace zentarc::plcsim {

enum class MessageKind { Hello, Open, Read, Write, Unknown };

const char* kindName(MessageKind kind);

struct Request {
  MessageKind kind = MessageKind::Unknown;
  std::uint8_t sequence = 0;
  std::uint8_t selector = 0;  // reads and writes: the area and unit byte
  configfile::MemoryArea area = configfile::MemoryArea::R;
  plc::ge::Unit unit = plc::ge::Unit::Word;
  std::uint16_t index = 0;            // 0-based, in the unit
  std::uint16_t count = 0;            // in the unit
  std::vector<std::uint8_t> data;     // a write's data bytes
  std::vector<std::uint16_t> values;  // a word write's values
  std::string problem;                // empty when the layout is right
};

// The area and unit a selector byte stands for; none for a byte no area uses.
struct SelectorMeaning {
  configfile::MemoryArea area;
  plc::ge::Unit unit;
};
std::optional<SelectorMeaning> selectorMeaning(std::uint8_t selector);

// The full length of the message whose 56-byte header starts at `header`: a long write
// announces its data bytes at offset 4.
std::size_t messageLength(const std::uint8_t* header);

// Classifies and checks one whole message.
Request parseRequest(const std::uint8_t* data, std::size_t length);

std::vector<std::uint8_t> helloAnswer();
// Answers to reads and writes carry the CPU's status in bytes 50-55.
std::vector<std::uint8_t> statusAnswer(std::uint8_t sequence, std::uint8_t status, const plc::CpuStatus& cpu = {});
// Up to 6 data bytes inside the header (status 0xD4), more after it (status 0x94, their
// length at offset 4).
std::vector<std::uint8_t> readDataAnswer(std::uint8_t sequence, const std::vector<std::uint8_t>& data,
                                         const plc::CpuStatus& cpu = {});
std::vector<std::uint8_t> readAnswer(std::uint8_t sequence, const std::vector<std::uint16_t>& values);

}  // namespace zentarc::plcsim
