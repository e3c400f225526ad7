#include "server/shell/QtMessagePrompter.h"

#include <QMessageBox>
#include <QString>

namespace zentarc::shell {

namespace {

QString text8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void QtMessagePrompter::warning(std::string_view caption, std::string_view text) {
  QMessageBox::warning(owner_.data(), text8(caption), text8(text));
}

}  // namespace zentarc::shell
