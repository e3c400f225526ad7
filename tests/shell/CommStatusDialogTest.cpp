// The dialog against the PLC workers and simulated PLCs: its tree of PLCs and blocks, the
// list of a block's tags, the chosen PLC's state, and Refresh as blocks come and go.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTreeWidget>

#include "server/shell/CommStatusDialog.h"
#include "server/shell/ServerIdentity.h"
#include "tests/integration/PollingHarness.h"

using namespace zentarc;
using namespace zentarc::shell;
using testsupport::plcXml;
using testsupport::tagXml;

// Readable failures.
void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QStringList children(const QTreeWidgetItem* item) {
  QStringList out;
  for (int i = 0; i < item->childCount(); ++i) out << item->child(i)->text(0);
  return out;
}

QStringList column(const QTreeWidget* list, int c) {
  QStringList out;
  for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(c);
  return out;
}

QTreeWidgetItem* child(QTreeWidgetItem* item, const QString& text) {
  for (int i = 0; i < item->childCount(); ++i)
    if (item->child(i)->text(0) == text) return item->child(i);
  return nullptr;
}

}  // namespace

TEST(CommStatusDialog, treeOfPlcsAndBlocksAndTheTagsOfAChosenBlock) {
  testsupport::PollingHarness h;
  auto& oven = h.simulate("127.0.6.20");
  h.simulate("127.0.6.21");
  ASSERT_TRUE(h.load(plcXml("Oven", "127.0.6.20",
                            tagXml("Zeta", "VT_I2", 1) + tagXml("Alpha", "VT_BSTR", 3, 4) +
                                tagXml("Flag", "VT_BOOL", 6, 0, 2) + tagXml("Series", "VT_I2 ARRAY", 8, 3)) +
                     plcXml("Press", "127.0.6.21", tagXml("Idle", "VT_I2", 1))));
  oven.setRegisters(0, {7, 0, 0x4241, 0x4443, 0, 4, 0, 1, 2, 3});
  h.start();
  auto group = h.group("g", 100);
  std::vector<SOCmnPointer<SODaSItem>> items;
  for (const char* name : {"Zeta", "Alpha", "Flag", "Series"}) items.push_back(h.activate(*group, name));
  for (const char* name : {"Zeta", "Alpha", "Flag", "Series"}) ASSERT_TRUE(h.waitForQuality(name, 0xC0)) << name;

  CommStatusDialog dialog(h.devices, h.queues->queueLock);
  EXPECT_EQ(dialog.windowTitle(), "Communication Status");
  QTreeWidgetItem* root = dialog.rootItem();
  EXPECT_EQ(root->text(0), "PLCs Network");
  EXPECT_TRUE(root->isExpanded());
  EXPECT_EQ(children(root), (QStringList{"Oven", "Press"}));
  // The array is a block of its own: nothing joins a block that holds an array.
  EXPECT_EQ(children(child(root, "Oven")), (QStringList{"%R1-LEN6", "%R8-LEN3"}));
  EXPECT_TRUE(children(child(root, "Press")).isEmpty());
  QTreeWidget* list = dialog.list();
  EXPECT_EQ(list->headerItem()->text(0), "Tag Name");
  EXPECT_EQ(list->headerItem()->text(1), "Value");
  EXPECT_EQ(list->headerItem()->text(2), "Quality");
  EXPECT_EQ(list->topLevelItemCount(), 0);

  dialog.tree()->setCurrentItem(child(child(root, "Oven"), "%R1-LEN6"));
  ASSERT_EQ(column(list, 0), (QStringList{"Alpha", "Flag", "Zeta"}));
  EXPECT_EQ(column(list, 1), (QStringList{"ABCD", "TRUE", "7"}));
  EXPECT_EQ(column(list, 2), (QStringList{"GOOD", "GOOD", "GOOD"}));
  {
    std::lock_guard lock(h.queues->queueLock);
    EXPECT_EQ(h.tag("Alpha")->listRow, 0);
    EXPECT_EQ(h.tag("Zeta")->listRow, 2);
    EXPECT_EQ(h.tag("Series")->listRow, -1);
  }

  // Values change on screen only with Refresh.
  oven.setRegister(0, 8);
  ASSERT_TRUE(testsupport::waitUntil([&] { return h.tag("Zeta")->getCache()->getValue().iVal() == 8; }));
  EXPECT_EQ(column(list, 1)[2], "7");
  dialog.refresh();
  EXPECT_EQ(column(list, 1)[2], "8");

  dialog.tree()->setCurrentItem(child(child(root, "Oven"), "%R8-LEN3"));
  EXPECT_EQ(column(list, 0), QStringList{"Series"});
  EXPECT_EQ(column(list, 1), QStringList{"[..]"});

  dialog.tree()->setCurrentItem(child(root, "Oven"));  // a PLC shows nothing
  EXPECT_EQ(list->topLevelItemCount(), 0);
  std::lock_guard lock(h.queues->queueLock);
  EXPECT_EQ(h.tag("Zeta")->listRow, -1);
}

TEST(CommStatusDialog, refreshDropsVanishedBlocksAndPlacesNewOnesByLabel) {
  testsupport::PollingHarness h;
  h.simulate("127.0.6.22");
  ASSERT_TRUE(h.load(plcXml("Line", "127.0.6.22", tagXml("Near", "VT_I4", 11) + tagXml("Far", "VT_I2 ARRAY", 101, 5))));
  h.start();
  auto group = h.group("g", 100);
  auto near = h.activate(*group, "Near");
  ASSERT_TRUE(testsupport::waitUntil([&] { return h.blockCount(0) == 1; }));

  CommStatusDialog dialog(h.devices, h.queues->queueLock);
  QTreeWidgetItem* line = child(dialog.rootItem(), "Line");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(children(line), QStringList{"%R11-LEN2"});
  dialog.tree()->setCurrentItem(child(line, "%R11-LEN2"));
  EXPECT_EQ(column(dialog.list(), 0), QStringList{"Near"});

  auto far = h.activate(*group, "Far");
  ASSERT_TRUE(testsupport::waitUntil([&] { return h.blockCount(0) == 2; }));
  dialog.refresh();
  EXPECT_EQ(children(line), (QStringList{"%R101-LEN5", "%R11-LEN2"}));
  EXPECT_EQ(column(dialog.list(), 0), QStringList{"Near"});  // the chosen block stays listed

  group->removeItem(near.get());
  ASSERT_TRUE(testsupport::waitUntil([&] { return h.blockCount(0) == 1; }));
  dialog.refresh();
  EXPECT_EQ(children(line), QStringList{"%R101-LEN5"});
  dialog.tree()->setCurrentItem(child(line, "%R101-LEN5"));
  EXPECT_EQ(column(dialog.list(), 0), QStringList{"Far"});
  EXPECT_EQ(column(dialog.list(), 1), QStringList{"[..]"});
}

TEST(CommStatusDialog, labelIsTheFirstRegisterAndTheLength) {
  CyclicBlock block(0, 64, 100, 0);
  EXPECT_EQ(blockLabel(block), "%R1-LEN64");
  CyclicBlock inputs(2, 3, 100, 0);  // bytes 2 to 4 of %I
  inputs.area = configfile::MemoryArea::I;
  inputs.unit = plc::ge::Unit::Byte;
  EXPECT_EQ(blockLabel(inputs), "%I17-LEN24");
  inputs.area = configfile::MemoryArea::AQ;
  inputs.unit = plc::ge::Unit::Word;
  EXPECT_EQ(blockLabel(inputs), "%AQ3-LEN3");
}

TEST(CommStatusDialog, theChosenPlcsStateSaysWhetherItWorksOrWhenItIsTriedNext) {
  testsupport::PollingHarness h;
  h.simulate("127.0.6.50");
  // Nothing listens on 127.0.6.51: every connect is refused.
  ASSERT_TRUE(h.load(plcXml("Oven", "127.0.6.50", tagXml("A", "VT_I2", 1)) +
                     plcXml("Press", "127.0.6.51", tagXml("B", "VT_I2", 1))));
  h.start();
  auto group = h.group("g", 100);
  auto a = h.activate(*group, "A");
  auto b = h.activate(*group, "B");
  ASSERT_TRUE(h.waitForQuality("A", 0xC0));
  ASSERT_TRUE(testsupport::waitUntil([&] { return h.devices.getIndex(1)->status().state == PlcState::Demoted; }));

  plc::ErrorCatalogue catalogue;
  catalogue.LoadBytes("0020 Connection refused by the PLC\r\nFFFF end\r\n");
  CommStatusDialog dialog(h.devices, h.queues->queueLock, nullptr, &catalogue);
  EXPECT_TRUE(dialog.plcState()->text().isEmpty());
  dialog.tree()->setCurrentItem(child(dialog.rootItem(), "Oven"));
  EXPECT_EQ(dialog.plcState()->text(), "Oven: working; CPU run, outputs enabled");
  // A block stands for its PLC.
  dialog.tree()->setCurrentItem(child(dialog.rootItem(), "Press")->child(0));
  EXPECT_TRUE(dialog.plcState()->text().startsWith("Press: not reachable, next try at "));
  EXPECT_TRUE(dialog.plcState()->text().endsWith("; last: Connection refused by the PLC (code 32)"));
}
