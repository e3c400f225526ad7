#pragma once
// Drives the editor's window in tests: a prompter that answers message boxes, file
// dialogs and modal dialogs from a script, and helpers that click and type as a user.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
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
  std::optional<QString> openFile(QWidget*, const QString& title, const QString& filter) override;
  std::optional<QString> saveFile(QWidget*, const QString& title, const QString& filter,
                                  const QString& proposed) override;
  void runModal(QDialog& dialog) override;

  std::deque<Answer> answers;                   // for questions, in order
  std::deque<std::optional<QString>> openFiles;  // nullopt: the user cancels
  std::deque<std::optional<QString>> saveFiles;
  std::deque<std::function<void(QDialog&)>> dialogs;  // act on the dialog, then close it
  std::vector<Shown> shown;
  std::vector<QString> saveProposed;
  std::vector<QString> titles;

  // Texts shown since the last call, then forgets them.
  std::vector<QString> takeShown();
};

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
