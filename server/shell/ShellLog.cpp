#include "server/shell/ShellLog.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

#include <sys/stat.h>

namespace zentarc::shell {

std::string timestampNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[40];
  const std::size_t n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms));
  return buf;
}

bool isJournalStream(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (!stream || !*stream) return false;
  unsigned long long device = 0, inode = 0;
  char rest = 0;
  if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

ShellLog::ShellLog(std::FILE* out) : out_(out), journal_(out && isJournalStream(fileno(out))) {}

void ShellLog::line(LogPriority priority, std::string_view text) {
  std::string flat;
  flat.reserve(text.size());
  for (char c : text) {
    if (c == '\r') continue;
    flat += (c == '\n') ? ' ' : c;
  }
  while (!flat.empty() && flat.back() == ' ') flat.pop_back();
  std::string out;
  if (journal_) out = "<" + std::to_string(static_cast<int>(priority)) + ">";
  out += timestampNow() + " OPCZentarc: ";
  out += levelWord(priority);
  out += flat + "\n";
  std::lock_guard g(mutex_);
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void LogPrompter::warning(std::string_view caption, std::string_view text) {
  log_.line(LogPriority::Warning, std::string(caption) + ": " + std::string(text));
}

std::string_view levelWord(LogPriority priority) {
  switch (priority) {
    case LogPriority::Error: return "error: ";
    case LogPriority::Warning: return "warning: ";
    case LogPriority::Notice: return "notice: ";
    case LogPriority::Info: return "";
  }
  return "";
}

}  // namespace zentarc::shell
