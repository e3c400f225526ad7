#include "tests/shell/ShellTestSupport.h"

#include "server/toolkit/SOCmnException.h"

namespace zentarc::shelltest {

void RecordingPrompter::warning(std::string_view caption, std::string_view text) {
  std::lock_guard g(mutex_);
  shown_.emplace_back(std::string(caption), std::string(text));
}

std::vector<std::pair<std::string, std::string>> RecordingPrompter::shown() const {
  std::lock_guard g(mutex_);
  return shown_;
}

CapturedLog::CapturedLog() : file_(std::tmpfile()), log_(std::make_unique<shell::ShellLog>(file_)) {}

CapturedLog::~CapturedLog() { std::fclose(file_); }

std::string CapturedLog::text() const {
  std::fflush(file_);
  std::string out;
  std::rewind(file_);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) out.append(buf, n);
  std::fseek(file_, 0, SEEK_END);
  return out;
}

SOCmnPointer<SODaSEntry> freshEntry() { return SOCmnPointer<SODaSEntry>(SOCmnNew<SODaSEntry>()); }

std::string configXml(const std::string& plcElements) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n" + plcElements +
         "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

}  // namespace zentarc::shelltest
