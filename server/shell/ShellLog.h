#pragma once
// The log of a run without a window: one line per message, each with the local time,
// on standard error (journald keeps it when systemd runs the server).
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "server/shell/MessagePrompter.h"

namespace zentarc::shell {

class ShellLog {
 public:
  explicit ShellLog(std::FILE* out = stderr) : out_(out) {}
  // Line breaks inside the text become blanks, so one message stays one line.
  void line(std::string_view text);

 private:
  std::mutex mutex_;
  std::FILE* out_;
};

// Message boxes as log lines: "warning: <caption>: <text>".
class LogPrompter : public MessagePrompter {
 public:
  explicit LogPrompter(ShellLog& log) : log_(log) {}
  void warning(std::string_view caption, std::string_view text) override;

 private:
  ShellLog& log_;
};

// "YYYY-MM-DD HH:MM:SS.mmm" in local time.
std::string timestampNow();

}  // namespace zentarc::shell
