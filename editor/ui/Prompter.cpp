#include "Prompter.h"

#include <QDialog>
#include <QDir>
#include <QInputDialog>
#include <QLineEdit>
#include <QFileDialog>
#include <QMessageBox>

namespace zentarc::editor {

Answer QtPrompter::message(QWidget* parent, const QString& text, Buttons buttons) {
  QMessageBox box(parent);
  box.setWindowTitle(kProgramTitle);
  box.setText(text);
  switch (buttons) {
    case Buttons::Ok:
      box.setIcon(QMessageBox::Warning);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::Error:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case Buttons::YesNo:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case Buttons::YesNoCancel:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  if (buttons == Buttons::YesNoCancel) box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return buttons == Buttons::Ok || buttons == Buttons::Error ? Answer::Ok : Answer::Cancel;
  }
}

std::optional<QString> QtPrompter::openFile(QWidget* parent, const QString& title,
                                            const QString& filter, const QString& folder) {
  const QString path = QFileDialog::getOpenFileName(parent, title, folder, filter);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtPrompter::saveFile(QWidget* parent, const QString& title,
                                            const QString& filter, const QString& folder,
                                            const QString& proposed) {
  // The editor asks its own overwrite questions where it wants them.
  const QString start = folder.isEmpty() ? proposed : QDir(folder).filePath(proposed);
  const QString path = QFileDialog::getSaveFileName(parent, title, start, filter, nullptr,
                                                    QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  return path;
}

std::optional<QString> QtPrompter::askText(QWidget* parent, const QString& title,
                                           const QString& label, const QString& proposed) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, title, label, QLineEdit::Normal, proposed, &ok);
  if (!ok) return std::nullopt;
  return text;
}

void QtPrompter::runModal(QDialog& dialog) { dialog.exec(); }

}  // namespace zentarc::editor
