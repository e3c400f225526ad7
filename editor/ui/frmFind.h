#pragma once
// The find window: selects tree nodes whose key begins with the typed text. It stays open
// beside the main window.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;

namespace zentarc::editor {

class frmEditing;

class frmFind : public QDialog {
  Q_OBJECT
 public:
  explicit frmFind(frmEditing& main);
  ~frmFind() override;

  void cmdFind_Click();
  void cmdNext_Click();
  void cmdCancel_Click();

  QLineEdit* txtFind;
  QLabel* lblName;
  QPushButton* cmdFind;
  QPushButton* cmdNext;
  QPushButton* cmdCancel;
  QLabel* lblStatus;  // says when nothing or nothing further matches
  int mnCounter = 0;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void select(QTreeWidgetItem* node);
  frmEditing& main_;
};

}  // namespace zentarc::editor
