// Validating and storing the item dialog's fields: single add, Add and Increment, the
// group add and the modify mode.
#include <cmath>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>

#include "editor/document/ConvertDataType.h"
#include "editor/document/ItemRules.h"
#include "editor/document/ItemStepping.h"
#include "editor/document/KeySpace.h"
#include "editor/document/Numbers.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmEditing.h"
#include "editor/ui/frmItems.h"

namespace zentarc::editor {

namespace {

std::string str(const QString& s) { return s.toStdString(); }

// The leading number of a field, with the locale's decimal comma read as a point.
double fieldNumber(const QString& text) {
  QString t = text;
  if (!t.contains('.') && QLocale().decimalPoint() == QString(",")) t.replace(',', '.');
  return leadingNumber(str(t));
}

QString plainNumber(double v) { return QString::number(v, 'g', 15); }

}  // namespace

bool frmItems::CheckFields(const QString& data) {
  bool ok = true;
  main_.trapped([&] {
    auto fail = [&](const char* message) {
      main_.ask(message, Buttons::Ok);
      ok = false;
    };
    if (data == "dataword") {
      if (!isNumeric(str(txtDataWord->text()))) return fail("Invalid Address value");
      const double v = fieldNumber(txtDataWord->text());
      if (v < 1 || v > configfile::kMaxAddress) return fail("Invalid Address value: must be between 1 and 65535");
    } else if (data == "bit") {
      if (cmbBit->currentText().isEmpty()) return fail("Invalid Bit value");
    } else if (data == "elements") {
      if (!isNumeric(str(txtElements->text()))) return fail("Invalid number of Elements");
      // A negative count would be saved for the server to refuse and would make Add and
      // Increment step backwards; more than 32767 does not fit the item.
      const double v = std::nearbyint(fieldNumber(txtElements->text()));
      if (v < 0 || v > kMaxEditorElements) return fail("Invalid number of Elements: must be between 0 and 32767");
    } else if (data == "name") {
      if (itemNameExists(main_.state(), str(txtItemName->text())))
        return fail("Name already existing. Please use a different item name");
    }
  });
  return ok;
}

void frmItems::AddItemInList() {
  mbUnload = true;
  mbOkAdd = false;
  const bool stored = main_.trapped([&] {
    if (!storeItem()) mbUnload = false;
  });
  if (!stored) mbUnload = false;
}

// Everything is checked and converted before the collections or the tree change, so a
// refused or failing store leaves the configuration as it was.
bool frmItems::storeItem() {
  EditorState& s = main_.state();
  ConfigTree* tree = main_.TreeView1();
  clsPLCItem item;
  const QString type = cmbDataType->currentText();
  if (type.isEmpty()) {
    main_.ask("Empty fields. Check Data type", Buttons::Ok);
    return false;
  }
  item.sDataType(str(type));
  item.sMemory(str(cmbMemory->currentText()));
  if (!CheckFields("dataword")) return false;
  item.nDataWord(toInt32(fieldNumber(txtDataWord->text())));
  if (isBooleanType(item.sDataType())) {
    if (!CheckFields("bit")) return false;
    item.nBitNumber(toInt16(fieldNumber(cmbBit->currentText())));
  }
  if (hasElements(item.sDataType())) {
    if (!CheckFields("elements")) return false;
    item.nElements(toInt16(fieldNumber(txtElements->text())));
  }
  if (const std::string fault = commentFault(str(txtComment->text())); !fault.empty()) {
    main_.ask(QString::fromStdString(fault), Buttons::Ok);
    return false;
  }
  item.sComment(storedComment(str(txtComment->text())));
  item.sPLCName(str(txtPLCName->text()));
  item.sAccessRight(str(cmbAccessRight->currentText()));
  if (const std::string problem = readOnlyAreaProblem(item); !problem.empty()) {
    main_.ask(QString::fromStdString(problem), Buttons::Ok);
    return false;
  }

  // The server would skip an item whose registers it cannot hold; refuse it here instead.
  if (const auto problems = itemValueProblems(item); !problems.empty()) {
    main_.ask(QString::fromStdString(problems.front().message), Buttons::Ok);
    return false;
  }

  QTreeWidgetItem* selected = tree->selectedNode();
  if (!selected) throw EditorError(ErrorNumber::ObjectNotSet, "Nothing is selected. Select a PLC in the tree, then add the item.");
  const std::string newName = str(txtItemName->text());
  if (const auto fault = nameFault(newName); fault != configfile::NameFault::None) {
    main_.ask(QString::fromStdString(invalidNameMessage("Item", fault)), Buttons::Ok);
    return false;
  }
  if (s.bItemEditMode) {
    const std::string prev = str(msPrevName);
    std::string name = newName;
    if (newName != prev) {
      const bool taken = itemNameExists(s, newName) || isTreeKeyTaken(s, newName, prev);
      if (taken) {
        // A taken name is not a failure here: the item keeps its name, the other changes
        // are stored.
        main_.ask("Name already existing. Please use a different item name", Buttons::Ok);
        name = prev;
      }
    }
    s.bCfgSaved = false;
    item.sName(name);
    s.colItems->Remove(prev);
    tree->setKeyAndText(selected, QString::fromStdString(name));
    s.colItems->Add(std::move(item), name);
  } else {
    if (!CheckFields("name")) return false;
    if (isTreeKeyTaken(s, newName)) {
      main_.ask("Name already existing. Please use a different item name", Buttons::Ok);
      return false;
    }
    const std::int16_t next = toInt16(s.nNextItem + 1.0);
    item.sName(newName);
    QTreeWidgetItem* node = tree->addNode(selected, txtItemName->text(), txtItemName->text(), "item", "item");
    tree->scrollToItem(node);
    s.bCfgSaved = false;
    s.nNextItem = next;
    s.colItems->Add(std::move(item), newName);
  }
  mbOkAdd = true;
  s.bItemEditMode = false;
  return true;
}

void frmItems::cmdAdd_Click() {
  main_.trapped([&] {
    AddItemInList();
    main_.state().bItemEditMode = false;
    if (!mbOkAdd) return;
    main_.TreeView1_NodeClick(main_.TreeView1()->selectedNode());
    txtItemName->setText("New_Item_" + QString::number(main_.state().nNextItem));
    txtComment->setText("");
    const std::string type = str(cmbDataType->currentText());
    const NextPosition next = nextItemPosition(
        type, fieldNumber(txtDataWord->text()), fieldNumber(txtElements->text()),
        static_cast<int>(fieldNumber(cmbBit->currentText())),
        configfile::memoryAreaForFileName(str(cmbMemory->currentText())).value_or(configfile::MemoryArea::R));
    txtDataWord->setText(plainNumber(next.address));
    if (next.bit) cmbBit->setCurrentIndex(*next.bit);
    if (!hasElements(type)) txtElements->setText("0");
    txtItemName->setFocus();
    txtItemName->selectAll();
  });
}

void frmItems::cmdOkNumber_Click() {
  main_.trapped([&] {
    frmInserimento->hide();
    const int n = toInt16(fieldNumber(txtNumbItems->text()));
    if (n >= 1) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      for (int i = 0; i < n; ++i) {
        cmdAdd_Click();
        if (!mbOkAdd) break;
      }
      QApplication::restoreOverrideCursor();
    }
  });
  frmMain->setEnabled(true);
  frmInserimento->hide();
  cmdOk->setDefault(true);
  txtItemName->setFocus();
  txtItemName->selectAll();
}

}  // namespace zentarc::editor
