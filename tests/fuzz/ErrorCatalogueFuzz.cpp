// Any bytes as error.dat: the catalogue loads, stops with 2, or skips, never crashes, and a
// lookup never writes past the 64-byte text buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "server/plc/ErrorCatalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zentarc::plc::ErrorCatalogue catalogue;
  const unsigned rc = catalogue.LoadBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (rc != 0 && rc != 2) __builtin_trap();
  char text[zentarc::plc::ErrorCatalogue::kTextSize];
  for (unsigned code : {1u, 3u, 4u, 64u, 0xFFFFu}) {
    if (catalogue.Lookup(code, text) == 0 && std::strlen(text) >= sizeof text) __builtin_trap();
  }
  return 0;
}
