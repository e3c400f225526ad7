#include "frmCsvReport.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "editor/document/Counted.h"

namespace zentarc::editor {

frmCsvReport::frmCsvReport(QWidget* parent, const CsvPlan& plan) : QDialog(parent) {
  setObjectName("frmCsvReport");
  setWindowTitle("Import Tags from CSV");
  setModal(true);
  std::size_t tags = 0;
  for (const CsvRow& r : plan.rows) tags += r.plcOnly ? 0 : 1;
  lblSummary = new QLabel(QString::fromStdString(counted(plan.rows.size(), "row", "rows") + " can be imported (" +
                                                 counted(tags, "tag", "tags") + "); " +
                                                 counted(plan.refusedRows, "row is", "rows are") + " refused:"),
                          this);
  lblSummary->setObjectName("lblSummary");
  grdProblems = new QTableWidget(static_cast<int>(plan.problems.size()), 3, this);
  grdProblems->setObjectName("grdProblems");
  grdProblems->setHorizontalHeaderLabels({"Line", "Column", "Reason"});
  grdProblems->verticalHeader()->hide();
  grdProblems->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdProblems->setSelectionBehavior(QAbstractItemView::SelectRows);
  grdProblems->horizontalHeader()->setStretchLastSection(true);
  grdProblems->setWordWrap(false);
  for (int i = 0; i < static_cast<int>(plan.problems.size()); ++i) {
    const CsvProblem& p = plan.problems[static_cast<std::size_t>(i)];
    grdProblems->setItem(i, 0, new QTableWidgetItem(QString::number(p.line)));
    grdProblems->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(p.column)));
    grdProblems->setItem(i, 2, new QTableWidgetItem(QString::fromStdString(p.reason)));
  }
  grdProblems->resizeColumnsToContents();
  cmdImportGood = new QPushButton("Import Good Rows", this);
  cmdImportGood->setObjectName("cmdImportGood");
  cmdImportGood->setEnabled(!plan.rows.empty());
  cmdImportGood->setDefault(!plan.rows.empty());
  cmdImportNothing = new QPushButton("Import Nothing", this);
  cmdImportNothing->setObjectName("cmdImportNothing");
  cmdImportNothing->setAutoDefault(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblSummary);
  layout->addWidget(grdProblems);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdImportGood);
  buttons->addWidget(cmdImportNothing);
  layout->addLayout(buttons);
  connect(cmdImportGood, &QPushButton::clicked, this, [this] {
    importGood = true;
    accept();
  });
  connect(cmdImportNothing, &QPushButton::clicked, this, &QDialog::reject);
  setMinimumSize(640, 280);  // room for a reason on one line
  resize(720, 360);
}

}  // namespace zentarc::editor
