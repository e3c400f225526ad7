#pragma once
// Message boxes owned by the status window.
#include <QPointer>
#include <QWidget>

#include "server/shell/MessagePrompter.h"

namespace zentarc::shell {

class QtMessagePrompter : public MessagePrompter {
 public:
  explicit QtMessagePrompter(QWidget* owner) : owner_(owner) {}
  void warning(std::string_view caption, std::string_view text) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace zentarc::shell
