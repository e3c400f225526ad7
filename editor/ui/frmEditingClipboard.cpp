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
  } else if (tag == "item") {
    if (startsWith(key, "New_Item") || startsWith(key, "Copied_Item")) {
      ask("Please change Item name (do not use default name) before copying", Buttons::Ok);
      return false;
    }
    state_.objCopiedItem = state_.colItems->Item(key.toStdString());
  }
  return true;
}

void frmEditing::mnuCopy_Click() {
  trapped("mnuCopy_Click", [&] { copySelected(); });
}

void frmEditing::mnuCut_Click() {
  bool copied = false;
  trapped("mnuCut_Click", [&] { copied = copySelected(); });
  if (copied) mnuDelete_Click();
}

void frmEditing::mnuDelete_Click() {
  trapped("mnuDelete_Click", [&] {
    QTreeWidgetItem* node = tree_->selectedNode();
    const QString tag = ConfigTree::tag(node);
    if (tag == "plc") {
      if (ask("Are you sure you want to delete " + node->text(0) + " and all its items?", Buttons::YesNo) ==
          Answer::Yes) {
        const std::string key = ConfigTree::key(node).toStdString();
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
        state_.colItems->Remove(ConfigTree::key(node).toStdString());
        QTreeWidgetItem* parent = node->parent();
        tree_->removeNode(node);
        tree_->selectNode(parent);  // the list then shows the PLC's remaining items
        state_.bCfgSaved = false;
      }
      TreeView1_NodeClick(tree_->selectedNode());
    }
  });
}

void frmEditing::mnuPaste_Click() {
  try {
    QTreeWidgetItem* target = tree_->selectedNode();
    if (!target) throw EditorError(ErrorNumber::ObjectNotSet, "Object variable not set");
    const QString tag = ConfigTree::tag(target);
    if (tag == "plcs" && !state_.objCopiedPLC.getName().empty()) {
      state_.nCopiedPLC = toInt16(state_.nCopiedPLC + 1.0);
      clsPLC plc;
      plc.setName("Copied PLC " + std::to_string(state_.nCopiedPLC));
      plc.setUI(state_.objCopiedPLC.getUI());
      // Refused before anything is added when the name is taken in any letter case.
      if (isTreeKeyTaken(state_, plc.getName()))
        throw EditorError(ErrorNumber::DuplicateKey, "The name \"" + plc.getName() + "\" is already in use");
      const std::string name = plc.getName();
      state_.colPLC->Add(std::move(plc), name);
      tree_->addNode(target, q(name), q(name), "plc", "plc");
      target->setExpanded(true);
      state_.bCfgSaved = false;
      TreeView1_NodeClick(target);
    } else if (tag == "plc" && !state_.objCopiedItem.sName().empty()) {
      clsPLCItem item = state_.objCopiedItem;
      item.sName(state_.objCopiedItem.sName() + "_" + std::to_string(state_.nCopiedItem));
      item.sPLCName(ConfigTree::key(target).toStdString());
      state_.nCopiedItem = toInt16(state_.nCopiedItem + 1.0);
      if (isTreeKeyTaken(state_, item.sName()))
        throw EditorError(ErrorNumber::DuplicateKey, "The name \"" + item.sName() + "\" is already in use");
      if (nameFault(item.sName()) != configfile::NameFault::None || !itemValueProblems(item).empty())
        throw EditorError(ErrorNumber::BadFile,
                          "The held item \"" + item.sName() + "\" cannot be loaded by the server");
      const std::string name = item.sName();
      state_.colItems->Add(std::move(item), name);
      tree_->addNode(target, q(name), q(name), "item", "item");
      state_.bCfgSaved = false;
      TreeView1_NodeClick(target);
    }
  } catch (const EditorError& e) {
    if (e.number() == static_cast<int>(ErrorNumber::ObjectNotSet))
      ask("Copied object can not be added here ", Buttons::Ok);
    else
      reportError(e.number(), QString::fromStdString(e.what()), "mnuPaste_Click");
  } catch (const std::exception& e) {
    reportError(51, QString("Internal error: ") + e.what(), "mnuPaste_Click");
  }
  refreshTitle();
}

// Engineers copy one line's PLC to make the next one: a new PLC with its own name and
// address, and every item of the selected PLC under its name with a suffix.
void frmEditing::mnuDuplicatePLC_Click() {
  trapped("mnuDuplicatePLC_Click", [&] {
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
  trapped("Paste_Name_Click", [&] { bulkReplace(true); });
}

void frmEditing::Paste_Comment_Click() {
  trapped("Paste_Comment_Click", [&] { bulkReplace(false); });
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
  }
  // The list shows the objects it was filled from; make sure before changing any of them.
  for (int row : rows)
    if (!state_.colItems->contains(list_->rowKey(row).toStdString()) || !tree_->nodeByKey(list_->rowKey(row)))
      throw EditorError(ErrorNumber::KeyNotFound,
                        "The list entry \"" + list_->rowKey(row).toStdString() + "\" is no longer an item");
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
