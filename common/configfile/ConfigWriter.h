#pragma once
// The exact bytes of a configuration file as the editor writes it: CR LF line ends, four
// blanks per nesting level, `</OPC_DA>` at the left margin. Text is taken as UTF-8 and
// written as ISO-8859-1, characters beyond it as numeric character references.
#include <string>
#include <vector>

namespace zentarc::configfile {

struct WriterTag {
  std::string name;
  std::string comment;
  std::string typeName;  // the file's type name ("VT_I2", "VT_BOOL ARRAY", ...)
  long long bit = 0;
  long long address = 0;
  long long elements = 0;
  std::string access;
  std::string memory;  // the area's name; empty or "R" leaves the element out
};

struct WriterPlc {
  std::string name;
  std::string address;  // IP address text
  std::vector<WriterTag> tags;
};

// memory is written, just before address, for every area but R, so that files of %R tags
// stay byte for byte as they were. databit is written when the type name contains
// "VT_BOOL"; elements when it is "VT_BSTR" or contains "ARRAY". An unknown type name is
// written as it stands.
std::string writeConfig(const std::vector<WriterPlc>& plcs);

}  // namespace zentarc::configfile
