#include "tools/plcsim/FaultModes.h"

#include <charconv>

namespace zentarc::plcsim {

namespace {

bool parseCount(std::string_view text, int& out) {
  if (text.empty()) return false;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > 3600000)
    return false;
  out = value;
  return true;
}

}  // namespace

std::string faultHelp() {
  return "  refuse-handshake   answer the second handshake message with status 0xD1\n"
         "  refuse-reads       answer every read with status 0xD1\n"
         "  refuse-writes      answer every write with status 0xD1\n"
         "  delay=MS           send every answer MS milliseconds late\n"
         "  split[=MS]         send each answer in two TCP segments, MS ms apart (default 20):\n"
         "                     the header, then the data (56-byte answers are cut after byte 28)\n"
         "  silent             read requests and never answer them\n"
         "  silent-connect     never accept a connection (a connect gets no answer)\n"
         "  close-after=N      after N answers on a connection, close it on the next request\n"
         "  reset-after=N      after N answers on a connection, reset it on the next request\n"
         "  wrong-sequence     answer with the next sequence number instead of the request's\n"
         "  truncate           leave out the last 8 bytes of every answer\n";
}

bool applyFault(Faults& faults, std::string_view text, std::string* error) {
  const auto eq = text.find('=');
  const std::string_view name = text.substr(0, eq);
  const bool hasValue = eq != std::string_view::npos;
  const std::string_view value = hasValue ? text.substr(eq + 1) : std::string_view{};
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  auto flag = [&](bool& field) {
    if (hasValue) return fail("fault '" + std::string(name) + "' takes no value");
    field = true;
    return true;
  };
  auto number = [&](int& field, bool optional, int fallback) {
    if (!hasValue) {
      if (!optional) return fail("fault '" + std::string(name) + "' needs a value: " +
                                 std::string(name) + "=N");
      field = fallback;
      return true;
    }
    if (!parseCount(value, field))
      return fail("fault '" + std::string(name) + "': '" + std::string(value) +
                  "' is not a whole number from 0 to 3600000");
    return true;
  };

  if (name == "refuse-handshake") return flag(faults.refuseHandshake);
  if (name == "refuse-reads") return flag(faults.refuseReads);
  if (name == "refuse-writes") return flag(faults.refuseWrites);
  if (name == "silent") return flag(faults.silent);
  if (name == "silent-connect") return flag(faults.silentConnect);
  if (name == "wrong-sequence") return flag(faults.wrongSequence);
  if (name == "truncate") return flag(faults.truncate);
  if (name == "delay") return number(faults.delayMs, false, 0);
  if (name == "split") return number(faults.splitGapMs, true, kDefaultSplitGapMs);
  if (name == "close-after") return number(faults.closeAfter, false, 0);
  if (name == "reset-after") return number(faults.resetAfter, false, 0);
  return fail("unknown fault '" + std::string(name) + "' (see plcsim --help)");
}

}  // namespace zentarc::plcsim
