// Copy, cut, paste and delete of PLCs and items (an internal clipboard), and the bulk
// rename and comment commands fed from the system clipboard.
#include <set>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>

#include "editor/document/ClipboardText.h"
#include "editor/document/DuplicatePlc.h"
#include "editor/document/EditorError.h"
#include "editor/document/ItemRules.h"
#include "editor/document/KeySpace.h"
#include "editor/document/Numbers.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmDuplicatePLC.h"
#include "editor/ui/frmEditing.h"
#include "editor/ui/frmReplace.h"

namespace zentarc::editor {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

bool startsWith(const QString& text, const char* prefix) { return text.startsWith(prefix, Qt::CaseSensitive); }

}  // namespace

// Copies the selected PLC or item into the internal clipboard. False when refused.
bool frmEditing::copySelected() {
  QTreeWidgetItem* node = tree_->selectedNode();
  const QString tag = ConfigTree::tag(node);
  const QString key = ConfigTree::key(node);
  if (tag == "plc") {
    if (startsWith(key, "New_PLC") || startsWith(key, "Copied_PLC")) {
      ask("Please change PLC name (do not use default name)before copying", Buttons::Ok);
      return false;
    }
    state_.objCopiedPLC = state_.colPLC->Item(key.toStdString());
    if (cut_.plc) cut_ = CutRecord{};  // no longer held
  } else if (tag == "item") {
    if (startsWith(key, "New_Item") || startsWith(key, "Copied_Item")) {
      ask("Please change Item name (do not use default name) before copying", Buttons::Ok);
      return false;
    }
    state_.objCopiedItem = state_.colItems->Item(key.toStdString());
    if (cut_.held && !cut_.plc) cut_ = CutRecord{};
  }
  return true;
}

void frmEditing::mnuCopy_Click() {
  trapped([&] { copySelected(); });
}

void frmEditing::mnuCut_Click() {
  bool copied = false;
  trapped([&] { copied = copySelected(); });
  if (copied) deleteSelected(true);
}

void frmEditing::mnuDelete_Click() { deleteSelected(false); }

// A cut keeps what it removed until its paste succeeds, so that a paste that cannot be
// done puts it back instead of losing it.
void frmEditing::deleteSelected(bool cut) {
  trapped([&] {
    QTreeWidgetItem* node = tree_->selectedNode();
    const QString tag = ConfigTree::tag(node);
    if (tag == "plc") {
      if (ask("Are you sure you want to delete " + node->text(0) + " and all its items?", Buttons::YesNo) ==
          Answer::Yes) {
        const std::string key = ConfigTree::key(node).toStdString();
        if (cut) {
          cut_ = CutRecord{true, true, {}, node->parent()->indexOfChild(node), state_.colPLC->Item(key), {}};
          for (int i = 0; i < node->childCount(); ++i)
            cut_.items.push_back(state_.colItems->Item(ConfigTree::key(node->child(i)).toStdString()));
        }
        std::vector<std::string> doomed;
        for (auto it = state_.colItems->begin(); it != state_.colItems->end(); ++it)
          if (it->sPLCName() == key) doomed.push_back(it.key());
        for (const std::string& k : doomed) state_.colItems->Remove(k);
        state_.colPLC->Remove(key);
        QTreeWidgetItem* plcs = tree_->nodeByKey(kPlcsKey);
        tree_->removeNode(node);
        tree_->selectNode(plcs);
        state_.bCfgSaved = false;
      }
      TreeView1_NodeClick(tree_->nodeByKey(kPlcsKey));
    } else if (tag == "item") {
      if (ask("Are you sure you want to delete " + node->text(0) + " ?", Buttons::YesNo) == Answer::Yes) {
        const std::string key = ConfigTree::key(node).toStdString();
        QTreeWidgetItem* parent = node->parent();
        if (cut)
          cut_ = CutRecord{true, false, ConfigTree::key(parent).toStdString(), parent->indexOfChild(node),
                           {}, {state_.colItems->Item(key)}};
        state_.colItems->Remove(key);
        tree_->removeNode(node);
        tree_->selectNode(parent);  // the list then shows the PLC's remaining items
        state_.bCfgSaved = false;
      }
      TreeView1_NodeClick(tree_->selectedNode());
    }
  });
}

void frmEditing::mnuPaste_Click() {
  QTreeWidgetItem* target = tree_->selectedNode();
  if (!target) {
    ask("Copied object can not be added here ", Buttons::Ok);
    return;
  }
  const QString tag = ConfigTree::tag(target);
  const bool plc = tag == "plcs" && !state_.objCopiedPLC.getName().empty();
  const bool item = tag == "plc" && !state_.objCopiedItem.sName().empty();
  if (!plc && !item) return;
  // Everything is checked before anything is added: a paste happens whole or not at all.
  try {
    if (plc) {
      state_.nCopiedPLC = toInt16(state_.nCopiedPLC + 1.0);
      clsPLC copy;
      copy.setName("Copied PLC " + std::to_string(state_.nCopiedPLC));
      copy.setUI(state_.objCopiedPLC.getUI());
      if (isTreeKeyTaken(state_, copy.getName()))
        throw EditorError(ErrorNumber::DuplicateKey,
                          "The name \"" + copy.getName() + "\" is already in use, so nothing was pasted.");
      const std::string name = copy.getName();
      state_.colPLC->Add(std::move(copy), name);
      tree_->addNode(target, q(name), q(name), "plc", "plc");
      target->setExpanded(true);
    } else {
      clsPLCItem copy = state_.objCopiedItem;
      copy.sName(state_.objCopiedItem.sName() + "_" + std::to_string(state_.nCopiedItem));
      copy.sPLCName(ConfigTree::key(target).toStdString());
      state_.nCopiedItem = toInt16(state_.nCopiedItem + 1.0);
      if (isTreeKeyTaken(state_, copy.sName()))
        throw EditorError(ErrorNumber::DuplicateKey,
                          "The name \"" + copy.sName() + "\" is already in use, so nothing was pasted.");
      if (nameFault(copy.sName()) != configfile::NameFault::None || !itemValueProblems(copy).empty())
        throw EditorError(ErrorNumber::BadFile, "The copied item \"" + state_.objCopiedItem.sName() +
                                                    "\" holds values the server cannot load, so nothing was pasted.");
      const std::string name = copy.sName();
      state_.colItems->Add(std::move(copy), name);
      tree_->addNode(target, q(name), q(name), "item", "item");
    }
    if (cut_.held && cut_.plc == plc) cut_ = CutRecord{};  // it has arrived; a later paste copies it
    state_.bCfgSaved = false;
    TreeView1_NodeClick(target);
  } catch (const std::exception& e) {
    const bool numbered = dynamic_cast<const EditorError*>(&e) != nullptr;
    const int number = numbered ? static_cast<const EditorError&>(e).number() : 51;
    reportError(number, QString::fromStdString(e.what()) + " " + afterFailedPaste(plc));
  }
  refreshTitle();
}

// What became of a cut object whose paste failed, and what to do next.
QString frmEditing::afterFailedPaste(bool plc) {
  const QString next = "the next paste takes the next number.";
  if (!cut_.held || cut_.plc != plc) return "Paste again: " + next;
  const CutRecord cut = std::move(cut_);
  cut_ = CutRecord{};
  const QString what = plc ? "The cut PLC \"" + q(cut.plcObject.getName()) + "\""
                           : "The cut item \"" + q(cut.items.front().sName()) + "\"";
  if (restoreCut(cut)) {
    TreeView1_NodeClick(tree_->selectedNode());
    return what + (plc ? " is back in place with its items" : " is back under \"" + q(cut.parent) + "\"") +
           "; to move it, cut it again and paste: " + next;
  }
  cut_ = cut;
  return what + " could not be put back and is still held: select " + (plc ? "the PLCs node" : "a PLC") +
         " and paste again; " + next;
}

// Puts a cut PLC (with its items) or item back where it was. False, with nothing changed,
// when its place is gone or its names are taken now.
bool frmEditing::restoreCut(const CutRecord& cut) {
  const std::string parentKey = cut.plc ? std::string(kPlcsKey) : cut.parent;
  QTreeWidgetItem* parent = tree_->nodeByKey(q(parentKey));
  if (!parent || (!cut.plc && !state_.colPLC->contains(cut.parent))) return false;
  std::set<std::string> names;
  if (cut.plc) names.insert(foldCase(cut.plcObject.getName()));
  for (const clsPLCItem& i : cut.items) names.insert(foldCase(i.sName()));
  if (names.size() != cut.items.size() + (cut.plc ? 1 : 0)) return false;
  if (cut.plc && isTreeKeyTaken(state_, cut.plcObject.getName())) return false;
  for (const clsPLCItem& i : cut.items)
    if (isTreeKeyTaken(state_, i.sName())) return false;
  QTreeWidgetItem* itemParent = parent;
  if (cut.plc) {
    const std::string name = cut.plcObject.getName();
    state_.colPLC->Add(cut.plcObject, name);
    itemParent = tree_->addNode(parent, q(name), q(name), "plc", "plc", cut.position);
  }
  for (std::size_t k = 0; k < cut.items.size(); ++k) {
    const clsPLCItem& i = cut.items[k];
    state_.colItems->Add(i, i.sName());
    tree_->addNode(itemParent, q(i.sName()), q(i.sName()), "item", "item", cut.plc ? -1 : cut.position);
  }
  tree_->selectNode(cut.plc ? itemParent : parent);
  return true;
}

// Engineers copy one line's PLC to make the next one: a new PLC with its own name and
// address, and every item of the selected PLC under its name with a suffix.
void frmEditing::mnuDuplicatePLC_Click() {
  trapped([&] {
    QTreeWidgetItem* source = tree_->selectedNode();
    if (ConfigTree::tag(source) != "plc") return;
    DuplicateRequest request;
    request.sourcePlc = ConfigTree::key(source).toStdString();
    for (int i = 0; i < source->childCount(); ++i)
      if (ConfigTree::tag(source->child(i)) == "item")
        request.sourceItems.push_back(ConfigTree::key(source->child(i)).toStdString());
    frmDuplicatePLC dialog(this);
    dialog.txtPLCName->setText(q(request.sourcePlc) + "_2");
    dialog.txtUI->setText(q(state_.colPLC->Item(request.sourcePlc).getUI()));
    dialog.check = [&] {
      request.newName = dialog.txtPLCName->text().toStdString();
      request.newAddress = dialog.txtUI->text().toStdString();
      request.suffix = dialog.txtSuffix->text().toStdString();
      const std::string problem = checkDuplicate(state_, request);
      if (!problem.empty()) ask(q(problem), Buttons::Ok);
      return problem.empty();
    };
    if (onDialogCreated) onDialogCreated(dialog);
    prompter_.runModal(dialog);
    if (!dialog.confirmed) return;
    const std::vector<std::string> names = addDuplicate(state_, request);
    QTreeWidgetItem* plcs = tree_->nodeByKey(kPlcsKey);
    QTreeWidgetItem* node = tree_->addNode(plcs, q(request.newName), q(request.newName), "plc", "plc");
    for (const std::string& name : names) tree_->addNode(node, q(name), q(name), "item", "item");
    state_.bCfgSaved = false;
    tree_->selectNode(node);
    tree_->scrollToItem(node);
    TreeView1_NodeClick(node);
  });
}

void frmEditing::Paste_Name_Click() {
  trapped([&] { bulkReplace(true); });
}

void frmEditing::Paste_Comment_Click() {
  trapped([&] { bulkReplace(false); });
}

void frmEditing::bulkReplace(bool names) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString text = clipboard->text();
  if (text.isEmpty()) {
    ask("Empty clipboard !", Buttons::Ok);
    return;
  }
  const std::vector<std::string> values = splitClipboardLines(text.toStdString());
  if (names) {
    for (const std::string& v : values)
      if (itemNameExists(state_, v)) {
        ask("Name already existing", Buttons::Ok);
        clipboard->clear();
        return;
      }
  }
  const QList<int> rows = list_->selectedRows();
  if (static_cast<std::size_t>(rows.size()) != values.size()) {
    ask("Invalid selection", Buttons::Ok);
    return;
  }
  if (names) {
    // Every new name is checked before any is applied: not empty, not twice in the list
    // (in any letter case), and not the key of another PLC or item.
    std::set<std::string> seen;
    for (int i = 0; i < rows.size(); ++i) {
      const std::string& v = values[static_cast<std::size_t>(i)];
      if (const auto fault = nameFault(v); fault != configfile::NameFault::None) {
        ask(fault == configfile::NameFault::Control
                ? "Invalid item name in clipboard: it holds a control character"
                : "Empty item name in clipboard",
            Buttons::Ok);
        return;
      }
      if (!seen.insert(foldCase(v)).second || isTreeKeyTaken(state_, v, list_->rowKey(rows[i]).toStdString())) {
        ask("Name already existing", Buttons::Ok);
        clipboard->clear();
        return;
      }
    }
  } else {
    for (const std::string& v : values)
      if (const std::string fault = commentFault(v); !fault.empty()) {
        ask(q(fault), Buttons::Ok);
        return;
      }
  }
  // The list shows the objects it was filled from; make sure before changing any of them.
  for (int row : rows)
    if (!state_.colItems->contains(list_->rowKey(row).toStdString()) || !tree_->nodeByKey(list_->rowKey(row)))
      throw EditorError(ErrorNumber::KeyNotFound, "The list entry \"" + list_->rowKey(row).toStdString() +
                                                      "\" is no longer an item. Click its PLC in the tree and select "
                                                      "the items again.");
  QStringList oldValues, newValues;
  for (int i = 0; i < rows.size(); ++i) {
    const QString entry = list_->text(rows[i], 0);
    oldValues << (names ? entry : q(state_.colItems->Item(entry.toStdString()).sComment()));
    newValues << q(values[static_cast<std::size_t>(i)]);
  }
  frmReplace confirm(this, state_.bReplaceConfirmed, !names, oldValues, newValues);
  if (onDialogCreated) onDialogCreated(confirm);
  prompter_.runModal(confirm);
  if (!state_.bReplaceConfirmed) return;
  for (int i = 0; i < rows.size(); ++i) {
    const QString n = list_->text(rows[i], 0);
    const std::string value = values[static_cast<std::size_t>(i)];
    if (names) {
      auto item = state_.colItems->shared(n.toStdString());
      item->sName(value);
      state_.colItems->Remove(n.toStdString());
      state_.colItems->Add(item, value);
      QTreeWidgetItem* node = tree_->nodeByKey(n);
      tree_->selectNode(node);
      list_->setRowText(rows[i], q(value));
      tree_->setKeyAndText(node, q(value));
    } else {
      state_.colItems->Item(n.toStdString()).sComment(value);
      list_->setSubItem(rows[i], 1, q(value));
    }
  }
  state_.bCfgSaved = false;
  // A single comment stays in the clipboard so that it can be applied to another selection.
  if (names || rows.size() > 1) clipboard->clear();
}

}  // namespace zentarc::editor
