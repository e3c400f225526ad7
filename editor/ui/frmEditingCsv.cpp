// Tag lists as CSV: import (every row checked before anything changes) and export.
#include <QFile>
#include <QFileInfo>

#include "editor/document/EditorError.h"
#include "editor/io/AtomicFile.h"
#include "editor/io/CsvTags.h"
#include "editor/io/CsvText.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmCsvReport.h"
#include "editor/ui/frmEditing.h"

namespace zentarc::editor {

namespace {

const char* const kCsvFilter = "tag lists (*.csv)";

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void frmEditing::mnuImportCsv_Click() {
  trapped([&] {
    if (!state_.bCfgOpen || !state_.colPLC || !state_.colItems) return;
    const auto path = prompter_.openFile(this, "Import Tags from CSV", kCsvFilter, currentFolder());
    if (!path || path->isEmpty()) return;
    std::string bytes, error;
    if (!readCsvFile(QFile::encodeName(*path).toStdString(), bytes, error)) {
      ask("The tag list cannot be read: " + q(error), Buttons::Ok);
      return;
    }
    CsvPlan plan = planCsvImport(bytes, state_);
    if (!plan.fileError.empty()) {
      ask("The file " + *path + " is not a tag list: " + q(plan.fileError), Buttons::Ok);
      return;
    }
    // A PLC the file names but the configuration does not hold needs an address; the user
    // gives it, checked as in the PLC dialog, or its rows are refused.
    for (CsvNewPlc& plc : plan.newPlcs) {
      while (plc.address.empty()) {
        const auto address = prompter_.askText(
            this, "New PLC",
            "The tag list names the new PLC \"" + q(plc.name) + "\" (line " + QString::number(plc.line) +
                "). Its IP address:",
            QString());
        if (!address) break;
        const std::string problem = checkNewPlcAddress(plan, state_, address->toStdString());
        if (problem.empty()) plc.address = address->toStdString();
        else ask(q(problem), Buttons::Ok);
      }
    }
    refuseRowsWithoutAddress(plan);
    if (plan.refusedRows > 0) {
      frmCsvReport report(this, plan);
      if (onDialogCreated) onDialogCreated(report);
      prompter_.runModal(report);
      if (!report.importGood) return;
    }
    if (plan.rows.empty()) return;
    const CsvApplied applied = applyCsvImport(plan, state_);
    tree_->setUpdatesEnabled(false);
    QTreeWidgetItem* plcs = tree_->nodeByKey(kPlcsKey);
    for (const std::string& name : applied.plcs) tree_->addNode(plcs, q(name), q(name), "plc", "plc");
    for (const auto& [plc, item] : applied.items)
      tree_->addNode(tree_->nodeByKey(q(plc)), q(item), q(item), "item", "item");
    tree_->setUpdatesEnabled(true);
    state_.bCfgSaved = false;
    // Show where the list went: the PLC of its first row.
    QTreeWidgetItem* first = tree_->nodeByKey(q(plan.rows.front().plc));
    plcs->setExpanded(true);
    tree_->selectNode(first);
    tree_->scrollToItem(first);
    TreeView1_NodeClick(first);
  });
}

void frmEditing::mnuExportCsv_Click() {
  trapped([&] {
    if (!state_.bCfgOpen || !state_.colPLC || !state_.colItems) return;
    const auto chosen = prompter_.saveFile(this, "Export Tags to CSV", kCsvFilter, currentFolder(),
                                           QFileInfo(sCfgFile_).completeBaseName() + ".csv");
    if (!chosen || chosen->isEmpty()) return;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (QFileInfo::exists(path) && ask("File " + path + " already existing. Overwrite?", Buttons::YesNo) != Answer::Yes)
      return;
    std::string error;
    if (!writeFileAtomically(QFile::encodeName(path).toStdString(), exportCsv(treeOrder(), state_), &error))
      throw EditorError(ErrorNumber::FileWrite, "The tag list was not written (" + error +
                                                   "). Export it under another name or in a folder you may write to.");
  });
}

}  // namespace zentarc::editor
