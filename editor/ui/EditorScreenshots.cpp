// Makes the README's pictures of the editor: the main window with a small plant loaded,
// the PLC dialog, the item dialog and the report of a CSV import.
// Usage: editor_screenshots <output folder>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>

#include "common/configfile/ConfigWriter.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/ImageLists.h"
#include "editor/ui/Prompter.h"
#include "editor/ui/frmEditing.h"

namespace ed = zentarc::editor;
namespace cf = zentarc::configfile;

namespace {

// Answers the open dialog with the sample file; takes a picture of each modal dialog.
class ShotPrompter : public ed::Prompter {
 public:
  QString file, outDir, nextShot;
  ed::Answer message(QWidget*, const QString& text, ed::Buttons) override {
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    return ed::Answer::No;
  }
  std::optional<QString> openFile(QWidget*, const QString&, const QString&, const QString&) override {
    return file;
  }
  std::optional<QString> saveFile(QWidget*, const QString&, const QString&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> askText(QWidget*, const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  void runModal(QDialog& dialog) override {
    dialog.show();
    dialog.adjustSize();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    save(dialog.grab(), nextShot);
    dialog.hide();
  }
  void save(const QPixmap& pm, const QString& name) {
    const QString path = outDir + "/" + name;
    if (!pm.save(path)) std::fprintf(stderr, "cannot write %s\n", path.toUtf8().constData());
    else std::printf("%s\n", path.toUtf8().constData());
  }
};

std::string sampleFile() {
  auto tag = [](const char* name, const char* comment, const char* type, int address, int bit = 0,
                int elements = 0, const char* access = "READWRITE") {
    return cf::WriterTag{name, comment, type, bit, address, elements, access, ""};
  };
  std::vector<cf::WriterPlc> plcs = {
      {"Press_Line",
       "192.168.10.21",
       {tag("Press_Speed", "ram speed setpoint", "VT_R4", 100),
        tag("Press_Count", "strokes since start", "VT_UI4", 102, 0, 0, "READ"),
        tag("Door_Closed", "guard door switch", "VT_BOOL", 110, 3, 0, "READ"),
        tag("Alarm_Bits", "alarm word", "VT_BOOL ARRAY", 111, 0, 16, "READ"),
        tag("Recipe_Name", "active recipe", "VT_BSTR", 200, 0, 16),
        tag("Die_Temps", "die zone temperatures", "VT_I2 ARRAY", 120, 0, 8, "READ")}},
      {"Oven_2", "192.168.10.22",
       {tag("Oven_Temp", "zone 1", "VT_I2", 40), tag("Oven_Setpoint", "zone 1", "VT_I2", 41)}},
      {"Packer", "192.168.10.23", {tag("Packer_Run", "", "VT_BOOL", 1, 0)}},
  };
  return cf::writeConfig(plcs);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("ConfigOPCZentarc");
  if (argc < 2) {
    std::fprintf(stderr, "usage: editor_screenshots <output folder>\n");
    return 2;
  }
  QTemporaryDir temp;
  qputenv("OPCZENTARC_SETTINGS", (temp.path() + "/settings.ini").toLocal8Bit());
  const QString file = temp.path() + "/Plant.xml";
  std::ofstream(file.toStdString(), std::ios::binary) << sampleFile();
  ShotPrompter prompter;
  prompter.file = file;
  prompter.outDir = QDir(argv[1]).absolutePath();
  QDir().mkpath(prompter.outDir);

  ed::useDesktopIconTheme();
  ed::EditorOptions options;
  options.layoutFile = temp.path() + "/layout.ini";  // the pictures never depend on the user's own
  ed::frmEditing window(prompter, options);
  window.resize(1100, 620);
  window.show();
  window.mnuOpenCfg_Click();
  ed::ConfigTree* tree = window.TreeView1();
  QTreeWidgetItem* plc = tree->nodeByKey("Press_Line");
  tree->selectNode(plc);
  window.TreeView1_NodeClick(plc);
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  prompter.save(window.grab(), "editor-main-window.png");

  prompter.nextShot = "editor-plc-dialog.png";
  window.TreeView1_DblClick();
  tree->selectNode(tree->nodeByKey("Door_Closed"));
  prompter.nextShot = "editor-item-dialog.png";
  window.TreeView1_DblClick();

  // A tag list with two rows the server could not load.
  prompter.file = temp.path() + "/tags.csv";
  std::ofstream(prompter.file.toStdString(), std::ios::binary)
      << "PLC,Name,Comment,DataType,Address,Bit,Elements,Access\r\n"
         "Press_Line,Press_Force,ram force,VT_R4,104,,,READ\r\n"
         "Press_Line,Press_Speed,duplicate,VT_R4,106,,,READ\r\n"
         "Oven_2,Oven_Zones,zone temperatures,VT_I2 ARRAY,65530,,12,READ\r\n"
         "Oven_2,Oven_Door,,VT_BOOL,50,4,,READWRITE\r\n";
  prompter.nextShot = "editor-csv-import.png";
  window.mnuImportCsv_Click();
  window.state().bCfgOpen = false;
  return 0;
}
