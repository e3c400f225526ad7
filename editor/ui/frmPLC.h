#pragma once
// The PLC dialog: adds a PLC or changes the name and IP address of one.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zentarc::editor {

class frmEditing;

class frmPLC : public QDialog {
  Q_OBJECT
 public:
  explicit frmPLC(frmEditing& main);

  bool CheckFields(const QString& data);
  void cmdOk_Click();
  void cmdCancel_Click();

  QLineEdit* txtPLCName;
  QLineEdit* txtUI;
  QPushButton* cmdOk;
  QPushButton* cmdCancel;
  QLabel* lblName;

  bool mbUnload = true;
  QString msPrevPLCName;
  QString mnPrevUI = "255";

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();
  bool nameIsFree();
  frmEditing& main_;
};

}  // namespace zentarc::editor
