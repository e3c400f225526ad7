#include "EditorTestSupport.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "common/settings/SettingsStore.h"
#include "editor/ui/ConfigTree.h"

namespace zentarc::editor::test {

namespace {

std::optional<QString> take(std::deque<std::optional<QString>>& answers) {
  const bool chosen = answers.front().has_value();
  const QString path = chosen ? *answers.front() : QString();
  answers.pop_front();
  if (!chosen) return std::nullopt;
  return path;
}

}  // namespace

Answer pressInRealBox(QWidget* parent, const QString& text, Buttons buttons, Qt::Key key,
                      QMessageBox::StandardButtons* shownButtons, QMessageBox::Icon* icon) {
  bool pressed = false;
  int polls = 0;
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box && !pressed) {
      pressed = true;
      if (shownButtons) *shownButtons = box->standardButtons();
      if (icon) *icon = box->icon();
      QTest::keyClick(box, key);
    } else if (++polls == 500) {
      ADD_FAILURE() << "the message box did not close";
      if (QWidget* w = QApplication::activeModalWidget()) w->close();  // never hang the run
    }
  });
  poll.start();
  return QtPrompter().message(parent, text, buttons);
}

Answer ScriptedPrompter::answerRealBox(QWidget* parent, const QString& text, Buttons buttons) {
  const Qt::Key key = boxKeys.front();
  boxKeys.pop_front();
  QMessageBox::StandardButtons shownButtons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  const Answer answer = pressInRealBox(parent, text, buttons, key, &shownButtons, &icon);
  boxButtons.push_back(shownButtons);
  boxIcons.push_back(icon);
  return answer;
}

Answer ScriptedPrompter::message(QWidget* parent, const QString& text, Buttons buttons) {
  shown.push_back({text, buttons});
  if (buttons == Buttons::Ok || buttons == Buttons::Error) return Answer::Ok;
  if (!boxKeys.empty()) return answerRealBox(parent, text, buttons);
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
  }
  const Answer a = answers.front();
  answers.pop_front();
  return a;
}

std::optional<QString> ScriptedPrompter::openFile(QWidget*, const QString& title, const QString&,
                                                  const QString& folder) {
  titles.push_back(title);
  folders.push_back(folder);
  if (openFiles.empty()) {
    ADD_FAILURE() << "unexpected open dialog";
    return std::nullopt;
  }
  return take(openFiles);
}

std::optional<QString> ScriptedPrompter::saveFile(QWidget*, const QString& title, const QString&,
                                                  const QString& folder, const QString& proposed) {
  titles.push_back(title);
  folders.push_back(folder);
  saveProposed.push_back(proposed);
  if (saveFiles.empty()) {
    ADD_FAILURE() << "unexpected save dialog";
    return std::nullopt;
  }
  return take(saveFiles);
}

std::optional<QString> ScriptedPrompter::askText(QWidget*, const QString&, const QString& label,
                                                 const QString&) {
  textLabels.push_back(label);
  if (texts.empty()) {
    ADD_FAILURE() << "unexpected text question: " << label.toStdString();
    return std::nullopt;
  }
  return take(texts);
}

void ScriptedPrompter::runModal(QDialog& dialog) {
  if (dialogs.empty()) {
    ADD_FAILURE() << "unexpected dialog " << dialog.objectName().toStdString();
    return;
  }
  auto act = std::move(dialogs.front());
  dialogs.pop_front();
  dialog.show();
  act(dialog);
  dialog.hide();
}

std::vector<QString> ScriptedPrompter::takeShown() {
  std::vector<QString> texts;
  for (const Shown& s : shown) texts.push_back(s.text);
  shown.clear();
  return texts;
}

EditorFixture::EditorFixture() {
  ::setenv(settings::kPathVariable, settingsPath().toLocal8Bit().constData(), 1);
  EditorOptions options;
  options.programFolder = QString::fromStdString(dir.path().string());
  options.homeFolder = QString::fromStdString((dir.path() / "home").string());
  options.layoutFile = QString::fromStdString((dir.path() / "layout.ini").string());
  window = std::make_unique<frmEditing>(prompter, options);
  window->show();
}

EditorFixture::~EditorFixture() {
  window->state().bCfgOpen = false;  // no save question at the end of a test
  window.reset();
  EXPECT_TRUE(prompter.answers.empty()) << "unused answers";
  EXPECT_TRUE(prompter.dialogs.empty()) << "unused dialog actions";
  EXPECT_TRUE(prompter.texts.empty()) << "unused text answers";
  EXPECT_TRUE(prompter.boxKeys.empty()) << "unused message box keys";
}

QString EditorFixture::settingsPath() const {
  return QString::fromStdString((dir.path() / "settings.ini").string());
}

std::optional<std::string> EditorFixture::recordedConfigFile() const {
  return settings::SettingsStore(settingsPath().toStdString())
      .read(settings::kProductKey, settings::kConfigFileValue);
}

void EditorFixture::trigger(const QString& name) {
  QAction* a = window->menuEntry(name);
  ASSERT_NE(a, nullptr) << name.toStdString();
  ASSERT_TRUE(a->isEnabled()) << name.toStdString() << " is disabled";
  a->trigger();
}

void EditorFixture::open(const QString& path) {
  prompter.openFiles.push_back(path);
  trigger("mnuOpenCfg");
}

QTreeWidgetItem* EditorFixture::node(const QString& key) const {
  QTreeWidgetItem* n = key.isEmpty() ? window->TreeView1()->root() : window->TreeView1()->nodeByKey(key);
  EXPECT_NE(n, nullptr) << "no node " << key.toStdString();
  return n;
}

void EditorFixture::click(QTreeWidgetItem* n) {
  if (!n) return;
  ConfigTree* tree = window->TreeView1();
  for (QTreeWidgetItem* p = n->parent(); p; p = p->parent()) p->setExpanded(true);
  tree->scrollToItem(n);
  const QRect r = tree->visualItemRect(n);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
}

void EditorFixture::doubleClick(QTreeWidgetItem* n) {
  if (!n) return;
  click(n);
  ConfigTree* tree = window->TreeView1();
  const QRect r = tree->visualItemRect(n);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, r.center());
}

void EditorFixture::editLabel(QTreeWidgetItem* n, const QString& text) {
  ASSERT_NE(n, nullptr);
  ConfigTree* tree = window->TreeView1();
  // A click on the selected node would start a delayed edit of its own; F2 starts it now.
  if (tree->currentItem() != n) click(n);
  QCoreApplication::processEvents();
  QTest::keyClick(tree, Qt::Key_F2);
  auto* line = tree->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(line, nullptr) << "no label editor";
  line->selectAll();
  QTest::keyClicks(line, text);
  QTest::keyClick(line, Qt::Key_Return);
  QCoreApplication::processEvents();  // the view commits the edit through its event queue
}

void EditorFixture::clickColumn(int column) {
  QHeaderView* header = window->ListView1()->reportView()->header();
  const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

void EditorFixture::clickRow(int row, bool ctrl) {
  QTreeView* v = window->ListView1()->reportView();
  const QRect r = v->visualRect(v->model()->index(row, 0));
  QTest::mouseClick(v->viewport(), Qt::LeftButton, ctrl ? Qt::ControlModifier : Qt::NoModifier,
                    r.center());
}

void EditorFixture::doubleClickRow(int row) {
  clickRow(row);
  QTreeView* v = window->ListView1()->reportView();
  const QRect r = v->visualRect(v->model()->index(row, 0));
  QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, r.center());
}

QStringList EditorFixture::column(int c) const {
  QStringList texts;
  for (int r = 0; r < window->ListView1()->rowCount(); ++r) texts << window->ListView1()->text(r, c);
  return texts;
}

QStringList EditorFixture::headers() const {
  QStringList h;
  for (int c = 0; c < window->ListView1()->columnCount(); ++c) h << window->ListView1()->columnTitle(c);
  return h;
}

bool EditorFixture::enabled(const QString& name) const {
  if (QAction* a = window->menuEntry(name)) return a->isEnabled();
  if (QAction* b = window->toolbarButton(name)) return b->isEnabled();
  ADD_FAILURE() << "no entry " << name.toStdString();
  return false;
}

void clickButton(QAbstractButton* button) {
  ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
  QTest::mouseClick(button, Qt::LeftButton);
}

void typeInto(QLineEdit* line, const QString& text) {
  line->setFocus();
  line->selectAll();
  QTest::keyClick(line, Qt::Key_Backspace);
  QTest::keyClicks(line, text);
}

void chooseType(QComboBox* combo, const QString& text) {
  const int i = combo->findText(text);
  ASSERT_GE(i, 0) << text.toStdString();
  combo->setCurrentIndex(i);
  emit combo->activated(i);
}

std::string configFile(const std::string& plcs) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n    <OPC_DA>\r\n" +
         plcs + "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

std::string plcLines(const std::string& name, const std::string& ip, const std::string& tags) {
  return "        <PLC name=\"" + name + "\" IPaddress=\"" + ip + "\">\r\n            <tags>\r\n" + tags +
         "            </tags>\r\n        </PLC>\r\n";
}

std::string tagLines(const std::string& name, const std::string& comment, const std::string& type,
                     int address, int bit, int elements, const std::string& access) {
  const std::string in = "                    ";
  std::string s = "                <tag>\r\n";
  s += in + "<name>" + name + "</name>\r\n";
  s += in + "<comment>" + comment + "</comment>\r\n";
  s += in + "<datatype>" + type + "</datatype>\r\n";
  if (bit >= 0) s += in + "<databit>" + std::to_string(bit) + "</databit>\r\n";
  s += in + "<address>" + std::to_string(address) + "</address>\r\n";
  if (elements >= 0) s += in + "<elements>" + std::to_string(elements) + "</elements>\r\n";
  s += in + "<accessrights>" + access + "</accessrights>\r\n";
  s += "                </tag>\r\n";
  return s;
}

}  // namespace zentarc::editor::test
