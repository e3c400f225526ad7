// Unsaved work is never thrown away: quitting, closing the configuration or the window,
// New and Open ask with Yes, No and Cancel; Cancel (also Esc) and a save that did not
// happen keep the editor open with the changes.
#include <filesystem>

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidgetItem>

#include "editor/ui/ConfigTree.h"
#include "tests/editor/EditorTestSupport.h"

using namespace zentarc::editor;
using namespace zentarc::editor::test;
using zentarc::testsupport::TempDir;

namespace {

const QMessageBox::StandardButtons kYesNoCancel = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;

struct UnsavedPlant : EditorFixture {
  std::filesystem::path path;
  std::string original;
  UnsavedPlant(const std::string& folder = "") {
    if (!folder.empty()) std::filesystem::create_directories(dir.path() / folder);
    original = configFile(plcLines("Line1", "10.0.0.1", tagLines("Pump", "", "VT_I2", 10)) +
                          plcLines("Line2", "10.0.0.2", tagLines("Speed", "", "VT_R4", 20)));
    path = dir.write((folder.empty() ? "" : folder + "/") + "plant.xml", original);
    open(QString::fromStdString(path.string()));
    editLabel(node("Line1"), "Press1");  // F2, a new name, Enter
  }
  // The configuration is still open with the renamed PLC, unsaved.
  void expectChangeKept() {
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->state().bCfgOpen);
    EXPECT_FALSE(window->state().bCfgSaved);
    EXPECT_TRUE(window->isWindowModified());
    EXPECT_NE(window->TreeView1()->nodeByKey("Press1"), nullptr);
    EXPECT_EQ(TempDir::read(path), original);
  }
  void quitByKeys() { QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier); }
};

}  // namespace

TEST(UnsavedWork, cancelAndEscKeepTheChangesForQuitCloseNewOpenAndTheWindowsCloseBox) {
  UnsavedPlant f;
  ASSERT_TRUE(f.window->isWindowModified());
  f.prompter.boxKeys = {Qt::Key_Escape};
  f.quitByKeys();
  ASSERT_EQ(f.prompter.boxButtons.size(), 1u);
  EXPECT_EQ(f.prompter.boxButtons[0], kYesNoCancel);
  EXPECT_EQ(f.prompter.takeShown(), (std::vector<QString>{"Do you want to save active configuration?"}));
  f.expectChangeKept();

  f.prompter.answers = {Answer::Cancel};
  f.trigger("mnuExit");
  f.expectChangeKept();
  f.prompter.answers = {Answer::Cancel};
  f.trigger("mnuCloseCfg");
  EXPECT_EQ(f.prompter.takeShown(),
            (std::vector<QString>{"Do you want to save active configuration?", "Do you want to save this configuration?"}));
  f.expectChangeKept();
  f.prompter.boxKeys = {Qt::Key_Escape, Qt::Key_Escape};
  f.trigger("mnuNewCfg");
  f.trigger("mnuOpenCfg");  // no open dialog follows
  f.expectChangeKept();
  f.prompter.boxKeys = {Qt::Key_Escape};
  f.window->close();
  f.expectChangeKept();
  EXPECT_EQ(f.prompter.boxButtons, std::vector<QMessageBox::StandardButtons>(4, kYesNoCancel));

  // No drops the changes and quits.
  f.prompter.answers = {Answer::No};
  f.trigger("mnuExit");
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_EQ(TempDir::read(f.path), f.original);
}

TEST(UnsavedWork, aSaveThatDidNotHappenKeepsTheEditorOpenWithTheChanges) {
  UnsavedPlant f("sub");
  // Yes, then Cancel at the overwrite question.
  f.prompter.answers = {Answer::Yes, Answer::Cancel};
  f.quitByKeys();
  f.expectChangeKept();
  // Yes, then No at the overwrite question and a cancelled save dialog.
  f.prompter.answers = {Answer::Yes, Answer::No};
  f.prompter.saveFiles = {std::nullopt};
  f.window->close();
  f.expectChangeKept();
  for (const char* command : {"mnuCloseCfg", "mnuNewCfg", "mnuOpenCfg"}) {
    f.prompter.answers = {Answer::Yes, Answer::Cancel};
    f.trigger(command);
    f.expectChangeKept();
  }
  f.prompter.takeShown();
  // A save that fails: the file's folder is gone.
  std::filesystem::remove_all(f.dir.path() / "sub");
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuExit");
  const auto shown = f.prompter.takeShown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_TRUE(shown[1].startsWith(" Error n. 75  The configuration was not saved")) << shown[1].toStdString();
  EXPECT_TRUE(f.window->isVisible());
  EXPECT_NE(f.window->TreeView1()->nodeByKey("Press1"), nullptr);
  EXPECT_FALSE(f.window->state().bCfgSaved);
  // Once the save happens, the editor quits.
  std::filesystem::create_directories(f.dir.path() / "sub");
  f.prompter.answers = {Answer::Yes};
  f.trigger("mnuExit");
  EXPECT_FALSE(f.window->isVisible());
  EXPECT_NE(TempDir::read(f.path).find("<PLC name=\"Press1\""), std::string::npos);
}
