#include "frmFind.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmEditing.h"

namespace zentarc::editor {

namespace {

bool matches(const QTreeWidgetItem* node, const QString& text) {
  return ConfigTree::key(node).left(text.size()).toUpper() == text.toUpper();
}

}  // namespace

frmFind::frmFind(frmEditing& main) : QDialog(&main), main_(main) {
  setObjectName("frmFind");
  setWindowTitle("Find Item");
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout(this);
  lblName = new QLabel("Type the name of the item to find", this);
  lblName->setObjectName("lblName");
  txtFind = new QLineEdit(this);
  txtFind->setObjectName("txtFind");
  cmdFind = new QPushButton("Find", this);
  cmdFind->setObjectName("cmdFind");
  cmdNext = new QPushButton("Find Next", this);
  cmdNext->setObjectName("cmdNext");
  cmdCancel = new QPushButton("Exit", this);
  cmdCancel->setObjectName("cmdCancel");
  for (QPushButton* b : {cmdFind, cmdNext, cmdCancel}) b->setAutoDefault(false);
  grid->addWidget(lblName, 0, 0, 1, 3);
  grid->addWidget(txtFind, 1, 0, 1, 3);
  grid->addWidget(cmdFind, 2, 0);
  grid->addWidget(cmdNext, 2, 1);
  grid->addWidget(cmdCancel, 2, 2);
  connect(cmdFind, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
  connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  // Form_Load
  mnCounter = 0;
  main_.state().bFindOpen = true;
}

frmFind::~frmFind() = default;

void frmFind::done(int result) {
  main_.state().bFindOpen = false;  // the window is unloaded; a new one starts afresh
  QDialog::done(result);
}

void frmFind::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  txtFind->setFocus();
}

void frmFind::cmdFind_Click() {
  const QString text = txtFind->text();
  if (text.isEmpty()) return;
  ConfigTree* tree = main_.TreeView1();
  for (QTreeWidgetItem* node : tree->nodesInOrder()) {
    if (!matches(node, text)) continue;
    tree->setFocus();
    tree->selectNode(node);
    tree->scrollToItem(node);
    return;
  }
}

void frmFind::cmdNext_Click() {
  ++mnCounter;
  const QString text = txtFind->text();
  if (text.isEmpty()) return;
  ConfigTree* tree = main_.TreeView1();
  int count = 0;
  // The search never starts over: once the counter passes the matches, the last stays.
  for (QTreeWidgetItem* node : tree->nodesInOrder()) {
    if (!matches(node, text)) continue;
    ++count;
    tree->setFocus();
    tree->selectNode(node);
    tree->scrollToItem(node);
    if (count > mnCounter) return;
  }
}

void frmFind::cmdCancel_Click() { close(); }

}  // namespace zentarc::editor
