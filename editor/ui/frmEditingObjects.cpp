// Commands of the main window that open the PLC, item, find and About windows.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "editor/document/ConvertDataType.h"
#include "editor/document/EditorError.h"
#include "editor/document/ItemRules.h"
#include "editor/document/Numbers.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmAbout.h"
#include "editor/ui/frmEditing.h"
#include "editor/ui/frmFind.h"
#include "editor/ui/frmItems.h"
#include "editor/ui/frmPLC.h"

namespace zentarc::editor {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void frmEditing::mnuAddPLC_Click() {
  trapped([&] {
    QTreeWidgetItem* selected = tree_->selectedNode();
    if (ConfigTree::tag(selected) != "plcs") return;
    state_.bPLCChanged = false;
    frmPLC dialog(*this);
    dialog.txtPLCName->setText("New_PLC_" + QString::number(state_.nNextPLC));
    state_.bPLCEditMode = false;
    dialog.mnPrevUI = "255";
    dialog.msPrevPLCName.clear();
    if (onDialogCreated) onDialogCreated(dialog);
    prompter_.runModal(dialog);
    if (!state_.bPLCChanged) return;
    const clsPLC& plc = state_.colPLC->last();
    QTreeWidgetItem* node = tree_->addNode(selected, q(plc.getName()), q(plc.getName()), "plc", "plc");
    selected->setExpanded(true);
    tree_->selectNode(node);
    tree_->scrollToItem(node);
    state_.bCfgSaved = false;
    state_.nNextPLC = toInt16(state_.nNextPLC + 1.0);
    TreeView1_NodeClick(node->parent());
  });
}

void frmEditing::modifyPLC() {
  QTreeWidgetItem* node = tree_->selectedNode();
  state_.bPLCChanged = false;
  state_.bPLCEditMode = true;
  frmPLC dialog(*this);
  const QString key = ConfigTree::key(node);
  dialog.txtPLCName->setText(key);
  dialog.txtUI->setText(q(state_.colPLC->Item(key.toStdString()).getUI()));
  dialog.msPrevPLCName = key;
  dialog.mnPrevUI = dialog.txtUI->text();
  if (onDialogCreated) onDialogCreated(dialog);
  prompter_.runModal(dialog);
  if (!state_.bPLCChanged) return;
  QTreeWidgetItem* selected = tree_->selectedNode();
  const QString newKey = ConfigTree::key(selected);
  TreeView1_NodeClick(selected->parent());
  const int row = list_->rowOfKey(newKey);
  if (row >= 0) {
    list_->selectRow(row);
    list_->ensureVisible(row);
  }
  if (QTreeWidgetItem* n = tree_->nodeByKey(newKey)) {
    tree_->selectNode(n);
    tree_->scrollToItem(n);
  }
  state_.bCfgSaved = false;
}

void frmEditing::mnuAddItem_Click() {
  trapped([&] {
    QTreeWidgetItem* selected = tree_->selectedNode();
    if (ConfigTree::tag(selected) != "plc") return;  // the menu is enabled only for a PLC
    frmItems dialog(*this);
    dialog.txtItemName->setText("New_Item_" + QString::number(state_.nNextItem));
    dialog.txtPLCName->setText(ConfigTree::key(selected));
    frmItems::setComboText(dialog.cmbAccessRight, "READWRITE");
    dialog.cmdOk->setText("Add and Exit");
    dialog.cmdAdd->setEnabled(true);
    dialog.cmdGroup->setEnabled(true);
    if (onDialogCreated) onDialogCreated(dialog);
    prompter_.runModal(dialog);
    TreeView1_NodeClick(tree_->selectedNode());
  });
}

void frmEditing::modifyItem() {
  QTreeWidgetItem* node = tree_->selectedNode();
  state_.bItemEditMode = true;
  frmItems dialog(*this);
  const QString key = ConfigTree::key(node);
  const clsPLCItem& item = state_.colItems->Item(key.toStdString());
  dialog.txtItemName->setText(key);
  dialog.msPrevName = key;
  dialog.txtComment->setText(q(item.sComment()));
  dialog.txtPLCName->setText(q(item.sPLCName()));
  // The area, then the type: choosing a type resets the bit and the element count, and the
  // bit field follows both.
  frmItems::setComboText(dialog.cmbMemory, q(std::string(configfile::memoryAreaName(memoryAreaOf(item)))));
  frmItems::setComboText(dialog.cmbDataType, q(item.sDataType()));
  dialog.cmbDataType_Click();
  dialog.txtDataWord->setText(QString::number(item.nDataWord()));
  if (usesBitNumber(item)) {
    dialog.cmbBit->setEnabled(true);
    frmItems::setComboText(dialog.cmbBit, QString::number(item.nBitNumber()));
  }
  if (hasElements(item.sDataType())) {
    dialog.txtElements->setEnabled(true);
    dialog.txtElements->setText(QString::number(item.nElements()));
  }
  frmItems::setComboText(dialog.cmbAccessRight, q(item.sAccessRight()));
  dialog.cmdOk->setText("Confirm Modify");
  dialog.cmdAdd->setEnabled(false);
  dialog.cmdGroup->setEnabled(false);
  if (onDialogCreated) onDialogCreated(dialog);
  prompter_.runModal(dialog);
  TreeView1_NodeClick(tree_->selectedNode());
  if (state_.bItemEditMode) state_.bCfgSaved = false;
}

frmFind* frmEditing::findWindow() const { return find_; }

void frmEditing::mnuFind_Click() {
  if (!find_ || !state_.bFindOpen) {
    if (find_) find_->deleteLater();  // closed earlier: a new window starts afresh
    find_ = new frmFind(*this);
    if (onDialogCreated) onDialogCreated(*find_);
  }
  find_->show();
  find_->raise();
  find_->activateWindow();
}

// F3: the next match of the text in the find window; without one, the find window opens.
void frmEditing::mnuFindNext_Click() {
  if (find_ && state_.bFindOpen && !find_->txtFind->text().isEmpty()) {
    find_->cmdNext_Click();
    return;
  }
  mnuFind_Click();
}

frmAbout* frmEditing::aboutWindow() const { return about_; }

void frmEditing::mnuAbout_Click() {
  // One About window: a second click brings the open one forward.
  if (!about_) {
    about_ = new frmAbout(this);
    if (onDialogCreated) onDialogCreated(*about_);
  }
  about_->show();
  about_->raise();
  about_->activateWindow();
}

}  // namespace zentarc::editor
