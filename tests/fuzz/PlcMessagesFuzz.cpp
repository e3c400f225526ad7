// Any bytes as a GE message: the simulator's request parser and the link's response checks
// classify them, never crash and never read past what they were given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/plc/GeMessages.h"
#include "tools/plcsim/SimProtocol.h"

namespace ge = zentarc::plc::ge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exact-size copies so that the sanitizer sees any read beyond the input.
  const std::vector<std::uint8_t> message(data, data + size);
  if (size >= ge::kHeaderSize) {
    const std::size_t length = zentarc::plcsim::messageLength(message.data());
    if (length <= size) zentarc::plcsim::parseRequest(message.data(), length);
    ge::checkHandshakeResponse(message.data(), size);
    for (std::uint16_t count : {1, 3, 4, 512}) {
      const std::size_t expected = ge::readResponseLength(count);
      ge::checkResponse(message.data(), size, expected, message[2], ge::readResponseStatus(count));
    }
    // Reads of the bit tables: data counted in bytes, 6 in the header, 7 after it.
    for (std::size_t bytes : {1, 6, 7, 1024}) {
      const std::size_t expected = ge::readAnswerLength(bytes);
      ge::checkResponse(message.data(), size, expected, message[2], ge::readAnswerStatus(bytes));
    }
    ge::cpuStatusOf(message.data());
  } else {
    zentarc::plcsim::parseRequest(message.data(), size);
  }
  return 0;
}
