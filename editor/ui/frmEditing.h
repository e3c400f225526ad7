#pragma once
// The editor's main window: the configuration tree, the list of the selected node's
// contents, the menus and the toolbar.
#include <functional>
#include <vector>

#include <QHash>
#include <QPointer>
#include <QMainWindow>
#include <QString>

#include "editor/document/EditorState.h"
#include "editor/io/CreateXML.h"
#include "editor/ui/ItemList.h"
#include "editor/ui/Prompter.h"

class QAction;
class QDialog;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QToolBar;
class QTreeWidgetItem;

namespace zentarc::editor {

class ConfigTree;
class frmAbout;
class frmFind;

inline const char* const kWindowCaption =
    "Tarvelle - G.E. Fanuc Ethernet Tcp/Ip OPC Server - Configuration Tool";

// The window's title while no configuration is open; with one, "<file name>[*] - " and
// the program's name.
inline const char* const kProgramName = "ConfigOPCZentarc";

struct EditorOptions {
  QString programFolder;  // where a new configuration is bound; default: the executable's
  QString homeFolder;     // used instead when programFolder is not writable
  QString layoutFile;     // window size, splitter and column widths; default: the user's settings
};

class frmEditing : public QMainWindow {
  Q_OBJECT
 public:
  frmEditing(Prompter& prompter, EditorOptions options = {}, QWidget* parent = nullptr);
  ~frmEditing() override;

  EditorState& state() { return state_; }
  const QString& sCfgFile() const { return sCfgFile_; }
  ConfigTree* TreeView1() const { return tree_; }
  ItemList* ListView1() const { return list_; }
  QSplitter* Splitter1() const { return splitter_; }
  QProgressBar* pnlPercent() const { return pnlPercent_; }
  QFrame* pnlImpStat() const { return pnlImpStat_; }
  QAction* menuEntry(const QString& name) const;
  QAction* toolbarButton(const QString& key) const;
  Prompter& prompter() { return prompter_; }

  // File operations.
  void mnuNewCfg_Click();
  void mnuOpenCfg_Click();
  void mnuSaveCfg_Click();
  void mnuSaveAs_Click();
  void mnuCloseCfg_Click();
  void mnuExit_Click();
  void mnuImportCsv_Click();
  void mnuExportCsv_Click();
  bool ShowDialSave(QString& chosen);
  bool ImportXML(const QString& path);
  void FillTreeView();
  bool CreateXML(const QString& path);

  // Tree and list.
  void TreeView1_NodeClick(QTreeWidgetItem* node);
  void TreeView1_AfterLabelEdit(bool& cancel, const QString& newString);
  void TreeView1_DblClick();
  void ListView1_Click();
  void ListView1_DblClick();
  void ListView1_ColumnClick(int column);

  // Objects, clipboard and tools.
  void mnuAddPLC_Click();
  void mnuAddItem_Click();
  void modifyPLC();   // double click on a PLC
  void modifyItem();  // double click on an item
  void mnuCopy_Click();
  void mnuCut_Click();
  void mnuPaste_Click();
  void mnuDelete_Click();
  void mnuDuplicatePLC_Click();
  void mnuFind_Click();
  void mnuFindNext_Click();
  void Paste_Name_Click();
  void Paste_Comment_Click();
  void mnuAbout_Click();
  frmFind* findWindow() const;
  frmAbout* aboutWindow() const;
  // What of the open file was not read ("" when all of it was); Save asks before it
  // replaces that file.
  const QString& unreadPart() const { return unreadPart_; }

  // Hooks for tests and tools: called with each dialog this window creates, before it is
  // shown (the PLC and item dialogs go through the prompter's runModal as well).
  std::function<void(QDialog&)> onDialogCreated;

  void EnMenuButt(bool fileO, bool fileS, bool aplO, bool aitO, bool cpyO, bool cutO, bool pstO,
                  bool dltO, bool vewO, bool tolO);
  void InitObjects();
  void Toolbar1_ButtonClick(const QString& key);

  // Runs body; a run-time error is reported as " Error n. <number>  <description>".
  bool trapped(const std::function<void()>& body);
  // Title and modified mark from the open configuration's state.
  void refreshTitle();
  void reportError(int number, const QString& description);
  Answer ask(const QString& text, Buttons buttons);

  // Hooks for the dialogs' commands, which live beside this window.
  void setCommand(const QString& name, std::function<void()> command);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Form_Initialize();
  void Form_Load();
  bool Form_Unload();
  void Form_Resize();
  void layoutViews();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void bulkReplace(bool names);
  bool confirmSaveOver(const QString& path);
  QString currentFolder() const;
  void setBulkEntries(bool on);
  void restoreLayout();
  void saveLayout();
  bool copySelected();
  void deleteSelected(bool cut);
  // What a Cut removed: a PLC with its items, or one item and the PLC it was under.
  struct CutRecord {
    bool held = false;
    bool plc = false;
    std::string parent;  // the item's PLC
    int position = -1;   // among its siblings in the tree
    clsPLC plcObject;
    std::vector<clsPLCItem> items;
  };
  QString afterFailedPaste(bool plc);
  bool restoreCut(const CutRecord& cut);
  void buildMenus();
  void buildToolbar();
  void run(const QString& name);
  void addRootNode(const QString& text);
  void showViews(bool visible);
  void fillItemRow(int row, const clsPLCItem& item, bool withSortKey);
  std::vector<TreePlc> treeOrder() const;
  bool mayDiscard(const char* question);
  QString defaultConfigPath() const;
  void storeSavedPath();

  Prompter& prompter_;
  EditorOptions options_;
  EditorState state_;
  QString sCfgFile_;
  bool bLoading_ = false;
  int nDesignWidth_ = 0;
  int nDesignHeight_ = 0;
  ConfigTree* tree_ = nullptr;
  ItemList* list_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QFrame* pnlImpStat_ = nullptr;
  QLabel* lblLabel_ = nullptr;
  QProgressBar* pnlPercent_ = nullptr;
  QHash<QString, QAction*> menuEntries_;
  QHash<QString, QMenu*> menus_;
  QHash<QString, QAction*> buttons_;
  QHash<QString, std::function<void()>> commands_;
  QPointer<frmFind> find_;
  QPointer<frmAbout> about_;
  QString unreadPart_;
  CutRecord cut_;
  bool layoutRecorded_ = false;
  bool splitterRestored_ = false;
};

}  // namespace zentarc::editor
