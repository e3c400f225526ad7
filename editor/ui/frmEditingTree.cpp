// Reactions of the main window to the tree and the list: filling the list for a node,
// label edits, double clicks, list clicks and sorting.
#include <QApplication>

#include "editor/document/ConvertDataType.h"
#include "editor/document/EditorError.h"
#include "editor/document/ItemRules.h"
#include "editor/document/ItemText.h"
#include "editor/document/KeySpace.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmEditing.h"

namespace zentarc::editor {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void frmEditing::fillItemRow(int row, const clsPLCItem& item, bool withSortKey) {
  list_->setSubItem(row, 1, q(item.sComment()));
  list_->setSubItem(row, 2, q(addressText(item)));
  list_->setSubItem(row, 3, q(item.sDataType()));
  list_->setSubItem(row, 4, q(item.sAccessRight()));
  if (withSortKey) list_->setSubItem(row, 5, q(addressSortKey(item)));
}

void frmEditing::TreeView1_NodeClick(QTreeWidgetItem* node) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  trapped([&] {
    setBulkEntries(false);
    if (!node) throw EditorError(ErrorNumber::ObjectNotSet, "Nothing is selected. Select a PLC or an item in the tree.");
    const QString tag = ConfigTree::tag(node);
    auto itemRow = [&](const QString& name, bool withSortKey) {
      const clsPLCItem& item = state_.colItems->Item(name.toStdString());
      const int row = list_->addRow(name, name, q(baseTypeName(item.sDataType())), "item");
      list_->setCaption(row, q(item.sDataType()));
      fillItemRow(row, item, withSortKey);
      return row;
    };
    if (tag == "plcs") {
      list_->clearAll();
      list_->addColumn("PLC Name", 0.5);
      list_->addColumn("PLC IP Address", 0.5);
      list_->setViewMode(ItemList::ViewMode::Report);
      for (int i = 0; i < node->childCount(); ++i) {
        const QString name = node->child(i)->text(0);
        const int row = list_->addRow(name, name, "plc", "plc");
        const QString address = q(state_.colPLC->Item(name.toStdString()).getUI());
        list_->setSubItem(row, 1, address);
        list_->setCaption(row, address);
      }
      list_->setColumnSet("plcs");
      list_->sortNow();
    } else if (tag == "plc") {
      setBulkEntries(true);
      list_->clearAll();
      list_->addColumn("Item Name", 0.22);
      list_->addColumn("Comment", 0.2);
      list_->addColumn("Address", 0.27);
      list_->addColumn("Datatype", 0.2);
      list_->addColumn("Access Rights", ItemList::kDefaultWidth);
      list_->setViewMode(ItemList::ViewMode::Report);
      if (node->childCount() > 0) {
        // The sort column exists only while the PLC has items.
        list_->addColumn("Address 2", ItemList::kDefaultWidth);
        for (int i = 0; i < node->childCount(); ++i) itemRow(node->child(i)->text(0), true);
      }
      list_->setColumnSet("plc");
      list_->sortNow();
    } else if (tag == "item") {
      list_->clearAll();
      list_->addColumn("Item Name", 0.4);
      list_->addColumn("Comment", 0.2);
      list_->addColumn("Address", 0.2);
      list_->addColumn("Datatype", 0.2);
      list_->addColumn("Access Rights", ItemList::kDefaultWidth);
      list_->setViewMode(ItemList::ViewMode::Report);
      itemRow(node->text(0), false);
      list_->setColumnSet("item");
      list_->sortNow();
    }
    const QString selectedTag = ConfigTree::tag(tree_->selectedNode());
    if (selectedTag == "config")
      EnMenuButt(true, true, false, false, false, false, false, false, false, true);
    else if (selectedTag == "plcs")
      EnMenuButt(true, true, true, false, false, false, true, false, true, true);
    else if (selectedTag == "plc")
      EnMenuButt(true, true, false, true, true, true, true, true, true, true);
    else if (selectedTag == "item")
      EnMenuButt(true, true, false, false, true, true, false, true, true, true);
  });
  QApplication::restoreOverrideCursor();
}

void frmEditing::TreeView1_AfterLabelEdit(bool& cancel, const QString& newString) {
  trapped([&] {
    QTreeWidgetItem* node = tree_->selectedNode();
    const QString tag = ConfigTree::tag(node);
    if (!state_.colPLC || !state_.colItems) {
      cancel = true;
      return;
    }
    const std::string newName = newString.toStdString();
    // An edit that ends with the name it started with (F2 then Enter, a click on the
    // selected node) changes nothing and is not a duplicate.
    const bool named = tag == "plc" || tag == "item";
    if (named && newString == ConfigTree::key(node)) {
      cancel = true;
      return;
    }
    if (named) {
      if (const auto fault = nameFault(newName); fault != configfile::NameFault::None) {
        ask(QString::fromStdString(invalidNameMessage(tag == "plc" ? "PLC" : "Item", fault)), Buttons::Ok);
        cancel = true;
        return;
      }
    }
    if (tag == "config") {
      cancel = true;
    } else if (tag == "plc") {
      const std::string oldName = ConfigTree::key(node).toStdString();
      // Refused before anything changes: a taken name, also one that differs only in
      // letter case or belongs to an item.
      if (plcNameExists(state_, newName) || isTreeKeyTaken(state_, newName, oldName)) {
        ask("PLC Name already existing", Buttons::Ok);
        cancel = true;
        return;
      }
      for (clsPLCItem& i : *state_.colItems)
        if (i.sPLCName() == oldName) i.sPLCName(newName);
      auto plc = state_.colPLC->shared(oldName);
      plc->setName(newName);
      state_.colPLC->Remove(oldName);
      state_.colPLC->Add(plc, newName);
      tree_->setKeyAndText(node, newString);
      TreeView1_NodeClick(node);
      state_.bCfgSaved = false;
    } else if (tag == "item") {
      const std::string oldName = ConfigTree::key(node).toStdString();
      if (itemNameExists(state_, newName) || isTreeKeyTaken(state_, newName, oldName)) {
        ask("Name already existing", Buttons::Ok);
        cancel = true;
        return;
      }
      auto item = state_.colItems->shared(oldName);
      item->sName(newName);
      state_.colItems->Remove(oldName);
      state_.colItems->Add(item, newName);
      tree_->setKeyAndText(node, newString);
      TreeView1_NodeClick(node);
      state_.bCfgSaved = false;
    } else if (node) {
      node->setText(0, newString);  // a new display text only; the key stays
    }
  });
}

void frmEditing::TreeView1_DblClick() {
  trapped([&] {
    const QString tag = ConfigTree::tag(tree_->selectedNode());
    if (tag == "plc") run("modifyPLC");
    else if (tag == "item") run("modifyItem");
  });
}

void frmEditing::ListView1_Click() {
  trapped([&] {
    const int row = list_->currentRow();
    if (row < 0) return;
    if (QTreeWidgetItem* node = tree_->nodeByKey(list_->rowKey(row))) tree_->selectNode(node);
  });
}

void frmEditing::ListView1_DblClick() {
  if (!trapped([&] {
        const int row = list_->currentRow();
        if (row < 0) return;
        if (QTreeWidgetItem* node = tree_->nodeByKey(list_->rowKey(row))) tree_->selectNode(node);
      }))
    return;
  TreeView1_DblClick();
}

void frmEditing::ListView1_ColumnClick(int column) {
  trapped([&] {
    list_->setSortKey(column);
    list_->setSorted(true);
    list_->sortNow();
  });
}

}  // namespace zentarc::editor
