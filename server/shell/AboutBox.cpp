#include "server/shell/AboutBox.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "server/shell/DialogUnits.h"
#include "server/shell/ServerIdentity.h"

namespace zentarc::shell {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About OPCZentarc");
  setModal(true);
  setFixedSize(dluX(193), dluY(109));

  auto* icon = new QLabel(this);
  icon->setObjectName("AboutIcon");
  icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  icon->move(dluX(159), dluY(29));

  auto* version = new QLabel(kAboutText, this);
  version->setObjectName("AboutVersion");
  version->setGeometry(dluRect(10, 7, 156, 8).adjusted(0, 0, 0, 4));

  auto* vendor = new QLabel(QString::fromUtf8(kVendorLine), this);
  vendor->setObjectName("AboutVendor");
  vendor->setWordWrap(true);
  vendor->setGeometry(dluRect(10, 29, 140, 40));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OK");
  ok->setDefault(true);
  ok->setGeometry(dluRect(138, 87, 50, 17));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace zentarc::shell
