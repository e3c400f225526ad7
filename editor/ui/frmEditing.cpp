#include "frmEditing.h"

#include <memory>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "editor/document/EditorError.h"
#include "editor/ui/ConfigTree.h"
#include "editor/ui/ImageLists.h"
#include "editor/ui/frmAbout.h"
#include "editor/ui/frmFind.h"
#include "editor/ui/mResize.h"

namespace zentarc::editor {

namespace {

struct ButtonDef {
  const char* key;
  const char* tip;
  const char* command;  // procedure run by the button; nullptr: none
  const char* image;
};

// The toolbar image a menu entry shows beside its caption.
QString menuImageKey(const QString& entry) {
  static const QHash<QString, QString> keys = {
      {"mnuNewCfg", "new"},   {"mnuOpenCfg", "open"},   {"mnuSaveCfg", "save"},  {"mnuCloseCfg", "close"},
      {"mnuExit", "exit"},    {"mnuAddPLC", "plc"},     {"mnuAddItem", "item"},  {"mnuDelete", "delete"},
      {"mnuCopy", "copy"},    {"mnuCut", "cut"},        {"mnuPaste", "paste"},   {"Paste_Name", "pastitem"},
      {"Paste_Comment", "pastcomment"}, {"mnuIcon", "icon"}, {"mnuSmallIcon", "smallicon"}, {"mnuList", "list"},
      {"mnuReport", "report"}, {"mnuFind", "find"},
  };
  return keys.value(entry);
}

// In toolbar order.
const ButtonDef kButtons[] = {
    {"new", "new config", "mnuNewCfg_Click", "new"},
    {"open", "open config", "mnuOpenCfg_Click", "open"},
    {"save", "save config", "mnuSaveCfg_Click", "save"},
    {"close", "close config", "mnuCloseCfg_Click", "close"},
    {"plc", "add PLC", "mnuAddPLC_Click", "plc"},
    {"group", "add group", nullptr, "group"},
    {"item", "add item", "mnuAddItem_Click", "item"},
    {"copy", "copy", "mnuCopy_Click", "copy"},
    {"cut", "cut", "mnuCut_Click", "cut"},
    {"paste", "paste", "mnuPaste_Click", "paste"},
    {"delete", "delete", "mnuDelete_Click", "delete"},
    {"icon", "view icon", "mnuIcon_Click", "icon"},
    {"smallicon", "view smallicon", "mnuSmallIcon_Click", "smallicon"},
    {"list", "view list", "mnuList_Click", "list"},
    {"report", "view report", "mnuReport_Click", "report"},
    {"find", "", "mnuFind_Click", "find"},
    {"exit", "exit", "mnuExit_Click", "exit"},
    // Each of the three paste commands has a picture of its own, so they can be told apart.
    {"pastitem", "Replace Item Name", "Paste_Name_Click", "pastitem"},
    {"pastcomment", "Replace Item Comment", "Paste_Comment_Click", "pastcomment"},
};

}  // namespace

frmEditing::frmEditing(Prompter& prompter, EditorOptions options, QWidget* parent)
    : QMainWindow(parent), prompter_(prompter), options_(std::move(options)) {
  setObjectName("frmEditing");
  setWindowTitle(kWindowCaption);
  if (options_.programFolder.isEmpty()) options_.programFolder = QApplication::applicationDirPath();
  if (options_.homeFolder.isEmpty()) options_.homeFolder = QDir::homePath();

  commands_ = {
      {"mnuNewCfg_Click", [this] { mnuNewCfg_Click(); }},
      {"mnuOpenCfg_Click", [this] { mnuOpenCfg_Click(); }},
      {"mnuSaveCfg_Click", [this] { mnuSaveCfg_Click(); }},
      {"mnuSaveAs_Click", [this] { mnuSaveAs_Click(); }},
      {"mnuCloseCfg_Click", [this] { mnuCloseCfg_Click(); }},
      {"mnuExit_Click", [this] { mnuExit_Click(); }},
      {"mnuImportCsv_Click", [this] { mnuImportCsv_Click(); }},
      {"mnuExportCsv_Click", [this] { mnuExportCsv_Click(); }},
      {"mnuDuplicatePLC_Click", [this] { mnuDuplicatePLC_Click(); }},
      {"mnuFindNext_Click", [this] { mnuFindNext_Click(); }},
      {"mnuIcon_Click", [this] { list_->setViewMode(ItemList::ViewMode::Icon); }},
      {"mnuSmallIcon_Click", [this] { list_->setViewMode(ItemList::ViewMode::SmallIcon); }},
      {"mnuList_Click", [this] { list_->setViewMode(ItemList::ViewMode::List); }},
      {"mnuReport_Click", [this] { list_->setViewMode(ItemList::ViewMode::Report); }},
      {"mnuAddPLC_Click", [this] { mnuAddPLC_Click(); }},
      {"mnuAddItem_Click", [this] { mnuAddItem_Click(); }},
      {"modifyPLC", [this] { modifyPLC(); }},
      {"modifyItem", [this] { modifyItem(); }},
      {"mnuCopy_Click", [this] { mnuCopy_Click(); }},
      {"mnuCut_Click", [this] { mnuCut_Click(); }},
      {"mnuPaste_Click", [this] { mnuPaste_Click(); }},
      {"mnuDelete_Click", [this] { mnuDelete_Click(); }},
      {"mnuFind_Click", [this] { mnuFind_Click(); }},
      {"Paste_Name_Click", [this] { Paste_Name_Click(); }},
      {"Paste_Comment_Click", [this] { Paste_Comment_Click(); }},
      {"mnuAbout_Click", [this] { mnuAbout_Click(); }},
  };

  auto* central = new QWidget(this);
  central->setObjectName("central");
  setCentralWidget(central);
  central->installEventFilter(this);
  splitter_ = new QSplitter(Qt::Horizontal, central);
  splitter_->setObjectName("Splitter1");
  splitter_->setChildrenCollapsible(false);
  tree_ = new ConfigTree(splitter_);
  list_ = new ItemList(splitter_);
  splitter_->addWidget(tree_);
  splitter_->addWidget(list_);
  tree_->afterLabelEdit = [this](QTreeWidgetItem*, const QString& text) {
    bool cancel = false;
    TreeView1_AfterLabelEdit(cancel, text);
    return cancel;
  };
  connect(tree_, &ConfigTree::nodeClicked, this, [this](QTreeWidgetItem* n) { TreeView1_NodeClick(n); });
  connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this] { TreeView1_DblClick(); });
  connect(list_, &ItemList::clicked, this, [this] { ListView1_Click(); });
  connect(list_, &ItemList::doubleClicked, this, [this] { ListView1_DblClick(); });
  // Enter opens the dialog of the chosen PLC or item, as a double click does.
  connect(tree_, &ConfigTree::enterPressed, this, [this] { TreeView1_DblClick(); });
  connect(list_, &ItemList::enterPressed, this, [this] { ListView1_DblClick(); });
  connect(list_, &ItemList::columnClicked, this, [this](int c) { ListView1_ColumnClick(c); });

  pnlImpStat_ = new QFrame(central);
  pnlImpStat_->setObjectName("pnlImpStat");
  pnlImpStat_->setFrameShape(QFrame::StyledPanel);
  pnlImpStat_->setAutoFillBackground(true);
  auto* panelLayout = new QVBoxLayout(pnlImpStat_);
  lblLabel_ = new QLabel("Loading File ....", pnlImpStat_);
  lblLabel_->setObjectName("lblLabel");
  pnlPercent_ = new QProgressBar(pnlImpStat_);
  pnlPercent_->setObjectName("pnlPercent");
  pnlPercent_->setRange(0, 100);
  panelLayout->addWidget(lblLabel_);
  panelLayout->addWidget(pnlPercent_);
  pnlImpStat_->resize(320, 80);
  pnlImpStat_->hide();

  buildMenus();
  buildToolbar();
  Form_Initialize();
  Form_Load();
}

frmEditing::~frmEditing() {
  tree_->afterLabelEdit = nullptr;
  delete find_;
  delete about_;
}

void frmEditing::buildMenus() {
  struct Entry {
    const char* caption;
    const char* name;  // nullptr: separator
    QKeySequence shortcut;
  };
  struct Menu {
    const char* caption;
    const char* name;
    std::vector<Entry> entries;
  };
  const std::vector<Menu> menus = {
      {"&File", "mnuFile",
       {{"&New Configuration", "mnuNewCfg", QKeySequence::New},
        {"&Open Configuration…", "mnuOpenCfg", QKeySequence::Open},
        {nullptr, nullptr, {}},
        {"&Save Configuration", "mnuSaveCfg", QKeySequence::Save},
        {"Save Configuration &As…", "mnuSaveAs", QKeySequence("Ctrl+Shift+S")},
        {nullptr, nullptr, {}},
        {"I&mport Tags from CSV…", "mnuImportCsv", {}},
        {"&Export Tags to CSV…", "mnuExportCsv", {}},
        {nullptr, nullptr, {}},
        {"&Close Configuration", "mnuCloseCfg", {}},
        {"E&xit", "mnuExit", QKeySequence("Ctrl+Q")}}},
      {"&Objects", "mnuObjects",
       {{"Add &PLC…", "mnuAddPLC", QKeySequence("Ctrl+P")},
        {"Add &Group", "mnuAddGroup", {}},
        {"Add &Item…", "mnuAddItem", QKeySequence("Ctrl+I")},
        {nullptr, nullptr, {}},
        {"&Delete Object", "mnuDelete", QKeySequence(Qt::Key_Delete)}}},
      {"&Edit", "mnuEdit",
       {{"&Copy", "mnuCopy", QKeySequence("Ctrl+C")},
        {"Cu&t", "mnuCut", QKeySequence("Ctrl+X")},
        {"&Paste", "mnuPaste", QKeySequence("Ctrl+V")},
        {"D&uplicate PLC with Items…", "mnuDuplicatePLC", {}},
        {nullptr, nullptr, {}},
        {"Paste Item name in Clipboard", "Paste_Name", {}},
        {"Paste Item comment  in Clipboard", "Paste_Comment", {}}}},
      {"&View", "mnuView",
       {{"&Icon", "mnuIcon", {}},
        {"&SmallIcon", "mnuSmallIcon", {}},
        {"&List", "mnuList", {}},
        {"&Report", "mnuReport", {}}}},
      {"&Tools", "mnuTools",
       {{"&Find…", "mnuFind", QKeySequence("Ctrl+F")}, {"Find &Next", "mnuFindNext", QKeySequence(Qt::Key_F3)}}},
  };
  for (const Menu& m : menus) {
    QMenu* menu = menuBar()->addMenu(m.caption);
    menu->setObjectName(m.name);
    menu->menuAction()->setObjectName(m.name);
    menus_.insert(m.name, menu);
    for (const Entry& e : m.entries) {
      if (!e.name) {
        menu->addSeparator();
        continue;
      }
      QAction* a = menu->addAction(e.caption);
      a->setObjectName(e.name);
      if (!e.shortcut.isEmpty()) a->setShortcut(e.shortcut);
      const QIcon icon = ImgListToolbar(menuImageKey(e.name));
      if (!icon.isNull()) a->setIcon(icon);
      const QString name = e.name;
      const QString procedure = name + "_Click";
      connect(a, &QAction::triggered, this, [this, procedure] { run(procedure); });
      menuEntries_.insert(name, a);
    }
  }
  // "Add Group" has no command; it is kept but not shown.
  menuEntries_.value("mnuAddGroup")->setVisible(false);
  // The About menu has no entries: its title is the command.
  QAction* about = menuBar()->addAction("&About");
  about->setObjectName("mnuAbout");
  connect(about, &QAction::triggered, this, [this] { run("mnuAbout_Click"); });
  menuEntries_.insert("mnuAbout", about);
}

void frmEditing::buildToolbar() {
  toolbar_ = addToolBar("Toolbar1");
  toolbar_->setObjectName("Toolbar1");
  toolbar_->setMovable(false);
  toolbar_->setIconSize(QSize(24, 24));
  for (const ButtonDef& b : kButtons) {
    QAction* a = toolbar_->addAction(QString::fromLatin1(b.key));
    a->setObjectName(QString("Toolbar1_") + b.key);
    a->setData(QString::fromLatin1(b.key));
    if (*b.tip) a->setToolTip(b.tip);
    const QString key = b.key;
    connect(a, &QAction::triggered, this, [this, key] { Toolbar1_ButtonClick(key); });
    buttons_.insert(key, a);
  }
  buttons_.value("group")->setVisible(false);  // no command behind it
}

void frmEditing::Toolbar1_ButtonClick(const QString& key) {
  trapped([&] {
    for (const ButtonDef& b : kButtons)
      if (key == b.key && b.command) run(b.command);
  });
}

void frmEditing::run(const QString& name) {
  const auto it = commands_.find(name);
  if (it != commands_.end() && *it) (*it)();
}

void frmEditing::setCommand(const QString& name, std::function<void()> command) {
  commands_.insert(name, std::move(command));
}

QAction* frmEditing::menuEntry(const QString& name) const {
  if (QAction* a = menuEntries_.value(name)) return a;
  if (QMenu* m = menus_.value(name)) return m->menuAction();
  return nullptr;
}

QAction* frmEditing::toolbarButton(const QString& key) const { return buttons_.value(key); }

void frmEditing::Form_Initialize() {
  trapped([&] {
    for (const ButtonDef& b : kButtons) buttons_.value(b.key)->setIcon(ImgListToolbar(b.image));
    setBulkEntries(false);
  });
}

// The commands that work on the list of one PLC's items: the two bulk commands and the
// duplicate of that PLC.
void frmEditing::setBulkEntries(bool on) {
  for (const char* n : {"pastitem", "pastcomment"}) buttons_.value(n)->setEnabled(on);
  for (const char* n : {"Paste_Name", "Paste_Comment", "mnuDuplicatePLC"}) menuEntries_.value(n)->setEnabled(on);
}

void frmEditing::Form_Load() {
  trapped([&] {
    bLoading_ = true;
    nDesignWidth_ = width();
    nDesignHeight_ = height();
    setWindowState(Qt::WindowNoState);
    if (const QScreen* screen = QApplication::primaryScreen()) {
      const QSize s = screen->availableGeometry().size();
      resize(static_cast<int>(s.width() * 0.8), static_cast<int>(s.height() * 0.8));
    }
    layoutViews();
    restoreLayout();
    state_.nNextItem = 1;
    state_.nNextPLC = 1;
    showViews(false);
    EnMenuButt(true, false, false, false, false, false, false, false, false, false);
    bLoading_ = false;
  });
}

void frmEditing::layoutViews() {
  const QWidget* c = centralWidget();
  const int w = c->width();
  const int h = c->height();
  // The splitter fills the window; the tree starts at 0.3 of it, the list takes the rest.
  splitter_->setGeometry(0, 0, w, h);
  splitter_->setSizes({static_cast<int>(0.3 * w), static_cast<int>(0.7 * w)});
  pnlImpStat_->move((w - pnlImpStat_->width()) / 2, (h - pnlImpStat_->height()) / 2);
}

// The user's own settings (not the machine-wide store the server reads).
static std::unique_ptr<QSettings> layoutSettings(const QString& file) {
  if (!file.isEmpty()) return std::make_unique<QSettings>(file, QSettings::IniFormat);
  return std::make_unique<QSettings>("Tarvelle", kProgramName);
}

void frmEditing::restoreLayout() {
  const std::unique_ptr<QSettings> settings = layoutSettings(options_.layoutFile);
  const QByteArray geometry = settings->value("window/geometry").toByteArray();
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  const QByteArray split = settings->value("window/splitter").toByteArray();
  splitterRestored_ = !split.isEmpty() && splitter_->restoreState(split);
  list_->restoreColumnWidths(settings->value("window/columns").toByteArray());
}

void frmEditing::saveLayout() {
  const std::unique_ptr<QSettings> settings = layoutSettings(options_.layoutFile);
  settings->setValue("window/geometry", saveGeometry());
  settings->setValue("window/splitter", splitter_->saveState());
  settings->setValue("window/columns", list_->saveColumnWidths());
  settings->sync();
}

void frmEditing::resizeEvent(QResizeEvent* event) { QMainWindow::resizeEvent(event); }

bool frmEditing::eventFilter(QObject* watched, QEvent* event) {
  if (watched == centralWidget() && event->type() == QEvent::Resize) Form_Resize();
  return QMainWindow::eventFilter(watched, event);
}

void frmEditing::Form_Resize() {
  if (bLoading_) return;
  if (!layoutRecorded_) {
    // The controls are recorded at the size they were laid out for, so that later sizes
    // scale them from there (the size before loading would scale them from the wrong base).
    const QByteArray restored = splitter_->saveState();
    layoutViews();
    if (splitterRestored_) splitter_->restoreState(restored);
    layoutRecorded_ = true;
  }
  ResizeControls(centralWidget(), 0, 0);
}

// The tree and the list are shown and hidden together with their splitter, which then
// keeps the share the user gave each of them.
void frmEditing::showViews(bool visible) { splitter_->setVisible(visible); }

void frmEditing::EnMenuButt(bool fileO, bool fileS, bool aplO, bool aitO, bool cpyO, bool cutO,
                            bool pstO, bool dltO, bool vewO, bool tolO) {
  trapped([&] {
    auto set = [&](std::initializer_list<const char*> names, bool on) {
      for (const char* n : names) {
        if (QAction* a = menuEntry(n)) a->setEnabled(on);
        if (QAction* b = buttons_.value(n)) b->setEnabled(on);
      }
    };
    set({"mnuFile", "mnuNewCfg", "mnuOpenCfg", "new", "open"}, fileO);
    set({"mnuSaveCfg", "mnuSaveAs", "mnuCloseCfg", "mnuImportCsv", "mnuExportCsv", "save", "close"}, fileS);
    set({"mnuAddPLC", "plc"}, aplO);
    set({"mnuAddItem", "item"}, aitO);
    set({"mnuDelete", "delete"}, dltO);
    set({"mnuCopy", "copy"}, cpyO);
    set({"mnuCut", "cut"}, cutO);
    set({"mnuPaste", "paste"}, pstO);
    set({"mnuView", "mnuIcon", "mnuSmallIcon", "mnuList", "mnuReport", "icon", "smallicon", "list",
         "report"},
        vewO);
    set({"mnuTools", "mnuFind", "mnuFindNext", "find"}, tolO);
    set({"mnuObjects"}, aplO || aitO || dltO);
    set({"mnuEdit"}, cpyO || cutO || pstO);
  });
}

void frmEditing::InitObjects() {
  trapped([&] {
    showViews(false);
    tree_->clearNodes();
    list_->clearAll();
    state_.objCopiedItem = clsPLCItem{};
    state_.objCopiedPLC = clsPLC{};
    state_.nCopiedPLC = 1;
    state_.nCopiedItem = 1;
    cut_ = CutRecord{};
    // The list is empty now, so nothing is left for the commands on its items.
    setBulkEntries(false);
    unreadPart_.clear();
  });
}

bool frmEditing::trapped(const std::function<void()>& body) {
  struct Title {
    frmEditing* w;
    ~Title() { w->refreshTitle(); }
  } title{this};
  try {
    body();
    return true;
  } catch (const EditorError& e) {
    reportError(e.number(), QString::fromStdString(e.what()));
  } catch (const std::bad_alloc&) {
    reportError(7, "The computer ran out of memory and the command stopped. Save your work under a new name, "
                   "close other programs and try again.");
  } catch (const std::exception& e) {
    reportError(51, QString("The command stopped unexpectedly (") + e.what() +
                        "). Check the PLCs and items it worked on before you save.");
  }
  return false;
}

void frmEditing::reportError(int number, const QString& description) {
  prompter_.message(this, QString::fromStdString(errorReportText(number, description.toStdString())),
                    Buttons::Error);
}

void frmEditing::refreshTitle() {
  if (!state_.bCfgOpen) {
    setWindowTitle(kWindowCaption);
    setWindowModified(false);
    return;
  }
  setWindowTitle(QFileInfo(sCfgFile_).fileName() + "[*] - " + kProgramName);
  setWindowModified(!state_.bCfgSaved);
}

Answer frmEditing::ask(const QString& text, Buttons buttons) {
  return prompter_.message(this, text, buttons);
}

void frmEditing::mnuExit_Click() {
  if (!mayDiscard("Do you want to save active configuration?")) return;
  state_.bCfgOpen = false;  // answered: the window's unload does not ask again
  close();
}

void frmEditing::closeEvent(QCloseEvent* event) {
  if (Form_Unload())
    event->accept();
  else
    event->ignore();  // the user kept the configuration, or its save did not happen
}

bool frmEditing::Form_Unload() {
  bool go = false;
  trapped([&] { go = mayDiscard("Do you want to save active configuration?"); });
  if (!go) return false;
  // A label still being edited is abandoned: the configuration goes away below.
  tree_->afterLabelEdit = nullptr;
  saveLayout();
  trapped([&] {
    state_.bCfgOpen = false;
    state_.dropCollections();
    if (state_.bFindOpen && find_) find_->close();
  });
  return true;
}

}  // namespace zentarc::editor
