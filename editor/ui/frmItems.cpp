#include "frmItems.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/configfile/DataTypes.h"
#include "common/configfile/TagRules.h"
#include "editor/ui/frmEditing.h"

namespace zentarc::editor {

namespace {

// The order in which the dialog offers the types.
const char* const kTypeOrder[] = {
    "boolean",           "unsigned 16 bit",       "unsigned 32 bit",       "signed 16 bit",
    "signed 32 bit",     "32 bit float",          "boolean array",         "unsigned 8 bit array",
    "unsigned 16 bit array", "unsigned 32 bit array", "signed 8 bit array", "signed 16 bit array",
    "signed 32 bit array", "32 bit float array",  "string"};

QLabel* label(const char* text, QWidget* parent) { return new QLabel(text, parent); }

template <typename W>
W* named(W* w, const char* name) {
  w->setObjectName(name);
  return w;
}

}  // namespace

frmItems::frmItems(frmEditing& main) : QDialog(&main), main_(main) {
  setObjectName("frmItems");
  setWindowTitle("Item Properties");
  setModal(true);
  buildLayout();
  Form_Load();
}

void frmItems::buildLayout() {
  auto* outer = new QVBoxLayout(this);
  frmMain = named(new QFrame(this), "frmMain");
  frmMain->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(frmMain);
  txtItemName = named(new QLineEdit(frmMain), "txtItemName");
  txtComment = named(new QLineEdit(frmMain), "txtComment");
  txtPLCName = named(new QLineEdit(frmMain), "txtPLCName");
  txtPLCName->setReadOnly(true);
  cmbDataType = named(new QComboBox(frmMain), "cmbDataType");
  cmbMemory = named(new QComboBox(frmMain), "cmbMemory");
  cmbBit = named(new QComboBox(frmMain), "cmbBit");
  lblBit = named(label("Bit Number", frmMain), "lblBit");
  lblDataWord = named(label("Address", frmMain), "lblDataWord");
  txtDataWord = named(new QLineEdit(frmMain), "txtDataWord");
  txtElements = named(new QLineEdit(frmMain), "txtElements");
  lblElements = named(label("Number of Elements", frmMain), "lblElements");
  cmbAccessRight = named(new QComboBox(frmMain), "cmbAccessRight");
  int row = 0;
  auto add = [&](QWidget* l, QWidget* w) {
    grid->addWidget(l, row, 0);
    grid->addWidget(w, row++, 1);
  };
  add(label("Item Name", frmMain), txtItemName);
  add(label("Comment", frmMain), txtComment);
  add(label("PLC Name", frmMain), txtPLCName);
  add(label("Data Type", frmMain), cmbDataType);
  add(label("Memory", frmMain), cmbMemory);
  add(lblBit, cmbBit);
  add(lblDataWord, txtDataWord);
  add(lblElements, txtElements);
  add(label("Access Right", frmMain), cmbAccessRight);
  outer->addWidget(frmMain);

  frmInserimento = named(new QFrame(this), "frmInserimento");
  frmInserimento->setFrameShape(QFrame::StyledPanel);
  auto* group = new QHBoxLayout(frmInserimento);
  Label7 = named(label("INSERT NUMBER OF ITEMS TO ADD", frmInserimento), "Label7");
  txtNumbItems = named(new QLineEdit(frmInserimento), "txtNumbItems");
  txtNumbItems->setMaxLength(4);
  cmdOkNumber = named(new QPushButton("OK", frmInserimento), "cmdOkNumber");
  group->addWidget(Label7);
  group->addWidget(txtNumbItems);
  group->addWidget(cmdOkNumber);
  outer->addWidget(frmInserimento);
  frmInserimento->hide();

  auto* buttons = new QHBoxLayout;
  cmdOk = named(new QPushButton("Ok", this), "cmdOk");
  cmdAdd = named(new QPushButton("Add and Increment", this), "cmdAdd");
  cmdGroup = named(new QPushButton("Add Group....", this), "cmdGroup");
  cmdCancel = named(new QPushButton("Exit", this), "cmdCancel");
  for (QPushButton* b : {cmdOk, cmdAdd, cmdGroup, cmdCancel}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  cmdOkNumber->setAutoDefault(false);
  cmdOk->setDefault(true);  // Enter
  outer->addLayout(buttons);

  QWidget* order[] = {txtItemName, txtComment,  txtPLCName, cmbDataType, cmbMemory, cmbBit, txtDataWord,
                      txtElements, cmbAccessRight, cmdOk,  cmdAdd,      cmdGroup, cmdCancel,
                      txtNumbItems, cmdOkNumber};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  txtItemName->installEventFilter(this);
  txtNumbItems->installEventFilter(this);
  connect(cmbDataType, &QComboBox::activated, this, [this] { cmbDataType_Click(); });
  connect(cmbMemory, &QComboBox::activated, this, [this] { cmbMemory_Click(); });
  connect(cmdOk, &QPushButton::clicked, this, [this] { cmdOk_Click(); });
  connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
  connect(cmdGroup, &QPushButton::clicked, this, [this] { cmdGroup_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  connect(cmdOkNumber, &QPushButton::clicked, this, [this] { cmdOkNumber_Click(); });
  resize(460, sizeHint().height());
}

void frmItems::Form_Load() {
  main_.trapped([&] {
    for (const char* t : kTypeOrder) cmbDataType->addItem(t);
    cmbDataType->setCurrentIndex(-1);
    for (const configfile::MemoryAreaEntry& a : configfile::kMemoryAreas)
      cmbMemory->addItem(QString::fromLatin1(a.name.data(), static_cast<int>(a.name.size())));
    cmbMemory->setCurrentIndex(0);  // R
    for (int b = 0; b < 16; ++b) cmbBit->addItem(QString::number(b));
    for (const auto& a : {"READ", "WRITE", "READWRITE"}) cmbAccessRight->addItem(a);
    cmbBit->setEnabled(false);
    lblBit->setEnabled(false);
    txtElements->setEnabled(false);
    lblElements->setEnabled(false);
    followArea();
    mbUnload = true;
  });
}

void frmItems::setComboText(QComboBox* combo, const QString& text) {
  combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly));
}

// Typing keeps every character the name rule allows (the one pasted names, the server's
// loader and the CSV import follow), so a typed and a pasted name are the same name.
int frmItems::txtItemName_KeyPress(int k) {
  if (k == 8) return k;  // Backspace
  const std::string typed = QString(QChar(static_cast<char16_t>(k))).toStdString();
  return configfile::checkName(typed) == configfile::NameFault::Control ? 0 : k;
}

int frmItems::FilterNumericKey(int k) {
  if (k == 9 || k == 8 || k == 10 || k == 13 || k == 32 || (k >= '0' && k <= '9')) return k;
  if (k == '.') return 46;
  if (k == '-') return 45;
  return 0;
}

// The filters judge typed characters only. Editing keys (Delete, Backspace, arrows) and
// shortcuts (Ctrl+A, C, V, X, Z) carry control codes or modifiers and always pass: the
// filter is an aid to typing, not the rule of what a name may be.
bool frmItems::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == txtItemName || watched == txtNumbItems)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (text.size() != 1) return false;
    const int code = text.at(0).unicode();
    if (code < 32 || code == 127) return false;
    const int kept = watched == txtItemName ? txtItemName_KeyPress(code) : FilterNumericKey(code);
    return kept == 0;
  }
  return QDialog::eventFilter(watched, event);
}

void frmItems::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The proposed name is selected, so typing replaces it.
  txtItemName->setFocus();
  txtItemName->selectAll();
}

void frmItems::cmbDataType_Click() {
  const std::string type = cmbDataType->currentText().toStdString();
  const bool boolean = type.find("boolean") != std::string::npos;
  if (boolean) cmbBit->setCurrentIndex(0);
  const bool elements = type.find("array") != std::string::npos || type == "string";
  txtElements->setEnabled(elements);
  lblElements->setEnabled(elements);
  txtElements->setText("0");
  followArea();
}

void frmItems::cmbMemory_Click() {
  // The system status bits are read-only: offer the only access they take.
  if (const auto area = configfile::memoryAreaForFileName(cmbMemory->currentText().toStdString());
      area && configfile::isReadOnlyArea(*area))
    setComboText(cmbAccessRight, "READ");
  followArea();
}

void frmItems::followArea() {
  const auto area = configfile::memoryAreaForFileName(cmbMemory->currentText().toStdString())
                        .value_or(configfile::MemoryArea::R);
  const bool bitArea = configfile::isBitArea(area);
  const QString name = QString::fromLatin1(configfile::memoryAreaName(area).data(),
                                           static_cast<int>(configfile::memoryAreaName(area).size()));
  lblDataWord->setText("Address (%" + name + (bitArea ? " bit)" : " word)"));
  const bool bit = cmbDataType->currentText().contains("boolean") && !bitArea;
  if (!bit) setComboText(cmbBit, "0");
  cmbBit->setEnabled(bit);
  lblBit->setEnabled(bit);
}

void frmItems::cmdOk_Click() {
  main_.trapped([&] {
    AddItemInList();
    if (!mbOkAdd) return;
    main_.state().bItemEditMode = false;
    if (mbUnload) accept();
  });
}

void frmItems::cmdCancel_Click() {
  main_.state().bItemEditMode = false;
  QDialog::reject();
}

void frmItems::reject() { cmdCancel_Click(); }

void frmItems::cmdGroup_Click() {
  frmMain->setEnabled(false);
  frmInserimento->show();
  cmdOkNumber->setDefault(true);  // Enter runs the group add while its frame is shown
  txtNumbItems->setText("0");
  txtNumbItems->setFocus();
  txtNumbItems->selectAll();
}

}  // namespace zentarc::editor
