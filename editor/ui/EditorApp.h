#pragma once
// Builds the editor's main window with its dialogs and runs it.
class QApplication;

namespace zentarc::editor {

int runEditor(QApplication& app);

}  // namespace zentarc::editor
