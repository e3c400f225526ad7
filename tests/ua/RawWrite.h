#pragma once
// Write requests as an abusive client sends them: the body after the request header given as
// raw bytes, so that it can say what no honest encoder would. Header-only: the hardening tests
// and the abuse benchmark both send them.
#include <cstdint>
#include <string>

#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua::test {

// A Write whose body after the header is given as raw bytes.
struct RawWrite {
  static constexpr uint32_t kEncodingId = Id::WriteRequest;
  RequestHeader requestHeader;
  std::string tail;
  void fields(Encoder& e) const {
    e.write(requestHeader);
    e.writeRaw(tail.data(), tail.size());
  }
};

// One WriteValue whose DataValue holds a Variant of type Null with the array flag and a
// length of a million: five bytes on the wire, plus a megabyte of padding that makes the
// length look plausible.
inline RawWrite nullArrayWrite() {
  RawWrite attack;
  const int32_t one = 1, million = 1000000;
  attack.tail.append(reinterpret_cast<const char*>(&one), 4);  // one WriteValue
  attack.tail += std::string("\x00\x01", 2);                  // NodeId i=1
  attack.tail += std::string("\x0D\x00\x00\x00", 4);          // attribute Value
  attack.tail += std::string("\xFF\xFF\xFF\xFF", 4);          // no index range
  attack.tail += std::string("\x01\x80", 2);                  // DataValue with a Variant: Null array
  attack.tail.append(reinterpret_cast<const char*>(&million), 4);
  attack.tail.append(1000000, '\0');
  return attack;
}

}  // namespace zentarc::ua::test
