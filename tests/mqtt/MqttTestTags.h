#pragma once
// Tag elements of a test configuration with the access rights each test needs, and the
// time a payload's "ts" names.
#include <chrono>
#include <ctime>
#include <string>

#include "tests/mqtt/MqttRig.h"

namespace zentarc::testsupport {

inline std::string xmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else out += c;
  }
  return out;
}

inline std::string tagXmlWith(const std::string& name, const std::string& type, unsigned address,
                              const std::string& rights, unsigned elements = 0, unsigned bit = 0) {
  std::string extra;
  if (elements) extra += "<elements>" + std::to_string(elements) + "</elements>";
  if (bit) extra += "<databit>" + std::to_string(bit) + "</databit>";
  return "<tag><name>" + xmlText(name) + "</name><comment></comment><datatype>" + type + "</datatype>" + extra +
         "<address>" + std::to_string(address) + "</address><accessrights>" + rights + "</accessrights></tag>\r\n";
}

// The payload's "ts" ("2026-12-07T10:15:30.123Z"); the epoch when it has none.
inline std::chrono::system_clock::time_point timestampOf(const std::string& payload) {
  const std::string ts = member(payload, "ts");
  std::tm tm{};
  int millis = 0;
  if (std::sscanf(ts.c_str(), "\"%d-%d-%dT%d:%d:%d.%dZ\"", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                  &tm.tm_min, &tm.tm_sec, &millis) != 7)
    return {};
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return std::chrono::system_clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(millis);
}

}  // namespace zentarc::testsupport
