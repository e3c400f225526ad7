#pragma once
// Confirmation of a bulk rename or comment change: old and new values side by side.
#include <QDialog>
#include <QStringList>

class QPushButton;
class QTableWidget;

namespace zentarc::editor {

class frmReplace : public QDialog {
  Q_OBJECT
 public:
  // comments: the grid shows comments instead of names.
  frmReplace(QWidget* parent, bool& confirmed, bool comments, const QStringList& oldValues,
             const QStringList& newValues);

  void Command1_Click();  // NO
  void Command2_Click();  // YES

  QTableWidget* Grid1;
  QPushButton* Command2;
  QPushButton* Command1;

 private:
  bool& bReplaceConfirmed_;
};

}  // namespace zentarc::editor
