#pragma once
// Run-time errors of the editor. Every command that traps errors reports them the same
// way: " Error n. ", the number, two blanks and the description. A description says what
// happened and what the user can do about it.
#include <stdexcept>
#include <string>

namespace zentarc::editor {

enum class ErrorNumber : int {
  DuplicateKey = 457,
  KeyNotFound = 5,
  Overflow = 6,
  ObjectNotSet = 91,
  FileRead = 53,
  FileWrite = 75,
  BadFile = 31,
};

class EditorError : public std::runtime_error {
 public:
  EditorError(ErrorNumber number, const std::string& description)
      : std::runtime_error(description), number_(static_cast<int>(number)) {}
  int number() const { return number_; }

 private:
  int number_;
};

std::string errorReportText(int number, const std::string& description);

}  // namespace zentarc::editor
