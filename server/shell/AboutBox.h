#pragma once
// The about box: icon, version text, vendor line and OK.
#include <QDialog>

namespace zentarc::shell {

class AboutBox : public QDialog {
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace zentarc::shell
