#include "frmAbout.h"

#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "editor/ui/Prompter.h"

namespace zentarc::editor {

QString versionText(const QString& version) {
  QStringList parts = version.split('.');
  while (parts.size() < 3) parts << "0";
  return "Version " + parts.mid(0, 3).join('.');
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("frmAbout");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString("About ") + kProgramTitle);
  lblTitle = new QLabel(kProgramTitle, this);
  lblTitle->setObjectName("lblTitle");
  QFont f = lblTitle->font();
  f.setBold(true);
  f.setPointSizeF(f.pointSizeF() * 1.5);
  lblTitle->setFont(f);
  lblDescription = new QLabel(kProgramDescription, this);
  lblDescription->setObjectName("lblDescription");
  lblVersion = new QLabel(versionText(ZENTARC_VERSION), this);
  lblVersion->setObjectName("lblVersion");
  cmdOK = new QPushButton("OK", this);
  cmdOK->setObjectName("cmdOK");
  cmdOK->setDefault(true);  // Enter; Esc closes the dialog as well
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblTitle);
  layout->addWidget(lblDescription);
  layout->addWidget(lblVersion);
  layout->addWidget(cmdOK, 0, Qt::AlignRight);
  connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
}

}  // namespace zentarc::editor
