#include "EditorApp.h"

#include <QApplication>

#include "editor/ui/ImageLists.h"
#include "editor/ui/Prompter.h"
#include "editor/ui/frmEditing.h"

namespace zentarc::editor {

int runEditor(QApplication& app) {
  useDesktopIconTheme();
  QtPrompter prompter;
  frmEditing window(prompter);
  window.show();
  return app.exec();
}

}  // namespace zentarc::editor
