#pragma once
// Keeps the main window's controls in proportion: the first run records each control's
// geometry with the reference size of its window in the control's "Tag" property; later
// runs scale each control by the window's percent change.
#include <QString>
#include <QStringList>

class QWidget;

namespace zentarc::editor {

// Pieces of text between occurrences of delimiter; a delimiter at the very end gives no
// empty last piece, two in a row give an empty piece between them.
QStringList SplitByDelimiter(const QString& text, const QString& delimiter);

// frm: the widget whose child controls are laid out (the window's inner area). refHeight
// <= 0: the current size is the reference. Does nothing while the window is minimized.
void ResizeControls(QWidget* frm, int refHeight, int refWidth);

}  // namespace zentarc::editor
