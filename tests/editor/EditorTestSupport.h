#pragma once
// Drives the editor's window in tests: a prompter that answers message boxes, file
// dialogs and modal dialogs from a script, and helpers that click and type as a user.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <gtest/gtest.h>
#include <ostream>

#include "editor/ui/Prompter.h"
#include "editor/ui/frmEditing.h"
#include "tests/support/TempDir.h"

class QTreeWidgetItem;

namespace zentarc::editor::test {

struct Shown {
  QString text;
  Buttons buttons;
};

class ScriptedPrompter : public Prompter {
 public:
  Answer message(QWidget* parent, const QString& text, Buttons buttons) override;
  std::optional<QString> openFile(QWidget*, const QString& title, const QString& filter,
                                  const QString& folder) override;
  std::optional<QString> saveFile(QWidget*, const QString& title, const QString& filter,
                                  const QString& folder, const QString& proposed) override;
  std::optional<QString> askText(QWidget*, const QString& title, const QString& label,
                                 const QString& proposed) override;
  void runModal(QDialog& dialog) override;

  std::deque<Answer> answers;                   // for questions, in order
  // While not empty, questions show the real message box, and the next key is pressed in
  // it (Qt::Key_Escape, Qt::Key_Return); its buttons and icon are recorded.
  std::deque<Qt::Key> boxKeys;
  std::vector<QMessageBox::StandardButtons> boxButtons;
  std::vector<QMessageBox::Icon> boxIcons;
  std::deque<std::optional<QString>> openFiles;  // nullopt: the user cancels
  std::deque<std::optional<QString>> saveFiles;
  std::deque<std::optional<QString>> texts;  // answers to askText; nullopt: the user cancels
  std::deque<std::function<void(QDialog&)>> dialogs;  // act on the dialog, then close it
  std::vector<Shown> shown;
  std::vector<QString> saveProposed;
  std::vector<QString> folders;  // where each file dialog started
  std::vector<QString> titles;
  std::vector<QString> textLabels;

  // Texts shown since the last call, then forgets them.
  std::vector<QString> takeShown();

 private:
  Answer answerRealBox(QWidget* parent, const QString& text, Buttons buttons);
};

// Shows the real box of QtPrompter and presses key in it as soon as it is up; records its
// buttons and icon. The box is closed after a few seconds at the latest.
Answer pressInRealBox(QWidget* parent, const QString& text, Buttons buttons, Qt::Key key,
                      QMessageBox::StandardButtons* shownButtons = nullptr, QMessageBox::Icon* icon = nullptr);

// A window with its own temp folder and settings file.
class EditorFixture {
 public:
  EditorFixture();
  ~EditorFixture();

  ScriptedPrompter prompter;
  testsupport::TempDir dir;
  std::unique_ptr<frmEditing> window;

  QString settingsPath() const;
  std::optional<std::string> recordedConfigFile() const;

  void trigger(const QString& menuEntry);
  void open(const QString& path);
  QTreeWidgetItem* node(const QString& key) const;
  void click(QTreeWidgetItem* node);
  void clickKey(const QString& key) { click(node(key)); }
  void doubleClick(QTreeWidgetItem* node);
  // Types a new label into the node's editor and confirms it with Enter.
  void editLabel(QTreeWidgetItem* node, const QString& text);
  void clickColumn(int column);
  void clickRow(int row, bool ctrl = false);
  void doubleClickRow(int row);
  QStringList column(int c) const;  // texts of one list column, in row order
  QStringList headers() const;
  bool enabled(const QString& menuEntryOrButton) const;
};

// A file in the writer's own layout.
std::string configFile(const std::string& plcLines);
std::string plcLines(const std::string& name, const std::string& ip, const std::string& tagLines);
std::string tagLines(const std::string& name, const std::string& comment, const std::string& type,
                     int address, int bit = -1, int elements = -1, const std::string& access = "READWRITE");

}  // namespace zentarc::editor::test

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace zentarc::editor::test {

// Queues an action for the next modal dialog, which must be of type D.
template <typename D, typename F>
void onNextDialog(ScriptedPrompter& p, F act) {
  p.dialogs.push_back([act](QDialog& dialog) {
    auto* d = qobject_cast<D*>(&dialog);
    if (!d) {
      ADD_FAILURE() << "another dialog opened: " << dialog.objectName().toStdString();
      return;
    }
    act(*d);
  });
}

void clickButton(QAbstractButton* button);
void typeInto(QLineEdit* line, const QString& text);  // replaces the text by typing
void chooseType(QComboBox* combo, const QString& text);  // as picked from the drop-down list

}  // namespace zentarc::editor::test
