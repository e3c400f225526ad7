#pragma once
// The modal "Communication Status" dialog: a tree of the PLCs and their cyclic poll
// blocks, for the chosen block a list of its tags with value and quality, and below them
// the state of the chosen PLC (working, failing, or not reachable and when it is tried
// next). It shows a snapshot taken when it fills or refreshes; every read of devices,
// blocks and tags holds queueLock, under which the PLC workers make and drop blocks.
#include <QDialog>

#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/ErrorCatalogue.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace zentarc::shell {

// "%R<start+1>-LEN<length>"
QString blockLabel(const CyclicBlock& block);

class CommStatusDialog : public QDialog {
 public:
  // catalogue: the texts of result codes (null: codes only).
  CommStatusDialog(DeviceList& devices, QueueLock& queueLock, QWidget* parent = nullptr,
                   const plc::ErrorCatalogue* catalogue = nullptr);
  ~CommStatusDialog() override;

  QTreeWidget* tree() const { return tree_; }
  QTreeWidget* list() const { return list_; }
  QTreeWidgetItem* rootItem() const { return root_; }
  QLabel* plcState() const { return plcState_; }
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
  // The state line of the chosen PLC (or of the chosen block's PLC); empty for the root.
  void showPlcState();

  DeviceList& devices_;
  QueueLock& queueLock_;
  QTreeWidget* tree_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QLabel* plcState_ = nullptr;
  plc::ErrorCatalogue noTexts_;
  const plc::ErrorCatalogue& catalogue_;
  QTreeWidgetItem* root_ = nullptr;
  Selection selected_;
};

}  // namespace zentarc::shell
