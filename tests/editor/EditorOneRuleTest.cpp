// One rule wherever a value enters the editor (typing, pasting, CSV), the icon view, error
// texts that say what to do, pastes that happen whole or not at all, and PLC addresses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidgetItem>

#include "editor/io/CsvTags.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/ImageLists.h"
#include "editor/ui/frmCsvReport.h"
#include "editor/ui/frmDuplicatePLC.h"
#include "editor/ui/frmItems.h"
#include "editor/ui/frmPLC.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

struct RulePlant : EditorFixture {
  std::filesystem::path path;
  RulePlant() {
    path = dir.write("plant.xml",
                     configFile(plcLines("Line1", "10.0.0.1",
                                         tagLines("Pump", "", "VT_I2", 10) + tagLines("Grp_C", "cut me", "VT_I2", 11)) +
                                plcLines("Line2", "10.0.0.2",
                                         tagLines("Speed", "", "VT_R4", 20) + tagLines("Grp_C_1", "", "VT_I2", 30))));
    open(QString::fromStdString(path.string()));
  }
  QStringList children(const QString& key) {
    QStringList names;
    QTreeWidgetItem* n = node(key);
    for (int i = 0; n && i < n->childCount(); ++i) names << n->child(i)->text(0);
    return names;
  }
};

void pasteInto(QLineEdit* line, const QString& text) {
  QGuiApplication::clipboard()->setText(text);
  line->setFocus();
  QTest::keyClick(line, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
}

QImage large(const QIcon& icon) {
  return icon.pixmap(QSize(kLargeIconSize, kLargeIconSize)).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

TEST(OneRule, aTypedNameIsTheSameAsThePastedOne) {
  RulePlant f;
  f.clickKey("Line1");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    chooseType(d.cmbDataType, "signed 16 bit");
    typeInto(d.txtDataWord, "40");
    typeInto(d.txtItemName, "Press.Speed 1");
    EXPECT_EQ(d.txtItemName->text(), "Press.Speed 1");
    clickButton(d.cmdAdd);
    pasteInto(d.txtItemName, "Press.Speed 2");
    EXPECT_EQ(d.txtItemName->text(), "Press.Speed 2");
    clickButton(d.cmdAdd);
    // A name with a tab is refused whether typed into the tree or pasted here.
    pasteInto(d.txtItemName, "Press\tSpeed");
    clickButton(d.cmdOk);
    EXPECT_TRUE(d.isVisible());
    clickButton(d.cmdCancel);
  });
  f.trigger("mnuAddItem");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Invalid Item name: it holds a line break or another control character"}));
  EXPECT_EQ(f.children("Line1"), (QStringList{"Pump", "Grp_C", "Press.Speed 1", "Press.Speed 2"}));
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuSaveCfg");
  EXPECT_NE(TempDir::read(f.path).find("<name>Press.Speed 1</name>"), std::string::npos);
}

TEST(OneRule, aCommentOverSeveralLinesRoundTripsThroughCsvExportAndImport) {
  RulePlant f;
  f.clickKey("Line1");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    chooseType(d.cmbDataType, "signed 16 bit");
    typeInto(d.txtDataWord, "40");
    typeInto(d.txtItemName, "Noted");
    pasteInto(d.txtComment, "ring\abell");  // a control character the file cannot hold
    clickButton(d.cmdOk);
    EXPECT_TRUE(d.isVisible());
    pasteInto(d.txtComment, "first line\r\nsecond\tline");
    clickButton(d.cmdOk);
  });
  f.trigger("mnuAddItem");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{
                "Invalid Comment: it holds a control character (only tabs and line breaks may stand in a comment)"}));
  EXPECT_EQ(f.window->state().colItems->Item("Noted").sComment(), "first line\nsecond\tline");
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuSaveCfg");
  f.prompter.takeShown();
  const std::string saved = TempDir::read(f.path);
  const auto csv = f.dir.file("plant.csv");
  f.prompter.saveFiles = {QString::fromStdString(csv.string())};
  f.trigger("mnuExportCsv");
  EXPECT_NE(TempDir::read(csv).find("Line1,Noted,\"first line\nsecond\tline\",VT_I2,40"), std::string::npos);
  // A new configuration takes the whole list back, PLCs and addresses included.
  f.trigger("mnuNewCfg");
  f.prompter.openFiles = {QString::fromStdString(csv.string())};
  f.trigger("mnuImportCsv");
  EXPECT_EQ(f.prompter.takeShown(), std::vector<QString>{});
  EXPECT_EQ(f.window->state().colItems->Item("Noted").sComment(), "first line\nsecond\tline");
  const auto back = f.dir.file("back.xml");
  f.prompter.saveFiles = {QString::fromStdString(back.string())};
  f.trigger("mnuSaveAs");
  EXPECT_EQ(TempDir::read(back), saved);
  // The file gives it back as well.
  f.open(QString::fromStdString(back.string()));
  EXPECT_EQ(f.window->state().colItems->Item("Noted").sComment(), "first line\nsecond\tline");
}

TEST(OneRule, theIconViewShowsTheTreesPicturesLargeWithTheTypeInTheCaption) {
  RulePlant f;
  f.clickKey("Line2");
  f.trigger("mnuIcon");
  ItemList* list = f.window->ListView1();
  const QImage tag = large(drawnNodeImage("item", kLargeIconSize));
  ASSERT_EQ(list->rowCount(), 2);
  for (int row = 0; row < list->rowCount(); ++row) {
    const QIcon shown = list->iconView()->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(large(shown), tag) << row;
  }
  EXPECT_EQ(list->shownText(0), "Speed\n32 bit float");
  EXPECT_EQ(list->shownText(1), "Grp_C_1\nsigned 16 bit");
  // "string" and "signed 32 bit" no longer get look-alike letter badges: every type is the tag.
  EXPECT_EQ(large(ImgListList("string")), large(ImgListList("signed 32 bit")));
  f.clickKey("PLCs");
  f.trigger("mnuIcon");
  const QIcon plc = list->iconView()->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
  EXPECT_EQ(large(plc), large(drawnNodeImage("plc", kLargeIconSize)));
  EXPECT_NE(large(plc), tag);
  EXPECT_EQ(list->shownText(0), "Line1\n10.0.0.1");
  // The report shows the name alone.
  f.trigger("mnuReport");
  EXPECT_EQ(list->shownText(0), "Line1");
}

TEST(OneRule, aPasteThatFailsLeavesBothPlcsUnchangedAndSaysWhatToDo) {
  RulePlant f;
  f.clickKey("Grp_C");
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuCut");
  EXPECT_EQ(f.children("Line1"), (QStringList{"Pump"}));
  f.clickKey("Line2");
  f.trigger("mnuPaste");  // "Grp_C_1" is taken
  auto shown = f.prompter.takeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], " Error n. 457  The name \"Grp_C_1\" is already in use, so nothing was pasted. The cut item "
                      "\"Grp_C\" is back under \"Line1\"; to move it, cut it again and paste: the next paste takes "
                      "the next number.");
  EXPECT_EQ(f.children("Line1"), (QStringList{"Pump", "Grp_C"}));
  EXPECT_EQ(f.children("Line2"), (QStringList{"Speed", "Grp_C_1"}));
  EXPECT_EQ(f.window->state().colItems->Item("Grp_C").sComment(), "cut me");
  EXPECT_EQ(f.window->state().colItems->Item("Grp_C").sPLCName(), "Line1");
  // Cut again and paste: it moves whole.
  f.clickKey("Grp_C");
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuCut");
  f.clickKey("Line2");
  f.trigger("mnuPaste");
  EXPECT_EQ(f.children("Line1"), (QStringList{"Pump"}));
  EXPECT_EQ(f.children("Line2"), (QStringList{"Speed", "Grp_C_1", "Grp_C_2"}));
  EXPECT_EQ(f.window->state().colItems->Item("Grp_C_2").sComment(), "cut me");

  // A cut PLC comes back in its place with its items.
  f.editLabel(f.node("Grp_C_2"), "Copied PLC 2");
  f.clickKey("Line1");
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuCut");
  f.clickKey("PLCs");
  f.trigger("mnuPaste");
  shown = f.prompter.takeShown();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back(), " Error n. 457  The name \"Copied PLC 2\" is already in use, so nothing was pasted. The "
                          "cut PLC \"Line1\" is back in place with its items; to move it, cut it again and paste: "
                          "the next paste takes the next number.");
  EXPECT_EQ(f.children("PLCs"), (QStringList{"Line1", "Line2"}));
  EXPECT_EQ(f.children("Line1"), (QStringList{"Pump"}));
  for (const QString& text : shown) EXPECT_FALSE(text.contains("_Click")) << text.toStdString();
}

TEST(OneRule, plcAddressesMustBeDottedIpv4InTheDialogTheDuplicateAndTheCsvImport) {
  RulePlant f;
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [&](frmPLC& d) {
    typeInto(d.txtPLCName, "Press");
    for (const char* bad : {"", "999.1.1.1", "10.0.0.3 ", "10.0.0"}) {
      typeInto(d.txtUI, bad);
      clickButton(d.cmdOk);
      EXPECT_TRUE(d.isVisible()) << bad;
    }
    typeInto(d.txtUI, "10.0.0.3");
    clickButton(d.cmdOk);
  });
  f.trigger("mnuAddPLC");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{
                "Invalid PLC IP Address: the IP address is empty",
                "Invalid PLC IP Address: the IP address \"999.1.1.1\" is not a dotted IPv4 address (four numbers 0 to 255)",
                "Invalid PLC IP Address: the IP address \"10.0.0.3 \" is not a dotted IPv4 address (four numbers 0 to 255)",
                "Invalid PLC IP Address: the IP address \"10.0.0\" is not a dotted IPv4 address (four numbers 0 to 255)"}));
  EXPECT_EQ(f.window->state().colPLC->Item("Press").getUI(), "10.0.0.3");
  // Modifying a PLC keeps to it, and so does its duplicate.
  onNextDialog<frmPLC>(f.prompter, [&](frmPLC& d) {
    typeInto(d.txtUI, "plc-2.local");
    clickButton(d.cmdOk);
    EXPECT_TRUE(d.isVisible());
    clickButton(d.cmdCancel);
  });
  f.doubleClick(f.node("Line2"));
  f.clickKey("Line2");
  onNextDialog<frmDuplicatePLC>(f.prompter, [&](frmDuplicatePLC& d) {
    typeInto(d.txtUI, "256.0.0.1");
    clickButton(d.cmdOk);
    EXPECT_TRUE(d.isVisible());
    clickButton(d.cmdCancel);
  });
  f.trigger("mnuDuplicatePLC");
  EXPECT_EQ(f.prompter.takeShown().size(), 2u);
  EXPECT_EQ(f.window->state().colPLC->Item("Line2").getUI(), "10.0.0.2");
  EXPECT_EQ(f.window->state().colPLC->Count(), 3u);

  // CSV: a file's address is refused with its row; an address asked for is checked alike.
  const auto csv = f.dir.write("tags.csv", "PLC,Name,DataType,Address,PLC_Address\r\n"
                                           "Line3,A,VT_I2,1,999.1.1.1\r\n"
                                           "Line4,B,VT_I2,2,\r\n");
  f.prompter.openFiles = {QString::fromStdString(csv.string())};
  f.prompter.texts = {QString("300.0.0.1"), QString("10.0.0.4")};
  onNextDialog<frmCsvReport>(f.prompter, [](frmCsvReport& d) {
    ASSERT_EQ(d.grdProblems->rowCount(), 1);
    EXPECT_EQ(d.grdProblems->item(0, 1)->text(), "PLC_Address");
    EXPECT_EQ(d.grdProblems->item(0, 2)->text(),
              "Invalid PLC IP Address: the IP address \"999.1.1.1\" is not a dotted IPv4 address (four numbers 0 to 255)");
    clickButton(d.cmdImportGood);
  });
  f.trigger("mnuImportCsv");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{
                "Invalid PLC IP Address: the IP address \"300.0.0.1\" is not a dotted IPv4 address (four numbers 0 to 255)"}));
  EXPECT_EQ(f.window->TreeView1()->nodeByKey("Line3"), nullptr);
  EXPECT_EQ(f.window->state().colPLC->Item("Line4").getUI(), "10.0.0.4");
}

TEST(OneRule, menuEntriesThatOpenADialogEndInAnEllipsis) {
  EditorFixture f;
  for (const char* entry : {"mnuOpenCfg", "mnuSaveAs", "mnuImportCsv", "mnuExportCsv", "mnuAddPLC", "mnuAddItem",
                            "mnuDuplicatePLC", "mnuFind"})
    EXPECT_TRUE(f.window->menuEntry(entry)->text().endsWith(QChar(0x2026))) << entry;
  for (const char* entry : {"mnuNewCfg", "mnuSaveCfg", "mnuCloseCfg", "mnuExit", "mnuDelete", "mnuCopy", "mnuPaste"})
    EXPECT_FALSE(f.window->menuEntry(entry)->text().contains(QChar(0x2026))) << entry;
}
