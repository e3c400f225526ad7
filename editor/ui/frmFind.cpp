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
  // Enter walks through the matches.
  cmdNext->setDefault(true);
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  grid->addWidget(lblName, 0, 0, 1, 3);
  grid->addWidget(txtFind, 1, 0, 1, 3);
  grid->addWidget(lblStatus, 2, 0, 1, 3);
  grid->addWidget(cmdFind, 3, 0);
  grid->addWidget(cmdNext, 3, 1);
  grid->addWidget(cmdCancel, 3, 2);
  connect(txtFind, &QLineEdit::textEdited, lblStatus, &QLabel::clear);
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

void frmFind::select(QTreeWidgetItem* node) {
  ConfigTree* tree = main_.TreeView1();
  tree->setFocus();
  tree->selectNode(node);
  tree->scrollToItem(node);
}

void frmFind::cmdFind_Click() {
  const QString text = txtFind->text();
  lblStatus->clear();
  if (text.isEmpty()) return;
  for (QTreeWidgetItem* node : main_.TreeView1()->nodesInOrder()) {
    if (!matches(node, text)) continue;
    select(node);
    return;
  }
  lblStatus->setText("No name begins with \"" + text + "\".");
}

// The match after the selected node in the tree's order; after the last one the search
// starts again at the first, and says so.
void frmFind::cmdNext_Click() {
  ++mnCounter;
  const QString text = txtFind->text();
  lblStatus->clear();
  if (text.isEmpty()) return;
  ConfigTree* tree = main_.TreeView1();
  const QList<QTreeWidgetItem*>& nodes = tree->nodesInOrder();
  const qsizetype current = nodes.indexOf(tree->selectedNode());
  QTreeWidgetItem* first = nullptr;
  for (qsizetype i = 0; i < nodes.size(); ++i) {
    if (!matches(nodes[i], text)) continue;
    if (i > current) {
      select(nodes[i]);
      return;
    }
    if (!first) first = nodes[i];
  }
  if (!first) {
    lblStatus->setText("No name begins with \"" + text + "\".");
    return;
  }
  select(first);
  lblStatus->setText("No further match: back at the first one.");
}

void frmFind::cmdCancel_Click() { close(); }

}  // namespace zentarc::editor
