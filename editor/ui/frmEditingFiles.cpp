// File commands of the main window: New, Open, Save, Save As, Close, and the reading and
// writing of the configuration file.
#include <QApplication>
#include <QFileInfo>
#include <QProgressBar>

#include "common/configfile/ConfigNames.h"
#include "editor/document/EditorError.h"
#include "editor/io/ConfigPathRecorder.h"
#include "editor/io/ImportXML.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/frmEditing.h"

#include <unistd.h>

namespace zentarc::editor {

namespace {

const char* const kFilter = "configuration files (*.xml)";

// Hourglass for the life of the object.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// Asked before the open configuration goes away (New, Open, Close, Exit, closing the
// window). True when it may go: nothing is unsaved, the user discards the changes, or saves
// them and the save happened. Cancel (Esc) and a save that did not happen (cancelled,
// refused, failed) keep the configuration open with its changes.
bool frmEditing::mayDiscard(const char* question) {
  if (!state_.bCfgOpen || state_.bCfgSaved || !state_.colPLC) return true;
  switch (ask(question, Buttons::YesNoCancel)) {
    case Answer::Yes:
      mnuSaveCfg_Click();
      return state_.bCfgSaved;
    case Answer::No:
      return true;
    default:
      return false;
  }
}

QString frmEditing::defaultConfigPath() const {
  const QString name = QString::fromLatin1(configfile::kDefaultFileName.data());
  // An installed editor lives in a folder users cannot write to; bind the new
  // configuration to their home folder instead, so that Save works.
  if (::access(QFile::encodeName(options_.programFolder).constData(), W_OK) == 0)
    return options_.programFolder + "/" + name;
  return options_.homeFolder + "/" + name;
}

void frmEditing::addRootNode(const QString& text) {
  QTreeWidgetItem* root = tree_->addNode(nullptr, QString(), text, "config", "config");
  tree_->selectNode(root);
  tree_->scrollToItem(root);
}

void frmEditing::mnuNewCfg_Click() {
  trapped([&] {
    if (!mayDiscard("Do you want to save active configuration?")) return;
    state_.bCfgOpen = false;
    InitObjects();
    sCfgFile_ = defaultConfigPath();
    state_.bCfgOpen = true;
    state_.bCfgSaved = false;
    addRootNode(sCfgFile_);
    QTreeWidgetItem* plcs = tree_->addNode(tree_->root(), kPlcsKey, kPlcsKey, "main", "plcs");
    tree_->scrollToItem(plcs);
    tree_->root()->setExpanded(true);
    showViews(true);
    list_->setSorted(false);
    EnMenuButt(true, true, false, false, false, false, false, false, false, true);
    state_.newCollections();
  });
}

void frmEditing::mnuOpenCfg_Click() {
  trapped([&] {
    if (!mayDiscard("Do you want to save active configuration?")) return;
    QString chosen;
    if (!ShowDialSave(chosen) || chosen.isEmpty()) return;
    state_.newCollections();
    cut_ = CutRecord{};  // what a cut removed belongs to the configuration being closed
    tree_->clearNodes();
    list_->clearAll();
    sCfgFile_ = QFileInfo(chosen).absoluteFilePath();
    unreadPart_.clear();
    addRootNode(sCfgFile_);
    ImportXML(sCfgFile_);  // what was read before a fault stays; unreadPart_ says what did not
    FillTreeView();
    state_.nNextPLC = static_cast<std::int16_t>(state_.colPLC->Count() + 1);
    state_.nNextItem = static_cast<std::int16_t>(state_.colItems->Count() + 1);
    state_.bCfgOpen = true;
    state_.bCfgSaved = true;
    showViews(true);
    list_->setSorted(false);
    EnMenuButt(true, true, false, false, false, false, false, false, false, true);
  });
}

bool frmEditing::ShowDialSave(QString& chosen) {
  // Despite its name this is the open dialog; a cancel is silent.
  const auto path = prompter_.openFile(this, "Open as existing configuration", kFilter, currentFolder());
  if (!path) return false;
  chosen = *path;
  return true;
}

bool frmEditing::ImportXML(const QString& path) {
  WaitCursor wait;
  pnlPercent_->setValue(0);
  pnlImpStat_->show();
  pnlImpStat_->raise();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const ImportOutcome out = editor::ImportXML(path.toStdString(), state_, [this](int percent) {
    pnlPercent_->setValue(percent);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  });
  pnlImpStat_->hide();
  if (!out.complete) {
    unreadPart_ = QString::fromStdString(unreadPartText(out));
    if (out.stopLine > 0) unreadPart_ += " from line " + QString::number(out.stopLine) + " on";
    reportError(out.errorNumber, QString::fromStdString(out.description));
  }
  return out.complete;
}

void frmEditing::FillTreeView() {
  WaitCursor wait;
  trapped([&] {
    tree_->setUpdatesEnabled(false);
    struct Restore {
      ConfigTree* t;
      ~Restore() { t->setUpdatesEnabled(true); }
    } restore{tree_};
    QTreeWidgetItem* plcs = tree_->addNode(tree_->root(), kPlcsKey, kPlcsKey, "main", "plcs");
    tree_->root()->setExpanded(true);
    for (const clsPLC& p : *state_.colPLC) {
      const QString name = QString::fromStdString(p.getName());
      tree_->addNode(plcs, name, name, "plc", "plc");
    }
    plcs->setExpanded(true);
    for (const clsPLCItem& i : *state_.colItems) {
      QTreeWidgetItem* parent = tree_->nodeByKey(QString::fromStdString(i.sPLCName()));
      if (!parent)
        throw EditorError(ErrorNumber::KeyNotFound, "The item \"" + i.sName() + "\" belongs to the PLC \"" +
                                                        i.sPLCName() + "\", which is not in the configuration; the "
                                                        "items after it are not shown. Correct the file and open it again.");
      const QString name = QString::fromStdString(i.sName());
      tree_->addNode(parent, name, name, "item", "item");
    }
  });
  TreeView1_NodeClick(tree_->root());
}

std::vector<TreePlc> frmEditing::treeOrder() const {
  std::vector<TreePlc> order;
  QTreeWidgetItem* plcs = tree_->nodeByKey(kPlcsKey);
  if (!plcs) return order;
  for (int i = 0; i < plcs->childCount(); ++i) {
    QTreeWidgetItem* p = plcs->child(i);
    if (ConfigTree::tag(p) != "plc") continue;
    TreePlc t{p->text(0).toStdString(), {}};
    for (int k = 0; k < p->childCount(); ++k)
      if (ConfigTree::tag(p->child(k)) == "item") t.items.push_back(p->child(k)->text(0).toStdString());
    order.push_back(std::move(t));
  }
  return order;
}

bool frmEditing::CreateXML(const QString& path) {
  WaitCursor wait;
  const WriteOutcome out = editor::CreateXML(path.toStdString(), treeOrder(), state_);
  if (!out.ok) reportError(out.errorNumber, QString::fromStdString(out.description));
  return out.ok;
}

void frmEditing::storeSavedPath() {
  std::string error;
  if (!recordConfigFile(sCfgFile_.toStdString(), &error))
    ask("The configuration was saved, but its path could not be recorded for the server (" +
            QString::fromStdString(error) + "). The server will not find this file unless it lies "
            "beside the server's program.",
        Buttons::Ok);
}

// The folder of the current file, where the file dialogs start.
QString frmEditing::currentFolder() const {
  return sCfgFile_.isEmpty() ? QString() : QFileInfo(sCfgFile_).absolutePath();
}

// A file that was only partly read would lose its unread part when written over; the user
// decides, knowing what that part is.
bool frmEditing::confirmSaveOver(const QString& path) {
  if (unreadPart_.isEmpty() || QFileInfo(path).absoluteFilePath() != QFileInfo(sCfgFile_).absoluteFilePath())
    return true;
  return ask("Only part of " + sCfgFile_ + " was loaded: " + unreadPart_ +
                 " could not be read. Saving over the file drops them. Save anyway?",
             Buttons::YesNo) == Answer::Yes;
}

void frmEditing::mnuSaveCfg_Click() {
  if (!state_.bCfgOpen) return;
  trapped([&] {
    if (!state_.colPLC || state_.colPLC->empty()) {
      ask("Configuration not valid", Buttons::Ok);
      return;
    }
    if (QFileInfo::exists(sCfgFile_)) {
      switch (ask("File " + sCfgFile_ + " already existing. Overwrite?", Buttons::YesNoCancel)) {
        case Answer::Yes: break;
        case Answer::No: mnuSaveAs_Click(); return;
        default: return;
      }
    }
    if (!confirmSaveOver(sCfgFile_)) return;
    if (!CreateXML(sCfgFile_)) return;  // nothing written: the old file and state stay
    unreadPart_.clear();
    storeSavedPath();
    state_.bCfgSaved = true;
  });
}

void frmEditing::mnuSaveAs_Click() {
  if (!state_.bCfgOpen) return;
  trapped([&] {
    if (!state_.colPLC || state_.colPLC->empty()) {
      ask("Configuration not valid", Buttons::Ok);
      return;
    }
    const auto chosen = prompter_.saveFile(this, "Save configuration", kFilter, currentFolder(),
                                           QString::fromLatin1(configfile::kDefaultFileName.data()));
    if (!chosen || chosen->isEmpty()) return;
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (!confirmSaveOver(path)) return;
    if (!CreateXML(path)) return;
    unreadPart_.clear();  // the file now named holds what the editor holds
    tree_->root()->setText(0, path);
    sCfgFile_ = path;
    storeSavedPath();
    state_.bCfgSaved = true;
  });
}

void frmEditing::mnuCloseCfg_Click() {
  trapped([&] {
    if (!mayDiscard("Do you want to save this configuration?")) return;
    state_.bCfgOpen = false;
    InitObjects();
    EnMenuButt(true, false, false, false, false, false, false, false, false, false);
    state_.dropCollections();
  });
}

}  // namespace zentarc::editor
