#include "frmDuplicatePLC.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zentarc::editor {

frmDuplicatePLC::frmDuplicatePLC(QWidget* parent) : QDialog(parent) {
  setObjectName("frmDuplicatePLC");
  setWindowTitle("Duplicate PLC with Items");
  setModal(true);
  auto* grid = new QGridLayout(this);
  txtPLCName = new QLineEdit(this);
  txtPLCName->setObjectName("txtPLCName");
  txtUI = new QLineEdit(this);
  txtUI->setObjectName("txtUI");
  txtSuffix = new QLineEdit("_2", this);
  txtSuffix->setObjectName("txtSuffix");
  cmdOk = new QPushButton("Ok", this);
  cmdOk->setObjectName("cmdOk");
  cmdOk->setDefault(true);
  cmdCancel = new QPushButton("Exit", this);
  cmdCancel->setObjectName("cmdCancel");
  cmdCancel->setAutoDefault(false);
  grid->addWidget(new QLabel("New PLC Name", this), 0, 0);
  grid->addWidget(txtPLCName, 0, 1);
  grid->addWidget(new QLabel("PLC IP Address", this), 1, 0);
  grid->addWidget(txtUI, 1, 1);
  grid->addWidget(new QLabel("Suffix for Item Names", this), 2, 0);
  grid->addWidget(txtSuffix, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOk);
  buttons->addWidget(cmdCancel);
  grid->addLayout(buttons, 3, 0, 1, 2);
  connect(cmdOk, &QPushButton::clicked, this, [this] {
    if (check && !check()) return;  // the dialog stays open with the user's input
    confirmed = true;
    accept();
  });
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  resize(420, sizeHint().height());
}

void frmDuplicatePLC::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  txtPLCName->setFocus();
  txtPLCName->selectAll();
}

}  // namespace zentarc::editor
