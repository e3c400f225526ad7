#pragma once
// Every message box, file dialog and modal dialog of the editor goes through one
// interface, so that tests can answer them.
#include <optional>

#include <QString>

class QDialog;
class QWidget;

namespace zentarc::editor {

// Ok: a notice or a refused input (warning icon); Error: a command that failed (error icon),
// also with an OK button only.
enum class Buttons { Ok, Error, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// Caption of the editor's message boxes.
inline const char* const kProgramTitle = "ConfigOPCZentarc";

class Prompter {
 public:
  virtual ~Prompter() = default;
  // Ok and Error only report; the others ask a question. Esc answers Cancel where there is
  // a Cancel button.
  virtual Answer message(QWidget* parent, const QString& text, Buttons buttons) = 0;
  // File dialogs start in folder; nullopt when the user cancels.
  virtual std::optional<QString> openFile(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& folder) = 0;
  virtual std::optional<QString> saveFile(QWidget* parent, const QString& title,
                                          const QString& filter, const QString& folder,
                                          const QString& proposed) = 0;
  // One line of text, proposed pre-selected; nullopt when the user cancels.
  virtual std::optional<QString> askText(QWidget* parent, const QString& title,
                                         const QString& label, const QString& proposed) = 0;
  // Shows a dialog modally and returns when it has closed.
  virtual void runModal(QDialog& dialog) = 0;
};

class QtPrompter : public Prompter {
 public:
  Answer message(QWidget* parent, const QString& text, Buttons buttons) override;
  std::optional<QString> openFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& folder) override;
  std::optional<QString> saveFile(QWidget* parent, const QString& title, const QString& filter,
                                  const QString& folder, const QString& proposed) override;
  std::optional<QString> askText(QWidget* parent, const QString& title, const QString& label,
                                 const QString& proposed) override;
  void runModal(QDialog& dialog) override;
};

}  // namespace zentarc::editor
