#pragma once
// Helpers of the program's tests: a prompter that records, a log into a string, and a
// fresh toolkit entry per run.
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "server/shell/MessagePrompter.h"
#include "server/shell/ShellLog.h"
#include "server/toolkit/SODaSEntry.h"

namespace zentarc::shelltest {

class RecordingPrompter : public shell::MessagePrompter {
 public:
  void warning(std::string_view caption, std::string_view text) override;
  std::vector<std::pair<std::string, std::string>> shown() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> shown_;
};

// A ShellLog whose lines can be read back.
class CapturedLog {
 public:
  CapturedLog();
  ~CapturedLog();
  shell::ShellLog& log() { return *log_; }
  std::string text() const;

 private:
  std::FILE* file_;
  std::unique_ptr<shell::ShellLog> log_;
};

SOCmnPointer<SODaSEntry> freshEntry();

// A configuration file with these PLC elements.
std::string configXml(const std::string& plcElements);

}  // namespace zentarc::shelltest
