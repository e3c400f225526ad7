#pragma once
// The refused rows of a CSV import, each with its line, column and reason; the user
// imports the good rows or nothing.
#include <vector>

#include <QDialog>

#include "editor/io/CsvTags.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace zentarc::editor {

class frmCsvReport : public QDialog {
  Q_OBJECT
 public:
  frmCsvReport(QWidget* parent, const CsvPlan& plan);

  QLabel* lblSummary;
  QTableWidget* grdProblems;
  QPushButton* cmdImportGood;
  QPushButton* cmdImportNothing;
  bool importGood = false;
};

}  // namespace zentarc::editor
