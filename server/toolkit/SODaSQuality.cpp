#include "server/toolkit/SODaSQuality.h"

namespace {

const char* substatusText(std::uint16_t quality) {
  const unsigned status = quality & 0xC0;
  const unsigned sub = (quality >> 2) & 0x0F;
  if (status == 0x00) {
    static const char* bad[] = {"", "config error", "not connected", "device failure",
                                "sensor failure", "last known", "comm failure", "out of service",
                                "waiting for initial data"};
    return sub < sizeof bad / sizeof bad[0] ? bad[sub] : "?";
  }
  if (status == 0x40) {
    static const char* uncertain[] = {"", "last usable", "", "", "sensor not accurate",
                                      "EGU units exceeded", "sub-normal"};
    return sub < sizeof uncertain / sizeof uncertain[0] ? uncertain[sub] : "?";
  }
  if (status == 0xC0) return sub == 6 ? "local override" : (sub == 0 ? "" : "?");
  return "";
}

}  // namespace

SOCmnString quality2string(std::uint16_t quality) {
  SOCmnString text;
  switch (quality & 0xC0) {
    case 0x00: text.assign("BAD"); break;
    case 0x40: text.assign("UNCERTAIN"); break;
    case 0xC0: text.assign("GOOD"); break;
    default: text.assign("NA"); break;
  }
  const std::string_view sub = substatusText(quality);
  if (!sub.empty()) text.append(" (").append(sub).append(")");
  switch (quality & 0x03) {
    case 1: text.append(" [low limited]"); break;
    case 2: text.append(" [high limited]"); break;
    case 3: text.append(" [constant]"); break;
    default: break;
  }
  return text;
}
