#pragma once
// The item dialog: adds items to a PLC (one, one after another, or a numbered group) and
// modifies one.
#include <QDialog>
#include <QString>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zentarc::editor {

class frmEditing;

class frmItems : public QDialog {
  Q_OBJECT
 public:
  explicit frmItems(frmEditing& main);

  void cmbDataType_Click();
  void cmbMemory_Click();
  void cmdOk_Click();
  void cmdAdd_Click();
  void cmdGroup_Click();
  void cmdOkNumber_Click();
  void cmdCancel_Click();
  void AddItemInList();
  bool CheckFields(const QString& data);

  // Key filters: the code to keep, or 0 to discard the key. The name's filter discards
  // only what no name may hold.
  static int txtItemName_KeyPress(int keyAscii);
  static int FilterNumericKey(int keyAscii);

  // Selects an entry by its text; a text not in the list leaves no selection.
  static void setComboText(QComboBox* combo, const QString& text);

  QFrame* frmMain;
  QFrame* frmInserimento;
  QLineEdit* txtItemName;
  QLineEdit* txtComment;
  QLineEdit* txtPLCName;
  QComboBox* cmbDataType;
  QComboBox* cmbMemory;
  QComboBox* cmbBit;
  QLabel* lblBit;
  QLabel* lblDataWord;
  QLineEdit* txtDataWord;
  QLineEdit* txtElements;
  QLabel* lblElements;
  QComboBox* cmbAccessRight;
  QPushButton* cmdOk;
  QPushButton* cmdAdd;
  QPushButton* cmdGroup;
  QPushButton* cmdCancel;
  QLabel* Label7;
  QLineEdit* txtNumbItems;
  QPushButton* cmdOkNumber;

  bool mbUnload = true;
  QString msPrevName;
  bool mbOkAdd = false;

 public slots:
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();
  void buildLayout();
  // The bit field and the address label follow the type and the memory area.
  void followArea();
  bool storeItem();
  frmEditing& main_;
};

}  // namespace zentarc::editor
