#pragma once
// The modal "Communication Status" dialog: a tree of the PLCs and their cyclic poll
// blocks, and for the chosen block a list of its tags with value and quality. It shows a
// snapshot taken when it fills or refreshes; every read of devices, blocks and tags holds
// queueLock, under which the polling thread makes and drops blocks.
#include <QDialog>

#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"

class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace zentarc::shell {

// "%R<start+1>-LEN<length>"
QString blockLabel(const CyclicBlock& block);

class CommStatusDialog : public QDialog {
 public:
  CommStatusDialog(DeviceList& devices, QueueLock& queueLock, QWidget* parent = nullptr);
  ~CommStatusDialog() override;

  QTreeWidget* tree() const { return tree_; }
  QTreeWidget* list() const { return list_; }
  QTreeWidgetItem* rootItem() const { return root_; }
  // The "&Refresh" command.
  void refresh();

 private:
  struct Selection {
    QTreeWidgetItem* item = nullptr;  // null: no usable selection
    CyclicBlock* block = nullptr;     // set when the item stands for a block
  };

  void fill();
  void selectionChanged(QTreeWidgetItem* current);
  // With queueLock held:
  bool holds(QTreeWidgetItem* plcItem, QTreeWidgetItem* blockItem) const;
  void deleteItem(QTreeWidgetItem* item);
  QTreeWidgetItem* addBlockItem(QTreeWidgetItem* plcItem, CyclicBlock* block);
  void refreshTree();
  void refreshList(bool clearing);
  void addRow(PlcTag* tag);
  void setRowValues(QTreeWidgetItem* row, PlcTag& tag);
  void clearList();
  void numberRows();

  DeviceList& devices_;
  QueueLock& queueLock_;
  QTreeWidget* tree_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QTreeWidgetItem* root_ = nullptr;
  Selection selected_;
};

}  // namespace zentarc::shell
