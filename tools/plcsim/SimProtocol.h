#pragma once
// What the simulated PLC makes of a request, and the answers it builds. Requests are checked
// byte for byte against the layouts a correct client sends; a request that differs is
// refused (status 0xD1) and its problem is logged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zentarc::plcsim {

enum class MessageKind { Hello, Open, Read, Write, Unknown };

const char* kindName(MessageKind kind);

struct Request {
  MessageKind kind = MessageKind::Unknown;
  std::uint8_t sequence = 0;
  std::uint16_t index = 0;
  std::uint16_t count = 0;
  std::vector<std::uint16_t> values;  // a write's register values
  std::string problem;                // empty when the layout is right
};

inline constexpr std::uint16_t kMaxRequestRegisters = 512;

// The full length of the message whose 56-byte header starts at `header`: a long write
// announces its data bytes at offset 4.
std::size_t messageLength(const std::uint8_t* header);

// Classifies and checks one whole message.
Request parseRequest(const std::uint8_t* data, std::size_t length);

std::vector<std::uint8_t> helloAnswer();
std::vector<std::uint8_t> statusAnswer(std::uint8_t sequence, std::uint8_t status);
// 1..3 registers inside the header (status 0xD4), 4 or more after it (status 0x94).
std::vector<std::uint8_t> readAnswer(std::uint8_t sequence, const std::vector<std::uint16_t>& values);

}  // namespace zentarc::plcsim
