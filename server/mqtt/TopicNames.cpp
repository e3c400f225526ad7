#include "server/mqtt/TopicNames.h"

namespace zentarc::mqtt {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, unsigned char byte) {
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string encodeTopicLevel(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    // C1 controls are U+0080..U+009F: C2 80..C2 9F in UTF-8.
    const bool c1 = c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(name[i + 1]) <= 0x9F;
    if (c1) {
      appendEscaped(out, c);
      appendEscaped(out, static_cast<unsigned char>(name[++i]));
    } else if (c == '/' || c == '+' || c == '#' || c == '%' || c < 0x20 || c == 0x7F || (c == '$' && i == 0)) {
      appendEscaped(out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string decodeTopicLevel(std::string_view level) {
  std::string out;
  out.reserve(level.size());
  for (std::size_t i = 0; i < level.size(); ++i) {
    if (level[i] == '%' && i + 2 < level.size() && hexValue(level[i + 1]) >= 0 && hexValue(level[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(level[i + 1]) * 16 + hexValue(level[i + 2]));
      i += 2;
    } else {
      out += level[i];
    }
  }
  return out;
}

}  // namespace zentarc::mqtt
