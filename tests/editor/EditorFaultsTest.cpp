// Reproducers of what plant engineers ran into, each driven through the widgets with the
// keys a user presses: the name field's keys, values the server refuses, blank names,
// clipboard text from Linux programs, unchanged names, one name rule, the duplicate of a
// PLC, stale commands and partly loaded files, the confirmation grid.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmDuplicatePLC.h"
#include "editor/ui/frmItems.h"
#include "editor/ui/frmPLC.h"
#include "editor/ui/frmReplace.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

struct FaultPlant : EditorFixture {
  std::filesystem::path path;
  FaultPlant() {
    path = dir.write("plant.xml",
                     configFile(plcLines("Line1", "10.0.0.1",
                                         tagLines("Pump", "main", "VT_I2", 10) + tagLines("Valve", "", "VT_BOOL", 11, 3) +
                                             tagLines("Level", "", "VT_UI2 ARRAY", 12, -1, 4)) +
                                plcLines("Line2", "10.0.0.2", tagLines("Speed", "", "VT_R4", 20))));
    open(QString::fromStdString(path.string()));
  }
  // F2 on the node, then the keys, then Enter.
  void renameByKeys(const QString& key, const QString& typed) {
    ConfigTree* tree = window->TreeView1();
    click(node(key));
    QTest::keyClick(tree, Qt::Key_F2);
    QLineEdit* line = labelEditor();
    ASSERT_NE(line, nullptr);
    if (!typed.isNull()) QTest::keyClicks(line, typed);  // the label is selected: typing replaces it
    QTest::keyClick(line, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed editor goes
  }
  QLineEdit* labelEditor() const {
    for (QLineEdit* line : window->TreeView1()->viewport()->findChildren<QLineEdit*>())
      if (line->isVisible()) return line;
    return nullptr;
  }
};

void ctrl(QWidget* w, Qt::Key key) { QTest::keyClick(w, key, Qt::ControlModifier); }

}  // namespace

// Fault 1: the filter threw away every one-character key event, control codes included.
TEST(EditorFaults, editingKeysAndShortcutsWorkInTheItemNameField) {
  FaultPlant f;
  f.clickKey("Line2");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    QLineEdit* name = d.txtItemName;
    ASSERT_TRUE(name->hasFocus() || QApplication::focusWidget() == name || name->hasSelectedText());
    EXPECT_EQ(name->selectedText(), "New_Item_5");  // the proposal is selected ...
    QTest::keyClicks(name, "Pump");                 // ... so typing replaces it
    EXPECT_EQ(name->text(), "Pump");
    ctrl(name, Qt::Key_A);
    ctrl(name, Qt::Key_C);
    QTest::keyClick(name, Qt::Key_End);
    ctrl(name, Qt::Key_V);
    EXPECT_EQ(name->text(), "PumpPump");
    QTest::keyClick(name, Qt::Key_Home);
    QTest::keyClick(name, Qt::Key_Delete);
    EXPECT_EQ(name->text(), "umpPump");
    ctrl(name, Qt::Key_A);
    ctrl(name, Qt::Key_X);
    EXPECT_EQ(name->text(), "");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "umpPump");
    ctrl(name, Qt::Key_V);
    ctrl(name, Qt::Key_V);
    EXPECT_EQ(name->text(), "umpPumpumpPump");
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_EQ(name->text(), "umpPumpumpPum");
    // Blanks and dots are part of names.
    QTest::keyClicks(name, " .x");
    EXPECT_EQ(name->text(), "umpPumpumpPum .x");
    clickButton(d.cmdCancel);
  });
  f.trigger("mnuAddItem");
}

// Fault 2: a negative count, an address above 65535 and a span past R65536 were saved
// for the server to drop; Add and Increment then stepped backwards.
TEST(EditorFaults, valuesTheServerWouldSkipAreRefusedByTheItemDialog) {
  FaultPlant f;
  f.clickKey("Line2");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    chooseType(d.cmbDataType, "signed 16 bit array");
    typeInto(d.txtDataWord, "100");
    for (const char* count : {"-3", "40000"}) {
      typeInto(d.txtElements, count);
      clickButton(d.cmdAdd);
      EXPECT_EQ(d.txtDataWord->text(), "100") << count;  // no step, backwards or not
    }
    chooseType(d.cmbDataType, "unsigned 16 bit array");
    typeInto(d.txtDataWord, "65530");
    typeInto(d.txtElements, "10");
    clickButton(d.cmdAdd);
    chooseType(d.cmbDataType, "signed 16 bit");
    typeInto(d.txtDataWord, "70000");
    clickButton(d.cmdAdd);
    EXPECT_EQ(f.prompter.takeShown(),
              (std::vector<QString>{"Invalid number of Elements: must be between 0 and 32767",
                                    "Invalid number of Elements: must be between 0 and 32767",
                                    "Invalid Address value: the item's registers run past register 65536",
                                    "Invalid Address value: must be between 1 and 65535"}));
    // The last register of the table may be used.
    chooseType(d.cmbDataType, "signed 32 bit");
    typeInto(d.txtItemName, "LastWord");
    typeInto(d.txtDataWord, "65535");
    QTest::keyClick(d.txtDataWord, Qt::Key_Return);  // Enter presses "Add and Exit"
  });
  f.trigger("mnuAddItem");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_EQ(f.column(0), (QStringList{"Speed", "LastWord"}));
  EXPECT_EQ(f.column(2).last(), "Line2/%R65535");
}

// Fault 3: F2 " " Enter was taken and saved as <name> </name>, which then stopped the
// next open half way ("A item has an empty name").
TEST(EditorFaults, blankNamesAreRefusedEverywhereANameIsSet) {
  FaultPlant f;
  f.renameByKeys("Pump", " ");
  f.renameByKeys("Line1", "   ");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Empty fields. Check Item name", "Empty fields. Check PLC name"}));
  EXPECT_NE(f.window->TreeView1()->nodeByKey("Pump"), nullptr);
  EXPECT_NE(f.window->TreeView1()->nodeByKey("Line1"), nullptr);
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [&](frmPLC& d) {
    QTest::keyClicks(d.txtPLCName, "  ");
    typeInto(d.txtUI, "10.0.0.3");
    QTest::keyClick(d.txtUI, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  f.trigger("mnuAddPLC");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    typeInto(d.txtItemName, "");
    clickButton(d.cmdOk);
    EXPECT_TRUE(d.isVisible());
    clickButton(d.cmdCancel);
  });
  f.doubleClick(f.node("Pump"));
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Empty fields. Check PLC name", "Empty fields. Check Item name"}));
  EXPECT_TRUE(f.window->state().bCfgSaved);
}

// Fault 4: "Pump_A\nPump_B\n" gave "Invalid selection" for two rows, and with one row a
// name holding line breaks.
TEST(EditorFaults, clipboardLinesEndedByLfAloneRenameOneItemEach) {
  FaultPlant f;
  f.clickKey("Line1");
  f.clickRow(0);
  QGuiApplication::clipboard()->setText("Pump_A\nPump_B\n");
  f.trigger("Paste_Name");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Invalid selection"}));
  EXPECT_EQ(f.column(0).first(), "Pump");
  f.clickRow(1, true);
  onNextDialog<frmReplace>(f.prompter, [](frmReplace& d) {
    EXPECT_EQ(d.Grid1->rowCount(), 3);
    EXPECT_EQ(d.Grid1->item(2, 2)->text(), "Pump_B");
    QTest::keyClick(d.Command2, Qt::Key_Return);  // YES is the default button
  });
  f.trigger("Paste_Name");
  EXPECT_EQ(f.column(0), (QStringList{"Pump_A", "Pump_B", "Level"}));
  // Text from a spreadsheet with tabs (two columns copied) is no name.
  f.clickRow(0);
  QGuiApplication::clipboard()->setText("A\tB\n");
  f.trigger("Paste_Name");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Invalid item name in clipboard: it holds a control character"}));
}

// Fault 5: F2 then Enter without a change said "Name already existing", and so did the
// edit a click on the selected node starts.
TEST(EditorFaults, anUnchangedNameIsNoChange) {
  FaultPlant f;
  f.renameByKeys("Pump", QString());
  f.renameByKeys("Line1", QString());
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_TRUE(f.window->state().bCfgSaved);
  EXPECT_FALSE(f.window->isWindowModified());
  // A click on the selected node starts an edit after the double-click time.
  f.clickKey("Valve");
  f.clickKey("Valve");
  QLineEdit* line = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (line = f.labelEditor()) != nullptr; }, 3000));
  QTest::keyClick(line, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_TRUE(f.window->state().bCfgSaved);
}

// Fault 6: one name rule everywhere; dots, spaces and '&' stay valid, as in existing files.
TEST(EditorFaults, namesWithDotsSpacesAndAmpersandsAreValidEverywhere) {
  FaultPlant f;
  f.renameByKeys("Pump", "Oven 2.Zone & A");
  f.renameByKeys("Line1", "Line 1.North");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  f.prompter.answers.push_back(Answer::Yes);  // overwrite
  QTest::keyClick(f.window.get(), Qt::Key_S, Qt::ControlModifier);
  const std::string saved = TempDir::read(f.path);
  EXPECT_NE(saved.find("<name>Oven 2.Zone &amp; A</name>"), std::string::npos);
  EXPECT_NE(saved.find("<PLC name=\"Line 1.North\""), std::string::npos);
  f.prompter.takeShown();
  f.open(QString::fromStdString(f.path.string()));
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_NE(f.window->TreeView1()->nodeByKey("Oven 2.Zone & A"), nullptr);
}

// Fault 7: engineers copy one line's PLC to make the next; paste gives a PLC without items.
TEST(EditorFaults, duplicatePlcWithItemsCopiesEveryItemUnderSuffixedNames) {
  FaultPlant f;
  f.clickKey("Line1");
  onNextDialog<frmDuplicatePLC>(f.prompter, [&](frmDuplicatePLC& d) {
    EXPECT_EQ(d.txtSuffix->text(), "_2");
    EXPECT_EQ(d.txtPLCName->selectedText(), "Line1_2");
    QTest::keyClicks(d.txtPLCName, "Line3");
    typeInto(d.txtUI, "10.0.0.2");  // Line2's address
    QTest::keyClick(d.txtUI, Qt::Key_Return);
    typeInto(d.txtUI, "10.0.0.3");
    typeInto(d.txtSuffix, "");  // the copies would take the originals' names
    clickButton(d.cmdOk);
    typeInto(d.txtPLCName, "Speed");  // an item's name
    clickButton(d.cmdOk);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(f.prompter.takeShown(),
              (std::vector<QString>{"PLC ID already existing. Please use a different one",
                                    "Name already existing. Please use a different suffix (\"Pump\" is taken)",
                                    "Name already existing. Please use a different PLC name"}));
    EXPECT_EQ(f.window->state().colPLC->Count(), 2u);
    typeInto(d.txtPLCName, "Line3");
    typeInto(d.txtSuffix, "_L3");
    QTest::keyClick(d.txtSuffix, Qt::Key_Return);
  });
  f.trigger("mnuDuplicatePLC");
  EXPECT_EQ(ConfigTree::key(f.window->TreeView1()->selectedNode()), "Line3");
  EXPECT_EQ(f.column(0), (QStringList{"Pump_L3", "Valve_L3", "Level_L3"}));
  EXPECT_EQ(f.column(2), (QStringList{"Line3/%R10", "Line3/%R11/bit3", "Line3/%R12/len4"}));
  EXPECT_EQ(f.window->state().colItems->Item("Pump_L3").sComment(), "main");
  EXPECT_EQ(f.window->state().colPLC->Item("Line3").getUI(), "10.0.0.3");
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // Paste keeps its rules: a PLC with the held address and no items.
  f.clickKey("Line1");
  f.trigger("mnuCopy");
  f.clickKey("PLCs");
  f.trigger("mnuPaste");
  EXPECT_EQ(f.node("Copied PLC 2")->childCount(), 0);
}

// Fault 8: the bulk commands stayed enabled after Close or New, and a partly loaded file
// counted as saved, so Save dropped its unread part without a word.
TEST(EditorFaults, closeAndNewDisableTheBulkCommandsAndSaveAsksBeforeDroppingWhatWasNotRead) {
  FaultPlant f;
  f.clickKey("Line1");
  ASSERT_TRUE(f.enabled("pastitem"));
  f.trigger("mnuCloseCfg");
  for (const char* entry : {"pastitem", "pastcomment", "Paste_Name", "Paste_Comment", "mnuDuplicatePLC"})
    EXPECT_FALSE(f.enabled(entry)) << entry;
  f.open(QString::fromStdString(f.path.string()));
  f.clickKey("Line1");
  f.trigger("mnuNewCfg");
  EXPECT_FALSE(f.enabled("pastitem"));
  EXPECT_FALSE(f.enabled("Paste_Name"));

  const std::string partly =
      configFile(plcLines("P1", "1", tagLines("A", "", "VT_I2", 1)) +
                 plcLines("P2", "2", tagLines("B", "", "VT_I2", 2) + tagLines("a", "", "VT_I2", 3) + tagLines("C", "", "VT_I2", 4)) +
                 plcLines("P3", "3", ""));
  const auto path = f.dir.write("partly.xml", partly);
  f.prompter.answers.push_back(Answer::No);  // the new configuration need not be saved
  f.open(QString::fromStdString(path.string()));
  f.prompter.takeShown();
  f.prompter.answers = {Answer::Yes, Answer::No};  // overwrite: yes; drop the unread part: no
  f.trigger("mnuSaveCfg");
  const auto shown = f.prompter.takeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], "Only part of " + f.window->sCfgFile() +
                          " was loaded: 1 PLC and 2 items from line 24 on could not be read. Saving over the file "
                          "drops them. Save anyway?");
  EXPECT_EQ(TempDir::read(path), partly);
  f.prompter.answers = {Answer::Yes, Answer::Yes};
  f.trigger("mnuSaveCfg");
  EXPECT_NE(TempDir::read(path), partly);
  EXPECT_TRUE(f.window->state().bCfgSaved);
  f.prompter.answers = {Answer::Yes};  // written whole now: only the overwrite question
  f.trigger("mnuSaveCfg");
  EXPECT_EQ(f.prompter.takeShown().size(), 3u);
}

// Fault 9: the arrow column showed "..." instead of its arrows.
TEST(EditorFaults, theReplaceGridShowsItsArrowsWhole) {
  FaultPlant f;
  f.clickKey("Line1");
  f.clickRow(0);
  QGuiApplication::clipboard()->setText("Pump_A\r\n");
  onNextDialog<frmReplace>(f.prompter, [](frmReplace& d) {
    const int needed = d.Grid1->fontMetrics().horizontalAdvance("<---");
    EXPECT_GT(d.Grid1->columnWidth(1), needed + 4);
    clickButton(d.Command1);
  });
  f.trigger("Paste_Name");
}
