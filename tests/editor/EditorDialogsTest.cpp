// The PLC and item dialogs used as a user would, through the main window's commands.
#include <gtest/gtest.h>

#include <QFrame>
#include <QPushButton>
#include <QTest>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmItems.h"
#include "editor/ui/frmPLC.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

std::string twoPlcFile() {
  return configFile(plcLines("P1", "10.0.0.1",
                             tagLines("Temp", "oven", "VT_I2", 10) + tagLines("Flag", "", "VT_BOOL", 11, 3)) +
                    plcLines("P2", "10.0.0.2", tagLines("Speed", "", "VT_R4", 20)));
}

struct Opened : EditorFixture {
  std::filesystem::path path;
  Opened() {
    path = dir.write("cfg.xml", twoPlcFile());
    open(QString::fromStdString(path.string()));
  }
};

}  // namespace

TEST(PlcDialog, addsAPlcUnderItsDefaultNameAndAdvancesTheNumber) {
  Opened f;
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [](frmPLC& d) {
    EXPECT_EQ(d.windowTitle(), "PLC Properties");
    EXPECT_EQ(d.txtPLCName->text(), "New_PLC_3");
    typeInto(d.txtPLCName, "Press");
    typeInto(d.txtUI, "10.0.0.3");
    clickButton(d.cmdOk);
  });
  f.trigger("mnuAddPLC");
  EXPECT_EQ(ConfigTree::key(f.window->TreeView1()->selectedNode()), "Press");
  EXPECT_EQ(f.column(0), (QStringList{"P1", "P2", "Press"}));
  EXPECT_EQ(f.column(1).last(), "10.0.0.3");
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // The next offer counts on, whatever the first PLC was called.
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [](frmPLC& d) {
    EXPECT_EQ(d.txtPLCName->text(), "New_PLC_4");
    clickButton(d.cmdCancel);
  });
  f.trigger("mnuAddPLC");
  EXPECT_EQ(f.window->state().colPLC->Count(), 3u);
}

TEST(PlcDialog, refusesTakenNamesAndAddressesAndStaysOpen) {
  Opened f;
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [&](frmPLC& d) {
    typeInto(d.txtUI, "10.0.0.1");
    clickButton(d.cmdOk);
    EXPECT_FALSE(d.mbUnload);
    typeInto(d.txtUI, "010.0.0.1");  // another text for the same address is allowed
    for (const char* name : {"P1", "p1", "Temp", "PLCs"}) {
      typeInto(d.txtPLCName, name);
      clickButton(d.cmdOk);
      EXPECT_TRUE(d.isVisible()) << name;
    }
    typeInto(d.txtPLCName, "");
    clickButton(d.cmdOk);
    EXPECT_EQ(f.prompter.takeShown(),
              (std::vector<QString>{"PLC ID already existing. Please use a different one",
                                    "Name already existing. Please use a different PLC name",
                                    "Name already existing. Please use a different PLC name",
                                    "Name already existing. Please use a different PLC name",
                                    "Name already existing. Please use a different PLC name",
                                    "Empty fields. Check PLC name"}));
    QTest::keyClick(&d, Qt::Key_Escape);
  });
  f.trigger("mnuAddPLC");
  EXPECT_EQ(f.window->state().colPLC->Count(), 2u);
  EXPECT_TRUE(f.window->state().bCfgSaved);
}

TEST(PlcDialog, renameFromTheListCarriesTheNameIntoItemsTreeAndFile) {
  Opened f;
  f.clickKey("PLCs");
  onNextDialog<frmPLC>(f.prompter, [](frmPLC& d) {
    EXPECT_EQ(d.txtPLCName->text(), "P1");
    EXPECT_EQ(d.txtUI->text(), "10.0.0.1");
    typeInto(d.txtPLCName, "Oven");
    typeInto(d.txtUI, "10.0.0.9");
    clickButton(d.cmdOk);
  });
  f.doubleClickRow(0);
  EXPECT_EQ(f.headers().first(), "PLC Name");
  EXPECT_EQ(f.column(0), (QStringList{"Oven", "P2"}));  // the tree node keeps its place
  EXPECT_EQ(f.window->ListView1()->selectedRows(), (QList<int>{0}));
  EXPECT_EQ(ConfigTree::key(f.window->TreeView1()->selectedNode()), "Oven");
  EXPECT_EQ(f.node("Temp")->parent(), f.node("Oven"));
  EXPECT_EQ(f.window->state().colItems->Item("Flag").sPLCName(), "Oven");
  f.prompter.answers.push_back(Answer::Yes);
  f.trigger("mnuSaveCfg");
  const std::string saved = TempDir::read(f.path);
  EXPECT_NE(saved.find("<PLC name=\"Oven\" IPaddress=\"10.0.0.9\">"), std::string::npos);
  EXPECT_LT(saved.find("Oven"), saved.find("<name>Temp</name>"));
}

TEST(PlcDialog, renameToAnotherPlcNameChangesNothingAndOkWithoutChangesCountsAsAChange) {
  Opened f;
  onNextDialog<frmPLC>(f.prompter, [&](frmPLC& d) {
    typeInto(d.txtPLCName, "P2");
    clickButton(d.cmdOk);
    EXPECT_EQ(f.prompter.takeShown(),
              (std::vector<QString>{"Name already existing. Please use a different PLC name"}));
    clickButton(d.cmdCancel);
  });
  f.doubleClick(f.node("P1"));
  EXPECT_EQ(f.node("P1")->text(0), "P1");
  EXPECT_TRUE(f.window->state().bCfgSaved);
  onNextDialog<frmPLC>(f.prompter, [](frmPLC& d) { clickButton(d.cmdOk); });
  f.doubleClick(f.node("P1"));
  EXPECT_FALSE(f.window->state().bCfgSaved);
  EXPECT_EQ(f.window->state().colPLC->Item("P1").getUI(), "10.0.0.1");
}

TEST(ItemDialog, validatesTheFieldsWithTheirMessagesAndBoundaries) {
  Opened f;
  f.clickKey("P2");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    EXPECT_EQ(d.txtItemName->text(), "New_Item_4");
    EXPECT_EQ(d.txtPLCName->text(), "P2");
    EXPECT_EQ(d.cmbAccessRight->currentText(), "READWRITE");
    EXPECT_EQ(d.cmdOk->text(), "Add and Exit");
    EXPECT_EQ(d.cmbDataType->count(), 15);
    EXPECT_EQ(d.cmbDataType->itemText(6), "boolean array");
    EXPECT_EQ(d.cmbDataType->currentIndex(), -1);
    clickButton(d.cmdOk);
    chooseType(d.cmbDataType, "signed 16 bit");
    clickButton(d.cmdOk);
    for (const char* bad : {"0", "65536", "0.5", "abc"}) {
      typeInto(d.txtDataWord, bad);
      clickButton(d.cmdAdd);
    }
    EXPECT_EQ(f.prompter.takeShown(),
              (std::vector<QString>{"Empty fields. Check Data type", "Invalid Address value",
                                    "Invalid Address value: must be between 1 and 65535",
                                    "Invalid Address value: must be between 1 and 65535",
                                    "Invalid Address value: must be between 1 and 65535",
                                    "Invalid Address value"}));
    typeInto(d.txtDataWord, "65535");
    clickButton(d.cmdAdd);
    typeInto(d.txtDataWord, "1");
    clickButton(d.cmdAdd);
    // An array accepts 0 elements; a text is refused.
    chooseType(d.cmbDataType, "unsigned 8 bit array");
    EXPECT_EQ(d.txtElements->text(), "0");
    EXPECT_TRUE(d.txtElements->isEnabled());
    EXPECT_FALSE(d.cmbBit->isEnabled());
    typeInto(d.txtElements, "x");
    clickButton(d.cmdAdd);
    EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Invalid number of Elements"}));
    typeInto(d.txtElements, "0");
    clickButton(d.cmdOk);
    EXPECT_TRUE(f.prompter.takeShown().empty());
  });
  f.trigger("mnuAddItem");
  EXPECT_EQ(f.column(0), (QStringList{"Speed", "New_Item_4", "New_Item_5", "New_Item_6"}));
  EXPECT_EQ(f.column(2), (QStringList{"P2/%R20", "P2/%R65535", "P2/%R1", "P2/%R2/len0"}));
  EXPECT_EQ(f.window->state().nNextItem, 7);
}

TEST(ItemDialog, addAndIncrementStepsTheAddressForEveryType) {
  Opened f;
  f.clickKey("P2");
  struct Row {
    const char* type;
    const char* elements;
    int bit;  // -1: no bit to choose
    const char* nextAddress;
    int nextBit;
  };
  const Row rows[] = {
      {"boolean", "", 15, "101", 0},
      {"boolean", "", 3, "100", 4},
      {"unsigned 16 bit", "", -1, "101", -1},
      {"unsigned 32 bit", "", -1, "102", -1},
      {"signed 16 bit", "", -1, "101", -1},
      {"signed 32 bit", "", -1, "102", -1},
      {"32 bit float", "", -1, "102", -1},
      {"boolean array", "10", 10, "101", 4},
      {"unsigned 8 bit array", "5", -1, "103", -1},
      {"unsigned 16 bit array", "5", -1, "105", -1},
      {"unsigned 32 bit array", "5", -1, "110", -1},
      {"signed 8 bit array", "7", -1, "105", -1},
      {"signed 16 bit array", "3", -1, "103", -1},
      {"signed 32 bit array", "3", -1, "106", -1},
      {"32 bit float array", "3", -1, "106", -1},
      {"string", "12", -1, "112", -1},
  };
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    for (const Row& r : rows) {
      chooseType(d.cmbDataType, r.type);
      typeInto(d.txtDataWord, "100");
      if (*r.elements) typeInto(d.txtElements, r.elements);
      if (r.bit >= 0) d.cmbBit->setCurrentIndex(r.bit);
      const QString name = d.txtItemName->text();
      clickButton(d.cmdAdd);
      EXPECT_EQ(d.txtDataWord->text(), r.nextAddress) << r.type;
      if (r.nextBit >= 0) {
        EXPECT_EQ(d.cmbBit->currentText(), QString::number(r.nextBit)) << r.type;
      }
      EXPECT_NE(d.txtItemName->text(), name);
      EXPECT_EQ(d.txtElements->text(), *r.elements ? QString(r.elements) : QString("0")) << r.type;
    }
    clickButton(d.cmdCancel);
  });
  f.trigger("mnuAddItem");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_EQ(f.window->ListView1()->rowCount(), 17);
  EXPECT_EQ(f.column(2)[8], "P2/%R100/bit10/len10");
}

TEST(ItemDialog, groupAddOfThreeSigned32BitItemsFrom100) {
  Opened f;
  f.clickKey("P2");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    typeInto(d.txtItemName, "Counter");
    chooseType(d.cmbDataType, "signed 32 bit");
    typeInto(d.txtDataWord, "100");
    clickButton(d.cmdGroup);
    EXPECT_TRUE(d.frmInserimento->isVisible());
    EXPECT_FALSE(d.frmMain->isEnabled());
    EXPECT_EQ(d.txtNumbItems->text(), "0");
    QTest::keyClicks(d.txtNumbItems, "x.3");  // the letter is discarded; the proposed 0 is replaced
    EXPECT_EQ(d.txtNumbItems->text(), ".3");
    typeInto(d.txtNumbItems, "3");
    clickButton(d.cmdOkNumber);
    EXPECT_FALSE(d.frmInserimento->isVisible());
    EXPECT_TRUE(d.frmMain->isEnabled());
    EXPECT_EQ(d.txtDataWord->text(), "106");
    clickButton(d.cmdCancel);
  });
  f.trigger("mnuAddItem");
  EXPECT_EQ(f.column(0), (QStringList{"Speed", "Counter", "New_Item_5", "New_Item_6"}));
  EXPECT_EQ(f.column(2), (QStringList{"P2/%R20", "P2/%R100", "P2/%R102", "P2/%R104"}));
}

TEST(ItemDialog, refusesDuplicateNamesInAddModeAndKeepsEveryTypedCharacterANameMayHold) {
  Opened f;
  f.clickKey("P2");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    chooseType(d.cmbDataType, "signed 16 bit");
    typeInto(d.txtDataWord, "5");
    for (const char* name : {"Temp", "temp", "P1", "plcs"}) {
      typeInto(d.txtItemName, name);
      clickButton(d.cmdOk);
    }
    EXPECT_EQ(f.prompter.takeShown(),
              std::vector<QString>(4, "Name already existing. Please use a different item name"));
    typeInto(d.txtItemName, "Line 1.a");
    EXPECT_EQ(d.txtItemName->text(), "Line 1.a");
    clickButton(d.cmdOk);
  });
  f.trigger("mnuAddItem");
  EXPECT_EQ(f.column(0), (QStringList{"Speed", "Line 1.a"}));
}

TEST(ItemDialog, modifyToATakenNameKeepsTheOldNameWithTheOtherChanges) {
  Opened f;
  f.clickKey("P1");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    EXPECT_EQ(d.cmdOk->text(), "Confirm Modify");
    EXPECT_FALSE(d.cmdAdd->isEnabled());
    EXPECT_EQ(d.cmbDataType->currentText(), "boolean");
    EXPECT_EQ(d.cmbBit->currentText(), "3");
    EXPECT_TRUE(d.cmbBit->isEnabled());
    EXPECT_EQ(d.txtDataWord->text(), "11");
    typeInto(d.txtItemName, "speed");  // an item of another PLC, in other letters
    typeInto(d.txtComment, "door closed");
    clickButton(d.cmdOk);
    EXPECT_EQ(f.prompter.takeShown(),
              (std::vector<QString>{"Name already existing. Please use a different item name"}));
  });
  f.doubleClickRow(1);
  const clsPLCItem& flag = f.window->state().colItems->Item("Flag");
  EXPECT_EQ(flag.sComment(), "door closed");
  EXPECT_EQ(flag.nBitNumber(), 3);
  EXPECT_EQ(f.window->state().colItems->Count(), 3u);
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // A free name is taken over by the tree node and the list.
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    typeInto(d.txtItemName, "Door");
    chooseType(d.cmbDataType, "string");
    typeInto(d.txtElements, "8");
    clickButton(d.cmdOk);
  });
  f.doubleClick(f.node("Flag"));
  EXPECT_EQ(f.window->TreeView1()->nodeByKey("Flag"), nullptr);
  EXPECT_EQ(f.column(2), (QStringList{"P1/%R11/len8"}));
  EXPECT_EQ(f.window->state().colItems->Item("Door").sDataType(), "string");
}
