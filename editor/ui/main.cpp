#include <iostream>
#include <string>
#include <vector>

#include <QApplication>

#include "editor/io/CsvCommand.h"
#include "editor/ui/EditorApp.h"

int main(int argc, char** argv) {
  // The command-line mode for scripts runs before any window system is touched, so it works
  // without a display.
  const std::vector<std::string> args(argv + 1, argv + argc);
  bool help = false;
  for (const std::string& a : args) help = help || a == "--help" || a == "-h";
  if (help || zentarc::editor::isCsvCommand(args))
    return zentarc::editor::runCsvCommand(args, std::cout, std::cerr);
  QApplication app(argc, argv);
  QApplication::setApplicationName("ConfigOPCZentarc");
  QApplication::setApplicationVersion(ZENTARC_VERSION);
  return zentarc::editor::runEditor(app);
}
