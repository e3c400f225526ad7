#include "frmReplace.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace zentarc::editor {

namespace {
// Widths were given in twips, 15 to a pixel at the usual 96 dots per inch.
int twips(int t) { return t / 15; }
}  // namespace

frmReplace::frmReplace(QWidget* parent, bool& confirmed, bool comments, const QStringList& oldValues,
                       const QStringList& newValues)
    : QDialog(parent), bReplaceConfirmed_(confirmed) {
  setObjectName("frmReplace");
  setWindowTitle("Replace Text");
  setModal(true);
  bReplaceConfirmed_ = false;
  Grid1 = new QTableWidget(static_cast<int>(oldValues.size()) + 1, 3, this);
  Grid1->setObjectName("Grid1");
  Grid1->horizontalHeader()->hide();
  Grid1->verticalHeader()->hide();
  Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  const int wide = comments ? twips(3000) : twips(2000);
  Grid1->setColumnWidth(0, wide);
  Grid1->setColumnWidth(1, twips(400));
  Grid1->setColumnWidth(2, wide);
  auto cell = [this](int r, int c, const QString& text, bool header = false) {
    auto* item = new QTableWidgetItem(text);
    if (header) {
      QFont f = item->font();
      f.setBold(true);
      item->setFont(f);
    }
    Grid1->setItem(r, c, item);
  };
  cell(0, 0, comments ? "Item comment" : "Item name", true);
  cell(0, 1, "", true);
  cell(0, 2, comments ? "New Item comment" : "New Item name", true);
  for (int i = 0; i < oldValues.size(); ++i) {
    cell(i + 1, 0, oldValues[i]);
    cell(i + 1, 1, "<---");
    cell(i + 1, 2, newValues.value(i));
  }
  // The arrow column is at least as wide as its arrows, so they are never cut to "...".
  Grid1->resizeColumnToContents(1);
  Grid1->setColumnWidth(1, std::max(twips(400), Grid1->columnWidth(1)));
  Command2 = new QPushButton("YES", this);
  Command2->setDefault(true);
  Command2->setObjectName("Command2");
  Command1 = new QPushButton("NO", this);
  Command1->setObjectName("Command1");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Grid1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(Command2);
  buttons->addWidget(Command1);
  layout->addLayout(buttons);
  setTabOrder(Command2, Command1);
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  resize(2 * wide + Grid1->columnWidth(1) + 40, 300);
}

void frmReplace::Command2_Click() {
  bReplaceConfirmed_ = true;
  accept();
}

void frmReplace::Command1_Click() {
  bReplaceConfirmed_ = false;
  reject();
}

}  // namespace zentarc::editor
