// The item dialog's Memory field, used as a plant engineer would: inputs, outputs and system
// bits next to the registers, saved, opened again, copied.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmItems.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

struct AreaPlant : EditorFixture {
  std::filesystem::path path;
  AreaPlant() {
    path = dir.write("areas.xml", configFile(plcLines("Line1", "10.0.0.1", tagLines("Pump", "", "VT_I2", 10))));
    open(QString::fromStdString(path.string()));
  }
};

QStringList entries(QComboBox* combo) {
  QStringList texts;
  for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  return texts;
}

}  // namespace

TEST(MemoryAreaDialog, itemsInBitAreasAreCheckedSteppedSavedAndOpenedAgain) {
  AreaPlant f;
  f.clickKey("Line1");
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    EXPECT_EQ(entries(d.cmbMemory), (QStringList{"R", "AI", "AQ", "I", "Q", "M", "T", "G", "S", "SA", "SB", "SC"}));
    EXPECT_EQ(d.cmbMemory->currentText(), "R");
    EXPECT_EQ(d.lblDataWord->text(), "Address (%R word)");
    typeInto(d.txtItemName, "Start_PB");
    chooseType(d.cmbDataType, "boolean");
    EXPECT_TRUE(d.cmbBit->isEnabled());
    chooseType(d.cmbMemory, "I");
    EXPECT_EQ(d.lblDataWord->text(), "Address (%I bit)");
    EXPECT_FALSE(d.cmbBit->isEnabled());  // the address names the bit
    typeInto(d.txtDataWord, "17");
    clickButton(d.cmdAdd);
    EXPECT_EQ(d.txtDataWord->text(), "18");  // the next bit
    chooseType(d.cmbDataType, "signed 16 bit");
    clickButton(d.cmdAdd);  // %I18 is not the first bit of a byte
    typeInto(d.txtDataWord, "25");
    clickButton(d.cmdAdd);
    EXPECT_EQ(d.txtDataWord->text(), "41");  // two bytes on
    chooseType(d.cmbMemory, "SA");
    EXPECT_EQ(d.cmbAccessRight->currentText(), "READ");
    chooseType(d.cmbAccessRight, "READWRITE");
    clickButton(d.cmdAdd);
    chooseType(d.cmbAccessRight, "READ");
    typeInto(d.txtItemName, "Sys_Word");
    clickButton(d.cmdOk);
  });
  f.trigger("mnuAddItem");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{
                "Invalid Address value: in a bit area this type starts on a byte (address 1, 9, 17, ...)",
                "Invalid Access Right: the system status bits (%S, %SA, %SB, %SC) are read-only; choose READ"}));
  EXPECT_EQ(f.column(0), (QStringList{"Pump", "Start_PB", "New_Item_3", "Sys_Word"}));
  EXPECT_EQ(f.column(2), (QStringList{"Line1/%R10", "Line1/%I17", "Line1/%I25", "Line1/%SA41"}));

  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuSaveCfg");
  const std::string saved = TempDir::read(f.path);
  EXPECT_NE(saved.find("<databit>0</databit>\r\n                    <memory>I</memory>\r\n"
                       "                    <address>17</address>"),
            std::string::npos);
  EXPECT_EQ(saved.find("<memory>R</memory>"), std::string::npos);
  f.open(QString::fromStdString(f.path.string()));
  f.clickKey("Line1");
  EXPECT_EQ(f.column(2), (QStringList{"Line1/%R10", "Line1/%I17", "Line1/%I25", "Line1/%SA41"}));
  // The modify dialog shows the area; the bit stays off for it.
  onNextDialog<frmItems>(f.prompter, [&](frmItems& d) {
    EXPECT_EQ(d.cmbMemory->currentText(), "I");
    EXPECT_EQ(d.cmbDataType->currentText(), "boolean");
    EXPECT_FALSE(d.cmbBit->isEnabled());
    EXPECT_EQ(d.txtDataWord->text(), "17");
    clickButton(d.cmdCancel);
  });
  f.doubleClick(f.node("Start_PB"));
  // Copy and paste keep the area.
  f.clickKey("Start_PB");
  f.trigger("mnuCopy");
  f.clickKey("Line1");
  f.trigger("mnuPaste");
  EXPECT_EQ(f.column(2).last(), "Line1/%I17");
  EXPECT_EQ(f.window->state().colItems->Item("Start_PB_1").sMemory(), "I");
}
