// The main window driven as a user would: menus, tree clicks, list clicks, prompts.
#include <gtest/gtest.h>

#include <QAction>
#include <QListView>
#include <QProgressBar>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

const char* const kEntries[] = {"mnuFile",  "mnuNewCfg", "mnuOpenCfg", "mnuSaveCfg", "mnuSaveAs",
                                "mnuCloseCfg", "mnuObjects", "mnuAddPLC", "mnuAddItem", "mnuDelete",
                                "mnuEdit",  "mnuCopy",   "mnuCut",     "mnuPaste",   "mnuView",
                                "mnuTools", "mnuFind",   "Paste_Name"};

// Enabled entries among kEntries, as a compact string to compare.
QString enabledEntries(EditorFixture& f) {
  QStringList on;
  for (const char* e : kEntries)
    if (f.enabled(e)) on << e;
  return on.join(' ');
}

std::string threePlcFile() {
  return configFile(
      plcLines("P1", "10.0.0.1",
               tagLines("B9", "bit two", "VT_BOOL", 9, 2) + tagLines("I10", "", "VT_I2", 10) +
                   tagLines("BA", "x&lt;y", "VT_BOOL ARRAY", 120, 3, 16, "READ") +
                   tagLines("W100", "", "VT_UI2 ARRAY", 100, -1, 10)) +
      plcLines("P2", "10.0.0.2", tagLines("S1", "text", "VT_BSTR", 5, -1, 8, "WRITE")) +
      plcLines("P3", "10.0.0.3", ""));
}

}  // namespace

TEST(EditorWindow, startsWithNoConfigurationAndOnlyFileCommands) {
  EditorFixture f;
  EXPECT_EQ(f.window->windowTitle().toStdString(),
            "Tarvelle - G.E. Fanuc Ethernet Tcp/Ip OPC Server - Configuration Tool");
  EXPECT_FALSE(f.window->TreeView1()->isVisible());
  EXPECT_FALSE(f.window->ListView1()->isVisible());
  EXPECT_EQ(enabledEntries(f), "mnuFile mnuNewCfg mnuOpenCfg");
  EXPECT_TRUE(f.enabled("mnuExit"));
  EXPECT_TRUE(f.enabled("mnuAbout"));
  EXPECT_TRUE(f.enabled("exit"));
  EXPECT_FALSE(f.enabled("pastitem"));
  EXPECT_EQ(f.window->menuEntry("mnuAddPLC")->shortcut(), QKeySequence("Ctrl+P"));
  EXPECT_EQ(f.window->menuEntry("mnuDelete")->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(f.window->toolbarButton("pastcomment")->toolTip(), "Replace Item Comment");
}

TEST(EditorWindow, menuStateFollowsTheSelectedNodeKind) {
  EditorFixture f;
  const auto path = f.dir.write("three.xml", threePlcFile());
  f.open(QString::fromStdString(path.string()));
  EXPECT_TRUE(f.window->TreeView1()->isVisible());
  const QString fileRow = "mnuFile mnuNewCfg mnuOpenCfg mnuSaveCfg mnuSaveAs mnuCloseCfg";
  EXPECT_EQ(enabledEntries(f), fileRow + " mnuTools mnuFind");
  f.clickKey("PLCs");
  EXPECT_EQ(enabledEntries(f), fileRow + " mnuObjects mnuAddPLC mnuEdit mnuPaste mnuView mnuTools mnuFind");
  f.clickKey("P1");
  EXPECT_EQ(enabledEntries(f), fileRow + " mnuObjects mnuAddItem mnuDelete mnuEdit mnuCopy mnuCut "
                                         "mnuPaste mnuView mnuTools mnuFind Paste_Name");
  EXPECT_TRUE(f.enabled("pastcomment"));
  f.clickKey("I10");
  EXPECT_EQ(enabledEntries(f), fileRow + " mnuObjects mnuDelete mnuEdit mnuCopy mnuCut mnuView mnuTools mnuFind");
  EXPECT_FALSE(f.enabled("pastitem"));
  // The root leaves the list as it was but sets the menus for the root.
  f.clickKey("PLCs");
  f.click(f.node(""));
  EXPECT_EQ(f.column(0), (QStringList{"P1", "P2", "P3"}));
  EXPECT_EQ(enabledEntries(f), fileRow + " mnuTools mnuFind");
  // Toolbar buttons follow the same table.
  EXPECT_FALSE(f.enabled("plc"));
  EXPECT_TRUE(f.enabled("find"));
  f.trigger("mnuCloseCfg");
  EXPECT_EQ(enabledEntries(f), "mnuFile mnuNewCfg mnuOpenCfg");
  EXPECT_FALSE(f.window->TreeView1()->isVisible());
}

TEST(EditorWindow, listShowsTheColumnsAndTextsOfEachNodeKind) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.clickKey("PLCs");
  EXPECT_EQ(f.headers(), (QStringList{"PLC Name", "PLC IP Address"}));
  EXPECT_EQ(f.column(1), (QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
  f.clickKey("P1");
  EXPECT_EQ(f.headers(),
            (QStringList{"Item Name", "Comment", "Address", "Datatype", "Access Rights", "Address 2"}));
  EXPECT_EQ(f.column(0), (QStringList{"B9", "I10", "BA", "W100"}));
  EXPECT_EQ(f.column(1), (QStringList{"bit two", "", "x<y", ""}));
  EXPECT_EQ(f.column(2), (QStringList{"P1/%R9/bit2", "P1/%R10", "P1/%R120/bit3/len16", "P1/%R100/len10"}));
  EXPECT_EQ(f.column(3), (QStringList{"boolean", "signed 16 bit", "boolean array", "unsigned 16 bit array"}));
  EXPECT_EQ(f.column(4), (QStringList{"READWRITE", "READWRITE", "READ", "READWRITE"}));
  EXPECT_EQ(f.column(5), (QStringList{"00000902", "00001000", "00012003", "00010000"}));
  EXPECT_EQ(f.window->ListView1()->largeIconKey(3), "unsigned 16 bit");
  f.clickKey("P3");
  EXPECT_EQ(f.headers(), (QStringList{"Item Name", "Comment", "Address", "Datatype", "Access Rights"}));
  EXPECT_EQ(f.window->ListView1()->rowCount(), 0);
  f.clickKey("S1");
  EXPECT_EQ(f.headers(), (QStringList{"Item Name", "Comment", "Address", "Datatype", "Access Rights"}));
  EXPECT_EQ(f.column(2), (QStringList{"P2/%R5/len8"}));
  const int w = f.window->ListView1()->width();
  EXPECT_NEAR(f.window->ListView1()->columnWidth(0), 0.4 * w, 1.0);
}

TEST(EditorWindow, sortingByAddress2IsNumericAndByAddressIsText) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.clickKey("P1");
  f.clickColumn(5);
  EXPECT_EQ(f.column(0), (QStringList{"B9", "I10", "W100", "BA"}));
  f.clickColumn(2);
  EXPECT_EQ(f.column(2), (QStringList{"P1/%R10", "P1/%R100/len10", "P1/%R120/bit3/len16", "P1/%R9/bit2"}));
  // Sorting stays on for other nodes, until New or Open.
  f.clickKey("PLCs");
  f.clickKey("P1");
  EXPECT_EQ(f.column(0).first(), "I10");
  f.open(QString::fromStdString(f.dir.path().string() + "/three.xml"));
  f.clickKey("P1");
  EXPECT_EQ(f.column(0), (QStringList{"B9", "I10", "BA", "W100"}));
}

TEST(EditorWindow, iconModeLastsUntilTheListIsFilledAgain) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.clickKey("P1");
  f.trigger("mnuIcon");
  EXPECT_EQ(f.window->ListView1()->viewMode(), ItemList::ViewMode::Icon);
  EXPECT_TRUE(f.window->ListView1()->iconView()->isVisible());
  f.window->toolbarButton("list")->trigger();
  EXPECT_EQ(f.window->ListView1()->viewMode(), ItemList::ViewMode::List);
  f.clickKey("P2");
  EXPECT_EQ(f.window->ListView1()->viewMode(), ItemList::ViewMode::Report);
}

TEST(EditorWindow, listClickSelectsTheTreeNodeWithoutRefreshingTheList) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.clickKey("PLCs");
  f.clickRow(1);
  EXPECT_EQ(ConfigTree::key(f.window->TreeView1()->selectedNode()), "P2");
  EXPECT_EQ(f.headers(), (QStringList{"PLC Name", "PLC IP Address"}));
  EXPECT_TRUE(f.enabled("mnuAddPLC"));  // menus keep the state of the listed node
}

TEST(EditorWindow, labelEditsRefuseTakenNamesBeforeAnythingChanges) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  // Another PLC's name, an item's name, a name differing only in case, "PLCs".
  for (const char* name : {"P2", "I10", "p2", "plcs"}) {
    f.editLabel(f.node("P1"), name);
    EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"PLC Name already existing"})) << name;
    EXPECT_EQ(f.node("P1")->text(0), "P1");
  }
  for (const char* name : {"S1", "s1", "P3"}) {
    f.editLabel(f.node("I10"), name);
    EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Name already existing"})) << name;
    EXPECT_EQ(f.node("I10")->text(0), "I10");
  }
  EXPECT_TRUE(f.window->state().bCfgSaved);
  EXPECT_EQ(f.window->state().colItems->Count(), 5u);
  // The root refuses silently.
  f.editLabel(f.node(""), "x");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_EQ(f.node("")->text(0), f.window->sCfgFile());
}

TEST(EditorWindow, renamingAPlcCarriesTheNameIntoItsItemsAndTheFile) {
  EditorFixture f;
  const auto path = f.dir.write("three.xml", threePlcFile());
  f.open(QString::fromStdString(path.string()));
  f.editLabel(f.node("P1"), "Press");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_EQ(f.column(2).first(), "Press/%R9/bit2");
  EXPECT_FALSE(f.window->state().bCfgSaved);
  EXPECT_EQ(f.window->state().colItems->Item("BA").sPLCName(), "Press");
  // An item may change the letter case of its own name.
  f.editLabel(f.node("I10"), "i10");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_EQ(f.node("i10")->text(0), "i10");
  f.prompter.answers.push_back(Answer::Yes);  // overwrite
  f.trigger("mnuSaveCfg");
  const std::string saved = TempDir::read(path);
  EXPECT_NE(saved.find("<PLC name=\"Press\" IPaddress=\"10.0.0.1\">"), std::string::npos);
  EXPECT_NE(saved.find("<name>i10</name>"), std::string::npos);
  // The tree keeps the PLC's place, so the file does too.
  EXPECT_LT(saved.find("Press"), saved.find("\"P2\""));
}

TEST(EditorWindow, openingAFileAndSavingItAgainGivesTheSameBytes) {
  EditorFixture f;
  const std::string original = threePlcFile();
  const auto path = f.dir.write("three.xml", original);
  f.open(QString::fromStdString(path.string()));
  EXPECT_TRUE(f.window->state().bCfgSaved);
  EXPECT_EQ(f.window->state().nNextPLC, 4);
  EXPECT_EQ(f.window->state().nNextItem, 6);
  f.prompter.answers.push_back(Answer::Yes);
  f.trigger("mnuSaveCfg");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"File " + f.window->sCfgFile() + " already existing. Overwrite?"}));
  EXPECT_EQ(TempDir::read(path), original);
  EXPECT_EQ(f.recordedConfigFile(), path.string());
}

TEST(EditorWindow, openStopsAtDuplicateNamesAndSaysOnlyPartWasLoaded) {
  EditorFixture f;
  const auto path = f.dir.write(
      "dup.xml", configFile(plcLines("P1", "1", tagLines("A", "", "VT_I2", 1) + tagLines("a", "", "VT_I2", 3) +
                                                    tagLines("C", "", "VT_I2", 4)) +
                            plcLines("P3", "3", "")));
  f.open(QString::fromStdString(path.string()));
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{" Error n. 457  The item name \"a\" is already used by a PLC or an item (names "
                                  "compare without regard to case) (line 13). Only part of the file was loaded (1 PLC "
                                  "and 1 item); saving over the file would drop the rest. Correct the file there and "
                                  "open it again."}));
  EXPECT_NE(f.window->TreeView1()->nodeByKey("A"), nullptr);
  EXPECT_EQ(f.window->TreeView1()->nodeByKey("C"), nullptr);
  EXPECT_EQ(f.window->TreeView1()->nodeByKey("P3"), nullptr);
  EXPECT_EQ(f.node("A")->parent(), f.node("P1"));
  EXPECT_TRUE(f.window->state().bCfgOpen);
  EXPECT_TRUE(f.window->state().bCfgSaved);
}

TEST(EditorWindow, openShowsProgressAndReadsTheLeadingNumberOfAddresses) {
  EditorFixture f;
  std::string tags;
  for (int i = 0; i < 50; ++i) tags += tagLines("T" + std::to_string(i), "", "VT_I2", i + 1);
  std::string text = configFile(plcLines("P1", "1", tags));
  // Addresses as some hand-edited files hold them.
  for (auto [from, to] : {std::pair{"<address>1<", "<address>12.5<"}, {"<address>2<", "<address>13.5<"},
                          {"<address>3<", "<address>7x<"}})
    text.replace(text.find(from), std::string(from).size(), to);
  QList<int> seen;
  QObject::connect(f.window->pnlPercent(), &QProgressBar::valueChanged, [&](int v) {
    if (f.window->pnlImpStat()->isVisible()) seen << v;
  });
  f.open(QString::fromStdString(f.dir.write("p.xml", text).string()));
  EXPECT_GE(seen.size(), 40);
  EXPECT_EQ(seen.last(), 100);
  EXPECT_FALSE(f.window->pnlImpStat()->isVisible());
  EXPECT_EQ(f.window->state().colItems->Item("T0").nDataWord(), 12);
  EXPECT_EQ(f.window->state().colItems->Item("T1").nDataWord(), 14);
  EXPECT_EQ(f.window->state().colItems->Item("T2").nDataWord(), 7);
}

TEST(EditorWindow, cancellingTheOpenDialogChangesNothing) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.clickKey("P1");
  const QString before = enabledEntries(f);
  f.prompter.openFiles.push_back(std::nullopt);
  f.trigger("mnuOpenCfg");
  EXPECT_EQ(f.prompter.titles.back(), "Open as existing configuration");
  EXPECT_EQ(enabledEntries(f), before);
  EXPECT_EQ(f.window->state().colPLC->Count(), 3u);
}

TEST(EditorWindow, newThenSaveIsRefusedUntilThereIsAPlc) {
  EditorFixture f;
  f.trigger("mnuNewCfg");
  EXPECT_EQ(f.window->sCfgFile().toStdString(), f.dir.path().string() + "/OPCZentarc.xml");
  EXPECT_FALSE(f.window->state().bCfgSaved);
  f.trigger("mnuSaveCfg");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Configuration not valid"}));
  f.trigger("mnuSaveAs");
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Configuration not valid"}));
  // With a PLC the file is written beside the program without a question.
  clsPLC p;
  p.setName("P");
  f.window->state().colPLC->Add(p, "P");
  f.window->TreeView1()->addNode(f.node("PLCs"), "P", "P", "plc", "plc");
  f.trigger("mnuSaveCfg");
  EXPECT_TRUE(f.prompter.takeShown().empty());
  EXPECT_TRUE(f.window->state().bCfgSaved);
  EXPECT_EQ(TempDir::read(f.dir.file("OPCZentarc.xml")),
            configFile(plcLines("P", "", "")));
  EXPECT_EQ(f.recordedConfigFile(), f.dir.file("OPCZentarc.xml").string());
}

TEST(EditorWindow, newUsesTheHomeFolderWhenTheProgramFolderIsNotWritable) {
  ScriptedPrompter prompter;
  TempDir dir;
  EditorOptions options;
  options.programFolder = QString::fromStdString((dir.path() / "no-such-folder").string());
  options.homeFolder = QString::fromStdString(dir.path().string());
  frmEditing window(prompter, options);
  window.mnuNewCfg_Click();
  EXPECT_EQ(window.sCfgFile().toStdString(), dir.path().string() + "/OPCZentarc.xml");
  window.state().bCfgOpen = false;
}

TEST(EditorWindow, answeringNoToOverwriteOffersSaveAsAndCancelKeepsItUnsaved) {
  EditorFixture f;
  const auto path = f.dir.write("three.xml", threePlcFile());
  f.open(QString::fromStdString(path.string()));
  f.editLabel(f.node("P3"), "P4");
  f.prompter.answers.push_back(Answer::No);
  f.prompter.saveFiles.push_back(std::nullopt);
  f.trigger("mnuSaveCfg");
  EXPECT_EQ(f.prompter.saveProposed, (std::vector<QString>{"OPCZentarc.xml"}));
  EXPECT_EQ(f.prompter.titles.back(), "Save configuration");
  EXPECT_FALSE(f.window->state().bCfgSaved);
  EXPECT_EQ(TempDir::read(path), threePlcFile());
  // Save As to another file binds the configuration to it, without asking.
  const std::string other = f.dir.file("other.xml").string();
  f.dir.write("other.xml", "old");
  f.prompter.saveFiles.push_back(QString::fromStdString(other));
  f.trigger("mnuSaveAs");
  EXPECT_TRUE(f.window->state().bCfgSaved);
  EXPECT_EQ(f.window->sCfgFile().toStdString(), other);
  EXPECT_EQ(f.node("")->text(0).toStdString(), other);
  EXPECT_NE(TempDir::read(other).find("\"P4\""), std::string::npos);
  EXPECT_EQ(f.recordedConfigFile(), other);
}

TEST(EditorWindow, saveBeforeReplaceCancelledKeepsTheOldConfigurationOpen) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.editLabel(f.node("P3"), "P4");
  f.prompter.answers = {Answer::Yes, Answer::Cancel};  // save first? overwrite?
  f.trigger("mnuNewCfg");
  EXPECT_EQ(f.prompter.takeShown().front(), "Do you want to save active configuration?");
  EXPECT_NE(f.window->TreeView1()->nodeByKey("P4"), nullptr);
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // Answering No discards the changes.
  f.prompter.answers = {Answer::No};
  f.trigger("mnuNewCfg");
  EXPECT_EQ(f.window->TreeView1()->nodeByKey("P4"), nullptr);
  EXPECT_EQ(f.window->state().colPLC->Count(), 0u);
  // Close asks its own question.
  f.prompter.answers = {Answer::No};
  f.trigger("mnuCloseCfg");
  EXPECT_EQ(f.prompter.takeShown().back(), "Do you want to save this configuration?");
  EXPECT_FALSE(f.window->state().bCfgOpen);
  EXPECT_EQ(f.window->state().colPLC, nullptr);
}

TEST(EditorWindow, aFailedSaveKeepsTheOldFileAndTheUnsavedState) {
  EditorFixture f;
  const auto path = f.dir.write("three.xml", threePlcFile());
  f.open(QString::fromStdString(path.string()));
  f.editLabel(f.node("P3"), "P4");
  // The file's folder is replaced by one where the temporary file cannot be created.
  const std::string gone = f.dir.file("gone/three.xml").string();
  f.prompter.saveFiles.push_back(QString::fromStdString(gone));
  f.trigger("mnuSaveAs");
  auto shown = f.prompter.takeShown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].startsWith(" Error n. 75  The configuration was not saved (")) << shown[0].toStdString();
  EXPECT_TRUE(shown[0].endsWith("the old file is unchanged. Save it under another name or in a folder you may write to."));
  EXPECT_FALSE(f.window->state().bCfgSaved);
  EXPECT_EQ(f.window->sCfgFile().toStdString(), path.string());
  EXPECT_FALSE(f.recordedConfigFile().has_value());
  EXPECT_EQ(TempDir::read(path), threePlcFile());
}

TEST(EditorWindow, aSettingsStoreThatCannotBeWrittenIsReported) {
  EditorFixture f;
  ::setenv("OPCZENTARC_SETTINGS", (f.dir.path() / "missing/folder/settings.ini").c_str(), 1);
  const auto path = f.dir.write("three.xml", threePlcFile());
  f.open(QString::fromStdString(path.string()));
  f.prompter.answers.push_back(Answer::Yes);
  f.trigger("mnuSaveCfg");
  const auto shown = f.prompter.takeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_TRUE(shown[1].contains("could not be recorded for the server")) << shown[1].toStdString();
  EXPECT_TRUE(shown[1].contains("missing/folder"));
  EXPECT_TRUE(f.window->state().bCfgSaved);  // the file itself was written
}

TEST(EditorWindow, closingTheWindowWithChangesAsksOnceAndClosesOnlyWhenTheWorkIsSavedOrDropped) {
  EditorFixture f;
  f.trigger("mnuNewCfg");
  f.prompter.answers.push_back(Answer::Yes);
  f.window->close();  // the save is refused: no PLC
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Do you want to save active configuration?",
                                                          "Configuration not valid"}));
  EXPECT_TRUE(f.window->isVisible());
  ASSERT_NE(f.window->state().colPLC, nullptr);
  f.prompter.answers.push_back(Answer::No);
  f.window->close();
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_EQ(f.window->state().colPLC, nullptr);
  // Exit asks once as well, not a second time when the window unloads.
  EditorFixture g;
  g.trigger("mnuNewCfg");
  g.prompter.answers.push_back(Answer::No);
  g.trigger("mnuExit");
  EXPECT_EQ(g.prompter.takeShown().size(), 1u);
  EXPECT_FALSE(g.window->isVisible());
}

TEST(EditorWindow, doubleClickOnTheRootOrThePlcGroupOpensNothing) {
  EditorFixture f;
  f.open(QString::fromStdString(f.dir.write("three.xml", threePlcFile()).string()));
  f.doubleClick(f.node(""));
  f.doubleClick(f.node("PLCs"));
  EXPECT_TRUE(f.prompter.takeShown().empty());
}
