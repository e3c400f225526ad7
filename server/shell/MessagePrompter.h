#pragma once
// Every message box of the server goes through this one interface (the configuration
// loader's warnings included): a window shows boxes, headless runs log lines, tests record.
#include <string_view>

#include "server/config/ConfigurationLoader.h"

namespace zentarc::shell {

class MessagePrompter : public ConfigWarnings {
 public:
  // A warning box with an OK button; returns when it has been dismissed.
  void warning(std::string_view caption, std::string_view text) override = 0;
};

}  // namespace zentarc::shell
