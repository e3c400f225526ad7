#include <QApplication>

#include "editor/ui/EditorApp.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("ConfigOPCZentarc");
  QApplication::setApplicationVersion(ZENTARC_VERSION);
  return zentarc::editor::runEditor(app);
}
