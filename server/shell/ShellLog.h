#pragma once
// The log of a run without a window: one line per message, each with the local time and
// the word of its priority ("error: ", "warning: ", "notice: "; none for plain information),
// on standard error, so that grepping a log file for "warning" finds what the journal shows
// as warnings. When systemd runs the server, standard error is the journal: each line then
// also starts with its priority ("<4>"), so `journalctl -p warning` shows only failures and
// problems.
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "server/shell/MessagePrompter.h"

namespace zentarc::shell {

// Syslog levels, as the journal reads them.
enum class LogPriority { Error = 3, Warning = 4, Notice = 5, Info = 6 };

class ShellLog {
 public:
  // Priorities are written when `out` is the journal's stream (see isJournalStream).
  explicit ShellLog(std::FILE* out = stderr);
  ShellLog(std::FILE* out, bool journal) : out_(out), journal_(journal) {}

  // Line breaks inside the text become blanks, so one message stays one line.
  void line(std::string_view text) { line(LogPriority::Info, text); }
  void line(LogPriority priority, std::string_view text);
  bool journal() const { return journal_; }

 private:
  std::mutex mutex_;
  std::FILE* out_;
  bool journal_;
};

// The word a line of the priority starts with: "error: ", "warning: ", "notice: " or none.
std::string_view levelWord(LogPriority priority);

// Message boxes as log lines: "warning: <caption>: <text>", with the priority Warning.
class LogPrompter : public MessagePrompter {
 public:
  explicit LogPrompter(ShellLog& log) : log_(log) {}
  void warning(std::string_view caption, std::string_view text) override;

 private:
  ShellLog& log_;
};

// "YYYY-MM-DD HH:MM:SS.mmm" in local time.
std::string timestampNow();

// True when systemd connected `fd` to the journal: JOURNAL_STREAM names its device and
// inode ("<device>:<inode>").
bool isJournalStream(int fd);

}  // namespace zentarc::shell
