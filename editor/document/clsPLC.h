#pragma once
// One PLC of the configuration: its name (its key) and its IP address text as typed.
#include <string>

namespace zentarc::editor {

class clsPLC {
 public:
  void setUI(std::string vUI) { UI = std::move(vUI); }
  const std::string& getUI() const { return UI; }
  void setName(std::string vName) { name = std::move(vName); }
  const std::string& getName() const { return name; }

 private:
  std::string name;
  std::string UI;
};

}  // namespace zentarc::editor
