// The editor as a desktop program: icons, title, shortcuts, default buttons, error icons,
// where file dialogs start, one About window, a remembered layout, and CSV from the menus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/ImageLists.h"
#include "editor/ui/frmAbout.h"
#include "editor/ui/frmCsvReport.h"
#include "editor/ui/frmItems.h"
#include "editor/ui/frmPLC.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

const char* const kButtonKeys[] = {"new",  "open", "save",   "close", "plc",       "item", "copy",
                                   "cut",  "paste", "delete", "icon", "smallicon", "list", "report",
                                   "find", "exit", "pastitem", "pastcomment"};

QImage imageOf(const QIcon& icon, QIcon::Mode mode = QIcon::Normal) {
  return icon.pixmap(QSize(24, 24), mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

struct LookOpened : EditorFixture {
  std::filesystem::path path;
  LookOpened() {
    path = dir.write("plant.xml", configFile(plcLines("P1", "10.0.0.1",
                                                      tagLines("Temp", "oven", "VT_I2", 10) +
                                                          tagLines("Flag", "", "VT_BOOL", 11, 3))));
    open(QString::fromStdString(path.string()));
  }
  void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(window.get(), Qt::Key(k), m); }
};

}  // namespace

TEST(EditorLook, toolbarIconsArePicturesAndTheThreePasteCommandsLookDifferent) {
  EditorFixture f;
  for (const char* key : kButtonKeys) {
    EXPECT_FALSE(f.window->toolbarButton(key)->icon().isNull()) << key;
    // Without any icon theme the drawn picture stands in.
    EXPECT_FALSE(drawnImage(key, 24).isNull()) << key;
  }
  for (const auto& icons : {std::array<QIcon, 3>{drawnImage("paste", 24), drawnImage("pastitem", 24),
                                                 drawnImage("pastcomment", 24)},
                            std::array<QIcon, 3>{f.window->toolbarButton("paste")->icon(),
                                                 f.window->toolbarButton("pastitem")->icon(),
                                                 f.window->toolbarButton("pastcomment")->icon()}}) {
    EXPECT_NE(imageOf(icons[0]), imageOf(icons[1]));
    EXPECT_NE(imageOf(icons[0]), imageOf(icons[2]));
    EXPECT_NE(imageOf(icons[1]), imageOf(icons[2]));
  }
  // A disabled button shows a greyed picture.
  QAction* paste = f.window->toolbarButton("pastitem");
  ASSERT_FALSE(paste->isEnabled());
  EXPECT_NE(imageOf(paste->icon(), QIcon::Disabled), imageOf(paste->icon()));
  EXPECT_EQ(themeIconName("paste"), "edit-paste");
  EXPECT_EQ(themeIconName("pastitem"), "edit-find-replace");
}

TEST(EditorLook, titleNamesTheFileAndMarksUnsavedChanges) {
  LookOpened f;
  EXPECT_EQ(f.window->windowTitle(), "plant.xml[*] - ConfigOPCZentarc");
  EXPECT_FALSE(f.window->isWindowModified());
  f.editLabel(f.node("Temp"), "Oven");
  EXPECT_TRUE(f.window->isWindowModified());
  f.prompter.answers.push_back(Answer::Yes);
  f.key(Qt::Key_S, Qt::ControlModifier);
  EXPECT_FALSE(f.window->isWindowModified());
  f.trigger("mnuCloseCfg");
  EXPECT_EQ(f.window->windowTitle(), kWindowCaption);
}

TEST(EditorLook, standardShortcutsReachTheirCommands) {
  LookOpened f;
  EXPECT_EQ(f.window->menuEntry("mnuNewCfg")->shortcut(), QKeySequence(QKeySequence::New));
  EXPECT_EQ(f.window->menuEntry("mnuFindNext")->shortcut(), QKeySequence(Qt::Key_F3));
  // Enter opens the selected item's dialog, from the tree and from the list.
  f.clickKey("Temp");
  onNextDialog<frmItems>(f.prompter, [](frmItems& d) {
    EXPECT_EQ(d.txtItemName->text(), "Temp");
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  QTest::keyClick(f.window->TreeView1(), Qt::Key_Return);
  f.clickKey("P1");
  f.clickRow(1);
  onNextDialog<frmItems>(f.prompter, [](frmItems& d) {
    EXPECT_EQ(d.txtItemName->text(), "Flag");
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  QTest::keyClick(f.window->ListView1()->reportView(), Qt::Key_Return);
  // Del deletes the selected node.
  f.clickKey("Flag");
  f.prompter.answers.push_back(Answer::Yes);
  f.key(Qt::Key_Delete);
  EXPECT_EQ(f.window->TreeView1()->nodeByKey("Flag"), nullptr);
  // Ctrl+N asks to save first (No), then starts a new configuration.
  f.prompter.answers.push_back(Answer::No);
  f.key(Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(f.window->windowTitle(), "OPCZentarc.xml[*] - ConfigOPCZentarc");
  EXPECT_TRUE(f.window->isWindowModified());
  // Ctrl+O opens, starting in the folder of the current file.
  f.prompter.answers.push_back(Answer::No);
  f.prompter.openFiles.push_back(std::nullopt);
  f.key(Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(f.prompter.folders.back(), QString::fromStdString(f.dir.path().string()));
  f.prompter.takeShown();
}

TEST(EditorLook, enterPressesTheDefaultButtonAndTypingReplacesTheProposedName) {
  LookOpened f;
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [](frmPLC& d) {
    EXPECT_EQ(d.txtPLCName->selectedText(), "New_PLC_2");
    QTest::keyClicks(d.txtPLCName, "Press");
    QTest::keyClick(d.txtPLCName, Qt::Key_Tab);
    QTest::keyClicks(d.txtUI, "10.0.0.7");
    QTest::keyClick(d.txtUI, Qt::Key_Enter);
  });
  f.trigger("mnuAddPLC");
  EXPECT_EQ(f.window->state().colPLC->Item("Press").getUI(), "10.0.0.7");
}

TEST(EditorLook, fileDialogsStartInTheCurrentFilesFolderAndAboutOpensOnce) {
  LookOpened f;
  const QString folder = QString::fromStdString(f.dir.path().string());
  f.prompter.saveFiles.push_back(std::nullopt);
  f.trigger("mnuSaveAs");
  f.prompter.saveFiles.push_back(std::nullopt);
  f.trigger("mnuExportCsv");
  EXPECT_EQ(f.prompter.folders, (std::vector<QString>{QString(), folder, folder}));
  EXPECT_EQ(f.prompter.saveProposed.back(), "plant.csv");
  f.trigger("mnuAbout");
  frmAbout* about = f.window->aboutWindow();
  f.trigger("mnuAbout");
  EXPECT_EQ(f.window->aboutWindow(), about);
  EXPECT_EQ(f.window->findChildren<frmAbout*>().size(), 1);
}

TEST(EditorLook, refusedInputCarriesTheWarningIconAndFailedCommandsTheErrorIcon) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  EXPECT_EQ(pressInRealBox(nullptr, "Invalid Address value", Buttons::Ok, Qt::Key_Return, nullptr, &icon), Answer::Ok);
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(pressInRealBox(nullptr, " Error n. 75  Not saved.", Buttons::Error, Qt::Key_Return, nullptr, &icon),
            Answer::Ok);
  EXPECT_EQ(icon, QMessageBox::Critical);
  // The window sends a refused save as a notice, a failed one as an error.
  LookOpened f;
  f.trigger("mnuNewCfg");
  f.trigger("mnuSaveCfg");  // no PLC yet
  f.prompter.answers.push_back(Answer::No);  // the new configuration need not be saved
  f.open(QString::fromStdString(f.dir.write("broken.xml", "<TarvelleZentarcCfg>").string()));
  ASSERT_EQ(f.prompter.shown.size(), 3u);
  EXPECT_EQ(f.prompter.shown[0].buttons, Buttons::Ok);
  EXPECT_EQ(f.prompter.shown[2].buttons, Buttons::Error);
  EXPECT_TRUE(f.prompter.shown[2].text.startsWith(" Error n. 31  ")) << f.prompter.shown[2].text.toStdString();
}

TEST(EditorLook, windowSizeSplitterAndColumnWidthsAreRemembered) {
  TempDir layout;
  EditorOptions options;
  options.programFolder = QString::fromStdString(layout.path().string());
  options.layoutFile = QString::fromStdString(layout.file("layout.ini").string());
  ScriptedPrompter prompter;
  int treeWidth = 0;
  {
    frmEditing window(prompter, options);
    window.show();
    window.mnuNewCfg_Click();
    window.resize(900, 650);
    window.Splitter1()->setSizes({150, 750});
    QCoreApplication::processEvents();
    treeWidth = window.TreeView1()->width();
    window.TreeView1_NodeClick(window.TreeView1()->nodeByKey("PLCs"));
    window.ListView1()->reportView()->header()->resizeSection(0, 222);  // as a drag would
    window.state().bCfgOpen = false;
    window.close();
  }
  frmEditing again(prompter, options);
  again.show();
  again.mnuNewCfg_Click();
  QCoreApplication::processEvents();
  EXPECT_EQ(again.size(), QSize(900, 650));
  EXPECT_EQ(again.TreeView1()->width(), treeWidth);
  again.TreeView1_NodeClick(again.TreeView1()->nodeByKey("PLCs"));
  EXPECT_EQ(again.ListView1()->columnWidth(0), 222);
  again.state().bCfgOpen = false;
}

TEST(EditorCsv, importChecksEveryRowAsksForNewPlcAddressesAndImportsTheGoodRows) {
  LookOpened f;
  const auto csv = f.dir.write("tags.csv", "PLC,Name,Comment,DataType,Address,Bit,Elements,Access\r\n"
                                           "P1,Speed,,VT_R4,20,,,READ\r\n"
                                           "P1,temp,,VT_I2,21,,,READ\r\n"
                                           "P2,Level,tank \"A\",VT_UI2 ARRAY,30,,5,READWRITE\r\n");
  f.prompter.openFiles.push_back(QString::fromStdString(csv.string()));
  f.prompter.texts = {QString("10.0.0.1"), QString("10.0.0.2")};  // taken by P1, then free
  onNextDialog<frmCsvReport>(f.prompter, [](frmCsvReport& d) {
    EXPECT_EQ(d.lblSummary->text(), "2 rows can be imported (2 tags); 1 row is refused:");
    ASSERT_EQ(d.grdProblems->rowCount(), 1);
    EXPECT_EQ(d.grdProblems->item(0, 0)->text(), "3");
    EXPECT_EQ(d.grdProblems->item(0, 1)->text(), "Name");
    QTest::keyClick(d.cmdImportGood, Qt::Key_Return);
  });
  f.trigger("mnuImportCsv");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"PLC ID already existing. Please use a different one"}));
  EXPECT_TRUE(f.prompter.textLabels[0].contains("\"P2\" (line 4)"));
  EXPECT_EQ(f.node("Speed")->parent(), f.node("P1"));
  EXPECT_EQ(f.node("Level")->parent(), f.node("P2"));
  EXPECT_EQ(f.window->state().colPLC->Item("P2").getUI(), "10.0.0.2");
  EXPECT_EQ(f.column(0), (QStringList{"Temp", "Flag", "Speed"}));  // the PLC of the first row
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // "Import Nothing" changes nothing.
  f.prompter.openFiles.push_back(QString::fromStdString(csv.string()));
  onNextDialog<frmCsvReport>(f.prompter, [](frmCsvReport& d) { clickButton(d.cmdImportNothing); });
  f.trigger("mnuImportCsv");
  EXPECT_EQ(f.window->state().colItems->Count(), 4u);
  // Export writes the tree's order.
  const auto out = f.dir.file("out.csv");
  f.prompter.saveFiles.push_back(QString::fromStdString(out.string()));
  f.trigger("mnuExportCsv");
  EXPECT_EQ(TempDir::read(out),
            "PLC,Name,Comment,DataType,Address,Bit,Elements,Access,PLC_Address\r\n"
            "P1,Temp,oven,VT_I2,10,,,READWRITE,10.0.0.1\r\n"
            "P1,Flag,,VT_BOOL,11,3,,READWRITE,10.0.0.1\r\n"
            "P1,Speed,,VT_R4,20,,,READ,10.0.0.1\r\n"
            "P2,Level,\"tank \"\"A\"\"\",VT_UI2 ARRAY,30,,5,READWRITE,10.0.0.2\r\n");
}
