#include "server/shell/CommStatusDialog.h"

#include <mutex>

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "server/opc/PlcTag.h"
#include "server/opc/ValueConversion.h"
#include "server/shell/DialogUnits.h"
#include "server/shell/ServerIdentity.h"
#include "server/shell/StatusText.h"
#include "server/toolkit/SODaSQuality.h"

namespace zentarc::shell {

namespace {

// What a tree item or list row carries.
constexpr int kObjectRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
enum Kind { kRootKind = 1, kPlcKind, kBlockKind };

template <class T>
T* carried(const QTreeWidgetItem* item) {
  return item ? static_cast<T*>(item->data(0, kObjectRole).value<void*>()) : nullptr;
}

int kindOf(const QTreeWidgetItem* item) { return item ? item->data(0, kKindRole).toInt() : 0; }

QTreeWidgetItem* treeItemOf(void* handle) { return static_cast<QTreeWidgetItem*>(handle); }

}  // namespace

QString blockLabel(const CyclicBlock& block) {
  // In the area's own numbering: words of a word table, bits of a bit table (read in bytes).
  const int perUnit = block.unit == plc::ge::Unit::Byte ? 8 : 1;
  return QString::asprintf("%%%s%d-LEN%d", std::string(configfile::memoryAreaName(block.area)).c_str(),
                           static_cast<int>(block.firstRegister) * perUnit + 1, static_cast<int>(block.length) * perUnit);
}

CommStatusDialog::CommStatusDialog(DeviceList& devices, QueueLock& queueLock, QWidget* parent,
                                   const plc::ErrorCatalogue* catalogue)
    : QDialog(parent), devices_(devices), queueLock_(queueLock), catalogue_(catalogue ? *catalogue : noTexts_) {
  setObjectName("CommStatusDialog");
  setWindowTitle(kCommStatusTitle);
  setModal(true);
  setFixedSize(dluX(373), dluY(255));

  auto* group = new QGroupBox("Tcp/Ip Network", this);
  group->setGeometry(dluRect(7, 7, 359, 220));

  tree_ = new QTreeWidget(this);
  tree_->setObjectName("Tree1");
  tree_->setGeometry(dluRect(12, 19, 146, 186));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setRootIsDecorated(true);
  tree_->setDragEnabled(false);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setSortingEnabled(true);
  tree_->sortByColumn(0, Qt::AscendingOrder);

  list_ = new QTreeWidget(this);
  list_->setObjectName("List1");
  list_->setGeometry(dluRect(158, 19, 204, 186));
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);

  refresh_ = new QPushButton("&Refresh", this);
  refresh_->setObjectName("Refresh");
  refresh_->setAutoDefault(false);
  refresh_->setGeometry(dluRect(316, 209, 42, 13));

  plcState_ = new QLabel(this);
  plcState_->setObjectName("PlcState");
  plcState_->setGeometry(dluRect(12, 209, 300, 13));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  ok->setDefault(true);
  ok->setGeometry(dluRect(157, 234, 50, 14));

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(refresh_, &QPushButton::clicked, this, &CommStatusDialog::refresh);
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { selectionChanged(current); });
  fill();
}

CommStatusDialog::~CommStatusDialog() {
  // The marks live in the server's objects; none may point into this dialog once it is gone.
  std::lock_guard lock(queueLock_);
  for (int r = 0; r < list_->topLevelItemCount(); ++r)
    if (PlcTag* tag = carried<PlcTag>(list_->topLevelItem(r))) tag->listRow = -1;
  devices_.lock();
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    PlcDevice* device = devices_.getIndex(i);
    device->statusTreeItem = nullptr;
    for (const auto& block : device->cyclicBlocks) block->statusTreeItem = nullptr;
  }
  devices_.unlock();
}

void CommStatusDialog::fill() {
  list_->setColumnCount(3);
  list_->setHeaderLabels({"Tag Name", "Value", "Quality"});
  list_->setColumnWidth(0, 120);
  list_->setColumnWidth(1, 82);
  list_->setColumnWidth(2, 100);
  list_->setSortingEnabled(true);
  list_->sortByColumn(0, Qt::AscendingOrder);

  const QSignalBlocker block(tree_);
  root_ = new QTreeWidgetItem(tree_, QStringList(kTreeRootText));
  root_->setData(0, kKindRole, kRootKind);
  std::lock_guard lock(queueLock_);
  devices_.lock();
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    PlcDevice* device = devices_.getIndex(i);
    auto* plcItem = new QTreeWidgetItem(root_, QStringList(QString::fromStdString(device->name)));
    plcItem->setData(0, kObjectRole, QVariant::fromValue<void*>(device));
    plcItem->setData(0, kKindRole, kPlcKind);
    device->statusTreeItem = plcItem;
    for (const auto& cyclic : device->cyclicBlocks) addBlockItem(plcItem, cyclic.get());
  }
  devices_.unlock();
  root_->setExpanded(true);
  tree_->setCurrentItem(nullptr);
}

QTreeWidgetItem* CommStatusDialog::addBlockItem(QTreeWidgetItem* plcItem, CyclicBlock* block) {
  auto* item = new QTreeWidgetItem(plcItem, QStringList(blockLabel(*block)));
  item->setData(0, kObjectRole, QVariant::fromValue<void*>(block));
  item->setData(0, kKindRole, kBlockKind);
  block->statusTreeItem = item;
  return item;
}

bool CommStatusDialog::holds(QTreeWidgetItem* plcItem, QTreeWidgetItem* blockItem) const {
  PlcDevice* device = carried<PlcDevice>(plcItem);
  CyclicBlock* block = carried<CyclicBlock>(blockItem);
  // A block made at the address of one that is gone is a new block: it has no item yet.
  return device && block && device->HasCyclicBlock(block) && block->statusTreeItem == blockItem;
}

void CommStatusDialog::deleteItem(QTreeWidgetItem* item) {
  const QSignalBlocker block(tree_);
  if (item == selected_.item) selected_ = {};
  if (tree_->currentItem() == item) tree_->setCurrentItem(nullptr);
  delete item;
}

void CommStatusDialog::selectionChanged(QTreeWidgetItem* current) {
  selected_ = {current, nullptr};
  clearList();
  showPlcState();
  if (!current || kindOf(current) != kBlockKind) return;
  std::lock_guard lock(queueLock_);
  if (!holds(current->parent(), current)) {
    deleteItem(current);
    return;
  }
  CyclicBlock* block = carried<CyclicBlock>(current);
  selected_.block = block;
  for (const auto& tag : block->tags) addRow(tag.get());
  numberRows();
  refreshTree();
  refreshList(false);
}

void CommStatusDialog::refresh() {
  std::lock_guard lock(queueLock_);
  bool clearing = false;
  if (selected_.item && kindOf(selected_.item) == kBlockKind) {
    if (!holds(selected_.item->parent(), selected_.item)) deleteItem(selected_.item);
  } else {
    selected_ = {};
    clearing = true;
  }
  refreshTree();
  refreshList(clearing);
  showPlcState();
}

void CommStatusDialog::showPlcState() {
  QTreeWidgetItem* item = tree_->currentItem();
  if (item && kindOf(item) == kBlockKind) item = item->parent();
  PlcDevice* device = item && kindOf(item) == kPlcKind ? carried<PlcDevice>(item) : nullptr;
  plcState_->setText(device ? QString::fromStdString(plcStateLine(*device, catalogue_)) : QString());
}

void CommStatusDialog::refreshTree() {
  devices_.lock();
  for (std::size_t i = 0; i < devices_.getCount(); ++i) {
    PlcDevice* device = devices_.getIndex(i);
    QTreeWidgetItem* plcItem = treeItemOf(device->statusTreeItem);
    if (!plcItem) continue;
    plcItem->setToolTip(0, QString::fromStdString(plcStateLine(*device, catalogue_)));
    for (int c = plcItem->childCount() - 1; c >= 0; --c) {
      QTreeWidgetItem* child = plcItem->child(c);
      if (holds(plcItem, child)) child->setText(0, blockLabel(*carried<CyclicBlock>(child)));
      else deleteItem(child);
    }
    for (const auto& cyclic : device->cyclicBlocks)
      if (!cyclic->statusTreeItem) addBlockItem(plcItem, cyclic.get());
  }
  devices_.unlock();
}

void CommStatusDialog::refreshList(bool clearing) {
  if (!selected_.item || !selected_.block) {
    if (clearing) clearList();
    return;
  }
  CyclicBlock& block = *selected_.block;
  for (int r = 0; r < list_->topLevelItemCount();) {
    QTreeWidgetItem* row = list_->topLevelItem(r);
    PlcTag* tag = carried<PlcTag>(row);
    if (tag && block.hasTag(tag)) {
      setRowValues(row, *tag);
      ++r;
    } else {
      if (tag) tag->listRow = -1;
      delete row;
    }
  }
  for (const auto& tag : block.tags)
    if (tag->listRow == -1) addRow(tag.get());
  numberRows();
}

void CommStatusDialog::addRow(PlcTag* tag) {
  auto* row = new QTreeWidgetItem(QStringList(QString::fromStdString(tag->getName())));
  row->setData(0, kObjectRole, QVariant::fromValue<void*>(tag));
  setRowValues(row, *tag);
  list_->addTopLevelItem(row);
  tag->listRow = list_->indexOfTopLevelItem(row);
}

void CommStatusDialog::setRowValues(QTreeWidgetItem* row, PlcTag& tag) {
  SOCmnPointer<SODaSCache> cache = tag.getCache();
  row->setText(1, QString::fromStdString(formatValue(tag, cache->getValue())));
  row->setText(2, QString::fromStdString(quality2string(cache->getQuality()).str()));
}

void CommStatusDialog::clearList() {
  std::lock_guard lock(queueLock_);
  for (int r = 0; r < list_->topLevelItemCount(); ++r)
    if (PlcTag* tag = carried<PlcTag>(list_->topLevelItem(r))) tag->listRow = -1;
  list_->clear();
}

void CommStatusDialog::numberRows() {
  // Rows move as the list sorts itself; keep each tag's row index current.
  for (int r = 0; r < list_->topLevelItemCount(); ++r)
    if (PlcTag* tag = carried<PlcTag>(list_->topLevelItem(r))) tag->listRow = r;
}

}  // namespace zentarc::shell
