// Clipboard, delete, find, bulk rename and comments, layout and About, used as a user would.
#include <gtest/gtest.h>

#include <cmath>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmAbout.h"
#include "editor/ui/frmFind.h"
#include "editor/ui/frmReplace.h"
#include "editor/ui/mResize.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

std::string plantFile() {
  return configFile(plcLines("Line1", "10.0.0.1",
                             tagLines("Temp", "oven", "VT_I2", 10) + tagLines("TempMax", "", "VT_I2", 11) +
                                 tagLines("TempMin", "", "VT_I2", 12) + tagLines("Door", "", "VT_BOOL", 13, 2)) +
                    plcLines("Line2", "10.0.0.2", tagLines("Speed", "", "VT_R4", 20)) +
                    plcLines("New_PLC_1", "10.0.0.3", tagLines("New_Item_1", "", "VT_I2", 1)));
}

struct Plant : EditorFixture {
  std::filesystem::path path;
  Plant() {
    path = dir.write("plant.xml", plantFile());
    open(QString::fromStdString(path.string()));
  }
  QString clipboard() const { return QGuiApplication::clipboard()->text(); }
  void setClipboard(const QString& t) { QGuiApplication::clipboard()->setText(t); }
};

}  // namespace

TEST(Clipboard, copiesAndPastesItemsUnderGeneratedNames) {
  Plant f;
  f.clickKey("New_Item_1");
  f.trigger("mnuCopy");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Please change Item name (do not use default name) before copying"}));
  f.clickKey("Door");
  f.trigger("mnuCopy");
  f.clickKey("Line2");
  f.trigger("mnuPaste");
  f.trigger("mnuPaste");
  EXPECT_EQ(f.column(0), (QStringList{"Speed", "Door_1", "Door_2"}));
  const clsPLCItem& pasted = f.window->state().colItems->Item("Door_2");
  EXPECT_EQ(pasted.sPLCName(), "Line2");
  EXPECT_EQ(pasted.sDataType(), "boolean");
  EXPECT_EQ(pasted.nBitNumber(), 2);
  EXPECT_EQ(pasted.nDataWord(), 13);
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // An item held is not pasted on the PLC group.
  f.clickKey("PLCs");
  f.trigger("mnuPaste");
  EXPECT_EQ(f.window->state().colPLC->Count(), 3u);
}

TEST(Clipboard, pastedPlcsAreNumberedFromTwoAndKeepTheHeldAddress) {
  Plant f;
  f.clickKey("New_PLC_1");
  f.trigger("mnuCopy");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Please change PLC name (do not use default name)before copying"}));
  f.clickKey("Line2");
  f.trigger("mnuCopy");
  f.clickKey("PLCs");
  f.trigger("mnuPaste");
  f.trigger("mnuPaste");
  EXPECT_EQ(f.column(0), (QStringList{"Line1", "Line2", "New_PLC_1", "Copied PLC 2", "Copied PLC 3"}));
  EXPECT_EQ(f.column(1).last(), "10.0.0.2");
  // A pasted PLC (with a blank in its name) can itself be copied.
  f.clickKey("Copied PLC 2");
  f.trigger("mnuCopy");
  EXPECT_TRUE(f.prompter.takeShown().empty());
}

TEST(Clipboard, aGeneratedNameThatIsTakenIsRefusedBeforeAnythingIsAdded) {
  Plant f;
  f.clickKey("Door");
  f.trigger("mnuCopy");
  f.editLabel(f.node("Speed"), "DOOR_1");
  f.clickKey("Line2");
  f.trigger("mnuPaste");
  const auto shown = f.prompter.takeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], " Error n. 457  The name \"Door_1\" is already in use, so nothing was pasted. Paste again: "
                      "the next paste takes the next number.");
  EXPECT_EQ(f.node("Line2")->childCount(), 1);
  EXPECT_EQ(f.window->state().colItems->Count(), 6u);
  f.trigger("mnuPaste");  // the counter moved on
  EXPECT_NE(f.window->TreeView1()->nodeByKey("Door_2"), nullptr);
}

TEST(Clipboard, cutAnsweredNoActsAsACopyAndDeleteRemovesAPlcWithItsItems) {
  Plant f;
  f.clickKey("Temp");
  f.prompter.answers.push_back(Answer::No);
  f.trigger("mnuCut");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Are you sure you want to delete Temp ?"}));
  EXPECT_NE(f.window->TreeView1()->nodeByKey("Temp"), nullptr);
  EXPECT_EQ(f.window->state().objCopiedItem.sName(), "Temp");
  f.clickKey("Line1");
  f.prompter.answers.push_back(Answer::Yes);
  f.trigger("mnuDelete");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Are you sure you want to delete Line1 and all its items?"}));
  EXPECT_EQ(f.column(0), (QStringList{"Line2", "New_PLC_1"}));
  EXPECT_EQ(f.window->state().colItems->Count(), 2u);
  EXPECT_FALSE(f.window->state().bCfgSaved);
  f.prompter.answers.push_back(Answer::Yes);
  f.trigger("mnuSaveCfg");
  const std::string saved = TempDir::read(f.path);
  EXPECT_EQ(saved.find("Line1"), std::string::npos);
  EXPECT_EQ(saved.find("Temp"), std::string::npos);
  // Deleting an item shows its PLC's remaining items.
  f.clickKey("Speed");
  f.prompter.answers.push_back(Answer::Yes);
  f.window->menuEntry("mnuDelete")->trigger();
  f.prompter.takeShown();
  EXPECT_EQ(f.headers().size(), 5);
  EXPECT_EQ(f.window->ListView1()->rowCount(), 0);
}

TEST(Find, findNextWalksThroughTheMatchesWrapsAndSaysWhenNothingFurtherMatches) {
  Plant f;
  f.trigger("mnuFind");
  frmFind* find = f.window->findWindow();
  ASSERT_NE(find, nullptr);
  EXPECT_TRUE(f.window->state().bFindOpen);
  EXPECT_EQ(find->windowTitle(), "Find Item");
  auto selected = [&] { return ConfigTree::key(f.window->TreeView1()->selectedNode()); };
  QTest::keyClicks(find->txtFind, "p");
  clickButton(find->cmdFind);
  EXPECT_EQ(selected(), "PLCs");
  typeInto(find->txtFind, "temp");
  clickButton(find->cmdFind);
  EXPECT_EQ(selected(), "Temp");
  EXPECT_TRUE(find->lblStatus->text().isEmpty());
  // Enter in the text presses Find Next, the default button.
  QTest::keyClick(find->txtFind, Qt::Key_Return);
  EXPECT_EQ(selected(), "TempMax");
  clickButton(find->cmdNext);
  EXPECT_EQ(selected(), "TempMin");
  clickButton(find->cmdNext);
  EXPECT_EQ(selected(), "Temp");
  EXPECT_EQ(find->lblStatus->text(), "No further match: back at the first one.");
  EXPECT_EQ(find->mnCounter, 3);
  // F3 in the main window goes on from there.
  QTest::keyClick(f.window.get(), Qt::Key_F3);
  EXPECT_EQ(selected(), "TempMax");
  typeInto(find->txtFind, "zz");
  clickButton(find->cmdFind);
  EXPECT_EQ(find->lblStatus->text(), "No name begins with \"zz\".");
  clickButton(find->cmdNext);
  EXPECT_EQ(find->lblStatus->text(), "No name begins with \"zz\".");
  EXPECT_EQ(selected(), "TempMax");
  clickButton(find->cmdCancel);
  EXPECT_FALSE(find->isVisible());
  EXPECT_FALSE(f.window->state().bFindOpen);
  // A new find window starts counting again; Ctrl+F opens it.
  QTest::keyClick(f.window.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_NE(f.window->findWindow(), find);
  EXPECT_EQ(f.window->findWindow()->mnCounter, 0);
  EXPECT_TRUE(f.window->state().bFindOpen);
}

TEST(BulkRename, renamesTheSelectedItemsInListOrderAfterConfirmation) {
  Plant f;
  f.clickKey("Line1");
  f.clickRow(0);
  f.clickRow(2, true);
  f.clickRow(3, true);
  f.setClipboard("Oven\r\nCold\r\nHatch\r\n");
  onNextDialog<frmReplace>(f.prompter, [](frmReplace& d) {
    EXPECT_EQ(d.Grid1->rowCount(), 4);
    EXPECT_EQ(d.Grid1->item(0, 0)->text(), "Item name");
    EXPECT_EQ(d.Grid1->item(0, 2)->text(), "New Item name");
    EXPECT_EQ(d.Grid1->item(2, 0)->text(), "TempMin");
    EXPECT_EQ(d.Grid1->item(2, 1)->text(), "<---");
    EXPECT_EQ(d.Grid1->item(2, 2)->text(), "Cold");
    clickButton(d.Command2);
  });
  f.trigger("Paste_Name");
  EXPECT_EQ(f.column(0), (QStringList{"Oven", "TempMax", "Cold", "Hatch"}));
  EXPECT_EQ(f.node("Cold")->parent(), f.node("Line1"));
  EXPECT_EQ(ConfigTree::key(f.window->TreeView1()->selectedNode()), "Hatch");
  EXPECT_EQ(f.window->state().colItems->Item("Hatch").nBitNumber(), 2);
  EXPECT_FALSE(f.window->state().bCfgSaved);
  EXPECT_TRUE(f.clipboard().isEmpty());
}

TEST(BulkRename, refusesBadSelectionsAndNamesBeforeRenamingAny) {
  Plant f;
  f.clickKey("Line1");
  f.clickRow(0);
  f.clickRow(1, true);
  f.setClipboard("A\r\nB");  // one value: the text after the last line break is ignored
  f.trigger("Paste_Name");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Invalid selection"}));
  f.setClipboard("");
  f.trigger("Paste_Name");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Empty clipboard !"}));
  for (const char* text : {"Speed", "X\r\nx\r\n", "a\r\nspeed\r\n", "TempMax\r\nTemp\r\n"}) {
    f.setClipboard(text);
    f.trigger("Paste_Name");
    EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Name already existing"})) << text;
    EXPECT_TRUE(f.clipboard().isEmpty());
  }
  EXPECT_EQ(f.column(0), (QStringList{"Temp", "TempMax", "TempMin", "Door"}));
  // Answering NO changes nothing and keeps the clipboard.
  f.setClipboard("A\r\nB\r\n");
  onNextDialog<frmReplace>(f.prompter, [](frmReplace& d) { clickButton(d.Command1); });
  f.trigger("Paste_Name");
  EXPECT_EQ(f.column(0), (QStringList{"Temp", "TempMax", "TempMin", "Door"}));
  EXPECT_EQ(f.clipboard(), "A\r\nB\r\n");
  EXPECT_TRUE(f.window->state().bCfgSaved);
}

TEST(BulkComment, aSingleCommentStaysInTheClipboardTwoAreCleared) {
  Plant f;
  f.clickKey("Line1");
  f.clickRow(1);
  f.setClipboard("spare");
  onNextDialog<frmReplace>(f.prompter, [](frmReplace& d) {
    EXPECT_EQ(d.Grid1->item(0, 0)->text(), "Item comment");
    EXPECT_EQ(d.Grid1->item(1, 0)->text(), "");
    clickButton(d.Command2);
  });
  f.trigger("Paste_Comment");
  EXPECT_EQ(f.column(1)[1], "spare");
  EXPECT_EQ(f.clipboard(), "spare");
  f.clickRow(0);
  f.clickRow(3, true);
  f.setClipboard("hot\r\nshut\r\n");
  onNextDialog<frmReplace>(f.prompter, [](frmReplace& d) {
    EXPECT_EQ(d.Grid1->item(1, 0)->text(), "oven");
    clickButton(d.Command2);
  });
  f.trigger("Paste_Comment");
  EXPECT_EQ(f.column(1), (QStringList{"hot", "spare", "", "shut"}));
  EXPECT_TRUE(f.clipboard().isEmpty());
  EXPECT_EQ(f.window->state().colItems->Item("Door").sComment(), "shut");
}

TEST(Layout, theViewsFillTheWindowAtEverySizeAndKeepTheirShare) {
  EditorFixture f;
  f.trigger("mnuNewCfg");
  QWidget* splitter = f.window->Splitter1();
  QWidget* tree = f.window->TreeView1();
  QWidget* central = f.window->centralWidget();
  // The record holds the layout the window was loaded with: the splitter fills it, and
  // the tree has 0.3 of its width.
  const QStringList rec = SplitByDelimiter(splitter->property("Tag").toString(), "|");
  ASSERT_EQ(rec.size(), 6);
  EXPECT_EQ(rec[4], rec[0]);
  EXPECT_EQ(rec[5], rec[1]);
  EXPECT_NEAR(tree->width(), 0.3 * rec[0].toDouble(), 8.0);
  for (const QSize size : {QSize(800, 600), QSize(1111, 777), QSize(640, 401), QSize(800, 600)}) {
    f.window->resize(size);
    QCoreApplication::processEvents();
    // No empty band at the bottom or the right after any resize.
    EXPECT_EQ(splitter->geometry(), central->rect()) << size.width() << "x" << size.height();
  }
  const int tree0 = tree->width();
  const int width0 = central->width();
  f.window->resize(800 + width0, 600);
  QCoreApplication::processEvents();
  ASSERT_EQ(central->width(), 2 * width0);
  EXPECT_NEAR(tree->width(), 2 * tree0, 4.0);
  // Minimized, nothing moves.
  f.window->setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(f.window->isMinimized());
  const QRect before = splitter->geometry();
  f.window->resize(300, 200);
  ResizeControls(central, 0, 0);
  EXPECT_EQ(splitter->geometry(), before);
}

TEST(Layout, splitByDelimiter) {
  EXPECT_EQ(SplitByDelimiter("1|2|3", "|"), (QStringList{"1", "2", "3"}));
  EXPECT_EQ(SplitByDelimiter("a||b|", "|"), (QStringList{"a", "", "b"}));
  EXPECT_EQ(SplitByDelimiter("a<>b", "<>"), (QStringList{"a", "b"}));
  EXPECT_EQ(SplitByDelimiter("", "|"), QStringList{});
  EXPECT_EQ(SplitByDelimiter("aXb", "x"), QStringList{"aXb"});
}

TEST(About, showsNameDescriptionAndVersion) {
  EditorFixture f;
  f.trigger("mnuAbout");
  auto* about = f.window->findChild<frmAbout*>("frmAbout");
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->windowTitle(), "About ConfigOPCZentarc");
  EXPECT_EQ(about->lblTitle->text(), "ConfigOPCZentarc");
  EXPECT_EQ(about->lblDescription->text(), "Tool for OPC server configuration file creation and editing");
  EXPECT_TRUE(about->lblVersion->text().startsWith("Version "));
  EXPECT_EQ(versionText("1.0.0"), "Version 1.0.0");
  EXPECT_EQ(versionText("1.10.100"), "Version 1.10.100");
  clickButton(about->cmdOK);
  EXPECT_FALSE(about->isVisible());
}
