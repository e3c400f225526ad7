#pragma once
// Asks for the name and address of a copy of a PLC and the suffix of its items' names.
// "Ok" runs the check the window gives it and closes only when the check passes.
#include <functional>

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace zentarc::editor {

class frmDuplicatePLC : public QDialog {
  Q_OBJECT
 public:
  explicit frmDuplicatePLC(QWidget* parent);

  QLineEdit* txtPLCName;
  QLineEdit* txtUI;
  QLineEdit* txtSuffix;
  QPushButton* cmdOk;
  QPushButton* cmdCancel;

  // True when the fields may be stored; it shows its own message otherwise.
  std::function<bool()> check;
  bool confirmed = false;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace zentarc::editor
