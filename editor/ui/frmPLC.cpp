#include "frmPLC.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "editor/document/ItemRules.h"
#include "editor/document/KeySpace.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmEditing.h"

namespace zentarc::editor {

frmPLC::frmPLC(frmEditing& main) : QDialog(&main), main_(main) {
  setObjectName("frmPLC");
  setWindowTitle("PLC Properties");
  setModal(true);
  auto* grid = new QGridLayout(this);
  lblName = new QLabel("PLC Name", this);
  lblName->setObjectName("lblName");
  txtPLCName = new QLineEdit(this);
  txtPLCName->setObjectName("txtPLCName");
  auto* lblUI = new QLabel("PLC IP Address", this);
  txtUI = new QLineEdit(this);
  txtUI->setObjectName("txtUI");
  cmdOk = new QPushButton("Ok", this);
  cmdOk->setObjectName("cmdOk");
  cmdOk->setAutoDefault(false);
  cmdOk->setDefault(true);  // Enter
  cmdCancel = new QPushButton("Exit", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);
  grid->addWidget(lblName, 0, 0);
  grid->addWidget(txtPLCName, 0, 1);
  grid->addWidget(lblUI, 1, 0);
  grid->addWidget(txtUI, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOk);
  buttons->addWidget(cmdCancel);
  grid->addLayout(buttons, 2, 0, 1, 2);
  setTabOrder(txtPLCName, txtUI);
  setTabOrder(txtUI, cmdOk);
  setTabOrder(cmdOk, cmdCancel);
  connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  resize(380, sizeHint().height());
  Form_Load();
}

void frmPLC::Form_Load() { mbUnload = true; }

void frmPLC::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The proposed name is selected, so typing replaces it.
  txtPLCName->setFocus();
  txtPLCName->selectAll();
}

bool frmPLC::CheckFields(const QString& data) {
  bool ok = true;
  main_.trapped([&] {
    const EditorState& s = main_.state();
    if (data == "UI") {
      // The server connects only to a dotted IPv4 address; anything else it refuses.
      if (const std::string problem = plcAddressProblem(txtUI->text().toStdString()); !problem.empty()) {
        main_.ask(QString::fromStdString(problem), Buttons::Ok);
        ok = false;
      } else if (txtUI->text() != mnPrevUI && plcAddressExists(s, txtUI->text().toStdString())) {
        main_.ask("PLC ID already existing. Please use a different one", Buttons::Ok);
        ok = false;
      }
    } else if (data == "name") {
      if (txtPLCName->text() != msPrevPLCName && plcNameExists(s, txtPLCName->text().toStdString())) {
        main_.ask("Name already existing. Please use a different PLC name", Buttons::Ok);
        ok = false;
      }
    }
  });
  return ok;
}

// The name must also be free in the tree's key space (other PLCs and items, in any
// letter case, and "PLCs") and follow the name rule; otherwise the store would fail half
// way or the server would not take the file.
bool frmPLC::nameIsFree() {
  const std::string name = txtPLCName->text().toStdString();
  if (const auto fault = nameFault(name); fault != configfile::NameFault::None) {
    main_.ask(QString::fromStdString(invalidNameMessage("PLC", fault)), Buttons::Ok);
    return false;
  }
  if (isTreeKeyTaken(main_.state(), name, msPrevPLCName.toStdString())) {
    main_.ask("Name already existing. Please use a different PLC name", Buttons::Ok);
    return false;
  }
  return true;
}

void frmPLC::cmdOk_Click() {
  main_.trapped([&] {
    EditorState& s = main_.state();
    mbUnload = true;
    if (!s.bPLCEditMode) {
      if (!CheckFields("UI") || !CheckFields("name") || !nameIsFree()) {
        mbUnload = false;
        return;
      }
      clsPLC plc;
      plc.setUI(txtUI->text().toStdString());
      plc.setName(txtPLCName->text().toStdString());
      s.colPLC->Add(std::move(plc), txtPLCName->text().toStdString());
      s.bPLCChanged = true;
      accept();
      return;
    }
    if (!CheckFields("UI") || !CheckFields("name") || !nameIsFree()) return;
    const std::string prev = msPrevPLCName.toStdString();
    const std::string name = txtPLCName->text().toStdString();
    auto plc = s.colPLC->shared(prev);
    plc->setUI(txtUI->text().toStdString());
    mnPrevUI = txtUI->text();
    s.colPLC->Remove(prev);
    for (clsPLCItem& i : *s.colItems)
      if (i.sPLCName() == prev) i.sPLCName(name);
    plc->setName(name);
    s.colPLC->Add(plc, name);
    ConfigTree* tree = main_.TreeView1();
    if (QTreeWidgetItem* node = tree->nodeByKey(msPrevPLCName)) {
      tree->setKeyAndText(node, txtPLCName->text());
      tree->selectNode(node);
    }
    s.bPLCChanged = true;
    accept();
  });
}

void frmPLC::cmdCancel_Click() {
  main_.state().bPLCChanged = false;
  QDialog::reject();
}

void frmPLC::reject() { cmdCancel_Click(); }

}  // namespace zentarc::editor
